// A process killed in the middle of a batch leaves its journal behind; the
// next start finds it and puts every file back under its old name.
#include "core/rename/RenameJournal.h"

#include "QtPrinters.h"
#include "RenameTestUtil.h"
#include "ScriptedFrontEnd.h"
#include "TestPaths.h"

#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <limits>
#include <link.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

using namespace tav;
using namespace tavtest;

namespace {

struct Crash {
    QTemporaryDir dir, journals;
    QMap<QByteArray, int> before;

    Crash() { RenameJournal::setJournalFolder(journals.path()); }
    ~Crash() { RenameJournal::setJournalFolder(QString()); }

    // Swap a<->b, rotate x->y->z->x, move m into a new subfolder, then kill the
    // child after `moves` moves of `phase`.
    int run(int phase, int moves) {
        for (const char *n : {"a", "b", "x", "y", "z", "m"})
            writeFile(dir.filePath(n), n);
        QDir(dir.path()).mkdir("sub");
        before = contents(dir.path());
        QStringList args{journals.path(), QString::number(phase), QString::number(moves)};
        const QList<QPair<QString, QString>> moves_{{"a", "b"}, {"b", "a"}, {"x", "y"},
                                                    {"y", "z"}, {"z", "x"}, {"m", "sub/m2"}};
        for (const auto &m : moves_)
            args << dir.filePath(m.first) << dir.filePath(m.second);
        QProcess child;
        child.start(QStringLiteral(TAV_BUILD_BIN_DIR "/rename_crash_child"), args);
        if (!child.waitForFinished(30000))
            return -1;
        return child.exitCode();
    }

    void expectOriginalNames() const {
        for (const char *n : {"a", "b", "x", "y", "z", "m"})
            EXPECT_EQ(readFile(dir.filePath(n)), QByteArray(n)) << n;
        EXPECT_EQ(contents(dir.path()), before);
        EXPECT_TRUE(pendingJournals().isEmpty());
    }
};

} // namespace

TEST(RenameCrash, KilledBetweenThePhasesThenRecovered) {
    Crash c;
    ASSERT_EQ(c.run(1, 6), 0);
    // Every file sits under its temporary name.
    EXPECT_EQ(names(c.dir.path()).filter("tmp_Tvol_").size(), 6);
    EXPECT_EQ(contents(c.dir.path()), c.before);
    const QStringList pending = pendingJournals();
    ASSERT_EQ(pending.size(), 1);
    const RecoveryResult r = recoverJournal(pending[0]);
    EXPECT_EQ(r.restored, 6);
    EXPECT_TRUE(r.problems.isEmpty()) << describeProblems(r.problems).toStdString();
    c.expectOriginalNames();
}

TEST(RenameCrash, KilledInEitherPhaseThenRecoveredThroughTheQuestion) {
    for (const auto &[phase, moves] : QList<QPair<int, int>>{{1, 1}, {1, 3}, {2, 1}, {2, 3}, {2, 5}}) {
        SCOPED_TRACE(testing::Message() << "phase " << phase << " after " << moves << " moves");
        Crash c;
        ASSERT_EQ(c.run(phase, moves), 0);
        EXPECT_EQ(contents(c.dir.path()), c.before);

        ScriptedFrontEnd ui;
        ui.answers = {AnswerNo};
        EXPECT_EQ(offerJournalRecovery(), 0);
        ASSERT_EQ(ui.asked.size(), 1);
        EXPECT_TRUE(ui.asked[0].message.contains("6")); // how many files
        EXPECT_EQ(pendingJournals().size(), 1);         // declined: offered again next time

        ui.answers = {AnswerYes};
        EXPECT_EQ(offerJournalRecovery(), 1);
        ASSERT_EQ(ui.asked.size(), 3);
        EXPECT_EQ(ui.asked[2].style, StyleInformation);
        c.expectOriginalNames();
    }
}

TEST(RenameCrash, BatchThatEndsLeavesNoJournal) {
    Crash c;
    ASSERT_EQ(c.run(3, 1), 1); // never crashes
    EXPECT_EQ(readFile(c.dir.filePath("a")), "b");
    EXPECT_EQ(readFile(c.dir.filePath("sub/m2")), "m");
    EXPECT_TRUE(pendingJournals().isEmpty());
    ScriptedFrontEnd ui;
    EXPECT_EQ(offerJournalRecovery(), 0);
    EXPECT_TRUE(ui.asked.isEmpty());
}

