// travoline-cli --rename and --recover, run as a real process on real folders.
#include "QtPrinters.h"
#include "RenameTestUtil.h"
#include "TestPaths.h"

#include <QDateTime>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <sched.h>
#include <sys/stat.h>

using namespace tavtest;

namespace {

struct Cli {
    QTemporaryDir dir, config;
    QString out, err;
    int status = -1;

    QString p(const QString &rel) const { return dir.filePath(rel); }
    QString state() const { return config.filePath("state"); }
    QString journals() const { return state() + "/Travoline/journal"; }

    int run(const QStringList &args) {
        QProcess proc;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", config.path()); // own settings
        env.insert("XDG_STATE_HOME", state());        // own journals and history
        proc.setProcessEnvironment(env);
        proc.start(QStringLiteral(TAV_BUILD_BIN_DIR "/travoline-cli"), QStringList{"--language", "English"} + args);
        proc.closeWriteChannel(); // standard input is no terminal: questions are answered no
        if (!proc.waitForFinished(60000))
            return -1;
        out = QString::fromUtf8(proc.readAllStandardOutput());
        err = QString::fromUtf8(proc.readAllStandardError());
        status = proc.exitCode();
        return status;
    }

    QStringList lines() const { return out.split('\n', Qt::SkipEmptyParts); }
};

} // namespace

TEST(RenameCli, RenamesAndPrintsOneLinePerFile) {
    Cli c;
    for (const char *n : {"b.jpg", "a.jpg"})
        writeFile(c.p(n), n);
    ASSERT_EQ(c.run({"--rename", "--rule", "p##", c.p("b.jpg"), c.p("a.jpg")}), 0) << c.err.toStdString();
    const QStringList lines = c.lines();
    ASSERT_EQ(lines.size(), 3) << c.out.toStdString();
    EXPECT_TRUE(lines.contains("renamed\t" + c.p("b.jpg") + "\t" + c.p("p01.jpg")));
    EXPECT_TRUE(lines.contains("renamed\t" + c.p("a.jpg") + "\t" + c.p("p02.jpg")));
    EXPECT_TRUE(lines[2].startsWith("2 renamed"));
    EXPECT_EQ(readFile(c.p("p01.jpg")), "b.jpg");
    EXPECT_TRUE(QDir(c.journals()).isEmpty());
}

TEST(RenameCli, QuestionsWithoutATerminalAreAnsweredNo) {
    Cli c;
    for (const char *n : {"a", "b", "p2"})
        writeFile(c.p(n), n);
    const auto before = contents(c.dir.path());

    // The review: declined, nothing moves.
    EXPECT_EQ(c.run({"--rename", "--rule", "p#", c.p("a"), c.p("b")}), 1);
    EXPECT_EQ(contents(c.dir.path()), before);
    EXPECT_TRUE(QFile::exists(c.p("a")));
    EXPECT_TRUE(c.lines().contains("blocked\t" + c.p("a") + "\tbatch cancelled")) << c.out.toStdString();
    EXPECT_TRUE(c.err.contains(c.p("b"))); // the review went to standard error

    // With --yes the batch goes on without the blocked file.
    EXPECT_EQ(c.run({"--rename", "--yes", "--rule", "p#", c.p("a"), c.p("b")}), 1);
    EXPECT_EQ(readFile(c.p("p1")), "a");
    EXPECT_EQ(readFile(c.p("b")), "b");
    const QStringList lines = c.lines();
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(lines[0], "renamed\t" + c.p("a") + "\t" + c.p("p1"));
    EXPECT_TRUE(lines[1].startsWith("blocked\t" + c.p("b") + "\t"));
    EXPECT_GT(lines[1].size(), QString("blocked\t" + c.p("b") + "\t").size()); // with its reason
    EXPECT_EQ(contents(c.dir.path()), before);

    // The counter-width question: declined without a terminal.
    QStringList args{"--rename", "--rule", "n#"};
    for (int i = 0; i < 11; ++i) {
        writeFile(c.p(QStringLiteral("w%1").arg(i)), "w");
        args << c.p(QStringLiteral("w%1").arg(i));
    }
    EXPECT_EQ(c.run(args), 1);
    EXPECT_TRUE(QFile::exists(c.p("w10")));
    EXPECT_FALSE(QFile::exists(c.p("n1")));
}

