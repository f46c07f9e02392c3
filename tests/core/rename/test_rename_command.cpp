// The rename command over the real engine and list, on real folders: the
// checks before the batch, the review, the after-rename options, passes,
// failures and errors.
#include "core/filelist/RenameList.h"
#include "core/i18n/Language.h"
#include "core/rename/RenameCommand.h"
#include "core/rename/RenameJournal.h"
#include "core/settings/Settings.h"

#include "QtPrinters.h"
#include "RenameTestUtil.h"
#include "ScriptedFrontEnd.h"
#include "TestGuard.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <stdexcept>

using namespace tav;
using namespace tavtest;

namespace {

class RenameCommandTest : public ::testing::Test {
protected:
    QTemporaryDir dir, journals;
    ScriptedFrontEnd ui;
    RenameList engine;
    Settings settings;
    RenameCallbacks callbacks;
    QList<QPair<QString, QString>> thumbnails; // every file the thumbnails were told of
    int thumbnailCalls = 0;
    int titleUpdates = 0;
    QMap<QByteArray, int> before;
    tav::test::TestGuard guard;

    void SetUp() override {
        guard.language(QStringLiteral("English"));
        RenameJournal::setJournalFolder(journals.path());
        settings.NombreFichierRenomme = 5;
        callbacks.thumbnailsRenamed = [this](const RenamedFiles &files) {
            ++thumbnailCalls;
            for (qsizetype i : files.moved)
                thumbnails.append({files.items.at(i).oldPath(), files.items.at(i).newPath()});
        };
        callbacks.updateTitle = [this] { ++titleUpdates; };
    }
    void TearDown() override { RenameJournal::setJournalFolder(QString()); }

    QString p(const QString &rel) const { return dir.filePath(rel); }

    // Creates the files (content = name) and adds them to the list in order.
    void add(const QStringList &rels, const QString &pattern) {
        engine.setPattern(pattern);
        for (const QString &r : rels)
            writeFile(p(r), r.toUtf8());
        before = contents(dir.path());
        for (const QString &r : rels)
            engine.affiche_nom(p(r));
    }

    RenameReport rename() { return cmdRenommer_Click(engine, settings, callbacks); }

    QStringList listed() const {
        QStringList l;
        for (const FileEntry &e : engine.model()->entries())
            l << e.oldName;
        return l;
    }
};

} // namespace

TEST_F(RenameCommandTest, RenamesTheListAndLeavesMarkersAlone) {
    engine.options().neverRenamed = {"Thumbs.db"};
    engine.rule().Extension = "JPG";
    add({"b.jpg", "a.jpg", "Thumbs.db", "c.txt"}, "photo_##");
    ASSERT_EQ(engine.model()->entry(2).newName, i18n::Message(91));

    const RenameReport r = rename();
    EXPECT_TRUE(r.started);
    EXPECT_EQ(r.total, 2);
    EXPECT_EQ(r.renamed, 2);
    EXPECT_EQ(readFile(p("photo_01.jpg")), "b.jpg");
    EXPECT_EQ(readFile(p("photo_02.jpg")), "a.jpg");
    EXPECT_EQ(readFile(p("Thumbs.db")), "Thumbs.db");
    EXPECT_EQ(readFile(p("c.txt")), "c.txt");
    EXPECT_EQ(engine.model()->count(), 0);
    EXPECT_EQ(settings.NombreFichierRenomme, 7);
    EXPECT_EQ(thumbnails,
              (QList<QPair<QString, QString>>{{p("a.jpg"), p("photo_02.jpg")}, {p("b.jpg"), p("photo_01.jpg")}}));
    EXPECT_EQ(thumbnailCalls, 1) << "told once, after the batch";
    EXPECT_EQ(titleUpdates, 1);
    EXPECT_EQ(ui.onOff, (QList<QList<bool>>{{false, false, true}, {true, false, false}}));
    // The preparation (five steps a file), then the two phases.
    EXPECT_EQ(ui.progressStarts, (QList<int>{10, 4}));
    EXPECT_EQ(ui.progressSteps.mid(ui.progressSteps.size() - 4), (QList<int>{1, 2, 3, 4}));
    EXPECT_TRUE(ui.asked.isEmpty());
    EXPECT_EQ(contents(dir.path()), before);
}

