// The main controller without a window: deferred recomputation, token
// insertion, list operations and their counter order.

#include "QtPrinters.h"
#include "ScriptedFrontEnd.h"
#include "core/app/MainController.h"
#include "core/i18n/Language.h"
#include "core/settings/Settings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tav;

namespace {

struct ControllerTest : ::testing::Test {
    QTemporaryDir dir;
    ScriptedFrontEnd fe;
    Settings settings;
    QDateTime clock = QDateTime(QDate(2026, 12, 8), QTime(10, 0, 0));
    std::unique_ptr<MainController> c;

    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        settings.regle.Regle = QStringLiteral("f_#");
        settings.regle.IncrementeFichierIdentique = 0;
        c = std::make_unique<MainController>(settings);
        c->setClock([this] { return clock; });
        c->loadFromSettings();
        c->setUpdatesEnabled(true);
    }

    QString touch(const QString &name, const QString &sub = QString()) {
        const QString folder = sub.isEmpty() ? dir.path() : dir.path() + QLatin1Char('/') + sub;
        QDir().mkpath(folder);
        QFile f(folder + QLatin1Char('/') + name);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("x");
        return f.fileName();
    }

    QStringList column(int col) const {
        QStringList l;
        const QAbstractItemModel *m = c->model();
        for (int r = 0; r < m->rowCount(); ++r)
            l << m->index(r, col).data().toString();
        return l;
    }
};

} // namespace

TEST_F(ControllerTest, TypingRecomputesOnceAWholeSecondAfterTheLastChange) {
    c->addFiles({touch(QStringLiteral("a.txt")), touch(QStringLiteral("b.txt"))},
                MainController::Presence::SameNameAndFolder);
    ASSERT_EQ(column(1), (QStringList{"f_1.txt", "f_2.txt"}));

    c->ruleFocusIn(QStringLiteral("f_#"));
    c->ruleTextChanged(QStringLiteral("g"));
    c->ruleTextChanged(QStringLiteral("g_"));
    c->ruleTextChanged(QStringLiteral("g_#"));
    EXPECT_FALSE(c->updateTick()); // same second: nothing yet
    EXPECT_EQ(column(1), (QStringList{"f_1.txt", "f_2.txt"}));
    clock = clock.addSecs(1);
    EXPECT_TRUE(c->updateTick());
    EXPECT_EQ(column(1), (QStringList{"g_1.txt", "g_2.txt"}));
    EXPECT_FALSE(c->updateTick()); // once only
    EXPECT_EQ(c->renameList().rule().Regle, QStringLiteral("g_#"));
}

TEST_F(ControllerTest, LeavingTheBoxRecomputesAtOnceOnlyWhenTheTextChanged) {
    c->addFiles({touch(QStringLiteral("a.txt"))}, MainController::Presence::SameNameAndFolder);
    c->ruleFocusIn(QStringLiteral("f_#"));
    c->ruleFocusOut(QStringLiteral("f_#"));
    EXPECT_EQ(column(1), QStringList{"f_1.txt"});

    c->ruleFocusIn(QStringLiteral("f_#"));
    c->ruleTextChanged(QStringLiteral("h#"));
    c->ruleFocusOut(QStringLiteral("h#"));
    EXPECT_EQ(column(1), QStringList{"h1.txt"});
    EXPECT_FALSE(c->changePending());
}

TEST_F(ControllerTest, NothingIsComputedBeforeTheWindowIsActivated) {
    c->addFiles({touch(QStringLiteral("a.txt"))}, MainController::Presence::SameNameAndFolder);
    c->setUpdatesEnabled(false);
    c->ruleFocusIn(QStringLiteral("f_#"));
    c->ruleTextChanged(QStringLiteral("zz"));
    clock = clock.addSecs(5);
    c->updateTick();
    EXPECT_EQ(column(1), QStringList{"f_1.txt"});
}

