// The update check and the installer's download against a real HTTP server
// on 127.0.0.1 (update_server.py), with the temporary and program folders of
// the test's own.

#include "TestGuard.h"
#include "UpdateServer.h"
#include "WaitFor.h"
#include "core/update/InstallerDownload.h"
#include "core/update/UpdateCheck.h"

#include <QCryptographicHash>
#include <QFileInfo>
#include <QSignalSpy>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace tav;
using namespace tav::update;

namespace {

class UpdateCheckTest : public ::testing::Test {
protected:
    test::UpdateServer server;
    QTemporaryDir temp, program;
    tav::test::TestGuard guard;

    void SetUp() override {
        ASSERT_TRUE(server.isRunning());
        guard.tempFolder(temp.path()).programFolder(program.path());
        qputenv(ServerAddressVariable, server.base().toUtf8());
    }
    void TearDown() override { qunsetenv(ServerAddressVariable); }
    QStringList paths() const {
        QStringList l;
        for (const auto &r : server.requests())
            l << r.path;
        return l;
    }
    void writeOverride(const QByteArray &text) const {
        QFile f(overrideFilePath());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
    }
};

TEST_F(UpdateCheckTest, ServerVersionFileDecidesWhatStartupFinds) {
    server.put(QStringLiteral("release_note.txt"), "Travoline 1.12.3\nFaster renames\nUndo\r\nof a batch\r");
    struct Case {
        const char *served; // nullptr: no version file at all
        StartupResult::Kind kind;
        const char *version;
    } cases[] = {
        {"1.12.2", StartupResult::UpToDate, "1.12.2"},
        {"1.12.2\r\n", StartupResult::UpToDate, "1.12.2"},
        {"1.12.2\n  ", StartupResult::UpToDate, "1.12.2"}, // the filter drops them
        {"1.12.3", StartupResult::NewVersion, "1.12.3"},
        {"1.12.1", StartupResult::NewVersion, "1.12.1"}, // older counts as another version
        {"", StartupResult::Unreachable, ""},
        {nullptr, StartupResult::Unreachable, ""},
        {"<html>Not found</html>", StartupResult::Ignored, ""},
        {"abc", StartupResult::Ignored, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.served ? c.served : "(none)");
        if (c.served)
            server.put(QStringLiteral("version.txt"), c.served);
        else
            server.remove(QStringLiteral("version.txt"));
        const StartupResult r = startupCheck(serverAddress());
        EXPECT_EQ(r.kind, c.kind);
        EXPECT_EQ(r.version, QLatin1String(c.version));
        if (r.kind == StartupResult::NewVersion) {
            // The first line is the title; carriage returns join lines.
            EXPECT_EQ(r.notes, QStringList({QStringLiteral("Faster renames"), QStringLiteral("Undoof a batch")}));
            EXPECT_EQ(r.installer, server.base() + QStringLiteral("/Travoline/setup_Travoline_") +
                                       QString::fromLatin1(c.version).replace(QLatin1Char('.'), QLatin1Char('_')) +
                                       QStringLiteral(".deb"));
        } else {
            EXPECT_TRUE(r.notes.isEmpty());
        }
    }
    EXPECT_FALSE(paths().contains(QStringLiteral("/Travoline/version_local.txt")));

    // A new version without release notes: no dialog.
    server.put(QStringLiteral("version.txt"), "1.12.3");
    server.remove(QStringLiteral("release_note.txt"));
    EXPECT_EQ(startupCheck(serverAddress()).kind, StartupResult::Ignored);
}

TEST_F(UpdateCheckTest, LocalOverrideReplacesTheServerVersionWithoutAConnection) {
    // An address no machine answers: the override needs neither a
    // connection nor the server for an up-to-date program.
    writeOverride("1.12.2\r\n");
    EXPECT_EQ(startupCheck(QStringLiteral("https://updates.invalid")).kind, StartupResult::UpToDate);
    EXPECT_EQ(startupCheck(serverAddress()).kind, StartupResult::UpToDate);
    EXPECT_TRUE(server.requests().isEmpty());

    // Another version: the notes still come from the server, the version does not.
    writeOverride("1.13.0");
    server.put(QStringLiteral("version.txt"), "1.12.2");
    server.put(QStringLiteral("release_note.txt"), "title\nnew");
    const StartupResult r = startupCheck(serverAddress());
    EXPECT_EQ(r.kind, StartupResult::NewVersion);
    EXPECT_EQ(r.version, QStringLiteral("1.13.0"));
    EXPECT_EQ(paths(), QStringList{QStringLiteral("/Travoline/release_note.txt")});
}

TEST_F(UpdateCheckTest, AddressComesFromTheEnvironmentAndEmptyMeansNoCheck) {
    qputenv(ServerAddressVariable, " https://example.org/updates// ");
    EXPECT_EQ(serverAddress(), QStringLiteral("https://example.org/updates"));
    EXPECT_EQ(updatePageAddress(serverAddress()),
              QStringLiteral("https://example.org/updates/Travoline/mise_a_jour.html"));
    // Set but empty switches the check off, whatever the build says.
    qputenv(ServerAddressVariable, "");
    EXPECT_EQ(serverAddress(), QString());
    writeOverride("1.13.0");
    EXPECT_EQ(startupCheck(serverAddress()).kind, StartupResult::NoCheck);
    EXPECT_EQ(manualCheck(serverAddress()).kind, ManualResult::NoCheck);

    for (const char *good :
         {"https://example.org/a.deb", "http://127.0.0.1:8080/a", "http://localhost/a", "http://[::1]:80/a"})
        EXPECT_TRUE(isAcceptedAddress(QLatin1String(good))) << good;
    for (const char *bad : {"http://example.org/a.deb", "ftp://127.0.0.1/a", "file:///etc/passwd", "https://",
                            "not an address", "http://127.0.0.1.example.org/a"})
        EXPECT_FALSE(isAcceptedAddress(QLatin1String(bad))) << bad;
}

TEST_F(UpdateCheckTest, ManualCheckComparesTheFilteredServerVersion) {
    server.put(QStringLiteral("version.txt"), "1.12.2\n");
    EXPECT_EQ(manualCheck(serverAddress()).kind, ManualResult::UpToDate);
    server.put(QStringLiteral("version.txt"), "1.12.4");
    const ManualResult newer = manualCheck(serverAddress());
    EXPECT_EQ(newer.kind, ManualResult::NewVersion);
    EXPECT_EQ(newer.version, QStringLiteral("1.12.4"));
    server.remove(QStringLiteral("version.txt"));
    EXPECT_EQ(manualCheck(serverAddress()).kind, ManualResult::Unreachable);
    // The override is for start-up only.
    writeOverride("1.12.2");
    EXPECT_EQ(manualCheck(serverAddress()).kind, ManualResult::Unreachable);
}

// ---- The installer's download ----

struct Outcome {
    bool complete = false;
    InstallerDownload::Failure failure = InstallerDownload::Failure::None;
    QString error;
    QList<QPair<qint64, qint64>> progress;
};

Outcome download(const QString &address, const QString &path) {
    InstallerDownload d;
    Outcome out;
    bool ended = false;
    QObject::connect(&d, &InstallerDownload::progress, [&](qint64 r, qint64 e) { out.progress.append({r, e}); });
    QObject::connect(&d, &InstallerDownload::finished, [&](bool complete, const QString &error) {
        out.complete = complete;
        out.error = error;
        out.failure = d.failure();
        ended = true;
    });
    d.start(address, path);
    EXPECT_TRUE(test::waitFor([&] { return ended; }, 20000));
    return out;
}

QByteArray readAll(const QString &path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(missing)");
}

TEST_F(UpdateCheckTest, DownloadIsCompleteOnlyWithExactlyTheAnnouncedSize) {
    QByteArray package(3000, '\0');
    for (int i = 0; i < package.size(); ++i)
        package[i] = char(i * 7);
    const QString path = temp.filePath(QStringLiteral("setup_Travoline_1_12_3.deb"));
    const QString address = server.base() + QStringLiteral("/Travoline/setup_Travoline_1_12_3.deb");

    // Whole, in slow pieces: the progress climbs to the full size.
    server.putPackage(QStringLiteral("setup_Travoline_1_12_3.deb"), package, "chunk=1000 delay=0.05");
    Outcome whole = download(address, path);
    EXPECT_TRUE(whole.complete) << whole.error.toStdString();
    EXPECT_EQ(readAll(path), package);
    ASSERT_GE(whole.progress.size(), 2);
    EXPECT_EQ(whole.progress.last(), qMakePair(qint64(3000), qint64(3000)));
    for (int i = 1; i < whole.progress.size(); ++i)
        EXPECT_GT(whole.progress[i].first, whole.progress[i - 1].first);
    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 2);
    EXPECT_EQ(requests[0].headers.value(QStringLiteral("Range")).toString(), QStringLiteral("bytes=0-"));
    EXPECT_EQ(requests[1].path, QStringLiteral("/Travoline/setup_Travoline_1_12_3.deb.sha256"));

