// The main window driven by control name, offscreen: typing, token labels,
// adding and ordering files, renaming, quitting; and the single instance.

#include "core/app/MainController.h"
#include "core/app/SingleInstance.h"
#include "gui/main/frmMain.h"
#include "core/metadata/Exif.h"
#include "PhotoFactory.h"
#include "QtPrinters.h"
#include "ScriptedFrontEnd.h"
#include "WaitFor.h"
#include "core/settings/Settings.h"
#include "core/settings/modIniFile.h"
#include "gui/shellbrowser/LVExplorer.h"
#include "gui/shellbrowser/TVExplorer.h"

#include <QDir>
#include <QFile>
#include <QLocalSocket>
#include <QMimeData>
#include <QUrl>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using namespace tav;

namespace {

struct WindowTest : ::testing::Test {
    QTemporaryDir dir;
    ScriptedFrontEnd fe;
    Settings settings;
    QDateTime clock = QDateTime(QDate(2026, 12, 8), QTime(9, 0, 0));
    std::unique_ptr<MainController> controller;
    std::unique_ptr<frmMain> window;

    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        QDir().mkpath(dir.path() + QStringLiteral("/files"));
        modIniFile::setSettingsFilePath(dir.path() + QStringLiteral("/Travoline.ini"));
        settings.regle.Regle = QStringLiteral("f_#");
        settings.regle.IncrementeFichierIdentique = 0;
        controller = std::make_unique<MainController>(settings);
        controller->setClock([this] { return clock; });
        window = std::make_unique<frmMain>(controller.get());
        controller->loadFromSettings();
        window->Form_Load();
        window->ListView1->attach(3, QString(), QStringLiteral("*.*"));
        window->TreeView1->attach(window->ListView1, 0, QString(), false);
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        QApplication::setActiveWindow(window.get());
    }

    void TearDown() override
    {
        window.reset();
        modIniFile::setSettingsFilePath(QString());
    }

    QString touch(const QString &name)
    {
        QFile f(dir.path() + QStringLiteral("/files/") + name);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(name.toUtf8());
        return f.fileName();
    }

    void showFiles()
    {
        window->TreeView1->setTVPath(dir.path() + QStringLiteral("/files"));
        window->ListView1->setLVPath(dir.path() + QStringLiteral("/files"));
        window->ListView1->waitForListing();
    }

    QStringList column(int col) const
    {
        const QAbstractItemModel *m = controller->model();
        QStringList l;
        for (int r = 0; r < m->rowCount(); ++r)
            l << m->index(r, col).data().toString();
        return l;
    }

    template <class T> T *control(const char *name) { return window->findChild<T *>(QString::fromLatin1(name)); }
};

} // namespace

TEST_F(WindowTest, EveryNamedControlIsFoundByItsName)
{
    for (const char *name : {"cboRenommer", "txtDebut", "txtPas", "txtNbPasse", "chkTrim", "chkInterdit",
                             "cmdRenommer", "cmdAdd", "cmdAddAll", "lstrename", "lstAstuce", "Label2", "Label4",
                             "TreeView1", "ListView1", "cmdPrendrePlus", "lblComment", "Label8_31", "fAstuce_5",
                             "optCasse_2", "txtRepPos_3", "lblExif_5"})
        EXPECT_NE(window->findChild<QWidget *>(QString::fromLatin1(name)), nullptr) << name;
    EXPECT_GE(window->minimumWidth(), 1000);
}

TEST_F(WindowTest, TypingAPatternRecomputesOnceAfterTheDelay)
{
    touch(QStringLiteral("a.txt"));
    touch(QStringLiteral("b.txt"));
    showFiles();
    QTest::mouseClick(control<QPushButton>("cmdAddAll"), Qt::LeftButton);
    ASSERT_EQ(column(1), (QStringList{"f_1.txt", "f_2.txt"}));

    window->Timer_update.setInterval(5);
    QLineEdit *rule = window->cboRenommer->lineEdit();
    rule->setFocus();
    ASSERT_TRUE(test::waitFor([&] { return rule->hasFocus(); }));
    rule->selectAll();
    QTest::keyClicks(rule, QStringLiteral("doc_#"));
    test::runEvents(30); // several ticks within the same second: nothing happens
    EXPECT_EQ(column(1), (QStringList{"f_1.txt", "f_2.txt"}));
    clock = clock.addSecs(1);
    EXPECT_TRUE(test::waitFor([&] { return column(1) == QStringList{"doc_1.txt", "doc_2.txt"}; }))
        << column(1).join(QLatin1Char(',')).toStdString();
}