TEST_F(RenameCommandTest, NothingToDoAndEmptyRule) {
    add({"a.jpg"}, "");
    RenameReport r = rename();
    ASSERT_EQ(ui.asked.size(), 1);
    EXPECT_EQ(ui.asked[0].message, i18n::Message(37));
    EXPECT_EQ(ui.asked[0].style, 64);
    EXPECT_EQ(ui.asked[0].title, i18n::Message(2));
    EXPECT_FALSE(r.started);
    EXPECT_EQ(titleUpdates, 1);

    engine.setPattern("   ");
    r = rename();
    EXPECT_EQ(ui.asked.size(), 1);
    EXPECT_FALSE(r.started);
    EXPECT_EQ(names(dir.path()), QStringList{"a.jpg"});
}

TEST(RenameCounterWidth, DigitsNeeded) {
    EXPECT_EQ(counterWidth(2, 99, 1, 1).digitsNeeded, 0);
    EXPECT_EQ(counterWidth(2, 100, 1, 1).digitsNeeded, 3);
    EXPECT_EQ(counterWidth(2, 150, 1, 1).lastValue, 150);
    EXPECT_EQ(counterWidth(2, 150, 1, 1).digitsNeeded, 3);
    EXPECT_EQ(counterWidth(2, 1000, 1, 1).digitsNeeded, 4);
    EXPECT_EQ(counterWidth(3, 10, 995, 1).digitsNeeded, 4);
    EXPECT_EQ(counterWidth(1, 5, 20, -5).digitsNeeded, 0); // 20, 15 ... 0: the first does not fit, the last does
    EXPECT_EQ(counterWidth(12, 3, 2147483647, 32767).digitsNeeded, 0);
}

TEST_F(RenameCommandTest, CounterWidthQuestion) {
    QStringList files;
    for (int i = 0; i < 100; ++i)
        files << QStringLiteral("f%1").arg(i, 3, 10, QLatin1Char('0'));
    add(files, "n_##");
    ui.answers = {AnswerNo};
    RenameReport r = rename();
    ASSERT_EQ(ui.asked.size(), 1);
    EXPECT_EQ(ui.asked[0].style, 68);
    EXPECT_EQ(ui.asked[0].message,
              i18n::Message(32, "2", "99") + i18n::Message(33, "100", "3") + "\r\n" + i18n::Message(34));
    EXPECT_TRUE(r.cancelled);
    EXPECT_EQ(titleUpdates, 0); // declined: ends quietly
    EXPECT_EQ(engine.model()->count(), 100);
    EXPECT_EQ(contents(dir.path()), before);
    EXPECT_TRUE(QFile::exists(p("f000")));

    ui.answers = {AnswerYes};
    r = rename();
    EXPECT_EQ(r.renamed, 100);
    EXPECT_EQ(readFile(p("n_100")), "f099");
    EXPECT_EQ(contents(dir.path()), before);

    // A start field that is not a number stops the command before anything moves.
    add({"g"}, "n_##");
    engine.setTxtDebut("abc");
    r = rename();
    ASSERT_EQ(ui.asked.size(), 3);
    EXPECT_TRUE(ui.asked[2].message.contains("cmdRenommer_Click (Feuille frmMain)"));
    EXPECT_TRUE(QFile::exists(p("g")));
    EXPECT_FALSE(r.error.isEmpty());
}