TEST(RenameCli, PassesAndBadPassCount) {
    Cli c;
    writeFile(c.p("a"), "a");
    ASSERT_EQ(c.run({"--rename", "--passes", "1", "--rule", "x_*", c.p("a")}), 0) << c.err.toStdString();
    EXPECT_EQ(readFile(c.p("x_x_a")), "a");
    EXPECT_EQ(c.lines().size(), 3);
    EXPECT_EQ(c.run({"--rename", "--passes", "lots", c.p("x_x_a")}), 2);
    EXPECT_TRUE(QFile::exists(c.p("x_x_a")));
}

TEST(RenameCli, RecoverPutsBackAnInterruptedBatch) {
    Cli c;
    for (const char *n : {"a", "b"})
        writeFile(c.p(n), n);
    QProcess child;
    child.start(QStringLiteral(TAV_BUILD_BIN_DIR "/rename_crash_child"),
                {c.journals(), "2", "1", c.p("a"), c.p("b"), c.p("b"), c.p("a")});
    ASSERT_TRUE(child.waitForFinished(30000));
    ASSERT_EQ(child.exitCode(), 0);
    ASSERT_FALSE(QFile::exists(c.p("b")) && readFile(c.p("b")) == "b"); // half done

    // A rename meanwhile warns about it.
    writeFile(c.p("other"), "other");
    c.run({"--rename", "--rule", "o*", c.p("other")});
    EXPECT_TRUE(c.err.contains("--recover"));

    ASSERT_EQ(c.run({"--recover"}), 0) << c.out.toStdString();
    EXPECT_EQ(readFile(c.p("a")), "a");
    EXPECT_EQ(readFile(c.p("b")), "b");
    EXPECT_EQ(c.lines().filter(QRegularExpression("^restored\t")).size(), 2);
    EXPECT_EQ(c.run({"--recover"}), 0);
    EXPECT_TRUE(c.lines().value(0).startsWith("0 "));
}

namespace {

// The first file's temporary name, which tells that files are moving.
bool waitForPath(const QString &path, QProcess &proc) {
    const QByteArray p = QFile::encodeName(path);
    struct stat st;
    while (::stat(p.constData(), &st) != 0) {
        if (proc.state() != QProcess::Running)
            return false;
        sched_yield();
    }
    return true;
}

} // namespace

