// Renaming under the rules of the destination's file system: Windows' names
// on exFAT and NTFS, case on file systems that ignore it, Unicode forms on
// every one. The cases on exFAT and NTFS run on real images mounted through
// FUSE on loop devices (as root, with exfat-fuse, exfatprogs and ntfs-3g);
// elsewhere they skip and say why.
#include "core/rename/FolderRules.h"
#include "core/rename/RenameBatch.h"
#include "core/rename/RenameJournal.h"

#include "QtPrinters.h"
#include "RenameTestUtil.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <unistd.h>

using namespace tav;
using namespace tavtest;

namespace {

const auto Blocked = RenameStatus::Blocked;

RenameBatch prepared(const QString &dir, const QList<QPair<QString, QString>> &moves) {
    QList<RenameItem> items;
    for (const auto &[from, to] : moves)
        items.append({dir + "/" + from, dir + "/" + to, QString()});
    RenameBatch b(items);
    b.prepare();
    return b;
}

QList<RenameStatus> statuses(const RenameBatch &b) {
    QList<RenameStatus> s;
    for (qsizetype i = 0; i < b.size(); ++i)
        s << b.outcome(i).status;
    return s;
}

const QString NfcE = QString::fromUtf8("\xc3\xa9");  // é as one character
const QString NfdE = QString::fromUtf8("e\xcc\x81"); // e and a combining accent

} // namespace

TEST(FolderRules, NamesRefusedByWindowsDisksAndLengthLimits) {
    const FolderRules windows{true, true, true};
    const FolderRules posix{};
    struct Case {
        QString name;
        bool onWindows, onPosix;
    } cases[] = {
        {"IMG_0001.jpg", true, true},
        {"a:b.jpg", false, true},
        {"what?.jpg", false, true},
        {"a\\b", false, true},
        {"tab\there", false, true},
        {"trailing.", false, true},
        {"trailing ", false, true},
        {"CON", false, true},
        {"nul.txt", false, true},
        {"COM1.jpg", false, true},
        {"COM0.jpg", true, true},
        {"CONSOLE.jpg", true, true},
        {QString(255, QChar(0xE9)), true, false}, // 255 UTF-16 units, 510 bytes
        {QString(256, 'a'), false, false},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(nameRuleProblem(c.name, windows).isEmpty(), c.onWindows) << c.name.left(20).toStdString();
        EXPECT_EQ(nameRuleProblem(c.name, posix).isEmpty(), c.onPosix) << c.name.left(20).toStdString();
    }
    EXPECT_TRUE(nameRuleProblem("a:b", windows).contains(':'));
}

TEST(FolderRules, UnicodeFormsAreOneNameEverywhere) {
    QTemporaryDir dir;
    const QString d = dir.path();
    // A file outside the batch in the decomposed form takes the composed name
    // too; two entries that get the name in either form collide; a file whose
    // name only changes form is renamed.
    for (const QString &n : {"caf" + NfdE + ".jpg", QString("a"), QString("b"), QString("c"), "r" + NfdE + "s"})
        writeFile(d + "/" + n, n.toUtf8());
    RenameBatch b = prepared(d, {{"a", "caf" + NfcE + ".jpg"},
                                 {"b", "d" + NfcE + "j" + NfcE},
                                 {"c", "d" + NfdE + "j" + NfcE},
                                 {"r" + NfdE + "s", "r" + NfcE + "s"}});
    EXPECT_EQ(statuses(b), (QList<RenameStatus>{Blocked, Blocked, Blocked, RenameStatus::Pending}));
    EXPECT_NE(b.outcome(1).reason, b.outcome(0).reason);
    QTemporaryDir journals;
    RenameJournal::setJournalFolder(journals.path());
    ASSERT_TRUE(b.run({}));
    RenameJournal::setJournalFolder(QString());
    EXPECT_EQ(readFile(d + "/r" + NfcE + "s"), ("r" + NfdE + "s").toUtf8());
}

namespace {

QString run(const QString &program, const QStringList &args, int *code = nullptr) {
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    if (!p.waitForFinished(60000)) {
        p.kill();
        p.waitForFinished();
    }
    if (code)
        *code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    return QString::fromLocal8Bit(p.readAll());
}

// A file system image of kind "exfat" or "ntfs" mounted through FUSE on a
// loop device, or why it cannot be.
struct MountedImage {
    QTemporaryDir dir;
    QString mountPoint, loop, why;