TEST_F(WindowTest, TokenLabelInsertsAtTheCaret)
{
    QLineEdit *rule = window->cboRenommer->lineEdit();
    window->Timer_cboRenommer.setInterval(5);
    rule->setFocus();
    ASSERT_TRUE(test::waitFor([&] { return rule->hasFocus(); }));
    rule->clear();
    QTest::keyClicks(rule, QStringLiteral("ab"));
    QTest::keyClick(rule, Qt::Key_Left);
    ASSERT_TRUE(test::waitFor([&] { return controller->caret() == 1; }));
    window->lstAstuce->setCurrentRow(0);
    QLabel *year = window->findChild<QLabel *>(QStringLiteral("Label8_2"));
    ASSERT_TRUE(year && year->isVisible());
    QTest::mouseClick(year, Qt::LeftButton);
    EXPECT_EQ(window->cboRenommer->currentText(), QStringLiteral("a$A$b"));
    EXPECT_EQ(rule->cursorPosition(), 4);
}

TEST_F(WindowTest, AddMoveAndRemoveKeepTheCounterOrder)
{
    for (const char *n : {"a.txt", "b.txt", "c.txt"})
        touch(QString::fromLatin1(n));
    showFiles();
    window->ListView1->selectItemsByText({QStringLiteral("b.txt"), QStringLiteral("c.txt")});
    QTest::mouseClick(control<QPushButton>("cmdAdd"), Qt::LeftButton);
    EXPECT_EQ(column(0), (QStringList{"b.txt", "c.txt"}));
    QTest::mouseClick(control<QPushButton>("cmdAddAll"), Qt::LeftButton);
    EXPECT_EQ(column(0), (QStringList{"b.txt", "c.txt", "a.txt"}));
    EXPECT_TRUE(window->Label4->text().contains(QLatin1Char('3')));

    window->lstrename->selectRow(2);
    QTest::mouseClick(control<QPushButton>("cmdUp"), Qt::LeftButton);
    EXPECT_EQ(column(0), (QStringList{"b.txt", "a.txt", "c.txt"}));
    EXPECT_EQ(column(1), (QStringList{"f_1.txt", "f_2.txt", "f_3.txt"}));
    EXPECT_EQ(window->selectedRows(), QList<int>{1});

    QTest::mouseClick(control<QPushButton>("cmdDel"), Qt::LeftButton);
    EXPECT_EQ(column(0), (QStringList{"b.txt", "c.txt"}));
    EXPECT_EQ(column(1), (QStringList{"f_1.txt", "f_2.txt"}));
}

TEST_F(WindowTest, DraggingARowPutsItAtTheTargetAndTheCounterFollows)
{
    for (const char *n : {"1.txt", "2.txt", "3.txt", "4.txt", "5.txt", "6.txt"})
        touch(QString::fromLatin1(n));
    showFiles();
    QTest::mouseClick(control<QPushButton>("cmdAddAll"), Qt::LeftButton);
    ASSERT_EQ(column(0), (QStringList{"1.txt", "2.txt", "3.txt", "4.txt", "5.txt", "6.txt"}));

    QWidget *viewport = window->lstrename->viewport();
    auto centre = [&](int row) { return window->lstrename->visualRect(controller->model()->index(row, 0)).center(); };
    QTest::mousePress(viewport, Qt::LeftButton, {}, centre(4));
    QTest::mouseMove(viewport, centre(3));
    QTest::mouseMove(viewport, centre(1));
    EXPECT_EQ(window->selectedRows(), QList<int>{1}); // the drop target is highlighted
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, centre(1));

    EXPECT_EQ(column(0), (QStringList{"1.txt", "5.txt", "2.txt", "3.txt", "4.txt", "6.txt"}));
    EXPECT_EQ(column(1), (QStringList{"f_1.txt", "f_2.txt", "f_3.txt", "f_4.txt", "f_5.txt", "f_6.txt"}));
    EXPECT_EQ(window->selectedRows(), QList<int>{1});

    // A press and release without moving is a plain click: nothing moves.
    QTest::mouseClick(viewport, Qt::LeftButton, {}, centre(0));
    EXPECT_EQ(column(0).first(), QStringLiteral("1.txt"));
}