// The signal is sent while the process is frozen half way through moving the
// files to their temporary names: nothing depends on timing. A machine fast
// enough to finish that phase before it is frozen gets a bigger batch.
TEST(RenameCli, CtrlCOrSigtermWhileFilesMovePutsEveryFileBack) {
    for (int sig : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(sigabbrev_np(sig));
        bool hit = false;
        for (int files = 3000; files <= 48000 && !hit; files *= 2) {
            Cli c;
            QDir(c.dir.path()).mkdir("in");
            for (int i = 0; i < files; ++i)
                writeFile(c.p(QStringLiteral("in/f%1").arg(i, 5, 10, QLatin1Char('0'))), QByteArray::number(i));
            const auto before = contents(c.dir.path());
            const QStringList namesBefore = names(c.p("in"));

            QProcess proc;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert("XDG_CONFIG_HOME", c.config.path());
            proc.setProcessEnvironment(env);
            proc.start(QStringLiteral(TAV_BUILD_BIN_DIR "/travoline-cli"),
                       {"--language", "English", "--rename", "--yes", "--rule", "x_*", c.p("in")});
            proc.closeWriteChannel();
            ASSERT_TRUE(proc.waitForStarted());
            const pid_t pid = static_cast<pid_t>(proc.processId());
            if (!waitForPath(c.p("in/tmp_Tvol_1_f00000"), proc)) {
                proc.waitForFinished(60000);
                FAIL() << "the batch never started: " << proc.readAllStandardError().toStdString();
            }
            ASSERT_EQ(::kill(pid, SIGSTOP), 0);
            // The last file still has its old name: the first phase is under way.
            hit = QFile::exists(c.p(QStringLiteral("in/f%1").arg(files - 1, 5, 10, QLatin1Char('0'))));
            if (hit) {
                ASSERT_EQ(::kill(pid, sig), 0);
            }
            ASSERT_EQ(::kill(pid, SIGCONT), 0);
            ASSERT_TRUE(proc.waitForFinished(120000));
            if (!hit)
                continue;

            EXPECT_EQ(proc.exitStatus(), QProcess::NormalExit);
            EXPECT_EQ(proc.exitCode(), 128 + sig);
            const QString out = QString::fromUtf8(proc.readAllStandardOutput());
            const QString err = QString::fromUtf8(proc.readAllStandardError());
            EXPECT_TRUE(err.contains(QStringLiteral("stopped by SIG") + sigabbrev_np(sig))) << err.toStdString();
            const QStringList lines = out.split('\n', Qt::SkipEmptyParts);
            EXPECT_EQ(lines.filter(QRegularExpression("^stopped\t")).size(), files);
            EXPECT_TRUE(lines.value(lines.size() - 1).startsWith("0 renamed")) << lines.last().toStdString();
            EXPECT_EQ(names(c.p("in")), namesBefore);
            EXPECT_EQ(contents(c.dir.path()), before);
            EXPECT_TRUE(QDir(c.journals()).isEmpty());
        }
        EXPECT_TRUE(hit) << "the first phase always ended before the process could be frozen";
    }
}

TEST(RenameCli, JournalThatCannotBeWrittenIsTheReasonOnEveryLine) {
    Cli c;
    for (const char *n : {"a", "b"})
        writeFile(c.p(n), n);
    writeFile(c.journals(), "a file where the journal folder should be");
    EXPECT_EQ(c.run({"--rename", "--rule", "j#", c.p("a"), c.p("b")}), 1);
    const QStringList lines = c.lines();
    ASSERT_EQ(lines.size(), 3) << c.out.toStdString();
    for (int i = 0; i < 2; ++i) {
        const QStringList fields = lines[i].split('\t');
        ASSERT_EQ(fields.size(), 3);
        EXPECT_EQ(fields[0], "failed");
        EXPECT_TRUE(fields[2].contains(c.journals())) << fields[2].toStdString();
        EXPECT_TRUE(fields[2].contains(QString::fromLocal8Bit(strerror(ENOTDIR)))) << fields[2].toStdString();
    }
    EXPECT_EQ(readFile(c.p("a")), "a");
    EXPECT_FALSE(QFile::exists(c.p("j1")));
}