    explicit MountedImage(const QString &kind) {
        if (::geteuid() != 0) {
            why = "not root: loop devices and FUSE mounts need root";
            return;
        }
        if (::access("/dev/fuse", R_OK | W_OK) != 0) {
            why = "no /dev/fuse";
            return;
        }
        const bool exfat = kind == "exfat";
        const QStringList tools = exfat ? QStringList{"mkfs.exfat", "mount.exfat-fuse", "losetup"}
                                        : QStringList{"mkntfs", "ntfs-3g", "losetup"};
        for (const QString &t : tools) {
            if (QStandardPaths::findExecutable(t).isEmpty()) {
                why = t + " is not installed (packages exfat-fuse, exfatprogs, ntfs-3g)";
                return;
            }
        }
        const QString image = dir.filePath("disk.img");
        QFile f(image);
        if (!f.open(QIODevice::WriteOnly) || !f.resize(32 << 20)) {
            why = "cannot make the image";
            return;
        }
        f.close();
        int code = 0;
        const QString made = exfat ? run("mkfs.exfat", {image}, &code) : run("mkntfs", {"-F", "-Q", image}, &code);
        if (code != 0) {
            why = "cannot format the image: " + made;
            return;
        }
        loop = run("losetup", {"-f", "--show", image}, &code).trimmed();
        if (code != 0 || !loop.startsWith("/dev/")) {
            why = "no free loop device: " + loop;
            loop.clear();
            return;
        }
        mountPoint = dir.filePath("mnt");
        QDir().mkpath(mountPoint);
        const QString out = run(exfat ? "mount.exfat-fuse" : "ntfs-3g", {loop, mountPoint}, &code);
        if (code != 0) {
            why = "cannot mount: " + out;
            mountPoint.clear();
        }
    }
    ~MountedImage() {
        if (!mountPoint.isEmpty())
            run("umount", {mountPoint});
        if (!loop.isEmpty())
            run("losetup", {"-d", loop});
    }
    bool ok() const { return why.isEmpty(); }
    QString p(const QString &rel) const { return mountPoint + "/" + rel; }
};

class RealFileSystem : public ::testing::TestWithParam<const char *> {
protected:
    QTemporaryDir journals;
    void SetUp() override { RenameJournal::setJournalFolder(journals.path()); }
    void TearDown() override { RenameJournal::setJournalFolder(QString()); }
};

} // namespace

TEST_P(RealFileSystem, CaseChangesSwapsFoldersAndWindowsNames) {
    const QString kind = GetParam();
    MountedImage m(kind);
    if (!m.ok())
        GTEST_SKIP() << kind.toStdString() << " image not mounted: " << m.why.toStdString();
    const bool exfat = kind == "exfat";
    const FolderRules rules = folderRules(QFile::encodeName(m.mountPoint), "");
    EXPECT_TRUE(rules.windowsNames);
    EXPECT_TRUE(rules.utf16Length);
    for (const char *n : {"IMG_0001.JPG", "IMG_0002.JPG", "x1", "x2", "x3", "p", "q", "colon", "dup1", "dup2"})
        writeFile(m.p(n), n);
    EXPECT_EQ(folderRules(QFile::encodeName(m.mountPoint), "IMG_0001.JPG").caseInsensitive, exfat);
    const QMap<QByteArray, int> before = contents(m.mountPoint);

    // The folders a folder pattern asks for, made as the command makes them.
    ASSERT_EQ(makeFoldersSynced(m.p("A/B")), 0);
    EXPECT_FALSE(newFoldersProblem({m.p("A/B/bad:name")}).isEmpty());
    QList<QPair<QString, QString>> moves{{"IMG_0001.JPG", "img_0001.jpg"}, // case only
                                         {"IMG_0002.JPG", "img_0002.jpg"},
                                         {"x1", "X3"}, // a reversal that changes case
                                         {"x2", "X2"},
                                         {"x3", "X1"},
                                         {"p", "A/B/p"},
                                         {"q", "A/B/Q"},
                                         {"colon", "a:b"},
                                         {"dup1", "same.txt"},
                                         {"dup2", exfat ? "SAME.txt" : "same.txt"}};
    RenameBatch b = prepared(m.mountPoint, moves);
    EXPECT_EQ(statuses(b), (QList<RenameStatus>{RenameStatus::Pending, RenameStatus::Pending, RenameStatus::Pending,
                                                RenameStatus::Pending, RenameStatus::Pending, RenameStatus::Pending,
                                                RenameStatus::Pending, Blocked, Blocked, Blocked}));
    EXPECT_TRUE(b.outcome(7).reason.contains(':')) << b.outcome(7).reason.toStdString();
    ASSERT_TRUE(b.run({}));
    EXPECT_EQ(b.renamedCount(), 7);
    for (const auto &[to, from] : QList<QPair<QString, QByteArray>>{{"img_0001.jpg", "IMG_0001.JPG"},
                                                                    {"img_0002.jpg", "IMG_0002.JPG"},
                                                                    {"X3", "x1"},
                                                                    {"X2", "x2"},
                                                                    {"X1", "x3"},
                                                                    {"A/B/p", "p"},
                                                                    {"A/B/Q", "q"}})
        EXPECT_EQ(readFile(m.p(to)), from) << to.toStdString();
    // The names on disk are the new ones, case included.
    const QStringList listed = names(m.mountPoint);
    for (const char *n : {"img_0001.jpg", "img_0002.jpg", "X1", "X2", "X3", "colon", "dup1", "dup2"})
        EXPECT_TRUE(listed.contains(n)) << n << " not in " << listed.join(' ').toStdString();
    EXPECT_EQ(contents(m.mountPoint), before);
    EXPECT_TRUE(pendingJournals().isEmpty());
}

INSTANTIATE_TEST_SUITE_P(ExfatAndNtfs, RealFileSystem, ::testing::Values("exfat", "ntfs"));