    // Cut short by the server: a failure, and what arrived stays.
    server.put(QStringLiteral("setup_Travoline_1_12_3.deb"), package, "cut=1000");
    Outcome cut = download(address, path);
    EXPECT_FALSE(cut.complete);
    EXPECT_EQ(readAll(path), package.left(1000));

    // No Content-Length: no progress, and the bytes received prove nothing.
    server.put(QStringLiteral("setup_Travoline_1_12_3.deb"), package, "nolength");
    Outcome unsized = download(address, path);
    EXPECT_FALSE(unsized.complete);
    EXPECT_TRUE(unsized.progress.isEmpty());
    EXPECT_EQ(readAll(path), package);

    // An empty file is no installer, even when announced so.
    server.put(QStringLiteral("setup_Travoline_1_12_3.deb"), QByteArray());
    EXPECT_FALSE(download(address, path).complete);

    // An error page is not written as the package; plain http elsewhere is never asked.
    const QString missing = temp.filePath(QStringLiteral("setup_Travoline_9_9_9.deb"));
    EXPECT_FALSE(download(server.base() + QStringLiteral("/Travoline/setup_Travoline_9_9_9.deb"), missing).complete);
    EXPECT_FALSE(QFile::exists(missing));
    const int asked = int(server.requests().size());
    EXPECT_FALSE(download(QStringLiteral("http://example.org/Travoline/x.deb"), missing).complete);
    EXPECT_EQ(server.requests().size(), asked);
    EXPECT_FALSE(QFile::exists(missing));
}