TEST_F(RenameCommandTest, ReviewContinueOrCancel) {
    writeFile(p("taken.jpg"), "outsider");
    add({"a.jpg", "b.jpg", "c.jpg", "d.jpg"}, "x");
    // a -> taken (occupied), b and c -> same name (duplicates), d -> free
    engine.model()->setNewName(0, "taken.jpg");
    engine.model()->setNewName(1, "dup.jpg");
    engine.model()->setNewName(2, "dup.jpg");
    engine.model()->setNewName(3, "d2.jpg");
    before = contents(dir.path());

    ui.reviewAnswer = false;
    RenameReport r = rename();
    ASSERT_EQ(ui.reviews.size(), 1);
    EXPECT_EQ(ui.reviewSuffixes[0], " (3 / 4)");
    QStringList reviewed;
    for (const ReviewEntry &e : ui.reviews[0]) {
        reviewed << QFileInfo(e.oldPath).fileName();
        EXPECT_FALSE(e.reason.isEmpty());
    }
    EXPECT_EQ(reviewed, (QStringList{"a.jpg", "b.jpg", "c.jpg"}));
    EXPECT_TRUE(r.cancelled);
    EXPECT_EQ(ui.onOff, (QList<QList<bool>>{{false, false, true}, {true, false, false}}));
    EXPECT_EQ(engine.model()->count(), 4);
    EXPECT_EQ(contents(dir.path()), before);
    EXPECT_TRUE(QFile::exists(p("d.jpg")));

    ui.reviewAnswer = true;
    r = rename();
    EXPECT_EQ(r.renamed, 1);
    EXPECT_EQ(listed(), (QStringList{"a.jpg", "b.jpg", "c.jpg"}));
    EXPECT_EQ(readFile(p("d2.jpg")), "d.jpg");
    EXPECT_EQ(readFile(p("taken.jpg")), "outsider");
    EXPECT_EQ(contents(dir.path()), before);
    EXPECT_TRUE(ui.asked.isEmpty()); // blocked files were shown in the review, not again
}

TEST_F(RenameCommandTest, FolderPatternsRelativeAndAbsolute) {
    QTemporaryDir elsewhere;
    add({"a.jpg", "b.jpg"}, "$MKDIR$y2007\\sub\\p_#");
    EXPECT_TRUE(engine.model()->entry(0).makesFolders);
    QString absolute = elsewhere.filePath("deep/er");
    absolute.replace('/', '\\');
    engine.model()->setNewName(1, absolute + "\\b.jpg", QString(), true);

    // Cancelled in the review (a conflict is planted): only the folders stay.
    writeFile(p("y2007/sub/p_1.jpg"), "planted");
    before = contents(dir.path());
    ui.reviewAnswer = false;
    rename();
    EXPECT_TRUE(QFileInfo(elsewhere.filePath("deep/er")).isDir());
    EXPECT_EQ(contents(dir.path()), before);
    EXPECT_TRUE(names(elsewhere.filePath("deep/er")).isEmpty());
    EXPECT_EQ(thumbnailCalls, 0);

    QFile::remove(p("y2007/sub/p_1.jpg"));
    before = contents(dir.path());
    const RenameReport r = rename();
    EXPECT_EQ(r.renamed, 2);
    EXPECT_EQ(readFile(p("y2007/sub/p_1.jpg")), "a.jpg");
    EXPECT_EQ(readFile(elsewhere.filePath("deep/er/b.jpg")), "b.jpg");
    EXPECT_EQ(thumbnails, (QList<QPair<QString, QString>>{{p("b.jpg"), elsewhere.filePath("deep/er/b.jpg")},
                                                          {p("a.jpg"), p("y2007/sub/p_1.jpg")}}));
    before.remove("b.jpg");
    EXPECT_EQ(contents(dir.path()), before);
}

TEST_F(RenameCommandTest, NamesThatCannotBeFileNamesAreBlockedWithTheirReason) {
    add({"a.jpg", "b.jpg", "c.jpg", "d.jpg"}, "x_#");
    QDir(dir.path()).mkdir("sub");
    engine.model()->setNewName(0, "..", "a reason from the engine");
    engine.model()->setNewName(1, "");
    // Names that did not come from the engine are checked all the same.
    engine.model()->setNewName(2, "sub/c.jpg");
    engine.model()->setNewName(3, "..");
    rename();
    ASSERT_EQ(ui.reviews.size(), 1);
    ASSERT_EQ(ui.reviews[0].size(), 4);
    EXPECT_EQ(ui.reviews[0][0].reason, "a reason from the engine");
    for (int i = 1; i < 4; ++i)
        EXPECT_FALSE(ui.reviews[0][i].reason.isEmpty());
    EXPECT_EQ(contents(dir.path()), before);
    EXPECT_TRUE(names(p("sub")).isEmpty());
    EXPECT_EQ(engine.model()->count(), 4);
}

