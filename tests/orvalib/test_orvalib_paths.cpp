// Path and file helpers of liborvalib.so, called through the program's binding.

#include "QtPrinters.h"
#include "TestPaths.h"
#include "core/base/Trap.h"
#include "core/base/mTavCommon.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace mTavCommon;

namespace {

// Sets an environment variable for the life of the object.
class EnvGuard {
public:
    EnvGuard(const char *name, const QByteArray &value) : m_name(name), m_had(qEnvironmentVariableIsSet(name)) {
        m_old = qgetenv(name);
        if (value.isNull())
            qunsetenv(name);
        else
            qputenv(name, value);
    }
    ~EnvGuard() {
        if (m_had)
            qputenv(m_name, m_old);
        else
            qunsetenv(m_name);
    }

private:
    const char *m_name;
    bool m_had;
    QByteArray m_old;
};

void writeFile(const QString &path, const QByteArray &bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

int errorNumberOf(const std::function<void()> &call) {
    try {
        call();
    } catch (const tav::TavError &e) {
        return e.number();
    }
    return 0;
}

} // namespace

TEST(OrvalibPaths, FolderAndFileNameSplitAtTheLastSeparatorOnly) {
    EXPECT_EQ(TavGetPath("/Photos/img.jpg"), "/Photos");
    EXPECT_EQ(TavGetPath("/img.jpg"), "");
    EXPECT_EQ(TavGetPath("/Photos/"), "/Photos");
    EXPECT_EQ(TavGetPath("//srv/share/a.txt"), "//srv/share");
    EXPECT_EQ(TavGetPath("img.jpg"), "");
    EXPECT_EQ(TavGetPath("dir\\img.jpg"), "") << "a backslash is an ordinary character";

    EXPECT_EQ(TavGetFileName("/Photos/img.jpg"), "img.jpg");
    EXPECT_EQ(TavGetFileName("/Photos/"), "");
    EXPECT_EQ(TavGetFileName("img.jpg"), "") << "a bare name has no file-name part";
    EXPECT_EQ(TavGetFileName("/a/dir\\img.jpg"), "dir\\img.jpg");
}

TEST(OrvalibPaths, ExtensionIsAfterTheLastDotOfTheWholeText) {
    EXPECT_EQ(TavGetExtension("img.JPG"), "JPG");
    EXPECT_EQ(TavGetExtension("archive.tar.gz"), "gz");
    EXPECT_EQ(TavGetExtension("name."), "");
    EXPECT_EQ(TavGetExtension(".profile"), "profile");
    EXPECT_EQ(TavGetExtension("/dir.old/readme"), "old/readme");
    EXPECT_EQ(TavGetExtension("readme"), "");

    EXPECT_EQ(TavStrWithoutExt("archive.tar.gz"), "archive.tar");
    EXPECT_EQ(TavStrWithoutExt("name."), "name");
    EXPECT_EQ(TavStrWithoutExt(".profile"), "");
    EXPECT_EQ(TavStrWithoutExt("readme"), "readme");
    EXPECT_EQ(TavStrWithoutExt("/dir.old/readme"), "/dir");
}

TEST(OrvalibPaths, QualifyPathAddsOneSeparator) {
    EXPECT_EQ(TavQualifyPath("/a"), "/a/");
    EXPECT_EQ(TavQualifyPath("/a/"), "/a/");
    EXPECT_EQ(TavQualifyPath(""), "/");
    EXPECT_EQ(TavQualifyPath("a\\"), "a\\/");
}

TEST(OrvalibPaths, TextsKeepNulAndNonLatinCharactersBothWays) {
    const QString name = QStringLiteral("/x/\u00e9t\u00e9") + QChar(0) + QStringLiteral("\U0001F600.jpg");
    EXPECT_EQ(TavGetFileName(name), name.mid(3));
    EXPECT_EQ(TavGetFileName(name).size(), name.size() - 3);
    EXPECT_EQ(TavStrWithoutExt(name), name.left(name.size() - 4));
}

TEST(OrvalibPaths, PositionsBeyond32767FailWithOverflowAndNothingElse) {
    const QString longTail = QStringLiteral("/a/") + QString(40000, QLatin1Char('x'));
    // The separator is at 3: the long tail needs no large position.
    EXPECT_EQ(TavGetPath(longTail), "/a");
    EXPECT_EQ(TavGetFileName(longTail).size(), 40000);

    const QString farSeparator = QString(32767, QLatin1Char('x')) + QStringLiteral("/f.txt");
    EXPECT_EQ(errorNumberOf([&] { TavGetPath(farSeparator); }), tav::ErrOverflow);
    EXPECT_EQ(errorNumberOf([&] { TavGetFileName(farSeparator); }), tav::ErrOverflow);
    EXPECT_EQ(errorNumberOf([&] { TavGetExtension(farSeparator); }), tav::ErrOverflow);
    EXPECT_EQ(errorNumberOf([&] { TavStrWithoutExt(farSeparator); }), tav::ErrOverflow);

    // The last position that fits.
    const QString atLimit = QString(32766, QLatin1Char('x')) + QStringLiteral("/f");
    EXPECT_EQ(TavGetPath(atLimit).size(), 32766);
    // An overflow leaves no error behind for the next call.
    EXPECT_EQ(TavGetPath("/a/b"), "/a");
}

TEST(OrvalibPaths, TheBindingCutsAnExtensionWhereTheLibraryDoes) {
    const QStringList names{"img.JPG",
                            "archive.tar.gz",
                            "name.",
                            ".profile",
                            "readme",
                            "",
                            ".",
                            "..",
                            "a.b.",
                            QStringLiteral("\u00e9t\u00e9.\U0001F600"),
                            QString(32766, QLatin1Char('x')) + ".y",
                            QString(32767, QLatin1Char('x')) + ".y",
                            QStringLiteral("a.") + QString(40000, 'z'),
                            QString(40000, QLatin1Char('z'))};
    for (const QString &name : names) {
        const int libraryError = errorNumberOf([&] {
            TavGetExtension(name);
            TavStrWithoutExt(name);
        });
        qsizetype dot = -2;
        EXPECT_EQ(errorNumberOf([&] { dot = extensionDot(name); }), libraryError) << name.size();
        if (libraryError != 0)
            continue;
        EXPECT_EQ(dot < 0 ? name : name.left(dot), TavStrWithoutExt(name)) << name.size();
        EXPECT_EQ(dot < 0 ? QString() : name.mid(dot + 1), TavGetExtension(name)) << name.size();
    }
    // Without the library the cut fails as the library's helpers would.
    QTemporaryDir empty;
    setLibraryFolder(empty.path());
    EXPECT_EQ(errorNumberOf([] { extensionDot(QStringLiteral("a.b")); }), tav::ErrLibraryNotFound);
    setLibraryFolder(QString());
}

TEST(OrvalibFiles, ExistenceAndFolderTestsOnRealObjects) {
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const QString file = tmp.filePath("f.txt");
    writeFile(file, "x");
    const QString folder = tmp.filePath("sub");
    ASSERT_TRUE(QDir().mkdir(folder));
    ASSERT_TRUE(QFile::link(tmp.filePath("gone"), tmp.filePath("broken")));
    ASSERT_TRUE(QFile::link(folder, tmp.filePath("tofolder")));

    EXPECT_TRUE(TavFileExists(file));
    EXPECT_TRUE(TavFileExists(folder));
    EXPECT_FALSE(TavFileExists(tmp.filePath("missing")));
    EXPECT_FALSE(TavFileExists(""));
    // A dangling link still occupies its name.
    EXPECT_TRUE(TavFileExists(tmp.filePath("broken")));
    EXPECT_FALSE(TavFileExists(file + QChar(0) + "x")) << "a NUL must not cut the path short";

    EXPECT_TRUE(TavIsDir(folder));
    EXPECT_TRUE(TavIsDir(tmp.filePath("tofolder")));
    EXPECT_FALSE(TavIsDir(file));
    EXPECT_FALSE(TavIsDir(tmp.filePath("missing")));
    EXPECT_FALSE(TavIsDir(tmp.filePath("broken")));
}

TEST(OrvalibFiles, NestedFoldersAreCreatedOutermostFirstAndOnlyOnce) {
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const QString a = tmp.filePath("a");
    ASSERT_TRUE(QDir().mkdir(a));

    EXPECT_EQ(TavCreateNestedFolders(a + "/b/c"), 2);
    EXPECT_TRUE(QFileInfo(a + "/b/c").isDir());
    EXPECT_EQ(TavCreateNestedFolders(a + "/b/c"), 0) << "a second call changes nothing";
    EXPECT_EQ(TavCreateNestedFolders(a + "/b/c/d/"), 1);

    // A file in the way: nothing below it is made, and nothing is reported.
    writeFile(a + "/file", "x");
    EXPECT_EQ(TavCreateNestedFolders(a + "/file/x/y"), 0);
    EXPECT_FALSE(QFileInfo::exists(a + "/file/x"));

    // The network form: "//server/" is the root and is never created itself.
    const QString network = QStringLiteral("/") + a + QStringLiteral("/net/deep");
    EXPECT_EQ(TavCreateNestedFolders(network), 2);
    EXPECT_TRUE(QFileInfo(a + "/net/deep").isDir());

    EXPECT_EQ(TavCreateNestedFolders(a + "/nul" + QChar(0) + "x"), 0);
    EXPECT_FALSE(QFileInfo::exists(a + "/nul"));
}

TEST(OrvalibFiles, SpecialFoldersFollowTheXdgVariables) {
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    {
        EnvGuard xdg("XDG_CONFIG_HOME", tmp.path().toUtf8());
        EXPECT_EQ(TavCheminDossier(0, 26), tmp.path());
    }
    {
        EnvGuard home("HOME", tmp.path().toUtf8());
        EnvGuard unset("XDG_CONFIG_HOME", QByteArray());
        EXPECT_EQ(TavCheminDossier(0, 26), tmp.path() + "/.config");
        EnvGuard relative("XDG_CONFIG_HOME", "relative/conf");
        EXPECT_EQ(TavCheminDossier(0, 26), tmp.path() + "/.config") << "a relative XDG value is ignored";
    }
    {
        // The documents folder named in the user's XDG folder list.
        EnvGuard home("HOME", tmp.path().toUtf8());
        EnvGuard xdg("XDG_CONFIG_HOME", tmp.path().toUtf8());
        QDir(tmp.path()).mkpath("Mes documents");
        writeFile(tmp.filePath("user-dirs.dirs"), "XDG_DOCUMENTS_DIR=\"$HOME/Mes documents\"\n");
        EXPECT_EQ(TavCheminDossier(0, 5), tmp.path() + "/Mes documents");
    }
    EXPECT_EQ(TavCheminDossier(0, 0), "");
    EXPECT_EQ(TavCheminDossier(0, 36), "");
    EXPECT_EQ(TavCheminDossier(0, -1), "");
}

TEST(OrvalibFiles, TemporaryFolderEndsInSeparatorAndMustFitHundredCharacters) {
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    {
        EnvGuard env("TMPDIR", tmp.path().toUtf8());
        EXPECT_EQ(TavGetTempDir(), tmp.path() + "/");
    }
    // With its separator, 99 characters fit and 100 do not.
    for (int total : {99, 100}) {
        const QString folder = tmp.path() + "/" + QString(total - tmp.path().size() - 2, QLatin1Char('t'));
        ASSERT_EQ(folder.size() + 1, total);
        ASSERT_TRUE(QDir().mkpath(folder));
        EnvGuard env("TMPDIR", folder.toUtf8());
        EXPECT_EQ(TavGetTempDir(), total < 100 ? folder + "/" : QString()) << total;
    }
}

TEST(OrvalibFiles, SystemFolderHoldsTheSystemLibraries) {
    const QString folder = TavGetSystemDirectory();
    ASSERT_FALSE(folder.isEmpty());
    EXPECT_TRUE(folder.startsWith('/'));
    EXPECT_FALSE(folder.endsWith('/'));
    EXPECT_TRUE(QFileInfo::exists(folder + "/libc.so.6")) << folder.toStdString();
}

TEST(OrvalibFiles, ReadFileDecodesEveryByteThroughTheEightBitCodePage) {
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const QString path = tmp.filePath("bytes.bin");
    writeFile(path, QByteArray("A\x80\xe9\x00\x81\n\x9c", 7));
    short number = 0;
    QString text = QStringLiteral("kept");
    const QString content = TavReadFileToBuffer(path, number, text);
    EXPECT_EQ(content, QStringLiteral("A\u20ac\u00e9") + QChar(0) + QStringLiteral("\u0081\n\u0153"));
    EXPECT_EQ(number, 0);
    EXPECT_EQ(text, "kept") << "the outputs stay as the caller set them";
}

TEST(OrvalibFiles, ReadFileCreatesAMissingFileAndReportsWhatItCannotRead) {
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    short number = 0;
    QString text;

    const QString missing = tmp.filePath("new.txt");
    EXPECT_EQ(TavReadFileToBuffer(missing, number, text), "");
    EXPECT_EQ(number, 0);
    EXPECT_TRUE(text.isEmpty());
    EXPECT_TRUE(QFileInfo(missing).isFile());
    EXPECT_EQ(QFileInfo(missing).size(), 0);

    // A read-only file is still read.
    const QString readOnly = tmp.filePath("ro.txt");
    writeFile(readOnly, "abc");
    QFile::setPermissions(readOnly, QFile::ReadOwner);
    EXPECT_EQ(TavReadFileToBuffer(readOnly, number, text), "abc");
    EXPECT_EQ(number, 0);

    EXPECT_EQ(TavReadFileToBuffer(tmp.filePath("no/such/file"), number, text), "");
    EXPECT_EQ(number, 76);
    EXPECT_FALSE(text.isEmpty());

    // A pipe has no contents to read and must not block the caller.
    const QString fifo = tmp.filePath("fifo");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    number = 0;
    EXPECT_EQ(TavReadFileToBuffer(fifo, number, text), "");
    EXPECT_EQ(number, 0);

    text.clear();
    EXPECT_EQ(TavReadFileToBuffer(tmp.path(), number, text), "") << "a folder cannot be read";
    EXPECT_NE(number, 0);
    EXPECT_FALSE(text.isEmpty());
}

TEST(OrvalibFiles, LineCountIsTheNumberOfBreaks) {
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const struct {
        QByteArray bytes;
        int lines;
    } cases[] = {
        {"a", 0}, {"a\r\nb", 1}, {"a\nb\nc", 2}, {"a\r\nb\n", 1}, {"a\r\nb\r\n", 2}, {"\n", 1}, {"", -1},
    };
    int i = 0;
    for (const auto &c : cases) {
        const QString path = tmp.filePath(QString::number(i++));
        writeFile(path, c.bytes);
        EXPECT_EQ(TavNumberLineInFile(path), c.lines) << c.bytes.toStdString();
    }
    const QString missing = tmp.filePath("missing");
    EXPECT_EQ(TavNumberLineInFile(missing), 0);
    EXPECT_FALSE(QFileInfo::exists(missing)) << "counting must not create the file";
    EXPECT_EQ(TavNumberLineInFile(tmp.path()), 0);
}