TEST(RenameCli, RecoverRemovesTheCopyACrashLeftOnAnotherFileSystem) {
    Cli c;
    struct stat a, b;
    if (::stat("/dev/shm", &b) != 0 || ::stat(QFile::encodeName(c.dir.path()).constData(), &a) != 0 ||
        a.st_dev == b.st_dev)
        GTEST_SKIP() << "needs /dev/shm on another file system than " << c.dir.path().toStdString();
    QTemporaryDir other(QStringLiteral("/dev/shm/tavcli-XXXXXX"));
    writeFile(c.p("a"), "a");
    // Killed once the copy has its new name, before the original is removed.
    QProcess child;
    child.start(QStringLiteral(TAV_BUILD_BIN_DIR "/rename_crash_child"),
                {c.journals(), "copy", "3", c.p("a"), other.filePath("A")});
    ASSERT_TRUE(child.waitForFinished(30000));
    ASSERT_EQ(child.exitCode(), 0);
    ASSERT_TRUE(QFile::exists(other.filePath("A")));

    ASSERT_EQ(c.run({"--recover"}), 0) << c.out.toStdString();
    const QStringList lines = c.lines();
    EXPECT_EQ(
        lines.filter(QRegularExpression("^removed\t" + QRegularExpression::escape(other.filePath("A")) + "\t")).size(),
        1)
        << c.out.toStdString();
    EXPECT_EQ(lines.filter(QRegularExpression("^restored\t")).size(), 1);
    EXPECT_TRUE(lines.last().contains("1 copies")) << lines.last().toStdString();
    EXPECT_EQ(readFile(c.p("a")), "a");
    EXPECT_EQ(QDir(other.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());

    // The name is free again: the same move now goes through.
    child.start(QStringLiteral(TAV_BUILD_BIN_DIR "/rename_crash_child"),
                {c.journals(), "never", "0", c.p("a"), other.filePath("A")});
    ASSERT_TRUE(child.waitForFinished(30000));
    EXPECT_EQ(child.exitCode(), 1); // ran to its end
    EXPECT_EQ(readFile(other.filePath("A")), "a");
    EXPECT_FALSE(QFile::exists(c.p("a")));
}

TEST(RenameCli, HistoryAndUndoOfAFolderSort) {
    Cli c;
    for (const char *n : {"a.jpg", "b.jpg"})
        writeFile(c.p(n), n);
    const auto before = contents(c.dir.path());
    ASSERT_EQ(c.run({"--rename", "--rule", "$MKDIR$y2007\\sub\\p_#", c.p("a.jpg"), c.p("b.jpg")}), 0)
        << c.out.toStdString();
    ASSERT_EQ(readFile(c.p("y2007/sub/p_1.jpg")), "a.jpg");

    ASSERT_EQ(c.run({"--history"}), 0);
    QStringList lines = c.lines();
    ASSERT_EQ(lines.size(), 1) << c.out.toStdString();
    QStringList fields = lines[0].split('\t');
    ASSERT_EQ(fields.size(), 4);
    EXPECT_EQ(fields[0], "1");
    EXPECT_TRUE(QDateTime::fromString(fields[1], "yyyy-MM-dd HH:mm:ss").isValid()) << fields[1].toStdString();
    EXPECT_EQ(fields[2], "2");
    EXPECT_EQ(fields[3], c.dir.path());

    // Without --yes: what would move, nothing moved.
    ASSERT_EQ(c.run({"--undo"}), 0) << c.err.toStdString();
    lines = c.lines();
    EXPECT_TRUE(lines.contains("undo\t" + c.p("y2007/sub/p_1.jpg") + "\t" + c.p("a.jpg"))) << c.out.toStdString();
    EXPECT_TRUE(lines.last().contains("2 would be put back")) << lines.last().toStdString();
    EXPECT_TRUE(QFile::exists(c.p("y2007/sub/p_2.jpg")));

    ASSERT_EQ(c.run({"--undo", "--yes"}), 0) << c.out.toStdString() << c.err.toStdString();
    lines = c.lines();
    EXPECT_TRUE(lines.contains("renamed\t" + c.p("y2007/sub/p_2.jpg") + "\t" + c.p("b.jpg"))) << c.out.toStdString();
    EXPECT_EQ(lines.filter(QRegularExpression("^removed\t")).size(), 2);
    EXPECT_EQ(contents(c.dir.path()), before);
    EXPECT_FALSE(QFileInfo::exists(c.p("y2007"))); // the folders made for the batch are gone

    // Batch 1 is undone already: its files are not under its new names.
    EXPECT_EQ(c.run({"--undo=1", "--yes"}), 1);
    EXPECT_EQ(c.lines().filter(QRegularExpression("^blocked\t")).size(), 2) << c.out.toStdString();
    EXPECT_EQ(contents(c.dir.path()), before);
    EXPECT_EQ(c.run({"--undo", "99"}), 2);
    EXPECT_EQ(c.run({"--undo", "1", "2"}), 2);

    // Undoing the undo (batch 2) renames the files again.
    ASSERT_EQ(c.run({"--history"}), 0);
    EXPECT_EQ(c.lines().size(), 2);
    ASSERT_EQ(c.run({"--undo", "2", "--yes"}), 0) << c.out.toStdString();
    EXPECT_EQ(readFile(c.p("y2007/sub/p_1.jpg")), "a.jpg");
    EXPECT_EQ(readFile(c.p("y2007/sub/p_2.jpg")), "b.jpg");
}
