// The pre-rename review window, alone and inside a real rename.
#include "WaitFor.h"
#include "core/filelist/RenameList.h"
#include "core/i18n/Language.h"
#include "core/rename/RenameCommand.h"
#include "core/rename/RenameJournal.h"
#include "core/settings/Settings.h"
#include "gui/dialogs/frmCheckErreur.h"

#include "QtPrinters.h"
#include "RenameTestUtil.h"
#include "ScriptedFrontEnd.h"
#include "TestGuard.h"

#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

using namespace tav;
using namespace tavtest;

namespace {

QList<ReviewEntry> entries(int n, const QString &folder = QStringLiteral("/photos")) {
    QList<ReviewEntry> l;
    for (int i = 0; i < n; ++i)
        l.append({QStringLiteral("%1/f%2.jpg").arg(folder).arg(i), QStringLiteral("%1/new.jpg").arg(folder),
                  QStringLiteral("reason %1").arg(i)});
    return l;
}

// Clicks a button of the next modal review once it is on screen.
void clickInReview(const char *button) {
    QTimer::singleShot(0, [button] {
        auto *form = qobject_cast<frmCheckErreur *>(QApplication::activeModalWidget());
        ASSERT_NE(form, nullptr);
        QTest::mouseClick(form->findChild<QPushButton *>(button), Qt::LeftButton);
    });
}

} // namespace

TEST(RenameReview, CaptionLinesAndReasons) {
    tav::test::TestGuard guard;
    guard.language(QStringLiteral("English"));
    frmCheckErreur form;
    auto *list = form.findChild<QListWidget *>("lsterreur");
    auto *reason = form.findChild<QLabel *>("lblRaison");
    const QString caption = form.windowTitle();
    EXPECT_FALSE(caption.isEmpty());
    form.setEntries(entries(3), QStringLiteral(" (3 / 20)"));
    EXPECT_EQ(form.windowTitle(), caption + " (3 / 20)");
    ASSERT_EQ(list->count(), 3);
    EXPECT_EQ(list->item(2)->text(), "/photos/f2.jpg");
    EXPECT_EQ(reason->text(), "reason 0");
    list->setCurrentRow(2);
    EXPECT_EQ(reason->text(), "reason 2");
    EXPECT_TRUE(list->item(1)->toolTip().contains("reason 1"));
}

TEST(RenameReview, ButtonsAndClosingOtherwise) {
    {
        frmCheckErreur form;
        form.setEntries(entries(1), " (1 / 2)");
        form.show();
        QTest::mouseClick(form.findChild<QPushButton *>("cmdContinuer"), Qt::LeftButton);
        EXPECT_TRUE(form.continueChosen());
        EXPECT_EQ(form.cancelMark(), "");
        EXPECT_FALSE(form.isVisible());
    }
    {
        frmCheckErreur form;
        form.show();
        QTest::mouseClick(form.findChild<QPushButton *>("cmdAnnuler"), Qt::LeftButton);
        EXPECT_EQ(form.cancelMark(), "ANNULER");
    }
    {
        // Escape, the title bar's close, or Enter on the default button: all cancel.
        frmCheckErreur form;
        form.show();
        QTest::keyClick(&form, Qt::Key_Escape);
        EXPECT_FALSE(form.continueChosen());
        frmCheckErreur form2;
        form2.show();
        form2.close();
        EXPECT_FALSE(form2.continueChosen());
        frmCheckErreur form3;
        form3.show();
        QTest::keyClick(&form3, Qt::Key_Return);
        EXPECT_FALSE(form3.continueChosen());
    }
    clickInReview("cmdContinuer");
    EXPECT_TRUE(reviewBlockedEntries(entries(2), " (2 / 5)", nullptr));
    clickInReview("cmdAnnuler");
    EXPECT_FALSE(reviewBlockedEntries(entries(2), " (2 / 5)", nullptr));
}

TEST(RenameReview, LongPathsScrollAndTheWindowKeepsItsMinimum) {
    frmCheckErreur form;
    auto *list = form.findChild<QListWidget *>("lsterreur");
    auto *cmdContinuer = form.findChild<QPushButton *>("cmdContinuer");
    form.show();
    const QSize minimum = form.size();
    form.setEntries(entries(2, "/" + QString(400, 'x')), " (2 / 2)");
    QScrollBar *bar = list->horizontalScrollBar();
    EXPECT_GT(bar->maximum(), 0);
    EXPECT_EQ(bar->value(), 0);
    bar->setValue(bar->maximum());
    EXPECT_EQ(bar->value(), bar->maximum());

    form.resize(minimum.width() / 2, minimum.height() / 2);
    EXPECT_GE(form.width(), minimum.width());
    EXPECT_GE(form.height(), minimum.height());
    form.resize(minimum.width() * 2, minimum.height() * 2);
    ASSERT_TRUE(tav::test::waitFor([&] { return form.width() == minimum.width() * 2; }));
    // The buttons follow the bottom edge; the list grows with the window.
    EXPECT_GT(cmdContinuer->y(), minimum.height());
    EXPECT_GT(list->height(), minimum.height());
    EXPECT_LT(list->geometry().bottom(), cmdContinuer->y());
}

// Three blocked files out of twenty: Continue renames the seventeen others.
TEST(RenameReview, InsideARename) {
    class ReviewFrontEnd : public ScriptedFrontEnd {
    public:
        bool reviewBlocked(const QList<ReviewEntry> &e, const QString &suffix) override {
            ScriptedFrontEnd::reviewBlocked(e, suffix);
            return reviewBlockedEntries(e, suffix, nullptr);
        }
    } ui;
    tav::test::TestGuard guard;
    guard.language(QStringLiteral("English"));
    QTemporaryDir dir, journals;
    RenameJournal::setJournalFolder(journals.path());
    RenameList engine;
    Settings settings;
    engine.setPattern("n##");
    for (int i = 0; i < 20; ++i)
        writeFile(dir.filePath(QStringLiteral("f%1").arg(i)), QByteArray::number(i));
    for (const char *taken : {"n03", "n07", "n20"})
        writeFile(dir.filePath(taken), taken);
    const auto before = contents(dir.path());
    for (int i = 0; i < 20; ++i)
        engine.affiche_nom(dir.filePath(QStringLiteral("f%1").arg(i)));

    clickInReview("cmdAnnuler");
    RenameReport r = cmdRenommer_Click(engine, settings);
    ASSERT_EQ(ui.reviewSuffixes, QStringList{" (3 / 20)"});
    EXPECT_EQ(r.renamed, 0);
    EXPECT_EQ(engine.model()->count(), 20);

    clickInReview("cmdContinuer");
    r = cmdRenommer_Click(engine, settings);
    EXPECT_EQ(r.renamed, 17);
    EXPECT_EQ(engine.model()->count(), 3);
    EXPECT_EQ(engine.model()->entry(0).oldName, "f2");
    EXPECT_EQ(contents(dir.path()), before);
    RenameJournal::setJournalFolder(QString());
}
