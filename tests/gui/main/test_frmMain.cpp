// The main window driven by control name, offscreen: typing, token labels,
// adding and ordering files, renaming, quitting; and the single instance.

#include "PhotoFactory.h"
#include "QtPrinters.h"
#include "ScriptedFrontEnd.h"
#include "TestGuard.h"
#include "TwoTonePhoto.h"
#include "WaitFor.h"
#include "core/app/MainController.h"
#include "core/app/SingleInstance.h"
#include "core/i18n/HelpFile.h"
#include "core/i18n/Language.h"
#include "core/metadata/Exif.h"
#include "core/settings/Settings.h"
#include "core/settings/modIniFile.h"
#include "gui/dialogs/CHelp.h"
#include "gui/dialogs/frmAboutCredits.h"
#include "gui/dialogs/frmHelp.h"
#include "gui/dialogs/frmKobMsgBox.h"
#include "gui/dialogs/frmOption.h"
#include "gui/main/MainWindowFrontEnd.h"
#include "gui/main/Startup.h"
#include "gui/main/WindowPlacement.h"
#include "gui/main/frmGLQuitter.h"
#include "gui/main/frmMain.h"
#include "gui/main/frmMemoriseRegle.h"
#include "gui/shellbrowser/LVExplorer.h"
#include "gui/shellbrowser/TVExplorer.h"
#include "gui/widgets/ThumbnailCache.h"
#include "gui/widgets/ThumbnailList.h"

#include <QAccessible>
#include <QCheckBox>
#include <QComboBox>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocalSocket>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScrollArea>
#include <QScrollBar>
#include <QSet>
#include <QSignalSpy>
#include <QSplitter>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace tav;

namespace {

// A reader of the desktop's shared thumbnail cache written from its published
// rules alone: a PNG named by the MD5 of the file's URI, the URI and the
// file's modification time in its text chunks.
struct SharedEntry {
    bool found = false, crcsRight = true;
    int mode = 0;
    QMap<QByteArray, QByteArray> text;
    QImage image;
};
quint32 pngCrc(const QByteArray &bytes) {
    quint32 c = 0xffffffffu;
    for (const char b : bytes) {
        c ^= quint8(b);
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? 0xedb88320u ^ (c >> 1) : c >> 1;
    }
    return c ^ 0xffffffffu;
}
SharedEntry sharedEntry(const QString &size, const QString &file) {
    const QByteArray uri = QUrl::fromLocalFile(file).toEncoded();
    const QString path = qEnvironmentVariable("XDG_CACHE_HOME") + "/thumbnails/" + size + "/" +
                         QCryptographicHash::hash(uri, QCryptographicHash::Md5).toHex() + ".png";
    SharedEntry e;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return e;
    e.found = true;
    struct stat st;
    e.mode = ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 0777) : -1;
    const QByteArray b = f.readAll();
    auto word = [&](qsizetype at) {
        return quint32(quint8(b[at])) << 24 | quint32(quint8(b[at + 1])) << 16 | quint32(quint8(b[at + 2])) << 8 |
               quint8(b[at + 3]);
    };
    for (qsizetype at = 8; at + 12 <= b.size();) {
        const qsizetype length = word(at);
        const QByteArray type = b.mid(at + 4, 4), data = b.mid(at + 8, length);
        e.crcsRight = e.crcsRight && pngCrc(type + data) == word(at + 8 + length);
        if (type == "tEXt")
            e.text.insert(data.left(data.indexOf('\0')), data.mid(data.indexOf('\0') + 1));
        at += 12 + length;
    }
    e.image = QImage::fromData(b, "png");
    return e;
}
// Whether the entry stands for the file as it is now.
bool validFor(const SharedEntry &e, const QString &file) {
    return e.found && e.crcsRight && e.mode == 0600 && !e.image.isNull() &&
           e.text.value("Thumb::URI") == QUrl::fromLocalFile(file).toEncoded() &&
           e.text.value("Thumb::MTime").toLongLong() == QFileInfo(file).lastModified().toSecsSinceEpoch();
}

struct WindowTest : ::testing::Test {
    QTemporaryDir dir;
    ScriptedFrontEnd fe;
    Settings settings;
    QDateTime clock = QDateTime(QDate(2026, 12, 8), QTime(9, 0, 0));
    std::unique_ptr<MainController> controller;
    std::unique_ptr<frmMain> window;
    tav::test::TestGuard guard;

    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        QDir().mkpath(dir.path() + QStringLiteral("/files"));
        guard.settingsFile(dir.path() + QStringLiteral("/Travoline.ini"));
        settings.regle.Regle = QStringLiteral("f_#");
        settings.regle.IncrementeFichierIdentique = 0;
        controller = std::make_unique<MainController>(settings);
        controller->setClock([this] { return clock; });
        settings.DossierDepart = 2;
        settings.DossierSpecifique = dir.path();
        window = std::make_unique<frmMain>(controller.get());
        controller->loadFromSettings();
        window->Form_Load();
        window->openStartFolder();
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        QApplication::setActiveWindow(window.get());
    }

    void TearDown() override { window.reset(); }

    // The window closed with its settings stored, and a new one started.
    void restart() {
        window->storeIntoSettings();
        window.reset();
        window = std::make_unique<frmMain>(controller.get());
        controller->loadFromSettings();
        window->Form_Load();
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }

    QString touch(const QString &name) {
        QFile f(dir.path() + QStringLiteral("/files/") + name);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(name.toUtf8());
        return f.fileName();
    }

    void showFiles() {
        window->openPath(dir.path() + QStringLiteral("/files"));
        control<LVExplorer>("ListView1")->waitForListing();
    }

    QStringList column(int col) const {
        const QAbstractItemModel *m = controller->model();
        QStringList l;
        for (int r = 0; r < m->rowCount(); ++r)
            l << m->index(r, col).data().toString();
        return l;
    }

    template <class T> T *control(const char *name) const {
        T *found = window->findChild<T *>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
};

} // namespace

TEST_F(WindowTest, EveryNamedControlIsFoundByItsName) {
    for (const char *name : {"cboRenommer", "txtDebut",   "txtPas",      "txtNbPasse",     "chkTrim",    "chkInterdit",
                             "cmdRenommer", "cmdAdd",     "cmdAddAll",   "lstrename",      "lstAstuce",  "Label2",
                             "Label4",      "TreeView1",  "ListView1",   "cmdPrendrePlus", "lblComment", "Label8_31",
                             "fAstuce_5",   "optCasse_2", "txtRepPos_3", "lblExif_5"})
        EXPECT_NE(window->findChild<QWidget *>(QString::fromLatin1(name)), nullptr) << name;
    EXPECT_GE(window->minimumWidth(), 1000);
}

TEST_F(WindowTest, SplittersAndColumnWidthsSurviveTheNextStart) {
    auto *top = control<QSplitter>("splitTop");
    QList<int> sizes = top->sizes();
    ASSERT_EQ(sizes.size(), 2);
    const int moved = sizes[0] / 2;
    top->setSizes({sizes[0] - moved, sizes[1] + moved});
    const QList<int> chosen = top->sizes();
    control<QTableView>("lstrename")->setColumnWidth(0, 123);
    restart();
    EXPECT_EQ(control<QSplitter>("splitTop")->sizes(), chosen);
    EXPECT_EQ(control<QTableView>("lstrename")->columnWidth(0), 123);
}

TEST_F(WindowTest, TypingAPatternRecomputesOnceAfterTheDelay) {
    touch(QStringLiteral("a.txt"));
    touch(QStringLiteral("b.txt"));
    showFiles();
    QTest::mouseClick(control<QPushButton>("cmdAddAll"), Qt::LeftButton);
    ASSERT_EQ(column(1), (QStringList{"f_1.txt", "f_2.txt"}));

    control<QTimer>("Timer_update")->setInterval(5);
    QLineEdit *rule = control<QComboBox>("cboRenommer")->lineEdit();
    rule->setFocus();
    ASSERT_TRUE(test::waitFor([&] { return rule->hasFocus(); }));
    rule->selectAll();
    QTest::keyClicks(rule, QStringLiteral("doc_#"));
    test::runEvents(30); // several ticks within the same second: nothing happens
    EXPECT_EQ(column(1), (QStringList{"f_1.txt", "f_2.txt"}));
    clock = clock.addSecs(1);
    EXPECT_TRUE(test::waitFor([&] {
        return column(1) == QStringList{"doc_1.txt", "doc_2.txt"};
    })) << column(1).join(QLatin1Char(',')).toStdString();
}