TEST_F(ControllerTest, RefusedPatternKeepsTheLastGoodNames) {
    c->addFiles({touch(QStringLiteral("a.txt"))}, MainController::Presence::SameNameAndFolder);
    c->ruleFocusIn(QStringLiteral("f_#"));
    c->ruleTextChanged(QStringLiteral("a:b"));
    clock = clock.addSecs(2);
    c->updateTick();
    EXPECT_EQ(column(1), QStringList{"f_1.txt"});
    EXPECT_EQ(c->renameList().rule().Regle, QStringLiteral("f_#"));
    EXPECT_TRUE(fe.asked.isEmpty()); // told beside the box, not in one
    EXPECT_FALSE(c->ruleCheckText().isEmpty());
}

TEST_F(ControllerTest, TokenGoesInAtTheCaretAndTheCaretMovesPastIt) {
    c->ruleFocusIn(QStringLiteral("ab"));
    c->ruleTextChanged(QStringLiteral("ab"));
    c->caretTick(1);
    QString shown;
    QObject::connect(c.get(), &MainController::ruleTextSet, [&](const QString &t, int) { shown = t; });
    c->insertToken(2, QStringLiteral("$A$ : année"));
    EXPECT_EQ(shown, QStringLiteral("a$A$b"));
    EXPECT_EQ(c->caret(), 4);
    EXPECT_EQ(c->renameList().rule().Regle, QStringLiteral("a$A$b")); // validated at once

    // A caption without " :" inserts itself whole; label 31 replaces everything.
    c->insertToken(1, QStringLiteral("*"));
    EXPECT_EQ(c->currentRuleText(), QStringLiteral("a$A$*b"));
    c->insertToken(31, QStringLiteral("$MKDIR/x/*$ : déplacer"));
    EXPECT_EQ(c->currentRuleText(), QStringLiteral("$MKDIR/x/*$"));
}

TEST_F(ControllerTest, TypedKeysMoveTheRememberedCaret) {
    c->caretTick(3);
    c->ruleKeyTyped('x');
    c->ruleKeyTyped('y');
    c->ruleKeyTyped(8);
    EXPECT_EQ(c->caret(), 4);
}

TEST_F(ControllerTest, AddSelectedRefusesASameNameFromAnotherFolderAddAllAcceptsIt) {
    touch(QStringLiteral("same.txt"), QStringLiteral("one"));
    touch(QStringLiteral("same.txt"), QStringLiteral("two"));
    c->cmdAdd_Click(dir.path() + QStringLiteral("/one"), {QStringLiteral("same.txt")});
    c->cmdAdd_Click(dir.path() + QStringLiteral("/one"), {QStringLiteral("same.txt")});
    c->cmdAdd_Click(dir.path() + QStringLiteral("/two"), {QStringLiteral("same.txt")});
    EXPECT_EQ(c->model()->rowCount(), 1);
    c->cmdAddAll_Click(dir.path() + QStringLiteral("/two"), {QStringLiteral("same.txt")});
    c->cmdAddAll_Click(dir.path() + QStringLiteral("/two"), {QStringLiteral("same.txt")});
    EXPECT_EQ(c->model()->rowCount(), 2);
    // The long-operation frame switched the window off and on again.
    ASSERT_FALSE(fe.onOff.isEmpty());
    EXPECT_EQ(fe.onOff.first(), (QList<bool>{false, true, false}));
    EXPECT_EQ(fe.onOff.last(), (QList<bool>{true, false, false}));
}