namespace {

// A batch that moves files from a folder on disk to a folder on another file
// system (tmpfs), killed at a chosen moment of a copy.
struct CrossDeviceCrash {
    QTemporaryDir disk, journals;
    std::unique_ptr<QTemporaryDir> other;
    QMap<QByteArray, int> before;
    std::string skipReason;

    CrossDeviceCrash() {
        RenameJournal::setJournalFolder(journals.path());
        struct stat a, b;
        if (::stat("/dev/shm", &b) != 0 || ::stat(QFile::encodeName(disk.path()).constData(), &a) != 0 ||
            a.st_dev == b.st_dev) {
            skipReason = "needs /dev/shm on a file system other than " + disk.path().toStdString();
            return;
        }
        other = std::make_unique<QTemporaryDir>(QStringLiteral("/dev/shm/tavcrash-XXXXXX"));
    }
    ~CrossDeviceCrash() { RenameJournal::setJournalFolder(QString()); }

    // a and b go to the other file system (b first: phase 2 runs backwards),
    // c stays on disk. b is big enough for a copy in several pieces.
    int run(const QString &phase, int moves) {
        QByteArray big(2 * 1024 * 1024 + 3, '\0');
        for (int i = 0; i < big.size(); ++i)
            big[i] = char(i * 7 % 253);
        writeFile(disk.filePath("a"), "a");
        writeFile(disk.filePath("b"), big);
        writeFile(disk.filePath("c"), "c");
        before = contents(disk.path());
        QProcess child;
        child.start(QStringLiteral(TAV_BUILD_BIN_DIR "/rename_crash_child"),
                    {journals.path(), phase, QString::number(moves), disk.filePath("a"), other->filePath("A"),
                     disk.filePath("b"), other->filePath("B"), disk.filePath("c"), disk.filePath("C")});
        if (!child.waitForFinished(30000))
            return -1;
        return child.exitCode();
    }