TEST_F(RenameCommandTest, AfterRenameOptions) {
    settings.RegleDebutApresRenommage = 2;
    settings.ReglePasApresRenommage = 0;
    settings.ReglePasResetRenommage = 3;
    QStringList files;
    for (int i = 0; i < 10; ++i)
        files << QStringLiteral("f%1").arg(i);
    add(files, "r##");
    int changed = 0;
    callbacks.fieldsChanged = [&] { ++changed; };
    rename();
    EXPECT_EQ(engine.txtDebut(), "11");
    EXPECT_EQ(engine.rule().DebutPas, 11);
    EXPECT_EQ(settings.regle.DebutPas, 11);
    EXPECT_EQ(engine.txtPas(), "3");
    EXPECT_EQ(engine.rule().Pas, 3);
    EXPECT_EQ(engine.rule().Regle, "r##");
    EXPECT_GE(changed, 1);

    settings.RegleApresRenommage = 0;
    settings.RegleDebutApresRenommage = 0;
    settings.RegleDebutResetRenommage = 7;
    settings.regle.Regle = "r##";
    add({"g"}, "s##");
    rename();
    EXPECT_TRUE(QFile::exists(p("s11")));
    EXPECT_EQ(engine.txtDebut(), "7");
    EXPECT_EQ(engine.rule().DebutPas, 7);
    EXPECT_TRUE(engine.rule().Regle.isEmpty());
    EXPECT_TRUE(settings.regle.Regle.isEmpty());
}

// In the continue mode the start field holds "#": there is no last value to
// foresee, and "continue after the batch" leaves the mode as it is.
TEST_F(RenameCommandTest, ContinueModeAsksNothingAndStaysOn) {
    settings.RegleDebutApresRenommage = 2;
    engine.setTxtDebut("#");
    engine.rule().DebutPas = ContinueModeStart;
    QStringList files;
    for (int i = 0; i < 12; ++i)
        files << QStringLiteral("f%1").arg(i);
    add(files, "n#");
    const RenameReport r = rename();
    EXPECT_TRUE(ui.asked.isEmpty());
    EXPECT_TRUE(r.error.isEmpty());
    EXPECT_EQ(r.renamed, 12);
    EXPECT_EQ(engine.txtDebut(), "#");
    EXPECT_EQ(engine.rule().DebutPas, ContinueModeStart);
    EXPECT_EQ(contents(dir.path()), before);
}

TEST_F(RenameCommandTest, FurtherPassesReAddRenamedFiles) {
    add({"a", "b", "c"}, "p#");
    engine.setPassCountText("2");
    // Another file blocks c's destination: c stays listed and is not re-added twice.
    writeFile(p("p3"), "outsider");
    before = contents(dir.path());
    const RenameReport r = rename();
    EXPECT_EQ(r.renamed, 2);
    EXPECT_EQ(engine.passCountText(), "1");
    EXPECT_EQ(listed(), (QStringList{"c", "p1", "p2"}));
    // Re-added files get a freshly computed name.
    EXPECT_TRUE(engine.model()->entry(1).newName.startsWith("p2"));
    EXPECT_TRUE(engine.model()->entry(2).newName.startsWith("p3"));
    EXPECT_EQ(contents(dir.path()), before);

    // A pass count that is not a number is reported once the batch is done.
    engine.setPassCountText("many");
    ui.reviewAnswer = true;
    rename();
    EXPECT_TRUE(ui.asked.last().message.contains("cmdRenommer_Click (Feuille frmMain)"));
    EXPECT_EQ(ui.onOff.last(), (QList<bool>{true, false, false}));
    EXPECT_EQ(contents(dir.path()), before);
}

