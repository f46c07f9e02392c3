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