TEST_F(ControllerTest, MovesAndDragKeepTheCounterInListOrder) {
    QStringList paths;
    for (const char *n : {"a.txt", "b.txt", "c.txt", "d.txt", "e.txt", "f.txt"})
        paths << touch(QString::fromLatin1(n));
    c->addFiles(paths, MainController::Presence::SameNameAndFolder);

    EXPECT_EQ(c->cmdUp_Click({0, 1}), (QList<int>{0, 1})); // first row selected: nothing moves
    EXPECT_EQ(column(0).first(), QStringLiteral("a.txt"));

    EXPECT_EQ(c->cmdUp_Click({1, 2}), (QList<int>{0, 1}));
    EXPECT_EQ(column(0), (QStringList{"b.txt", "c.txt", "a.txt", "d.txt", "e.txt", "f.txt"}));
    EXPECT_EQ(column(1), (QStringList{"f_1.txt", "f_2.txt", "f_3.txt", "f_4.txt", "f_5.txt", "f_6.txt"}));

    EXPECT_EQ(c->cmdDown_Click({5}), QList<int>{5}); // last row selected: nothing moves
    EXPECT_EQ(c->cmdDown_Click({3, 4}), (QList<int>{4, 5}));
    EXPECT_EQ(column(0), (QStringList{"b.txt", "c.txt", "a.txt", "f.txt", "d.txt", "e.txt"}));

    // Dragging row 5 onto row 2 (1-based): 1, 5, 2, 3, 4, 6.
    c->cmdClear_Click();
    c->addFiles(paths, MainController::Presence::SameNameAndFolder);
    c->dragRow(4, 1);
    EXPECT_EQ(column(0), (QStringList{"a.txt", "e.txt", "b.txt", "c.txt", "d.txt", "f.txt"}));
    EXPECT_EQ(column(1).at(1), QStringLiteral("f_2.txt"));
    for (int r = 0; r < 6; ++r)
        EXPECT_EQ(c->model()->entry(r).folder, dir.path());
}

TEST_F(ControllerTest, RemoveRecomputesAndClearEmpties) {
    c->addFiles({touch(QStringLiteral("a.txt")), touch(QStringLiteral("b.txt")), touch(QStringLiteral("c.txt"))},
                MainController::Presence::SameNameAndFolder);
    c->cmdDel_Click({0, 2});
    EXPECT_EQ(column(0), QStringList{"b.txt"});
    EXPECT_EQ(column(1), QStringList{"f_1.txt"});
    c->cmdClear_Click();
    EXPECT_EQ(c->model()->rowCount(), 0);
}

TEST_F(ControllerTest, HierarchyAsksWithTheCountAndWalksBreadthFirst) {
    settings.FiltreAffichage = QStringLiteral("*.jpg");
    touch(QStringLiteral("top.jpg"));
    touch(QStringLiteral("deep.jpg"), QStringLiteral("s/t"));
    touch(QStringLiteral("mid.jpg"), QStringLiteral("s"));
    touch(QStringLiteral("skip.txt"), QStringLiteral("s"));

    fe.answers = {AnswerNo};
    c->mnuAddHieriachy_Click(dir.path());
    ASSERT_EQ(fe.asked.size(), 1);
    EXPECT_EQ(fe.asked[0].style, 36);
    EXPECT_EQ(c->model()->rowCount(), 0);

    fe.answers = {AnswerYes};
    c->mnuAddHieriachy_Click(dir.path());
    EXPECT_EQ(column(0), (QStringList{"top.jpg", "mid.jpg", "deep.jpg"}));
}

TEST_F(ControllerTest, HierarchyCountAndWalkAgreeOnNamesWithoutDotAndOnLinks) {
    // "*.*" takes every name, also one without a dot, like the folder list.
    settings.FiltreAffichage = QStringLiteral("*.*");
    touch(QStringLiteral("README"));
    touch(QStringLiteral("a.jpg"));
    touch(QStringLiteral("b.txt"), QStringLiteral("sub"));
    QTemporaryDir outside;
    QFile f(outside.filePath(QStringLiteral("linked.jpg")));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();
    // A linked folder is walked once, and a link back up ends there.
    ASSERT_TRUE(QFile::link(outside.path(), dir.filePath(QStringLiteral("link"))));
    ASSERT_TRUE(QFile::link(dir.path(), dir.filePath(QStringLiteral("sub/loop"))));

    EXPECT_EQ(c->countMatchingFiles(dir.path(), true), 4);
    bool stopped = false;
    QStringList names;
    for (const QString &path : c->collectHierarchy(dir.path(), true, false, &stopped))
        names << QFileInfo(path).fileName();
    names.sort();
    EXPECT_EQ(names, (QStringList{"README", "a.jpg", "b.txt", "linked.jpg"}));

    fe.answers = {AnswerYes};
    c->mnuAddHieriachy_Click(dir.path());
    ASSERT_EQ(fe.asked.size(), 1);
    EXPECT_TRUE(fe.asked[0].message.startsWith(QStringLiteral("4 "))) << fe.asked[0].message.toStdString();
    EXPECT_EQ(c->model()->rowCount(), 4);
}