    // Every file once under its old name, nothing else on either side.
    void expectOriginalsOnly() const {
        EXPECT_EQ(contents(disk.path()), before);
        EXPECT_EQ(names(disk.path()), (QStringList{"a", "b", "c"}));
        EXPECT_EQ(QDir(other->path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());
        EXPECT_TRUE(pendingJournals().isEmpty());
    }
};

} // namespace

TEST(RenameCrash, KilledDuringACopyToAnotherFileSystemLeavesNoCopyBehind) {
    // Step 1: the copy's name is recorded, nothing made yet. Step 2: the
    // unfinished copy exists. Step 3: the complete copy has its new name and
    // the source is still there, so there are two complete files.
    for (int step : {1, 2, 3}) {
        SCOPED_TRACE(testing::Message() << "copy step " << step);
        CrossDeviceCrash c;
        if (!c.other)
            GTEST_SKIP() << c.skipReason;
        ASSERT_EQ(c.run("copy", step), 0);
        const QStringList left = QDir(c.other->path()).entryList(QDir::Files | QDir::Hidden);
        EXPECT_EQ(left.size(), step == 1 ? 0 : 1) << left.join(' ').toStdString();
        if (step == 3) {
            EXPECT_EQ(left, QStringList{"B"});
        }

        const QStringList pending = pendingJournals();
        ASSERT_EQ(pending.size(), 1);
        const RecoveryResult r = recoverJournal(pending[0]);
        EXPECT_TRUE(r.problems.isEmpty()) << describeProblems(r.problems).toStdString();
        EXPECT_EQ(r.removedCopies.size(), step == 1 ? 0 : 1);
        EXPECT_EQ(r.restored, 3); // all three sat under their temporary names
        c.expectOriginalsOnly();
    }
}

TEST(RenameCrash, KilledAfterACopyToAnotherFileSystemIsMovedBackAcross) {
    CrossDeviceCrash c;
    if (!c.other)
        GTEST_SKIP() << c.skipReason;
    ASSERT_EQ(c.run("2", 2), 0); // c renamed on disk, b moved across, a at its temporary name
    EXPECT_EQ(QDir(c.other->path()).entryList(QDir::Files | QDir::Hidden), QStringList{"B"});
    EXPECT_EQ(names(c.disk.path()), (QStringList{"C", "tmp_Tvol_1_a"}));
    const RecoveryResult r = recoverJournal(pendingJournals().value(0));
    EXPECT_TRUE(r.problems.isEmpty()) << describeProblems(r.problems).toStdString();
    EXPECT_TRUE(r.removedCopies.isEmpty());
    EXPECT_EQ(r.restored, 3);
    c.expectOriginalsOnly();
}

// A recovery killed after copying a file back across file systems to its
// temporary name and renaming it to its old one: the file is under its old
// name with the copy's identity, which the next recovery must recognise.
TEST(RenameCrash, RecoveryKilledAfterCopyingAFileBackIsRecoveredAgain) {
    CrossDeviceCrash c;
    if (!c.other)
        GTEST_SKIP() << c.skipReason;
    ASSERT_EQ(c.run("2", 2), 0); // c renamed on disk, b moved across, a at its temporary name
    const QString journal = pendingJournals().value(0);
    QList<JournalRecord> records;
    ASSERT_TRUE(RenameJournal::read(journal, records));
    ASSERT_EQ(records.size(), 3);
    const JournalRecord &b = records[1];
    const int fd = ::open(QFile::encodeName(journal).constData(), O_WRONLY | O_APPEND | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    JournalCopyRecorder recorder(fd, "first-r", 10);
    recorder.setRecord(1);
    ASSERT_TRUE(moveFileNoReplace(b.newPath, b.tempPath, &recorder).ok);
    ASSERT_TRUE(moveFileNoReplace(b.tempPath, b.oldPath).ok);
    ::close(fd);

    const RecoveryResult r = recoverJournal(journal);
    EXPECT_TRUE(r.problems.isEmpty()) << describeProblems(r.problems).toStdString();
    EXPECT_EQ(r.alreadyInPlace, 1);
    c.expectOriginalsOnly();
}

namespace {

struct FsOp {
    QString op;
    QStringList args;
};

// The shared sanitizer runtime this process runs with, if any: it must come
// first in a child's preload list, before the shim, or the child stops at once.
QString sanitizerRuntime() {
    QByteArray found;
    dl_iterate_phdr(
        [](dl_phdr_info *info, size_t, void *data) {
            const QByteArray name(info->dlpi_name);
            const QByteArray base = name.mid(name.lastIndexOf('/') + 1);
            if (!base.startsWith("libasan.so") && !base.startsWith("libclang_rt.asan"))
                return 0;
            *static_cast<QByteArray *>(data) = name;
            return 1;
        },
        &found);
    return QFile::decodeName(found);
}

// Runs a batch that does not crash under the logging shim (real calls, logged
// in order) and returns what it did to the disk.
QList<FsOp> loggedBatch(const QString &journals, const QStringList &moves) {
    QTemporaryDir logDir;
    const QString log = logDir.filePath("ops");
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    const QString runtime = sanitizerRuntime();
    env.insert("LD_PRELOAD", (runtime.isEmpty() ? QString() : runtime + ':') + TAV_BUILD_BIN_DIR "/libfs_log_shim.so");
    env.insert("TAV_FSLOG", log);
    env.insert("TAV_FSLOG_DATA", journals);
    child.setProcessEnvironment(env);
    child.start(QStringLiteral(TAV_BUILD_BIN_DIR "/rename_crash_child"), QStringList{journals, "none", "0"} + moves);
    child.waitForFinished(30000);
    QList<FsOp> ops;
    for (const QByteArray &line : readFile(log).split('\n')) {
        if (line.isEmpty())
            continue;
        QStringList f = QString::fromUtf8(line).split('\t');
        const QString op = f.takeFirst();
        ops.append({op, f});
    }
    return ops;
}

QString folderOf(const QString &path) {
    return path.left(path.lastIndexOf('/'));
}

} // namespace

TEST(RenameDurability, EveryChangedFolderIsSyncedBeforeTheJournalIsRemoved) {
    // A swap and a rotation in one folder, a move into a new subfolder, and,
    // where /dev/shm is another file system, a move there.
    CrossDeviceCrash c;
    QStringList moves;
    const QString d = c.disk.path();
    for (const char *n : {"a", "b", "x", "y", "z", "m", "far"})
        writeFile(d + "/" + n, n);
    QDir(d).mkpath("new/deeper");
    for (const auto &[from, to] : QList<QPair<QString, QString>>{
             {"a", "b"}, {"b", "a"}, {"x", "y"}, {"y", "z"}, {"z", "x"}, {"m", "new/deeper/m2"}})
        moves << d + "/" + from << d + "/" + to;
    if (c.other)
        moves << d + "/far" << c.other->filePath("far");
    const QString journals = c.journals.path();
    const QList<FsOp> ops = loggedBatch(journals, moves);
    ASSERT_FALSE(ops.isEmpty()) << "the shim logged nothing";
    EXPECT_EQ(readFile(d + "/a"), "b");
    EXPECT_EQ(readFile(d + "/new/deeper/m2"), "m");

    // The journal's removal, and the last content it was synced with.
    qsizetype removal = -1;
    QByteArray lastJournal;
    for (qsizetype k = 0; k < ops.size(); ++k) {
        const FsOp &o = ops[k];
        if (o.args.value(0).startsWith(journals + "/") && o.args.value(0).endsWith(".journal")) {
            if (o.op == "unlink")
                removal = k;
            else if (o.op == "fsync" && o.args.size() == 4)
                lastJournal = QByteArray::fromHex(o.args[3].toLatin1());
        }
    }
    ASSERT_GE(removal, 0) << "the journal was not removed";
    EXPECT_TRUE(lastJournal.endsWith("P\t2\n"))
        << "not marked done before its removal: " << lastJournal.right(40).data();

    // Every folder whose entries changed outside the journal's folder is
    // synced after its last change and before the journal goes.
    QMap<QString, qsizetype> lastChange;
    for (qsizetype k = 0; k < removal; ++k) {
        const FsOp &o = ops[k];
        if (o.op == "fsync" || o.op == "syncfs" || o.op == "sync")
            continue;
        for (qsizetype a = o.op == "symlink" ? 1 : 0; a < o.args.size() && a < 2; ++a) {
            if (o.op == "create" && a == 1)
                break;
            const QString folder = folderOf(o.args[a]);
            if (!folder.startsWith(journals))
                lastChange[folder] = k;
        }
    }
    EXPECT_TRUE(lastChange.contains(d));
    EXPECT_TRUE(lastChange.contains(d + "/new/deeper"));
    if (c.other) {
        EXPECT_TRUE(lastChange.contains(c.other->path()));
    }
    for (auto it = lastChange.cbegin(); it != lastChange.cend(); ++it) {
        bool synced = false;
        for (qsizetype k = it.value() + 1; k < removal && !synced; ++k)
            synced = ops[k].op == "fsync" && ops[k].args.value(0) == it.key() && ops[k].args.value(1) == "dir";
        EXPECT_TRUE(synced) << it.key().toStdString() << " is not synced after its last change ("
                            << ops[it.value()].op.toStdString() << ") and before the journal's removal";
    }
}

TEST(RenameDurability, NewFoldersAreOnDiskInTheirParentsBeforeAnythingMovesIntoThem) {
    // First use (the journal's folder and one above it are missing) and a
    // move into two new folders: each new folder's parent is synced after
    // the folder is made and before the first file moves; the folders a
    // batch syncs together are synced parents first.
    CrossDeviceCrash c;
    const QString d = c.disk.path();
    const QString journals = c.journals.path() + "/state/journal";
    for (const char *n : {"a", "b", "m"})
        writeFile(d + "/" + n, n);
    const QList<FsOp> ops =
        loggedBatch(journals, {d + "/a", d + "/b", d + "/b", d + "/a", d + "/m", d + "/new/deeper/m2"});
    ASSERT_FALSE(ops.isEmpty()) << "the shim logged nothing";
    EXPECT_EQ(readFile(d + "/new/deeper/m2"), "m");
    qsizetype firstMove = -1;
    for (qsizetype k = 0; k < ops.size() && firstMove < 0; ++k)
        if (ops[k].op == "rename" && ops[k].args.value(0).startsWith(d + "/"))
            firstMove = k;
    ASSERT_GE(firstMove, 0);
    QStringList made;
    for (qsizetype k = 0; k < firstMove; ++k) {
        if (ops[k].op != "mkdir")
            continue;
        made << ops[k].args.value(0);
        bool synced = false;
        for (qsizetype j = k + 1; j < firstMove && !synced; ++j)
            synced = ops[j].op == "fsync" && ops[j].args.value(1) == "dir" &&
                     ops[j].args.value(0) == folderOf(ops[k].args.value(0));
        EXPECT_TRUE(synced) << "the parent of " << ops[k].args.value(0).toStdString()
                            << " is not synced before the first move";
    }
    EXPECT_TRUE(made.contains(journals) && made.contains(d + "/new/deeper")) << made.join(' ').toStdString();
    for (qsizetype k = firstMove; k < ops.size(); ++k) {
        if (ops[k].op != "fsync" || ops[k].args.value(1) != "dir")
            continue;
        for (qsizetype j = k + 1; j < ops.size() && ops[j].op == "fsync"; ++j)
            EXPECT_FALSE(ops[k].args.value(0).startsWith(ops[j].args.value(0) + "/"))
                << ops[j].args.value(0).toStdString() << " synced after its sub-folder";
    }
}

// The journal's and the history's fields keep the format older journals were
// written in (percent-encoded bytes, "/" kept), and read back to the same
// path and identity whatever the name holds.
TEST(JournalFields, PathsAndIdentitiesReadBackInTheirFormat) {
    QString ascii = QStringLiteral("/photos/ \t\n%25 ~a-b_c.d/");
    for (char16_t c = 1; c < 0x80; ++c)
        ascii += QChar(c);
    for (const QString &path : {ascii, ascii + QStringLiteral("é日本😀")}) {
        const QByteArray field = journalFields::encodePath(path);
        EXPECT_EQ(field, QFile::encodeName(path).toPercentEncoding("/"));
        EXPECT_EQ(journalFields::decodePath(field), path);
    }

    FileIdentity id;
    id.device = std::numeric_limits<quint64>::max();
    id.inode = 1234567890123ULL;
    id.size = -1;
    id.mtimeNs = -5;
    const QByteArray text = journalFields::identity(id);
    EXPECT_EQ(text, "18446744073709551615\t1234567890123\t-1\t-5");
    const FileIdentity back = journalFields::identity(text.split('\t'), 0);
    EXPECT_EQ(back.device, id.device);
    EXPECT_EQ(back.inode, id.inode);
    EXPECT_EQ(back.size, id.size);
    EXPECT_EQ(back.mtimeNs, id.mtimeNs);
}

// A whole line, written in one piece from folders and names in every form,
// is the same as its fields encoded one by one.
TEST(JournalFields, ALineIsItsFieldsEncodedOneByOne) {
    const QString folder = QStringLiteral("/cartes/été %/");
    const QByteArray encodedFolder = journalFields::encodePath(folder);
    const QByteArray nameBytes = QFile::encodeName(QStringLiteral("tmp_Tvol_10_Ça.jpg"));
    FileIdentity id;
    for (quint64 n : {0ULL, 9ULL, 10ULL, 99ULL, 100ULL, 1000ULL, 123456789ULL}) {
        id.device = n;
        id.inode = n + 1;
        id.size = qint64(n);
        id.mtimeNs = -qint64(n);
        QByteArray line = "head";
        journalFields::appendLine(line, 'R',
                                  {{QStringView(folder), QStringView(u"日本.jpg")},
                                   {encodedFolder, nameBytes.constData(), nameBytes.size()},
                                   {encodedFolder, QStringView(u"a b.jpg")}},
                                  id);
        EXPECT_EQ(line, "headR\t" + journalFields::encodePath(folder + QStringLiteral("日本.jpg")) + '\t' +
                            encodedFolder + nameBytes.toPercentEncoding("/") + '\t' +
                            journalFields::encodePath(folder + QStringLiteral("a b.jpg")) + '\t' +
                            journalFields::identity(id) + '\n');
        EXPECT_EQ(journalFields::identity(line.chopped(1).split('\t'), 4).size, qint64(n));
    }
}