TEST_F(UpdateCheckTest, APackageTooLargeOrNotTheOnePublishedIsDeleted) {
    using Failure = InstallerDownload::Failure;
    const QString name = QStringLiteral("setup_Travoline_1_12_3.deb");
    const QString address = server.base() + QStringLiteral("/Travoline/") + name;
    const QString path = temp.filePath(name);
    const QByteArray package(3000, 'p');
    const QByteArray rightSum = QCryptographicHash::hash(package, QCryptographicHash::Sha256).toHex();
    const QByteArray otherSum = QCryptographicHash::hash("other", QCryptographicHash::Sha256).toHex();
    struct Case {
        const char *what;
        QByteArray how, checksum; // a null checksum: none published
        Failure failure;
    } cases[] = {
        {"announced larger than 200 MB", "size=209715201", rightSum, Failure::TooLarge},
        {"larger than 200 MB without a size", "size=209715201 nolength", rightSum, Failure::TooLarge},
        {"no checksum", "", QByteArray(), Failure::ChecksumMissing},
        {"not a checksum", "", "<html>Not here</html>", Failure::ChecksumMissing},
        {"another file's checksum", "", otherSum + "  " + name.toUtf8(), Failure::ChecksumWrong},
        {"checksum in capitals, no name", "", rightSum.toUpper(), Failure::None},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        server.put(name, package, c.how);
        if (c.checksum.isNull())
            server.remove(name + QStringLiteral(".sha256"));
        else
            server.put(name + QStringLiteral(".sha256"), c.checksum);
        const Outcome o = download(address, path);
        EXPECT_EQ(o.complete, c.failure == Failure::None) << o.error.toStdString();
        EXPECT_EQ(o.failure, c.failure);
        EXPECT_EQ(QFile::exists(path), c.failure == Failure::None);
    }

    // A link planted under the package's name is replaced, never written through.
    const QString victim = temp.filePath(QStringLiteral("victim"));
    QFile::remove(path);
    {
        QFile f(victim);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("mine");
    }
    ASSERT_TRUE(QFile::link(victim, path));
    server.putPackage(name, package);
    EXPECT_TRUE(download(address, path).complete);
    EXPECT_EQ(readAll(victim), "mine");
    EXPECT_FALSE(QFileInfo(path).isSymLink());
    EXPECT_EQ(readAll(path), package);
}