TEST_F(ControllerTest, HierarchyWithNoMatchingFileStopsWithoutAdding) {
    settings.FiltreAffichage = QStringLiteral("*.png");
    touch(QStringLiteral("a.txt"));
    fe.defaultAnswer = AnswerYes;
    c->mnuAddHieriachy_Click(dir.path());
    EXPECT_EQ(c->model()->rowCount(), 0);
}

TEST_F(ControllerTest, DroppedFolderAddsEveryFileAfterTheQuestionPlainFileAtOnce) {
    settings.FiltreAffichage = QStringLiteral("*.jpg");
    const QString plain = touch(QStringLiteral("plain.txt"));
    touch(QStringLiteral("1.jpg"), QStringLiteral("d1"));
    touch(QStringLiteral("2.txt"), QStringLiteral("d1"));
    touch(QStringLiteral("3.jpg"), QStringLiteral("d2"));
    fe.answers = {AnswerYes};
    c->cmdDnD_Drop({plain, dir.path() + QStringLiteral("/d1"), dir.path() + QStringLiteral("/d2"),
                    dir.path() + QStringLiteral("/missing")});
    ASSERT_EQ(fe.asked.size(), 1); // only the folders ask
    EXPECT_EQ(c->model()->rowCount(), 4);
    EXPECT_EQ(column(0).first(), QStringLiteral("plain.txt"));
    EXPECT_TRUE(column(0).contains(QStringLiteral("2.txt"))); // the filter does not apply to dropped folders
}

TEST_F(ControllerTest, PathsHandedToTheProgramJoinTheListWithoutAQuestion) {
    const QString file = touch(QStringLiteral("z.txt"));
    touch(QStringLiteral("b.jpg"), QStringLiteral("d"));
    touch(QStringLiteral("A.jpg"), QStringLiteral("d"));
    touch(QStringLiteral("deep.jpg"), QStringLiteral("d/sub"));
    touch(QStringLiteral(".hidden"), QStringLiteral("d"));
    const QString missing = dir.path() + QStringLiteral("/nothing here");
    const QStringList left = c->openPaths({file, dir.path() + QStringLiteral("/d"), missing});
    EXPECT_EQ(left, QStringList{missing});
    EXPECT_TRUE(fe.asked.isEmpty());
    // The file, then the folder's own files by name: not its sub-folders, not hidden files.
    EXPECT_EQ(column(0), (QStringList{"z.txt", "A.jpg", "b.jpg"}));
    // Given again, nothing is added twice.
    c->openPaths({file});
    EXPECT_EQ(c->model()->rowCount(), 3);
}

TEST_F(ControllerTest, StopDuringAddingKeepsWhatWasAdded) {
    QStringList paths;
    for (int i = 0; i < 20; ++i)
        paths << touch(QStringLiteral("f%1.txt").arg(i));
    int events = 0;
    fe.answers = {AnswerYes};
    fe.onProcessEvents = [&] {
        if (++events == 5)
            c->cmdStopAction_Click();
    };
    c->addFiles(paths, MainController::Presence::SameNameAndFolder);
    EXPECT_EQ(c->model()->rowCount(), 4);
    EXPECT_FALSE(c->actionRunning());
}

TEST_F(ControllerTest, SavedRuleIsAppliedWithItsOptionsAndCountsAsAPatternChange) {
    Rule saved;
    saved.Regle = QStringLiteral("x_##");
    saved.DebutPas = 5;
    saved.Pas = 2;
    saved.EffaceEspace = 1;
    saved.Commentaire = QStringLiteral("vacances");
    saved.Extension = QStringLiteral("jpg");
    settings.regles = {saved};
    c->addFiles({touch(QStringLiteral("a.jpg")), touch(QStringLiteral("b.jpg"))},
                MainController::Presence::SameNameAndFolder);

    c->chooseSavedRule(QStringLiteral("x_##"));
    EXPECT_TRUE(c->changePending());
    EXPECT_EQ(c->renameList().rule().Pas, 2);
    EXPECT_EQ(c->renameList().rule().EffaceEspace, 1);
    EXPECT_TRUE(c->commentLabel().startsWith(QStringLiteral("vacances (jpg)")));
    clock = clock.addSecs(1);
    c->updateTick();
    EXPECT_EQ(column(1), (QStringList{"x_05.jpg", "x_07.jpg"}));
}

