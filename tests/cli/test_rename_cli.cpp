// travoline-cli --rename and --recover, run as a real process on real folders.
#include "QtPrinters.h"
#include "RenameTestUtil.h"
#include "TestPaths.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tavtest;

namespace {

struct Cli {
    QTemporaryDir dir, config;
    QString out, err;
    int status = -1;

    QString p(const QString &rel) const { return dir.filePath(rel); }

    int run(const QStringList &args) {
        QProcess proc;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", config.path()); // own settings, own journals
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
    EXPECT_TRUE(QDir(c.config.filePath("Travoline/journal")).isEmpty());
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
                {c.config.filePath("Travoline/journal"), "2", "1", c.p("a"), c.p("b"), c.p("b"), c.p("a")});
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