TEST_F(WindowTest, TokenLabelInsertsAtTheCaret) {
    QLineEdit *rule = control<QComboBox>("cboRenommer")->lineEdit();
    rule->setFocus();
    ASSERT_TRUE(test::waitFor([&] { return rule->hasFocus(); }));
    rule->clear();
    QTest::keyClicks(rule, QStringLiteral("ab"));
    QTest::keyClick(rule, Qt::Key_Left);
    ASSERT_TRUE(test::waitFor([&] { return controller->caret() == 1; }));
    control<QListWidget>("lstAstuce")->setCurrentRow(0);
    QLabel *year = window->findChild<QLabel *>(QStringLiteral("Label8_2"));
    ASSERT_TRUE(year && year->isVisible());
    QTest::mouseClick(year, Qt::LeftButton);
    EXPECT_EQ(control<QComboBox>("cboRenommer")->currentText(), QStringLiteral("a$A$b"));
    EXPECT_EQ(rule->cursorPosition(), 4);
}

TEST_F(WindowTest, HoverControlsColourTheTokenLabelsAndInsertTheirToken) {
    control<QListWidget>("lstAstuce")->setCurrentRow(0);
    QLabel *year = control<QLabel>("Label8_2");
    QWidget *hover = control<QWidget>("Hovrix1_2");
    ASSERT_STREQ(hover->metaObject()->className(), "Hovrix");
    EXPECT_EQ(year->cursor().shape(), Qt::ArrowCursor);

    ASSERT_TRUE(QMetaObject::invokeMethod(hover, "MouseOver", Q_ARG(int, 0)));
    EXPECT_EQ(year->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    EXPECT_NE(control<QLabel>("Label8_3")->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    ASSERT_TRUE(QMetaObject::invokeMethod(hover, "MouseOut", Q_ARG(int, 0)));
    EXPECT_EQ(year->palette().color(QPalette::WindowText), QColor(0, 0, 0));

    // A right click inserts nothing; a left click inserts the label's token once.
    const QString before = control<QComboBox>("cboRenommer")->currentText();
    ASSERT_TRUE(QMetaObject::invokeMethod(hover, "Click", Q_ARG(int, 2)));
    EXPECT_EQ(control<QComboBox>("cboRenommer")->currentText(), before);
    ASSERT_TRUE(QMetaObject::invokeMethod(hover, "Click", Q_ARG(int, 1)));
    EXPECT_EQ(control<QComboBox>("cboRenommer")->currentText().count(QStringLiteral("$A$")), 1);
}

TEST_F(WindowTest, AddMoveAndRemoveKeepTheCounterOrder) {
    for (const char *n : {"a.txt", "b.txt", "c.txt"})
        touch(QString::fromLatin1(n));
    showFiles();
    control<LVExplorer>("ListView1")->selectItemsByText({QStringLiteral("b.txt"), QStringLiteral("c.txt")});
    QTest::mouseClick(control<QPushButton>("cmdAdd"), Qt::LeftButton);
    EXPECT_EQ(column(0), (QStringList{"b.txt", "c.txt"}));
    QTest::mouseClick(control<QPushButton>("cmdAddAll"), Qt::LeftButton);
    EXPECT_EQ(column(0), (QStringList{"b.txt", "c.txt", "a.txt"}));
    EXPECT_TRUE(control<QLabel>("Label4")->text().contains(QLatin1Char('3')));

    control<QTableView>("lstrename")->selectRow(2);
    QTest::mouseClick(control<QPushButton>("cmdUp"), Qt::LeftButton);
    EXPECT_EQ(column(0), (QStringList{"b.txt", "a.txt", "c.txt"}));
    EXPECT_EQ(column(1), (QStringList{"f_1.txt", "f_2.txt", "f_3.txt"}));
    EXPECT_EQ(window->selectedRows(), QList<int>{1});

    QTest::mouseClick(control<QPushButton>("cmdDel"), Qt::LeftButton);
    EXPECT_EQ(column(0), (QStringList{"b.txt", "c.txt"}));
    EXPECT_EQ(column(1), (QStringList{"f_1.txt", "f_2.txt"}));
}

TEST_F(WindowTest, DraggingARowPutsItAtTheTargetAndTheCounterFollows) {
    for (const char *n : {"1.txt", "2.txt", "3.txt", "4.txt", "5.txt", "6.txt"})
        touch(QString::fromLatin1(n));
    showFiles();
    QTest::mouseClick(control<QPushButton>("cmdAddAll"), Qt::LeftButton);
    ASSERT_EQ(column(0), (QStringList{"1.txt", "2.txt", "3.txt", "4.txt", "5.txt", "6.txt"}));

    QWidget *viewport = control<QTableView>("lstrename")->viewport();
    auto centre = [&](int row) {
        return control<QTableView>("lstrename")->visualRect(controller->model()->index(row, 0)).center();
    };
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

TEST_F(WindowTest, SavedRuleButtonsMemoriseApplyAndForget) {
    QLineEdit *rule = control<QComboBox>("cboRenommer")->lineEdit();
    rule->setFocus();
    ASSERT_TRUE(test::waitFor([&] { return rule->hasFocus(); }));
    rule->selectAll();
    QTest::keyClicks(rule, QStringLiteral("trip_##"));
    control<QCheckBox>("chkTrim")->setChecked(true);
    QTest::mouseClick(control<QPushButton>("cmdPrendrePlus"), Qt::LeftButton);
    ASSERT_EQ(control<QComboBox>("cboRenommer")->count(), 1);
    EXPECT_EQ(control<QComboBox>("cboRenommer")->itemText(0), QStringLiteral("trip_##"));
    QFile ini(dir.path() + QStringLiteral("/Travoline.ini"));
    ASSERT_TRUE(ini.open(QIODevice::ReadOnly)); // memorising writes the file at once
    EXPECT_TRUE(QString::fromUtf8(ini.readAll()).contains(QStringLiteral("trip_##|")));

    // Another pattern and options, then the saved rule chosen from the list.
    rule->selectAll();
    QTest::keyClicks(rule, QStringLiteral("other_#"));
    control<QCheckBox>("chkTrim")->setChecked(false);
    emit control<QComboBox>("cboRenommer")->activated(0);
    EXPECT_TRUE(control<QCheckBox>("chkTrim")->isChecked());
    EXPECT_EQ(control<QComboBox>("cboRenommer")->currentText(), QStringLiteral("trip_##"));

    fe.answers = {AnswerYes};
    QTest::mouseClick(control<QPushButton>("cmdPrendreMoins"), Qt::LeftButton);
    EXPECT_EQ(control<QComboBox>("cboRenommer")->count(), 0);
    ASSERT_EQ(fe.asked.size(), 1);
    EXPECT_TRUE(fe.asked[0].message.contains(QStringLiteral("trip_##")));
}

TEST_F(WindowTest, RenameEmptiesTheListOfRenamedRowsAndUpdatesTheTitle) {
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

TEST_F(WindowTest, ShotDateAndCameraNameAFolderOfPhotos) {
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
    controller->renameList().setMetadataSource(&reader);
    showFiles();
    QTest::mouseClick(control<QPushButton>("cmdAddAll"), Qt::LeftButton);

    // Typed into the rule box, then the box is left: the names follow at once.
    QLineEdit *rule = control<QComboBox>("cboRenommer")->lineEdit();
    rule->setFocus();
    ASSERT_TRUE(test::waitFor([&] { return rule->hasFocus(); }));
    rule->selectAll();
    QTest::keyClicks(rule, QStringLiteral("$dA$-$dM$-$dJ$_$K$"));
    control<QLineEdit>("txtDebut")->setFocus();
    ASSERT_TRUE(test::waitFor([&] { return !rule->hasFocus(); }));
    EXPECT_EQ(column(1), (QStringList{"2003-02-24_Canon EOS 5D.jpg", "2010-11-05_D70.jpg", "--_.jpg"}));
    controller->renameList().setMetadataSource(nullptr);
}

TEST_F(WindowTest, FilesAndFoldersDroppedFromAnotherProgramAreAdded) {
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

    ASSERT_TRUE(test::waitFor([&] { return controller->model()->rowCount() == 3; }))
        << column(0).join(',').toStdString();
    EXPECT_EQ(column(0), (QStringList{"plain.txt", "a.txt", "b.txt"}));
    ASSERT_EQ(fe.asked.size(), 1); // the folder's two files, asked once
    EXPECT_TRUE(fe.asked[0].message.contains(QLatin1Char('2')));
}

TEST_F(WindowTest, ClosingTheWindowSavesTheSettings) {
    control<QCheckBox>("chkTrim")->setChecked(true);
    window->close();
    QFile ini(dir.path() + QStringLiteral("/Travoline.ini"));
    ASSERT_TRUE(ini.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(ini.readAll());
    EXPECT_TRUE(text.contains(QStringLiteral("RegleRenommage_EffaceEspace=1"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("1.12.2")));
}

TEST_F(WindowTest, LongOperationsSwitchTheCommandsOff) {
    window->objetOnOff(false, true, false);
    EXPECT_FALSE(control<QPushButton>("cmdAdd")->isEnabled());
    EXPECT_FALSE(control<QComboBox>("cboRenommer")->isEnabled());
    EXPECT_TRUE(control<QPushButton>("cmdStopAction")->isVisible());
    EXPECT_TRUE(control<QPushButton>("cmdStopAction")->isEnabled());
    window->objetOnOff(true, false, true);
    EXPECT_FALSE(control<QPushButton>("cmdRenommer")->isVisible());
    EXPECT_TRUE(control<QPushButton>("cmdRenommerStop")->isVisible());
    window->objetOnOff(true, false, false);
    EXPECT_TRUE(control<QPushButton>("cmdAdd")->isEnabled());
    EXPECT_TRUE(control<QPushButton>("cmdRenommer")->isVisible());
    EXPECT_FALSE(control<QPushButton>("cmdStopAction")->isVisible());
}

namespace {

// The enabled state of every named control of the window's panes (menus are
// windows of their own).
QMap<QString, bool> enabledStates(const QMainWindow *window) {
    QMap<QString, bool> states;
    for (const QWidget *w : window->centralWidget()->findChildren<QWidget *>())
        if (!w->isWindow() && !w->objectName().isEmpty() && !w->objectName().startsWith(QLatin1String("qt_")))
            states.insert(w->objectName(), w->isEnabled());
    return states;
}

} // namespace

// Every control of the panes goes off during a long operation, except the
// views, the drop button, the counts and what the operation itself needs; the
// end of the operation leaves each control as it found it.
TEST_F(WindowTest, LongOperationsSwitchEveryPaneOffButWhatTheyNeed) {
    const QStringList untouched = {"splitMain", "splitTop", "splitBrowse", "picturePreview", "cmdRefreshFolder",
                                   "cmdDnD",    "Label2",   "lstrename",   "Label4"};
    const QStringList bar = {"Frame5", "ProgressBar1", "lblStatus", "cmdAide", "cmdForum"};
    struct Case {
        const char *what;
        bool stopShown, renaming, typing;
        QStringList alsoOn;
    };
    const Case cases[] = {
        {"adding", true, false, false, bar + QStringList{"cmdStopAction"}},
        {"renaming", false, true, false, bar + QStringList{"cmdRenommerStop"}},
        {"recomputing", false, false, false, {}},
        {"recomputing while typing", false, false, true, {"Frame1", "cboRenommer", "lblComment", "lblRuleCheck"}},
    };
    for (const Case &c : cases) {
        if (c.typing)
            control<QComboBox>("cboRenommer")->lineEdit()->setFocus();
        else
            control<QTableView>("lstrename")->setFocus();
        ASSERT_TRUE(test::waitFor([&] { return control<QComboBox>("cboRenommer")->hasFocus() == c.typing; }));
        const QMap<QString, bool> before = enabledStates(window.get());
        window->objetOnOff(false, c.stopShown, c.renaming);
        const QMap<QString, bool> during = enabledStates(window.get());
        for (auto it = during.cbegin(); it != during.cend(); ++it)
            EXPECT_EQ(it.value(), untouched.contains(it.key()) || c.alsoOn.contains(it.key()))
                << c.what << ": " << it.key().toStdString();
        window->objetOnOff(true, false, false);
        EXPECT_EQ(enabledStates(window.get()), before) << c.what;
    }
}

TEST(SingleInstanceTest, ASecondCopyEndsAndAsksTheFirstToComeForward) {
    const QString name = QStringLiteral("TravolineTest%1").arg(QCoreApplication::applicationPid());
    SingleInstance first(name);
    ASSERT_FALSE(first.notifyRunningCopy());
    QSignalSpy spy(&first, &SingleInstance::activationRequested);

    SingleInstance second(name);
    EXPECT_TRUE(second.notifyRunningCopy({}, 300));               // the second copy must end
    EXPECT_TRUE(test::waitFor([&] { return spy.count() == 1; })); // the first one is asked to come forward
}

TEST(SingleInstanceTest, PathsOfASecondStartReachTheFirstCopyWhole) {
    const QString name = QStringLiteral("TravolineTestPaths%1").arg(QCoreApplication::applicationPid());
    SingleInstance first(name);
    ASSERT_FALSE(first.notifyRunningCopy());
    QSignalSpy forward(&first, &SingleInstance::activationRequested);
    QSignalSpy paths(&first, &SingleInstance::pathsReceived);

    // Names with a line break, a percent sign and non-ASCII letters arrive unchanged.
    const QStringList sent{QStringLiteral("/photos/été 2015"), QStringLiteral("/tmp/a\nend 100%.jpg")};
    SingleInstance second(name);
    EXPECT_TRUE(second.notifyRunningCopy(sent, 1000));
    ASSERT_TRUE(test::waitFor([&] { return paths.count() == 1; }));
    EXPECT_EQ(forward.count(), 1);
    EXPECT_EQ(paths.first().first().toStringList(), sent);
}

namespace {

// The window's own front end (switches, progress, labels) with scripted
// answers; with realBoxes the message boxes really open and are closed by a
// timer, so that they take the focus away as they do for a user.
struct WindowFrontEnd : MainWindowFrontEnd {
    using MainWindowFrontEnd::MainWindowFrontEnd;
    QStringList asked;
    QList<int> answers;
    int defaultAnswer = AnswerOk;
    bool realBoxes = false;

    int msgBox(const QString &message, int style, const QString &title, int delay, const QString &key) override {
        asked << message;
        if (realBoxes) {
            QTimer::singleShot(100, [] {
                if (QWidget *box = QApplication::activeModalWidget())
                    box->close();
            });
            return MainWindowFrontEnd::msgBox(message, style, title, delay, key);
        }
        return answers.isEmpty() ? defaultAnswer : answers.takeFirst();
    }
    bool reviewBlocked(const QList<ReviewEntry> &, const QString &) override { return true; }
};

// Keys typed as a person types them: to whatever has the focus.
void typeText(QWidget *window, const QString &text) {
    for (QChar c : text)
        QTest::keyClick(window->windowHandle(), c.toLatin1());
}

} // namespace

struct LiveWindowTest : WindowTest {
    std::unique_ptr<WindowFrontEnd> wfe;
    QLineEdit *rule = nullptr;

    void SetUp() override {
        WindowTest::SetUp();
        wfe = std::make_unique<WindowFrontEnd>(window.get());
        setFrontEnd(wfe.get());
        rule = control<QComboBox>("cboRenommer")->lineEdit();
        QTest::mouseClick(rule, Qt::LeftButton);
        ASSERT_TRUE(test::waitFor([&] { return rule->hasFocus(); }));
        rule->clear();
    }
    void TearDown() override {
        setFrontEnd(&fe);
        wfe.reset();
        WindowTest::TearDown();
    }
    void key(Qt::Key k) { QTest::keyClick(window->windowHandle(), k); }
    // One deferred recomputation: the clock moves on and the timer validates.
    bool recomputed(const QString &text) {
        clock = clock.addSecs(2);
        return test::waitFor([&] { return controller->lastValidatedText() == text; });
    }
};

TEST_F(LiveWindowTest, TypingGoesOnInTheRuleBoxAfterTheDeferredRecomputation) {
    touch(QStringLiteral("a.txt"));
    showFiles();
    QTest::mouseClick(control<QPushButton>("cmdAddAll"), Qt::LeftButton);
    QTest::mouseClick(rule, Qt::LeftButton);
    ASSERT_TRUE(test::waitFor([&] { return rule->hasFocus(); }));
    typeText(window.get(), QStringLiteral("Vacances_"));
    ASSERT_TRUE(recomputed(QStringLiteral("Vacances_")));
    test::runEvents(50);
    typeText(window.get(), QStringLiteral("###"));
    EXPECT_EQ(control<QComboBox>("cboRenommer")->currentText(), QStringLiteral("Vacances_###"));
    EXPECT_TRUE(rule->hasFocus());
    ASSERT_TRUE(recomputed(QStringLiteral("Vacances_###")));
    EXPECT_EQ(column(1), QStringList{QStringLiteral("Vacances_001.txt")});
}

TEST_F(LiveWindowTest, FocusAndCaretComeBackAfterATokenAndAfterAMessage) {
    typeText(window.get(), QStringLiteral("ab"));
    key(Qt::Key_Left);
    control<QListWidget>("lstAstuce")->setCurrentRow(0);
    QTest::mouseClick(control<QLabel>("Label8_2"), Qt::LeftButton); // $A$ between a and b
    typeText(window.get(), QStringLiteral("-"));
    EXPECT_EQ(control<QComboBox>("cboRenommer")->currentText(), QStringLiteral("a$A$-b"));

    // An odd number of "$": said under the box, no message takes the focus,
    // and typing goes on where it was.
    wfe->realBoxes = true;
    key(Qt::Key_End);
    typeText(window.get(), QStringLiteral("$x"));
    ASSERT_TRUE(recomputed(QStringLiteral("a$A$-b$x")));
    test::runEvents(50);
    EXPECT_TRUE(wfe->asked.isEmpty());
    EXPECT_FALSE(control<QLabel>("lblRuleCheck")->text().isEmpty());
    typeText(window.get(), QStringLiteral("y"));
    EXPECT_EQ(control<QComboBox>("cboRenommer")->currentText(), QStringLiteral("a$A$-b$xy"));
    EXPECT_TRUE(rule->hasFocus());
}

TEST_F(LiveWindowTest, ATokenClickedRightAfterHomeGoesAtTheStart) {
    typeText(window.get(), QStringLiteral("abcd"));
    key(Qt::Key_Home);
    control<QListWidget>("lstAstuce")->setCurrentRow(0);
    QTest::mouseClick(control<QLabel>("Label8_2"), Qt::LeftButton); // at once, no pause
    EXPECT_EQ(control<QComboBox>("cboRenommer")->currentText(), QStringLiteral("$A$abcd"));
    EXPECT_EQ(rule->cursorPosition(), 3);
    // Each typed key moves the caret one place, not two.
    typeText(window.get(), QStringLiteral("xy"));
    QTest::mouseClick(control<QLabel>("Label8_3"), Qt::LeftButton);
    EXPECT_EQ(control<QComboBox>("cboRenommer")->currentText(), QStringLiteral("$A$xy$M$abcd"));
}

// The window's front end with its events run at every call (not every 15
// ms), and a hook called after them.
struct EagerFrontEnd : WindowFrontEnd {
    using WindowFrontEnd::WindowFrontEnd;
    std::function<void()> afterEvents;
    void processEvents() override {
        QCoreApplication::processEvents();
        if (afterEvents)
            afterEvents();
    }
};

// A batch steps the bar for every file: it moves (and paints) at most every
// 25 ms, yet the end and a move back show at once.
TEST_F(WindowTest, TheProgressBarMovesAtMostEvery25MsYetShowsTheEndAndAMoveBack) {
    auto *bar = control<QProgressBar>("ProgressBar1");
    window->progressStart(200000);
    QSignalSpy moves(bar, &QProgressBar::valueChanged);
    QElapsedTimer elapsed;
    elapsed.start();
    for (int step = 1; step < 200000; ++step)
        window->progressStep(step);
    const qint64 ms = elapsed.elapsed();
    EXPECT_GE(moves.count(), 1);
    EXPECT_LE(moves.count(), 1 + ms / 25) << ms << " ms";
    window->progressStep(200000);
    EXPECT_EQ(bar->value(), 200000);
    window->progressStep(7);
    EXPECT_EQ(bar->value(), 7);
    window->progressEnd();
}

// While the batch is built and checked the window answers, its commands
// are off and the list takes no change: a double click, the Delete key, the
// controller's own list commands and a drop all leave it as it is.
TEST_F(WindowTest, WhileARenameIsPreparedTheWindowAnswersAndTheListStaysAsItIs) {
    EagerFrontEnd efe(window.get());
    efe.defaultAnswer = AnswerYes;
    setFrontEnd(&efe);
    for (int i = 0; i < 5; ++i)
        touch(QStringLiteral("f%1.txt").arg(i));
    showFiles();
    QTest::mouseClick(control<QPushButton>("cmdAddAll"), Qt::LeftButton);
    const QStringList listed = column(0);
    ASSERT_EQ(listed.size(), 5);
    const QString late = touch(QStringLiteral("late.txt"));
    auto *bar = control<QProgressBar>("ProgressBar1");
    auto *list = control<QTableView>("lstrename");
    bool tried = false;
    efe.afterEvents = [&] {
        if (tried || !bar->isVisible() || bar->format() == QStringLiteral("%p%"))
            return; // not preparing
        tried = true;
        EXPECT_FALSE(control<QPushButton>("cmdDel")->isEnabled());
        EXPECT_TRUE(control<QPushButton>("cmdRenommerStop")->isVisible());
        list->selectRow(1);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(list->model()->index(1, 0)).center());
        QTest::keyClick(list, Qt::Key_Delete);
        controller->cmdDel_Click({0});
        controller->dragRow(0, 3);
        controller->cmdDown_Click({0});
        controller->cmdClear_Click();
        controller->cmdDnD_Drop({late});
        EXPECT_EQ(column(0), listed);
    };
    QTest::mouseClick(control<QPushButton>("cmdRenommer"), Qt::LeftButton);
    setFrontEnd(&fe);
    EXPECT_TRUE(tried) << "no event ran while the rename was prepared";
    EXPECT_EQ(controller->model()->rowCount(), 0);
    const QStringList onDisk = QDir(dir.path() + QStringLiteral("/files")).entryList(QDir::Files, QDir::Name);
    EXPECT_EQ(onDisk, (QStringList{"f_1.txt", "f_2.txt", "f_3.txt", "f_4.txt", "f_5.txt", "late.txt"}));
    EXPECT_TRUE(control<QPushButton>("cmdDel")->isEnabled());
}

TEST_F(LiveWindowTest, AfterARenameTheStatusLineGivesTheCountsUntilTheNextChange) {
    typeText(window.get(), QStringLiteral("f_#"));
    ASSERT_TRUE(recomputed(QStringLiteral("f_#")));
    for (const char *n : {"a.txt", "b.txt", "c.txt", "f_2.txt"})
        touch(QString::fromLatin1(n));
    showFiles();
    control<LVExplorer>("ListView1")->selectItemsByText({QStringLiteral("a.txt"), QStringLiteral("b.txt")});
    QTest::mouseClick(control<QPushButton>("cmdAdd"), Qt::LeftButton);
    ASSERT_EQ(column(1), (QStringList{"f_1.txt", "f_2.txt"}));
    QLabel *status = control<QLabel>("lblStatus");
    EXPECT_TRUE(status->text().isEmpty());

    // b.txt cannot take f_2.txt, which is not in the list: one renamed, one blocked.
    wfe->defaultAnswer = AnswerYes;
    QTest::mouseClick(control<QPushButton>("cmdRenommer"), Qt::LeftButton);
    EXPECT_TRUE(wfe->asked.isEmpty()) << wfe->asked.join('\n').toStdString(); // no modal box
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\D*1\\D+1\\D+0\\D*$")).match(status->text()).hasMatch())
        << status->text().toStdString();
    EXPECT_TRUE(status->isVisible());

    // It stays through time, and goes with the next change of the list.
    test::runEvents(100);
    EXPECT_FALSE(status->text().isEmpty());
    QTest::mouseClick(control<QPushButton>("cmdClear"), Qt::LeftButton);
    EXPECT_TRUE(status->text().isEmpty());

    // Or of the rule.
    control<LVExplorer>("ListView1")->selectItemsByText({QStringLiteral("c.txt")});
    QTest::mouseClick(control<QPushButton>("cmdAdd"), Qt::LeftButton);
    QTest::mouseClick(control<QPushButton>("cmdRenommer"), Qt::LeftButton);
    ASSERT_FALSE(status->text().isEmpty());
    QTest::mouseClick(rule, Qt::LeftButton);
    typeText(window.get(), QStringLiteral("x"));
    EXPECT_TRUE(status->text().isEmpty());
}

TEST_F(LiveWindowTest, DraggingHighlightsTheTargetRowOnlyAndAnEmptyHierarchyAsksNothing) {
    for (const char *n : {"1.txt", "2.txt", "3.txt", "4.txt", "5.txt", "6.txt"})
        touch(QString::fromLatin1(n));
    showFiles();
    QTest::mouseClick(control<QPushButton>("cmdAddAll"), Qt::LeftButton);
    auto *list = control<QTableView>("lstrename");
    QWidget *viewport = list->viewport();
    auto centre = [&](int row) { return list->visualRect(controller->model()->index(row, 0)).center(); };
    // As a hand moves: a few pixels first, then row by row.
    QTest::mousePress(viewport, Qt::LeftButton, {}, centre(4));
    QTest::mouseMove(viewport, centre(4) + QPoint(0, -2));
    QTest::mouseMove(viewport, centre(3));
    QTest::mouseMove(viewport, centre(1));
    EXPECT_EQ(window->selectedRows(), QList<int>{1});
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, centre(1));
    EXPECT_EQ(column(0), (QStringList{"1.txt", "5.txt", "2.txt", "3.txt", "4.txt", "6.txt"}));
    EXPECT_EQ(window->selectedRows(), QList<int>{1});

    // No file of the tree matches the filter: no question, nothing added.
    control<QLineEdit>("txtFilter")->setText(QStringLiteral("*.png"));
    wfe->defaultAnswer = AnswerYes;
    window->findChild<QAction *>(QStringLiteral("mnuAddHieriachy"))->trigger();
    EXPECT_TRUE(wfe->asked.isEmpty()) << wfe->asked.join('\n').toStdString();
    EXPECT_EQ(controller->model()->rowCount(), 6);
}

TEST_F(WindowTest, TheLastFolderIsWhereTheTreeOpensAndStaysStoredUntilTheUserMoves) {
    const QString last = dir.path() + QStringLiteral("/last");
    ASSERT_TRUE(QDir().mkpath(last));
    const QString ini = dir.path() + QStringLiteral("/Travoline.ini");
    auto storedFolder = [&] {
        QFile f(ini);
        EXPECT_TRUE(f.open(QIODevice::ReadOnly));
        for (const QString &line : QString::fromUtf8(f.readAll()).split(QLatin1Char('\n')))
            if (line.startsWith(QStringLiteral("Option_DossierSpecifique=")))
                return line.mid(line.indexOf(QLatin1Char('=')) + 1).trimmed();
        return QString();
    };
    auto openAndClose = [&](const QString &stored) {
        Settings s;
        s.DossierDepart = 1;
        s.DossierSpecifique = stored;
        MainController c(s);
        frmMain w(&c);
        c.loadFromSettings();
        w.Form_Load();
        w.openStartFolder();
        const QString shown = w.findChild<TVExplorer *>(QStringLiteral("TreeView1"))->TVPath();
        w.close();
        return shown;
    };
    EXPECT_EQ(openAndClose(last), last);
    EXPECT_EQ(storedFolder(), last);

    // A last folder that is gone shows the home folder, and is kept for a later start.
    const QString gone = dir.path() + QStringLiteral("/gone");
    EXPECT_EQ(openAndClose(gone), QDir::homePath());
    EXPECT_EQ(storedFolder(), gone);
}

TEST(StartupTest, AFailedStepIsReportedWithTheStepReachedAndNothingLeavesMain) {
    ScriptedFrontEnd fe;
    int line = 0;
    EXPECT_FALSE(trapStartup(line, [&] {
        line = 5;
        line = 8;
        throw TavError(ErrFileNotFound, QStringLiteral("File not found"));
    }));
    ASSERT_EQ(fe.asked.size(), 1);
    EXPECT_TRUE(fe.asked[0].message.contains(QStringLiteral("ligne = 8"))) << fe.asked[0].message.toStdString();

    std::FILE *err = std::tmpfile();
    ASSERT_NE(err, nullptr);
    EXPECT_EQ(guardedMain(
                  "travoline", []() -> int { throw std::length_error("basic_string::_M_create"); }, err),
              2);
    EXPECT_EQ(guardedMain(
                  "travoline", [] { return 0; }, err),
              0);
    std::rewind(err);
    char text[512] = {};
    const size_t read = std::fread(text, 1, sizeof text - 1, err);
    std::fclose(err);
    const QString written = QString::fromLocal8Bit(text, qsizetype(read));
    EXPECT_EQ(written.count(QLatin1Char('\n')), 1) << written.toStdString();
    EXPECT_TRUE(written.startsWith(QStringLiteral("travoline: "))) << written.toStdString();
    EXPECT_TRUE(written.contains(QStringLiteral("basic_string::_M_create")));
}

TEST_F(LiveWindowTest, ExifValuesAndToolLabelShowWholeAndTheTokenPaneKeepsItsSize) {
    window->resize(window->minimumSize());
    test::runEvents(50);
    auto *tips = control<QListWidget>("lstAstuce");
    auto *pane = control<QGroupBox>("Frame3");
    // Every token group in turn: the pane and the tips list keep one size.
    QSet<int> paneHeights, tipsHeights, tipsWidths;
    for (int i = 0; i < tips->count(); ++i) {
        tips->setCurrentRow(i);
        test::runEvents(20);
        paneHeights << pane->height();
        tipsHeights << tips->height();
        tipsWidths << tips->width();
    }
    EXPECT_EQ(paneHeights.size(), 1);
    EXPECT_EQ(tipsHeights.size(), 1);
    EXPECT_EQ(tipsWidths.size(), 1);
    // Even this small, the tips need no sideways scrolling and the regex
    // group shows its button without scrolling.
    EXPECT_FALSE(tips->horizontalScrollBar()->isVisible());
    tips->setCurrentRow(tips->count() - 1);
    test::runEvents(20);
    auto *viewport = control<QScrollArea>("scrollTokens")->viewport();
    auto *build = control<QPushButton>("cmdRegex");
    EXPECT_TRUE(viewport->rect().contains(QRect(build->mapTo(viewport, QPoint()), build->size())));

    tips->setCurrentRow(3); // Exif
    wfe->showMetadataLabel(0, QStringLiteral("$d$=2018:05:06 07:08:09"));
    wfe->showMetadataLabel(1, QStringLiteral("$T$=4 032 x 3 024"));
    wfe->showMetadataLabel(4, QStringLiteral("$K$=Canon EOS 5D Mark IV"));
    auto *tool = control<QLabel>("lblExitToolUsed");
    tool->setText(QStringLiteral("Outil Exif : jhead puis ExifTool"));
    test::runEvents(50);
    auto fits = [](QLabel *label) {
        return label->contentsRect().width() >= label->fontMetrics().horizontalAdvance(label->text());
    };
    // A date always fits; a longer value is cut with its tip showing it whole.
    EXPECT_TRUE(fits(control<QLabel>("lblExif_0")));
    EXPECT_TRUE(fits(control<QLabel>("lblExif_1")));
    auto *camera = control<QLabel>("lblExif_4");
    camera->repaint();
    EXPECT_TRUE(fits(camera) || camera->toolTip() == camera->text()) << camera->toolTip().toStdString();
    EXPECT_GE(tool->contentsRect().width(), tool->fontMetrics().horizontalAdvance(tool->text()));
    auto *clear = control<QPushButton>("cmdEffacerExif");
    const QRect toolRect(tool->mapTo(window.get(), QPoint()), tool->size());
    const QRect clearRect(clear->mapTo(window.get(), QPoint()), clear->size());
    EXPECT_FALSE(toolRect.intersects(clearRect));
    for (int k = 0; k < 6; ++k) {
        auto *value = window->findChild<QLabel *>(QStringLiteral("lblExif_%1").arg(k));
        EXPECT_FALSE(QRect(value->mapTo(window.get(), QPoint()), value->size()).intersects(clearRect)) << k;
    }

    // A wider window gives the values the room.
    window->resize(1280, window->height());
    test::runEvents(50);
    EXPECT_TRUE(fits(camera));
}

TEST_F(WindowTest, TheToolLabelSaysWhichToolIsMissingAndItsPackage) {
    ExifReader reader;
    reader.setToolPath(ExifReader::Tool::Jhead, dir.path() + QStringLiteral("/nowhere/jhead"));
    reader.setToolPath(ExifReader::Tool::ExifTool, dir.path() + QStringLiteral("/nowhere/exiftool"));
    settings.OutilExifChoisi = ExifModeJhead;
    window->setMetadataReader(&reader);
    auto *tool = control<QLabel>("lblExitToolUsed");
    EXPECT_TRUE(tool->text().contains(QStringLiteral("jhead"))) << tool->text().toStdString();
    EXPECT_FALSE(tool->text().contains(QStringLiteral("libimage-exiftool-perl"))) << tool->text().toStdString();
    const QString jheadOnly = tool->text();

    settings.OutilExifChoisi = ExifModeJheadThenExifTool;
    reader.setToolPath(ExifReader::Tool::Jhead, test::jheadProgram());
    control<QListWidget>("lstAstuce")->setCurrentRow(3); // shown again with the group
    EXPECT_TRUE(tool->text().contains(QStringLiteral("libimage-exiftool-perl"))) << tool->text().toStdString();

    // Every tool there: the label only names the mode.
    if (!test::jheadProgram().isEmpty() && !test::exiftoolProgram().isEmpty()) {
        reader.setToolPath(ExifReader::Tool::ExifTool, test::exiftoolProgram());
        control<QListWidget>("lstAstuce")->setCurrentRow(0);
        control<QListWidget>("lstAstuce")->setCurrentRow(3);
        EXPECT_EQ(tool->text(), Exif::toolInUseText(ExifModeJheadThenExifTool));
        EXPECT_GT(jheadOnly.size(), Exif::toolInUseText(ExifModeJhead).size());
    }

    // The built-in reader needs neither tool and names its library version.
    settings.OutilExifChoisi = ExifModeBuiltin;
    reader.setToolPath(ExifReader::Tool::Jhead, dir.path() + QStringLiteral("/nowhere/jhead"));
    control<QListWidget>("lstAstuce")->setCurrentRow(0);
    control<QListWidget>("lstAstuce")->setCurrentRow(3);
    EXPECT_EQ(tool->text(), Exif::toolInUseText(ExifModeBuiltin));
    EXPECT_TRUE(tool->text().contains(QRegularExpression("Exiv2 \\d+\\.\\d+"))) << tool->text().toStdString();
    window->setMetadataReader(nullptr);
}

// Photos renamed with thumbnails shown keep them: the listing after the batch
// shows every picture without decoding one, and the cache shared with the
// desktop holds them under the new names only. The batch swaps two names
// (each file takes the name the other left) and moves a photo into a new
// sub-folder, where the shared cache gives its picture.
TEST_F(WindowTest, RenamedPhotosKeepTheirThumbnailsHereAndInTheSharedCache) {
    const QString files = dir.path() + QStringLiteral("/files/");
    ASSERT_FALSE(test::makeTwoTonePhoto(files, QStringLiteral("wide.jpg"), QSize(320, 240)).isEmpty());
    ASSERT_FALSE(test::makeTwoTonePhoto(files, QStringLiteral("tall.jpg"), QSize(240, 320)).isEmpty());
    ASSERT_FALSE(test::makeTwoTonePhoto(files, QStringLiteral("flat.jpg"), QSize(300, 100)).isEmpty());
    showFiles();
    auto *details = control<LVExplorer>("ListView1");
    auto *thumbs = control<ThumbnailList>("ListView2");
    control<QCheckBox>("chkVignette")->click();
    ASSERT_TRUE(test::waitFor([&] { return !thumbs->isDecoding(); }, 20000));
    QMap<QString, QImage> before;
    for (const QString name : {"wide.jpg", "tall.jpg", "flat.jpg"}) {
        before.insert(name, thumbs->picture(name).toImage());
        ASSERT_FALSE(before[name].isNull()) << name.toStdString();
        ASSERT_TRUE(validFor(sharedEntry("normal", files + name), files + name)) << name.toStdString();
    }
    // An entry another program made meanwhile at a larger size, its keys in
    // Qt's own chunks.
    QImage foreign(256, 192, QImage::Format_RGB32);
    foreign.fill(Qt::green);
    const QByteArray wideUri = QUrl::fromLocalFile(files + "wide.jpg").toEncoded();
    foreign.setText("Thumb::URI", QString::fromLatin1(wideUri));
    foreign.setText("Thumb::MTime", QString::number(QFileInfo(files + "wide.jpg").lastModified().toSecsSinceEpoch()));
    const QString large = qEnvironmentVariable("XDG_CACHE_HOME") + "/thumbnails/large/";
    ASSERT_TRUE(QDir().mkpath(large));
    ASSERT_TRUE(foreign.save(large + QCryptographicHash::hash(wideUri, QCryptographicHash::Md5).toHex() + ".png"));

    const int decoded = thumbs->decodedCount();
    const tav::thumbs::Counts sources = tav::thumbs::counts();

    QTest::mouseClick(control<QPushButton>("cmdAddAll"), Qt::LeftButton);
    ASSERT_EQ(column(0), (QStringList{"flat.jpg", "tall.jpg", "wide.jpg"}));
    controller->model()->setNewName(0, QStringLiteral("sub\\flat 2.jpg"), QString(), true);
    controller->model()->setNewName(1, QStringLiteral("wide.jpg"));
    controller->model()->setNewName(2, QStringLiteral("tall.jpg"));
    fe.defaultAnswer = AnswerYes;
    QTest::mouseClick(control<QPushButton>("cmdRenommer"), Qt::LeftButton);
    ASSERT_EQ(controller->lastRename().renamed, 3);
    details->waitForListing();
    ASSERT_TRUE(test::waitFor([&] { return thumbs->itemTexts() == details->itemTexts() && !thumbs->isDecoding(); }));
    EXPECT_EQ(thumbs->itemTexts(), (QStringList{"tall.jpg", "wide.jpg"}));
    EXPECT_EQ(thumbs->picture(QStringLiteral("wide.jpg")).toImage(), before["tall.jpg"]);
    EXPECT_EQ(thumbs->picture(QStringLiteral("tall.jpg")).toImage(), before["wide.jpg"]);
    EXPECT_EQ(thumbs->decodedCount(), decoded);

    thumbs->waitForMovedEntries();
    const QString moved = files + QStringLiteral("sub/flat 2.jpg");
    for (const QString &file : {files + "wide.jpg", files + "tall.jpg", moved})
        EXPECT_TRUE(validFor(sharedEntry("normal", file), file)) << file.toStdString();
    EXPECT_EQ(sharedEntry("normal", files + "wide.jpg").image.size(), QSize(96, 128)) << "the tall photo's";
    EXPECT_EQ(sharedEntry("normal", files + "tall.jpg").image.size(), QSize(128, 96)) << "the wide photo's";
    EXPECT_FALSE(sharedEntry("normal", files + "flat.jpg").found);
    const SharedEntry foreignMoved = sharedEntry("large", files + "tall.jpg");
    EXPECT_TRUE(validFor(foreignMoved, files + "tall.jpg"));
    EXPECT_EQ(foreignMoved.image.pixelColor(5, 5), QColor(Qt::green));
    EXPECT_FALSE(sharedEntry("large", files + "wide.jpg").found);

    // In the new sub-folder the picture comes from the shared cache.
    window->openPath(files + QStringLiteral("sub"));
    details->waitForListing();
    ASSERT_TRUE(test::waitFor([&] { return thumbs->itemTexts() == details->itemTexts() && !thumbs->isDecoding(); }));
    EXPECT_EQ(thumbs->picture(QStringLiteral("flat 2.jpg")).size(), before["flat.jpg"].size());
    EXPECT_EQ(tav::thumbs::counts().decoded, sources.decoded);
    EXPECT_EQ(tav::thumbs::counts().embedded, sources.embedded);

    // Undone, the pictures follow the files back to their old names.
    window->openPath(files);
    details->waitForListing();
    QTest::mouseClick(control<QPushButton>("cmdAnnulerRenommage"), Qt::LeftButton);
    ASSERT_EQ(controller->lastUndo().renamed, 3);
    details->waitForListing();
    ASSERT_TRUE(test::waitFor([&] { return thumbs->itemTexts() == details->itemTexts() && !thumbs->isDecoding(); }));
    for (const QString name : {"wide.jpg", "tall.jpg", "flat.jpg"})
        EXPECT_EQ(thumbs->picture(name).toImage(), before[name]) << name.toStdString();
    thumbs->waitForMovedEntries();
    for (const QString name : {"wide.jpg", "tall.jpg", "flat.jpg"})
        EXPECT_TRUE(validFor(sharedEntry("normal", files + name), files + name)) << name.toStdString();
    EXPECT_EQ(sharedEntry("normal", files + "wide.jpg").image.size(), QSize(128, 96));
    EXPECT_FALSE(sharedEntry("normal", moved).found);
    EXPECT_EQ(tav::thumbs::counts().decoded, sources.decoded);
    EXPECT_EQ(tav::thumbs::counts().embedded, sources.embedded);
}

TEST_F(WindowTest, TheFolderCountSaysHowManyNamesCouldNotBeShown) {
    touch(QStringLiteral("ok.txt"));
    const QByteArray bad = QFile::encodeName(dir.path()) + "/files/bad\xff.txt";
    QFile raw;
    ASSERT_TRUE(raw.open(::fopen(bad.constData(), "w"), QIODevice::WriteOnly, QFileDevice::AutoCloseHandle));
    raw.close();
    showFiles();
    auto *count = control<QLabel>("Label2");
    const QString unshown =
        i18n::getText(QStringLiteral("frmMain"), QStringLiteral("StatusUnshown"), QString(), QStringLiteral("1"));
    ASSERT_FALSE(unshown.isEmpty());
    ASSERT_TRUE(test::waitFor([&] { return count->text().contains(unshown); })) << count->text().toStdString();
    EXPECT_TRUE(count->text().startsWith(i18n::Message(18, QStringLiteral("1"))));

    // A folder where every name shows says nothing more.
    ASSERT_EQ(::unlink(bad.constData()), 0);
    QTest::mouseClick(control<QPushButton>("cmdRefresh"), Qt::LeftButton);
    ASSERT_TRUE(test::waitFor([&] { return !count->text().contains(unshown); })) << count->text().toStdString();
}

TEST_F(LiveWindowTest, EscapeDuringAnAddingAsksAndStopsIt) {
    const QString many = dir.path() + QStringLiteral("/many");
    ASSERT_TRUE(QDir().mkpath(many));
    QStringList names;
    for (int i = 0; i < 3000; ++i) {
        names << QStringLiteral("%1.txt").arg(i, 4, 10, QLatin1Char('0'));
        QFile f(many + QLatin1Char('/') + names.last());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    control<QTimer>("Timer_Escape")->setInterval(1);
    wfe->answers = {AnswerYes};
    // The key comes while the files are being added, wherever the focus is.
    QTimer::singleShot(0, window.get(), [this] { QTest::keyClick(window->windowHandle(), Qt::Key_Escape); });
    controller->cmdAddAll_Click(many, names);
    ASSERT_EQ(wfe->asked.size(), 1);
    EXPECT_LT(controller->model()->rowCount(), names.size());
    EXPECT_TRUE(control<QPushButton>("cmdAdd")->isEnabled());
}

TEST_F(LiveWindowTest, UndoCommandAsksThenPutsTheLastBatchBackAndCtrlZLeavesTextFieldsAlone) {
    QDir(history::folder()).removeRecursively();
    emit controller->undoFinished();
    QPushButton *undo = control<QPushButton>("cmdAnnulerRenommage");
    EXPECT_FALSE(undo->isEnabled()); // nothing to undo yet
    EXPECT_EQ(undo->text(), QStringLiteral("Annuler le dernier renommage"));

    settings.RegleDebutApresRenommage = 2; // the counter moves on after a rename
    typeText(window.get(), QStringLiteral("f_#"));
    ASSERT_TRUE(recomputed(QStringLiteral("f_#")));
    for (const char *n : {"a.txt", "b.txt"})
        touch(QString::fromLatin1(n));
    showFiles();
    QTest::mouseClick(control<QPushButton>("cmdAddAll"), Qt::LeftButton);
    wfe->defaultAnswer = AnswerYes;
    QTest::mouseClick(control<QPushButton>("cmdRenommer"), Qt::LeftButton);
    const QString files = dir.path() + QStringLiteral("/files");
    ASSERT_EQ(QDir(files).entryList(QDir::Files, QDir::Name), (QStringList{"f_1.txt", "f_2.txt"}));
    EXPECT_TRUE(undo->isEnabled());
    EXPECT_EQ(control<QLineEdit>("txtDebut")->text(), QStringLiteral("3"));

    // In a text field Ctrl+Z is the field's own undo.
    wfe->asked.clear();
    QTest::mouseClick(rule, Qt::LeftButton);
    ASSERT_TRUE(test::waitFor([&] { return rule->hasFocus(); }));
    QTest::keyClick(window->windowHandle(), Qt::Key_Z, Qt::ControlModifier);
    test::runEvents(50);
    EXPECT_TRUE(wfe->asked.isEmpty());

    // Elsewhere it asks first, with the number of files; no leaves them.
    control<QTableView>("lstrename")->setFocus();
    ASSERT_TRUE(test::waitFor([&] { return !rule->hasFocus(); }));
    wfe->answers = {AnswerNo};
    QTest::keyClick(window->windowHandle(), Qt::Key_Z, Qt::ControlModifier);
    ASSERT_EQ(wfe->asked.size(), 1);
    EXPECT_TRUE(wfe->asked[0].contains(QStringLiteral(" 2 "))) << wfe->asked[0].toStdString();
    EXPECT_EQ(QDir(files).entryList(QDir::Files, QDir::Name), (QStringList{"f_1.txt", "f_2.txt"}));

    // Rows naming the renamed files leave the list with the undo; others stay.
    controller->openPaths({files + QStringLiteral("/f_1.txt"), touch(QStringLiteral("c.txt"))});
    ASSERT_EQ(column(0), (QStringList{"f_1.txt", "c.txt"}));
    wfe->answers = {AnswerYes};
    QTest::mouseClick(undo, Qt::LeftButton);
    EXPECT_EQ(QDir(files).entryList(QDir::Files, QDir::Name), (QStringList{"a.txt", "b.txt", "c.txt"}));
    // The files put back are in the list again, the counter starts where it
    // started, and the status line tells the undo rather than the rename.
    EXPECT_EQ(column(0), (QStringList{"c.txt", "a.txt", "b.txt"}));
    EXPECT_EQ(control<QLineEdit>("txtDebut")->text(), QStringLiteral("1"));
    EXPECT_EQ(column(1), (QStringList{"f_1.txt", "f_2.txt", "f_3.txt"}));
    EXPECT_TRUE(control<QLabel>("lblStatus")->text().startsWith(QStringLiteral("2 ")));
    ASSERT_EQ(wfe->asked.size(), 3); // the question, then what was done
    EXPECT_TRUE(wfe->asked[2].startsWith(QStringLiteral("2 "))) << wfe->asked[2].toStdString();
    EXPECT_TRUE(undo->isEnabled()); // the undo can be undone in turn
    EXPECT_TRUE(control<QPushButton>("cmdRenommer")->isEnabled());
}

TEST_F(LiveWindowTest, TypingWithAPauseLosesNoKeyAndTellsWhatTheCheckFoundBesideTheBox) {
    touch(QStringLiteral("a.txt"));
    showFiles();
    QTest::mouseClick(control<QPushButton>("cmdAddAll"), Qt::LeftButton);
    QTest::mouseClick(rule, Qt::LeftButton);
    ASSERT_TRUE(test::waitFor([&] { return rule->hasFocus(); }));
    wfe->realBoxes = true; // a box would take the focus and the keys typed next
    auto *check = control<QLabel>("lblRuleCheck");
    typeText(window.get(), QStringLiteral("Photo $"));
    ASSERT_TRUE(recomputed(QStringLiteral("Photo $")));
    test::runEvents(50);
    EXPECT_TRUE(check->isVisible());
    typeText(window.get(), QStringLiteral("P$ ##"));
    EXPECT_EQ(control<QComboBox>("cboRenommer")->currentText(), QStringLiteral("Photo $P$ ##"));
    EXPECT_TRUE(rule->hasFocus());
    ASSERT_TRUE(recomputed(QStringLiteral("Photo $P$ ##")));
    EXPECT_FALSE(check->isVisible());
    EXPECT_TRUE(wfe->asked.isEmpty()) << wfe->asked.join(QLatin1Char('|')).toStdString();
}

TEST(WindowPlacementTest, APlaceComesBackOnAScreenThatExists) {
    const QList<QRect> two = {QRect(0, 0, 1920, 1080), QRect(1920, 0, 1280, 1024)};
    struct Case {
        const char *what;
        QRect wanted, placed;
    } cases[] = {
        {"on the first screen: unchanged", QRect(137, 91, 1100, 760), QRect(137, 91, 1100, 760)},
        {"on the second screen: unchanged", QRect(2000, 40, 1000, 700), QRect(2000, 40, 1000, 700)},
        {"mostly on the second: moved onto it", QRect(1800, 10, 1000, 700), QRect(1920, 10, 1000, 700)},
        {"below every screen: pulled up", QRect(100, 1500, 1000, 700), QRect(100, 380, 1000, 700)},
        {"on a screen that is gone: on the nearest", QRect(4000, 100, 800, 600), QRect(2400, 100, 800, 600)},
        {"larger than its screen: shrunk", QRect(-50, -50, 2500, 1300), QRect(0, 0, 1920, 1080)},
    };
    for (const Case &k : cases)
        EXPECT_EQ(placeOnScreens(k.wanted, two), k.placed) << k.what;
    EXPECT_EQ(placeOnScreens(QRect(5, 5, 10, 10), {}), QRect(5, 5, 10, 10));
}

TEST_F(WindowTest, ThreeRestartsLeaveTheWindowWhereItWasMaximisedOrNot) {
    // The test screen is smaller than the window's least size: the first
    // start puts it as best it can, each later start exactly there again.
    window->move(window->pos() + QPoint(7, 5));
    test::runEvents(20);
    restart();
    window->storeIntoSettings();
    const QRect place(window->pos(), window->size());
    const QRect free = window->screen()->availableGeometry();
    EXPECT_TRUE(free.contains(place.topLeft())) << "on the screen";
    const float keys[] = {settings.PositionFenetreLeft, settings.PositionFenetreTop, settings.FenetreLargeur,
                          settings.FenetreHauteur};
    for (int i = 0; i < 3; ++i) {
        restart();
        EXPECT_EQ(QRect(window->pos(), window->size()), place) << "restart " << i + 1;
        window->storeIntoSettings();
        const float now[] = {settings.PositionFenetreLeft, settings.PositionFenetreTop, settings.FenetreLargeur,
                             settings.FenetreHauteur};
        EXPECT_TRUE(std::equal(std::begin(keys), std::end(keys), std::begin(now))) << "restart " << i + 1;
    }
    // Maximised, it comes back maximised; its place out of that state is kept.
    const float left = settings.PositionFenetreLeft, top = settings.PositionFenetreTop;
    window->showMaximized();
    test::runEvents(20);
    restart();
    EXPECT_TRUE(window->isMaximized());
    EXPECT_EQ(settings.PositionFenetreLeft, left);
    EXPECT_EQ(settings.PositionFenetreTop, top);
    window->showNormal();
    test::runEvents(20);
    restart();
    EXPECT_FALSE(window->isMaximized());
}

TEST_F(WindowTest, ALanguageChangeReachesEveryOpenWindowAndTheDates) {
    const QLocale before = QLocale();
    i18n::setLanguage(QStringLiteral("Français"));
    window->retranslate();
    CHelp::show(help::TopicMainWindow);
    frmHelp *help = CHelp::window();
    ASSERT_NE(help, nullptr);
    auto *search = help->findChild<QLabel *>(QStringLiteral("lblRecherche"));
    auto *undo = control<QPushButton>("cmdAnnulerRenommage");
    EXPECT_EQ(QLocale().monthName(12), QStringLiteral("décembre"));

    i18n::setLanguage(QStringLiteral("English"));
    window->retranslate();
    EXPECT_EQ(help->windowTitle(), QStringLiteral("Travoline help"));
    EXPECT_EQ(search->text(), QStringLiteral("Search:"));
    EXPECT_EQ(undo->text(), QStringLiteral("Undo the last rename"));
    EXPECT_TRUE(undo->toolTip().startsWith(QStringLiteral("Put the files"))) << undo->toolTip().toStdString();
    EXPECT_EQ(QLocale().monthName(12), QStringLiteral("December"));

    CHelp::closeWindow();
    i18n::setLanguage(QStringLiteral("Français"));
    QLocale::setDefault(before);
}

TEST_F(WindowTest, TheRenameListTakesTheDeleteKeyAndDroppedFilesAndTokensTakeTheKeyboard) {
    const QString a = touch(QStringLiteral("a.txt")), b = touch(QStringLiteral("b.txt"));
    auto *list = control<QTableView>("lstrename");
    // Dropped from another program onto the list itself.
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(a), QUrl::fromLocalFile(b)});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(list->viewport(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(list->viewport(), &drop);
    EXPECT_EQ(column(0), (QStringList{"a.txt", "b.txt"}));

    // Delete removes the selected rows.
    list->setFocus();
    list->selectRow(0);
    QTest::keyClick(list, Qt::Key_Delete);
    EXPECT_EQ(column(0), QStringList{"b.txt"});

    // A token label is reached by the keyboard and inserts its token with
    // Enter or Space.
    auto *label = control<QLabel>("Label8_31");
    EXPECT_NE(label->focusPolicy() & Qt::TabFocus, 0);
    controller->ruleFocusIn(QString());
    QTest::keyClick(label, Qt::Key_Space);
    EXPECT_EQ(control<QComboBox>("cboRenommer")->currentText(), MainController::tokenOfCaption(label->text()));
}

TEST_F(WindowTest, TheReplaceByPositionChoicesAreNotGreyedAndTheirFieldsChooseThem) {
    auto *secondWay = control<QRadioButton>("optRepPos_1");
    auto *field = control<QLineEdit>("txtRepPos_2");
    control<QRadioButton>("optRepPos_0")->setChecked(true);
    for (int i = 0; i < 4; ++i)
        EXPECT_TRUE(window->findChild<QLineEdit *>(QStringLiteral("txtRepPos_%1").arg(i))->isEnabled()) << i;
    QFocusEvent in(QEvent::FocusIn, Qt::MouseFocusReason);
    QCoreApplication::sendEvent(field, &in);
    EXPECT_TRUE(secondWay->isChecked());
}

TEST_F(WindowTest, EveryControlOfTheWindowsAPersonMeetsHasAnAccessibleName) {
    CHelp::show(help::TopicMainWindow);
    frmOption options(controller.get(), nullptr, frmOption::Services{}, window.get());
    frmMemoriseRegle memorise(QStringLiteral("vacances"), QStringLiteral("jpg"), window.get());
    frmGLQuitter quit(window.get());
    frmAboutCredits about(window.get());
    frmKobMsgBox box;
    box.load();
    int style = 3;
    box.prepare(QStringLiteral("?"), style, QStringLiteral("Message"), 0, QString());
    const QList<QWidget *> windows = {window.get(), CHelp::window(), &options, &memorise, &quit, &about, &box};
    int named = 0;
    for (QWidget *form : windows) {
        ASSERT_NE(form, nullptr);
        for (QWidget *w : form->findChildren<QWidget *>()) {
            // What the user can reach: shown (with its window) and taking the focus.
            if (w->isWindow() || w->window() != form || w->focusPolicy() == Qt::NoFocus || !w->isVisibleTo(form))
                continue;
            QAccessibleInterface *a = QAccessible::queryAccessibleInterface(w);
            ASSERT_NE(a, nullptr);
            EXPECT_FALSE(a->text(QAccessible::Name).trimmed().isEmpty())
                << form->objectName().toStdString() << " / " << w->objectName().toStdString() << " ("
                << w->metaObject()->className() << ")";
            ++named;
        }
    }
    EXPECT_GT(named, 60);
    CHelp::closeWindow();
}

TEST_F(WindowTest, AnotherFolderStartsAtItsFirstFileWithoutThePictureOfTheOneLeft) {
    for (int i = 0; i < 300; ++i)
        touch(QStringLiteral("f%1.txt").arg(i, 3, 10, QLatin1Char('0')));
    QDir().mkpath(dir.path() + QStringLiteral("/other"));
    QFile(dir.path() + QStringLiteral("/other/x.txt")).open(QIODevice::WriteOnly);
    showFiles();
    auto *list = control<LVExplorer>("ListView1");
    list->verticalScrollBar()->setValue(list->verticalScrollBar()->maximum());
    ASSERT_GT(list->verticalScrollBar()->value(), 0);
    auto *preview = control<QLabel>("picturePreview");
    QPixmap picture(8, 8);
    picture.fill(Qt::red);
    preview->setPixmap(picture);

    window->openPath(dir.path() + QStringLiteral("/other"));
    list->waitForListing();
    EXPECT_EQ(list->verticalScrollBar()->value(), 0);
    EXPECT_TRUE(preview->pixmap().isNull());
}

TEST_F(WindowTest, AFolderListedBeforeTheWindowShowsKeepsEveryColumnInSight) {
    touch(QStringLiteral("a very long name of a holiday photo taken on the beach at sunset with friends.jpg"));
    settings.DossierSpecifique = dir.path() + QStringLiteral("/files");
    window.reset();
    window = std::make_unique<frmMain>(controller.get());
    controller->loadFromSettings();
    window->Form_Load();
    window->openStartFolder();
    auto *list = control<LVExplorer>("ListView1");
    list->waitForListing(); // as at start-up: listed while the window is still hidden
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    test::runEvents(20);
    EXPECT_LE(list->columnWidth(0), std::max(list->viewport()->width() / 2, 120));
}