TEST_F(ControllerTest, RenameUsesThePatternStillBeingTypedAndNothingWhenItIsRefused) {
    const QString a = touch(QStringLiteral("a.txt"));
    c->addFiles({a}, MainController::Presence::SameNameAndFolder);
    fe.defaultAnswer = AnswerYes;

    // Typed, not yet settled: a refused pattern renames nothing.
    c->ruleFocusIn(QStringLiteral("f_#"));
    c->ruleTextChanged(QStringLiteral("bad:#"));
    c->cmdRenommer_Click();
    EXPECT_TRUE(QFile::exists(a));
    EXPECT_EQ(c->renameList().rule().Regle, QStringLiteral("f_#"));

    // Typed again: the rename takes the box's text, not the last shown names.
    c->ruleTextChanged(QStringLiteral("g_#"));
    c->cmdRenommer_Click();
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"g_1.txt"});
}

// Rename clicked right after typing: every name is computed first, with the
// window's events running between rows while the list still shows each row's
// old name whole. A row removed meanwhile stays removed, a click on Rename
// meanwhile does nothing, and the files get the names the list then shows.
TEST_F(ControllerTest, ClickRightAfterTypingRenamesWithTheNamesShownOnceComputed) {
    QStringList paths;
    for (int i = 0; i < 200; ++i)
        paths << touch(QStringLiteral("p%1.txt").arg(i, 3, 10, QLatin1Char('0')));
    c->addFiles(paths, MainController::Presence::SameNameAndFolder);
    c->ruleFocusIn(QStringLiteral("f_#"));
    c->ruleTextChanged(QStringLiteral("g_###"));
    fe.defaultAnswer = AnswerYes;
    int turns = 0;
    QStringList halfMade;
    fe.onProcessEvents = [&] {
        if (!c->renameList().isBusy())
            return;
        if (++turns == 1)
            c->cmdDel_Click({0});
        c->cmdRenommer_Click();
        // Every row shows the old rule's name, or every row the new one's.
        const QStringList shown = column(1);
        const QString prefix = shown.value(0).left(2);
        for (const QString &name : shown)
            if (!name.startsWith(prefix) || (prefix != QLatin1String("f_") && prefix != QLatin1String("g_")))
                halfMade << name;
    };
    c->cmdRenommer_Click();
    EXPECT_GT(turns, 2);
    EXPECT_EQ(halfMade, QStringList{});
    QStringList expected{QStringLiteral("p000.txt")};
    for (int i = 1; i < 200; ++i)
        expected << QStringLiteral("g_%1.txt").arg(i, 3, 10, QLatin1Char('0'));
    expected.sort();
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files, QDir::Name), expected);
    EXPECT_EQ(c->lastRename().renamed, 199);
}

TEST_F(ControllerTest, TheStopButtonDuringARenameKeepsEveryOldName) {
    QStringList paths;
    for (int i = 0; i < 6; ++i)
        paths << touch(QStringLiteral("s%1.txt").arg(i));
    c->addFiles(paths, MainController::Presence::SameNameAndFolder);
    const QStringList before = QDir(dir.path()).entryList(QDir::Files);
    fe.defaultAnswer = AnswerYes; // the stop question
    int events = 0;
    fe.onProcessEvents = [&] {
        if (++events == 3)
            c->cmdRenommerStop_Click();
    };
    c->cmdRenommer_Click();
    EXPECT_TRUE(c->lastRename().stopped);
    EXPECT_EQ(c->lastRename().renamed, 0);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), before);
    EXPECT_EQ(c->model()->rowCount(), 6);

    // The next batch starts with the flag cleared.
    fe.onProcessEvents = nullptr;
    c->cmdRenommer_Click();
    EXPECT_FALSE(c->lastRename().stopped);
    EXPECT_EQ(c->lastRename().renamed, 6);
}