TEST_F(RenameCommandTest, FailuresDuringTheBatchAreReported) {
    add({"a", "b", "c"}, "q#");
    // Once the batch runs, something takes q3 before c gets there.
    ui.onProcessEvents = [&] {
        if (!QFile::exists(p("q3")) && ui.progressStarts.size() == 2)
            writeFile(p("q3"), "late");
    };
    const RenameReport r = rename();
    EXPECT_EQ(r.renamed, 2);
    EXPECT_EQ(listed(), QStringList{"c"});
    EXPECT_EQ(readFile(p("c")), "c");
    ASSERT_EQ(ui.asked.size(), 1);
    EXPECT_EQ(ui.asked[0].style, StyleExclamation);
    EXPECT_TRUE(ui.asked[0].message.contains(p("c")));
    EXPECT_EQ(r.lines[2].status, RenameStatus::Failed);
    before["late"] = 1;
    EXPECT_EQ(contents(dir.path()), before);
}

// A window callback that fails while files get their new names: every file
// still gets its name, the failure is reported, and no renamed file stays
// listed under a name it no longer has.
TEST_F(RenameCommandTest, FailingCallbackLeavesNoRenamedFileListed) {
    add({"a", "b", "c"}, "r#");
    callbacks.thumbnailsRenamed = [](const RenamedFiles &) { throw std::runtime_error("thumbnails"); };
    const RenameReport r = rename();
    EXPECT_FALSE(r.error.isEmpty());
    EXPECT_EQ(listed(), QStringList{});
    EXPECT_EQ(readFile(p("r1")), "a");
    EXPECT_EQ(readFile(p("r3")), "c");
    EXPECT_TRUE(pendingJournals().isEmpty());
}

TEST_F(RenameCommandTest, StopKeepsTheListTheFieldsAndTheOldNames) {
    settings.RegleDebutApresRenommage = 2;
    engine.setPassCountText("1");
    add({"a", "b", "c", "d"}, "s#");
    int polled = 0;
    callbacks.stopRequested = [&] { return ++polled == 3; }; // asked before the third file moves
    const RenameReport r = rename();
    EXPECT_TRUE(r.started);
    EXPECT_TRUE(r.stopped);
    EXPECT_EQ(r.renamed, 0);
    ASSERT_EQ(r.lines.size(), 4);
    for (const RenameLine &l : r.lines)
        EXPECT_EQ(l.status, RenameStatus::Stopped);
    EXPECT_EQ(listed(), (QStringList{"a", "b", "c", "d"}));
    EXPECT_EQ(engine.txtDebut(), "1");      // the start does not move on
    EXPECT_EQ(engine.passCountText(), "1"); // no further pass
    EXPECT_EQ(settings.NombreFichierRenomme, 5);
    EXPECT_EQ(ui.onOff.last(), (QList<bool>{true, false, false}));
    EXPECT_EQ(names(dir.path()), (QStringList{"a", "b", "c", "d"}));
    EXPECT_EQ(contents(dir.path()), before);
    EXPECT_TRUE(pendingJournals().isEmpty());
}

TEST_F(RenameCommandTest, JournalThatCannotBeWrittenIsTheReasonOfEveryLine) {
    add({"a", "b"}, "j#");
    writeFile(journals.filePath("file"), "x");
    RenameJournal::setJournalFolder(journals.filePath("file/journal"));
    const RenameReport r = rename();
    EXPECT_FALSE(r.started);
    EXPECT_FALSE(r.error.isEmpty());
    ASSERT_EQ(r.lines.size(), 2);
    for (const RenameLine &l : r.lines) {
        EXPECT_EQ(l.status, RenameStatus::Failed);
        EXPECT_EQ(l.reason, r.error);
    }
    EXPECT_TRUE(r.error.contains(journals.filePath("file/journal")));
    ASSERT_EQ(ui.asked.size(), 1); // the window says it too
    EXPECT_TRUE(ui.asked[0].message.contains(r.error));
    EXPECT_EQ(listed(), (QStringList{"a", "b"}));
    EXPECT_EQ(contents(dir.path()), before);
}