TEST_F(WindowTest, SavedRuleButtonsMemoriseApplyAndForget)
{
    QLineEdit *rule = window->cboRenommer->lineEdit();
    rule->setFocus();
    ASSERT_TRUE(test::waitFor([&] { return rule->hasFocus(); }));
    rule->selectAll();
    QTest::keyClicks(rule, QStringLiteral("trip_##"));
    window->chkTrim->setChecked(true);
    QTest::mouseClick(control<QPushButton>("cmdPrendrePlus"), Qt::LeftButton);
    ASSERT_EQ(window->cboRenommer->count(), 1);
    EXPECT_EQ(window->cboRenommer->itemText(0), QStringLiteral("trip_##"));
    QFile ini(dir.path() + QStringLiteral("/Travoline.ini"));
    ASSERT_TRUE(ini.open(QIODevice::ReadOnly)); // memorising writes the file at once
    EXPECT_TRUE(QString::fromUtf8(ini.readAll()).contains(QStringLiteral("trip_##|")));

    // Another pattern and options, then the saved rule chosen from the list.
    rule->selectAll();
    QTest::keyClicks(rule, QStringLiteral("other_#"));
    window->chkTrim->setChecked(false);
    emit window->cboRenommer->activated(0);
    EXPECT_TRUE(window->chkTrim->isChecked());
    EXPECT_EQ(window->cboRenommer->currentText(), QStringLiteral("trip_##"));

    fe.answers = {AnswerYes};
    QTest::mouseClick(control<QPushButton>("cmdPrendreMoins"), Qt::LeftButton);
    EXPECT_EQ(window->cboRenommer->count(), 0);
    ASSERT_EQ(fe.asked.size(), 1);
    EXPECT_TRUE(fe.asked[0].message.contains(QStringLiteral("trip_##")));
}

TEST_F(WindowTest, RenameEmptiesTheListOfRenamedRowsAndUpdatesTheTitle)
{
    for (const char *n : {"a.txt", "b.txt"})
        touch(QString::fromLatin1(n));
    showFiles();
    QTest::mouseClick(control<QPushButton>("cmdAddAll"), Qt::LeftButton);
    fe.defaultAnswer = AnswerYes;
    QTest::mouseClick(control<QPushButton>("cmdRenommer"), Qt::LeftButton);
    EXPECT_EQ(controller->model()->rowCount(), 0);
    const QStringList onDisk = QDir(dir.path() + QStringLiteral("/files")).entryList(QDir::Files, QDir::Name);
    EXPECT_EQ(onDisk, (QStringList{"f_1.txt", "f_2.txt"}));
    EXPECT_EQ(settings.NombreFichierRenomme, 2);
    EXPECT_TRUE(window->windowTitle().startsWith(QStringLiteral("Travoline v1.12.2 - ")));
}