TEST_F(ControllerTest, StoppingARenameAsksFirst) {
    fe.answers = {AnswerNo, AnswerYes};
    c->cmdRenommerStop_Click();
    EXPECT_FALSE(c->renameStopRequested());
    c->cmdRenommerStop_Click();
    EXPECT_TRUE(c->renameStopRequested());
    ASSERT_EQ(fe.asked.size(), 2);
    EXPECT_EQ(fe.asked[0].style, 36);
}

TEST_F(ControllerTest, RenameNeverUsesNamesOlderThanTheRuleTheOptionsOrTheList) {
    struct Case {
        const char *what;
        std::function<void()> change;
        QStringList expected; // names on disk, each with the old name it came from
    };
    const Case cases[] = {
        {"pattern left with Tab",
         [&] {
             c->ruleFocusIn(QStringLiteral("f_#"));
             c->ruleTextChanged(QStringLiteral("Troisieme ##"));
             c->ruleFocusOut(QStringLiteral("Troisieme ##"));
         },
         {"Troisieme 01.txt=a.txt", "Troisieme 02.txt=b.txt"}},
        {"pattern settled by the timer",
         [&] {
             c->ruleFocusIn(QStringLiteral("f_#"));
             c->ruleTextChanged(QStringLiteral("t#"));
             clock = clock.addSecs(2);
             c->updateTick();
         },
         {"t1.txt=a.txt", "t2.txt=b.txt"}},
        {"counter start left", [&] { c->txtDebut_LostFocus(QStringLiteral("7")); }, {"f_7.txt=a.txt", "f_8.txt=b.txt"}},
        {"rows moved", [&] { c->cmdDown_Click({0}); }, {"f_1.txt=b.txt", "f_2.txt=a.txt"}},
        {"row removed", [&] { c->cmdDel_Click({0}); }, {"a.txt=a.txt", "f_1.txt=b.txt"}},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(k.what);
        QDir(dir.path()).removeRecursively();
        QDir().mkpath(dir.path());
        c->cmdClear_Click();
        c->renameList().setTxtDebut(QStringLiteral("1"));
        c->renameList().rule().DebutPas = 1;
        c->setAutoRefresh(true);
        c->ruleFocusIn(QStringLiteral("f_#"));
        c->ruleTextChanged(QStringLiteral("f_#"));
        c->ruleFocusOut(QStringLiteral("f_#"));
        QStringList paths;
        for (const char *name : {"a.txt", "b.txt"}) {
            QFile f(dir.filePath(QString::fromLatin1(name)));
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(name);
            paths << f.fileName();
        }
        c->addFiles(paths, MainController::Presence::SameNameAndFolder);
        c->setAutoRefresh(false); // "Mise à jour automatique" off
        k.change();
        fe.defaultAnswer = AnswerYes;
        c->cmdRenommer_Click();
        QStringList onDisk;
        for (const QString &name : QDir(dir.path()).entryList(QDir::Files, QDir::Name)) {
            QFile f(dir.filePath(name));
            EXPECT_TRUE(f.open(QIODevice::ReadOnly));
            onDisk << name + QLatin1Char('=') + QString::fromLatin1(f.readAll());
        }
        EXPECT_EQ(onDisk, k.expected);
    }
}