TEST_F(UpdateCheckTest, TextFilesGoToAPrivateFolderAndAreRefusedAboveTheirLimit) {
    const QString folder = qEnvironmentVariable("XDG_CACHE_HOME") + QStringLiteral("/Travoline");
    QDir(folder).removeRecursively();
    server.put(QStringLiteral("version.txt"), "1.12.3");
    server.put(QStringLiteral("release_note.txt"), "title\nnew");
    EXPECT_EQ(startupCheck(serverAddress()).kind, StartupResult::NewVersion);
    struct stat st {};
    ASSERT_EQ(::lstat(QFile::encodeName(folder).constData(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name),
              QStringList({QStringLiteral("release_note.txt"), QStringLiteral("version.txt")}));
    EXPECT_TRUE(QDir(temp.path()).isEmpty()); // nothing in the shared temporary folder

    // Above 64 KB, announced or not: the version file fails as an unreachable
    // server does, the notes as missing ones; nothing of them is left.
    struct Case {
        const char *file, *how;
        StartupResult::Kind kind;
    } cases[] = {
        {"version.txt", "size=65537", StartupResult::Unreachable},
        {"version.txt", "size=104857600 nolength", StartupResult::Unreachable},
        {"release_note.txt", "size=65537 nolength", StartupResult::Ignored},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.file) + " " + c.how);
        QDir(folder).removeRecursively();
        server.put(QStringLiteral("version.txt"), "1.12.3");
        server.put(QStringLiteral("release_note.txt"), "title\nnew");
        server.put(QLatin1String(c.file), "x", c.how);
        EXPECT_EQ(startupCheck(serverAddress()).kind, c.kind);
        EXPECT_FALSE(QDir(folder).entryList(QDir::Files | QDir::Hidden).contains(QLatin1String(c.file)));
    }

    // A link in the folder's place is not followed: no check rather than a write elsewhere.
    QDir(folder).removeRecursively();
    QTemporaryDir elsewhere;
    ASSERT_TRUE(QFile::link(elsewhere.path(), folder));
    server.put(QStringLiteral("version.txt"), "1.12.3");
    EXPECT_EQ(startupCheck(serverAddress()).kind, StartupResult::Unreachable);
    EXPECT_TRUE(QDir(elsewhere.path()).isEmpty());
    QFile::remove(folder);
}

// Quitting while the start-up check waits on a stalled server: the check is
// cancelled and its thread ends, instead of running on under the program's
// static objects for the transfer's long time-out.
TEST_F(UpdateCheckTest, QuittingCancelsACheckStillDownloading) {
    server.put(QStringLiteral("version.txt"), "1.12.3", "chunk=1 delay=60");
    QObject context;
    bool delivered = false;
    runInBackground<StartupResult>(
        &context, [base = server.base()] { return startupCheck(base); },
        [&delivered](const StartupResult &) { delivered = true; });
    ASSERT_TRUE(test::waitFor([&] { return !server.requests().isEmpty(); }, 10000));
    EXPECT_TRUE(stopBackgroundWork(20000));
    EXPECT_FALSE(delivered);            // the answer is not handed to a window being closed
    EXPECT_TRUE(stopBackgroundWork(0)); // nothing left to wait for
}

TEST(UpdateProgress, LabelAndBarTexts) {
    EXPECT_EQ(progressPrefix(QStringLiteral("telecharge 0 %")), QStringLiteral("telecharge"));
    EXPECT_EQ(progressPrefix(QStringLiteral("Téléchargé 12,5 % ")), QStringLiteral("Téléchargé"));
    EXPECT_EQ(progressPrefix(QStringLiteral("Downloaded")), QStringLiteral("Downloaded"));
    EXPECT_EQ(progressText(QStringLiteral("telecharge"), 1, 8), QStringLiteral("telecharge 12.5 %"));
    EXPECT_EQ(progressText(QStringLiteral("telecharge"), 0, 3000), QStringLiteral("telecharge 0.0 %"));
    EXPECT_EQ(progressText(QStringLiteral("telecharge"), 2, 3), QStringLiteral("telecharge 66.7 %"));
    EXPECT_EQ(progressText(QStringLiteral("telecharge"), 3000, 3000), QStringLiteral("telecharge 100.0 %"));
    EXPECT_EQ(progressPercent(1, 8), 13);
    EXPECT_EQ(progressPercent(2, 3), 67);
    EXPECT_EQ(progressPercent(5, 0), 0);
}

} // namespace