TEST_F(WindowTest, ShotDateAndCameraNameAFolderOfPhotos)
{
    if (test::jheadProgram().isEmpty() || test::exiftoolProgram().isEmpty())
        GTEST_SKIP() << "jhead or ExifTool is not installed";
    const QString files = dir.path() + QStringLiteral("/files/");
    ASSERT_TRUE(test::makeJpeg(files + QStringLiteral("IMG_1.jpg"), test::referenceTags()));
    ASSERT_TRUE(test::makeJpeg(files + QStringLiteral("IMG_2.jpg"),
                               {QStringLiteral("-DateTimeOriginal=2010:11:05 08:09:10"), QStringLiteral("-Make=NIKON"),
                                QStringLiteral("-Model=D70")}));
    ASSERT_TRUE(test::makeJpeg(files + QStringLiteral("plain.jpg")));
    ExifReader reader;
    reader.configure(ExifModeJhead, QStringLiteral("JPG JPEG"), QString());
    controller->engine().setMetadataSource(&reader);
    showFiles();
    QTest::mouseClick(control<QPushButton>("cmdAddAll"), Qt::LeftButton);

    // Typed into the rule box, then the box is left: the names follow at once.
    QLineEdit *rule = window->cboRenommer->lineEdit();
    rule->setFocus();
    ASSERT_TRUE(test::waitFor([&] { return rule->hasFocus(); }));
    rule->selectAll();
    QTest::keyClicks(rule, QStringLiteral("$dA$-$dM$-$dJ$_$K$"));
    window->txtDebut->setFocus();
    ASSERT_TRUE(test::waitFor([&] { return !rule->hasFocus(); }));
    EXPECT_EQ(column(1), (QStringList{"2003-02-24_Canon EOS 5D.jpg", "2010-11-05_D70.jpg", "--_.jpg"}));
    controller->engine().setMetadataSource(nullptr);
}

TEST_F(WindowTest, FilesAndFoldersDroppedFromAnotherProgramAreAdded)
{
    const QString plain = touch(QStringLiteral("plain.txt"));
    const QString folder = dir.path() + QStringLiteral("/dropped");
    QDir().mkpath(folder + QStringLiteral("/sub"));
    for (const QString &p : {folder + QStringLiteral("/a.txt"), folder + QStringLiteral("/sub/b.txt")}) {
        QFile f(p);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(plain), QUrl::fromLocalFile(folder)});
    QWidget *target = control<QPushButton>("cmdDnD");
    const QPoint at = target->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    ASSERT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    fe.answers = {AnswerYes};
    QApplication::sendEvent(target, &drop);
    EXPECT_TRUE(drop.isAccepted());

    ASSERT_TRUE(test::waitFor([&] { return controller->model()->rowCount() == 3; })) << column(0).join(',').toStdString();
    EXPECT_EQ(column(0), (QStringList{"plain.txt", "a.txt", "b.txt"}));
    ASSERT_EQ(fe.asked.size(), 1); // the folder's two files, asked once
    EXPECT_TRUE(fe.asked[0].message.contains(QLatin1Char('2')));
}

TEST_F(WindowTest, ClosingTheWindowSavesTheSettings)
{
    window->chkTrim->setChecked(true);
    window->close();
    QFile ini(dir.path() + QStringLiteral("/Travoline.ini"));
    ASSERT_TRUE(ini.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(ini.readAll());
    EXPECT_TRUE(text.contains(QStringLiteral("RegleRenommage_EffaceEspace=1"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("1.12.2")));
}

TEST_F(WindowTest, LongOperationsSwitchTheCommandsOff)
{
    window->objetOnOff(false, true, false);
    EXPECT_FALSE(window->cmdAdd->isEnabled());
    EXPECT_FALSE(window->cboRenommer->isEnabled());
    EXPECT_TRUE(window->cmdStopAction->isVisible());
    EXPECT_TRUE(window->cmdStopAction->isEnabled());
    window->objetOnOff(true, false, true);
    EXPECT_FALSE(window->cmdRenommer->isVisible());
    EXPECT_TRUE(window->cmdRenommerStop->isVisible());
    window->objetOnOff(true, false, false);
    EXPECT_TRUE(window->cmdAdd->isEnabled());
    EXPECT_TRUE(window->cmdRenommer->isVisible());
    EXPECT_FALSE(window->cmdStopAction->isVisible());
}

TEST(SingleInstanceTest, ASecondCopyEndsAndAsksTheFirstToComeForward)
{
    const QString name = QStringLiteral("TravolineTest%1").arg(QCoreApplication::applicationPid());
    SingleInstance first(name);
    ASSERT_FALSE(first.notifyRunningCopy());
    QSignalSpy spy(&first, &SingleInstance::activationRequested);

    SingleInstance second(name);
    EXPECT_TRUE(second.notifyRunningCopy(300)); // the second copy must end
    EXPECT_TRUE(test::waitFor([&] { return spy.count() == 1; })); // the first one is asked to come forward
}