TEST_F(ControllerTest, WhatTheCheckFindsWhileTypingIsShownInPlaceAndBoxedOnlyWhenTheUserActs) {
    QStringList shown;
    QObject::connect(c.get(), &MainController::ruleCheckChanged, [&](const QString &t) { shown << t; });
    c->addFiles({touch(QStringLiteral("a.txt"))}, MainController::Presence::SameNameAndFolder);
    c->ruleFocusIn(QStringLiteral("f_#"));
    c->ruleTextChanged(QStringLiteral("Photo $"));
    clock = clock.addSecs(3);
    EXPECT_TRUE(c->updateTick());
    EXPECT_TRUE(fe.asked.isEmpty());                                    // no box while typing
    EXPECT_EQ(c->renameList().rule().Regle, QStringLiteral("Photo $")); // odd "$" only informs
    ASSERT_EQ(shown.size(), 1);
    EXPECT_FALSE(shown.last().isEmpty());

    c->ruleTextChanged(QStringLiteral("Photo $P$ a:b"));
    c->ruleFocusOut(QStringLiteral("Photo $P$ a:b"));
    EXPECT_TRUE(fe.asked.isEmpty());
    EXPECT_EQ(c->renameList().rule().Regle, QStringLiteral("Photo $")); // refused: not stored
    EXPECT_TRUE(shown.last().contains(QLatin1Char(':')));

    // Saving and renaming act on the pattern: now the box, and nothing done.
    c->cmdPrendrePlus_Click();
    EXPECT_EQ(fe.asked.size(), 1);
    EXPECT_TRUE(settings.regles.empty());
    c->cmdRenommer_Click();
    EXPECT_EQ(fe.asked.size(), 2);
    EXPECT_TRUE(QFile::exists(dir.filePath(QStringLiteral("a.txt"))));

    c->ruleFocusIn(QStringLiteral("Photo $P$ a:b"));
    c->ruleTextChanged(QStringLiteral("Photo $P$ ##"));
    clock = clock.addSecs(3);
    c->updateTick();
    EXPECT_TRUE(shown.last().isEmpty());
    EXPECT_EQ(fe.asked.size(), 2);
}

TEST_F(ControllerTest, HierarchyTellsHowManyFilesWereLeftOutForANameAlreadyListed) {
    settings.FiltreAffichage = QStringLiteral("*.jpg");
    for (const char *sub : {"a", "b", "c"})
        for (const char *name : {"1.jpg", "2.jpg"})
            touch(QString::fromLatin1(name), QString::fromLatin1(sub));
    touch(QStringLiteral("own.jpg"), QStringLiteral("c"));
    fe.answers = {AnswerYes};
    c->mnuAddHieriachy_Click(dir.path());
    EXPECT_EQ(c->model()->rowCount(), 3);
    ASSERT_EQ(fe.asked.size(), 2); // the question, then what was left out
    EXPECT_TRUE(fe.asked[0].message.contains(QLatin1String("7"))) << fe.asked[0].message.toStdString();
    EXPECT_TRUE(fe.asked[1].message.startsWith(QLatin1String("3 "))) << fe.asked[1].message.toStdString();
    EXPECT_TRUE(fe.asked[1].message.contains(QLatin1String(" 4 "))) << fe.asked[1].message.toStdString();

    // Nothing left out: nothing more to say.
    c->cmdClear_Click();
    fe.asked.clear();
    fe.answers = {AnswerYes};
    c->mnuAddHieriachy_Click(dir.path() + QStringLiteral("/c"));
    EXPECT_EQ(c->model()->rowCount(), 3);
    EXPECT_EQ(fe.asked.size(), 1);
}

TEST_F(ControllerTest, MonthNamesFollowTheInterfaceLanguage) {
    const QLocale before = QLocale();
    const QString language = i18n::languageName();
    settings.FormatMois = 3; // the whole month name
    c->applyOptions(false);
    c->setForbidden(false); // accents kept
    c->renameList().setClock([] { return QDateTime(QDate(2026, 12, 9), QTime(10, 0)); });
    c->addFiles({touch(QStringLiteral("a.txt"))}, MainController::Presence::SameNameAndFolder);
    const struct {
        const char *language, *month;
    } cases[] = {{"Français", "décembre"}, {"English", "December"}, {"Français", "décembre"}};
    for (const auto &k : cases) {
        i18n::setLanguage(QString::fromUtf8(k.language));
        c->languageChanged(QString(), QString(), QString());
        c->ruleFocusIn(QStringLiteral("x"));
        c->ruleTextChanged(QStringLiteral("$M$"));
        c->ruleFocusOut(QStringLiteral("$M$"));
        EXPECT_EQ(column(1), QStringList{QString::fromUtf8(k.month) + QStringLiteral(".txt")}) << k.language;
    }
    i18n::setLanguage(language);
    QLocale::setDefault(before);
}
