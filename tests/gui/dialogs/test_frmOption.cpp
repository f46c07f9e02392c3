// The options dialog driven by control name, offscreen, with the program's
// own language files: loading, the two tables, the counter fields, the
// language switch seen in the open main window, and a confirmation that
// survives a restart and reaches the command line.

#include "QtPrinters.h"
#include "ScriptedFrontEnd.h"
#include "TestGuard.h"
#include "WaitFor.h"
#include "core/app/MainController.h"
#include "core/base/IniFile.h"
#include "core/base/ProgramFolder.h"
#include "core/i18n/Language.h"
#include "core/settings/Settings.h"
#include "core/settings/modIniFile.h"
#include "gui/dialogs/frmOption.h"
#include "gui/i18n/Translate.h"
#include "gui/main/frmMain.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDate>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

using namespace tav;
using i18n::Message;

namespace {

struct OptionsDialog : ::testing::Test {
    QTemporaryDir dir;
    ScriptedFrontEnd fe;
    Settings settings;
    std::unique_ptr<MainController> controller;
    frmOption::Services services;
    QStringList pickedTitles, opened;
    tav::test::TestGuard guard;

    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        guard.sourceProgramFolder()
            .language(QStringLiteral("Français"))
            .settingsFile(dir.filePath(QStringLiteral("Travoline.ini")));
        modIniFile::hooks() = {};
        controller = std::make_unique<MainController>(settings);
        controller->loadFromSettings();
        services.pickFolder = [this](QWidget *, const QString &title, const QString &) {
            pickedTitles << title;
            return dir.filePath(QStringLiteral("picked"));
        };
        services.openUrl = [this](const QString &a) {
            opened << a;
            return 33;
        };
        services.openMail = [this](const QString &a) {
            opened << QStringLiteral("mail:") + a;
            return 33;
        };
        services.documentsFolder = [this] { return dir.filePath(QStringLiteral("Documents")); };
    }

    std::unique_ptr<frmOption> open() {
        auto d = std::make_unique<frmOption>(controller.get(), nullptr, services);
        d->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(d.get()));
        return d;
    }

    template <class T = QWidget> static T *control(const QWidget *form, const char *name) {
        T *found = form->findChild<T *>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    template <class T = QWidget> static T *element(const QWidget *form, const char *name, int index) {
        T *found = i18n::findControl<T>(form, QString::fromLatin1(name), index);
        EXPECT_NE(found, nullptr) << name << "(" << index << ")";
        return found;
    }

    // Types text into a cell through the table's own editor and presses Enter.
    static void editCell(QTableWidget *table, int row, const QString &text) {
        // The table's page is shown first, as the user would.
        for (QWidget *w = table; w; w = w->parentWidget())
            if (i18n::controlName(w) == QLatin1String("Frame1"))
                table->window()
                    ->findChild<QListWidget *>(QStringLiteral("lstOptions"))
                    ->setCurrentRow(i18n::controlIndex(w));
        table->setCurrentCell(row, 0);
        table->editItem(table->item(row, 0));
        // The editor of that very cell: editors closed earlier may still wait
        // for their deletion.
        auto *editor = qobject_cast<QLineEdit *>(table->indexWidget(table->model()->index(row, 0)));
        ASSERT_NE(editor, nullptr);
        editor->selectAll();
        QTest::keyClick(editor, Qt::Key_Delete);
        editor->insert(text); // QTest types ASCII only
        QTest::keyClick(editor, Qt::Key_Return);
        test::runEvents(30);
    }

    static QStringList columnTexts(const QTableWidget *table, int column) {
        QStringList l;
        for (int r = 0; r < table->rowCount(); ++r)
            l << (table->item(r, column) ? table->item(r, column)->text() : QString());
        return l;
    }

    static void leave(QWidget *field) {
        QFocusEvent out(QEvent::FocusOut);
        QApplication::sendEvent(field, &out);
    }

    // What the English language file says for a key, read past the program.
    static QString english(const char *section, const char *key) {
        return i18n::applyValueConventions(
            IniFile(QStringLiteral(TAV_SOURCE_DIR "/langages/english.lng")).read(section, key));
    }
};

} // namespace

TEST_F(OptionsDialog, LoadsEveryPageAndShowsOneAtATime) {
    settings.FormatAnnee = 1;
    settings.FormatMois = 3;
    settings.DossierDepart = 1;
    settings.AfficherVignette = 0;
    settings.TailleVignette = 2;
    auto d = open();

    auto *pages = control<QListWidget>(d.get(), "lstOptions");
    ASSERT_EQ(pages->count(), 8);
    const int messages[8] = {38, 24, 54, 22, 12, 44, 41, 90};
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(pages->item(i)->text(), Message(messages[i]));
        pages->setCurrentRow(i);
        for (int k = 0; k < 8; ++k)
            EXPECT_EQ(element<QGroupBox>(d.get(), "Frame1", k)->isVisible(), k == i) << i << " " << k;
        EXPECT_EQ(element<QGroupBox>(d.get(), "Frame1", i)->title(), Message(messages[i]));
    }

    const QDate today = QDate::currentDate();
    auto *years = control<QComboBox>(d.get(), "cboYear");
    EXPECT_EQ(years->itemText(0), today.toString(QStringLiteral("yyyy")));
    EXPECT_EQ(years->currentText(), today.toString(QStringLiteral("yy")));
    EXPECT_EQ(control<QComboBox>(d.get(), "cboMois")->currentText(), QLocale().toString(today, QStringLiteral("MMMM")));
    EXPECT_EQ(control<QComboBox>(d.get(), "cboVignette")->currentText(), Message(48));
    EXPECT_FALSE(control<QCheckBox>(d.get(), "chkFormatVignette")->isChecked());
    EXPECT_FALSE(control<QLineEdit>(d.get(), "txtExtensionVignette")->isEnabled());
    control<QCheckBox>(d.get(), "chkFormatVignette")->click();
    EXPECT_TRUE(control<QLineEdit>(d.get(), "txtExtensionVignette")->isEnabled());

    // The tables end with their empty row; the built-in table and list by default.
    auto *chars = control<QTableWidget>(d.get(), "lstCharInterdit");
    EXPECT_EQ(chars->rowCount(), builtInForbiddenTable().size() + 1);
    EXPECT_EQ(chars->item(0, 0)->text(), QStringLiteral("éèêë"));
    EXPECT_EQ(chars->item(0, 1)->text(), QStringLiteral("e"));
    EXPECT_EQ(chars->horizontalHeaderItem(1)->text(), Message(25));
    EXPECT_EQ(columnTexts(control<QTableWidget>(d.get(), "lstFichierInterdit"), 0),
              builtInNeverRenamed() + QStringList{QString()});

    // The folder field and its button only for the chosen folder.
    auto *start = control<QComboBox>(d.get(), "cboDossier");
    EXPECT_EQ(start->currentText(), Message(56));
    EXPECT_FALSE(control<QLineEdit>(d.get(), "txtDossierSpecifique")->isEnabled());
    start->setCurrentIndex(2);
    EXPECT_TRUE(control<QLineEdit>(d.get(), "txtDossierSpecifique")->isEnabled());
    EXPECT_TRUE(control<QPushButton>(d.get(), "cmdDossierSpecifique")->isEnabled());
    start->setCurrentIndex(0);
    EXPECT_FALSE(control<QPushButton>(d.get(), "cmdDossierSpecifique")->isEnabled());

    // French: no translator. Pictures on the buttons; no help button until
    // the help is there, then topic 10001.
    EXPECT_FALSE(control<QLabel>(d.get(), "lblTraducteur")->isVisible());
    EXPECT_EQ(control<QComboBox>(d.get(), "cboLangage")->currentText(), QStringLiteral("Français"));
    EXPECT_FALSE(control<QPushButton>(d.get(), "cmdOK")->icon().isNull());
    EXPECT_FALSE(control<QPushButton>(d.get(), "cmdAide")->isVisible());
    QList<int> topics;
    services.openHelp = [&](int topic) { topics << topic; };
    auto withHelp = open();
    QTest::mouseClick(control<QPushButton>(withHelp.get(), "cmdAide"), Qt::LeftButton);
    EXPECT_EQ(topics, QList<int>{10001});
}

TEST_F(OptionsDialog, TablesAreEditedThroughTheirCellsByTheirRules) {
    auto d = open();
    auto *chars = control<QTableWidget>(d.get(), "lstCharInterdit");
    const int rows = chars->rowCount();

    // Emptying the first row and answering yes removes it.
    fe.answers = {AnswerYes};
    editCell(chars, 0, QString());
    EXPECT_EQ(chars->rowCount(), rows - 1);
    EXPECT_EQ(chars->item(0, 0)->text(), QStringLiteral("àâ"));
    EXPECT_EQ(fe.messages(), QStringList{Message(26)});

    // The trailing row adds one; a two-character replacement is refused.
    fe.inputs = {QStringLiteral("+")};
    editCell(chars, rows - 2, QStringLiteral("&"));
    EXPECT_EQ(chars->rowCount(), rows);
    EXPECT_EQ(chars->item(rows - 2, 0)->text(), QStringLiteral("&"));
    EXPECT_EQ(chars->item(rows - 2, 1)->text(), QStringLiteral("+"));
    EXPECT_TRUE(chars->item(rows - 1, 0)->text().isEmpty());
    fe.inputs = {QStringLiteral("--")};
    editCell(chars, 0, QStringLiteral("àâä"));
    EXPECT_EQ(chars->item(0, 0)->text(), QStringLiteral("àâä"));
    EXPECT_EQ(chars->item(0, 1)->text(), QStringLiteral("a"));
    EXPECT_EQ(fe.messages().last(), Message(29));
    ASSERT_EQ(fe.prompts.size(), 2);
    EXPECT_EQ(fe.prompts[1].key, QStringLiteral("a")); // the row's replacement is offered

    auto *names = control<QTableWidget>(d.get(), "lstFichierInterdit");
    editCell(names, 3, QStringLiteral(".directory"));
    fe.answers = {AnswerNo};
    editCell(names, 0, QString());
    EXPECT_EQ(columnTexts(names, 0), builtInNeverRenamed() << QStringLiteral(".directory") << QString());

    // Confirming keeps every row but the trailing one.
    QTest::mouseClick(control<QPushButton>(d.get(), "cmdOK"), Qt::LeftButton);
    EXPECT_EQ(settings.CharactereInterdit.size(), rows - 1);
    EXPECT_EQ(settings.CharactereInterdit.last(), (ForbiddenRow{QStringLiteral("&"), QStringLiteral("+")}));
    EXPECT_EQ(settings.FileNotRenamed.last(), QStringLiteral(".directory"));
}

TEST_F(OptionsDialog, CounterFieldsRefuseTextAndReportOverflowWithoutChangingAnything) {
    auto d = open();
    auto *start = control<QLineEdit>(d.get(), "txtDebut");
    auto *step = control<QLineEdit>(d.get(), "txtPas");
    start->setText(QStringLiteral("dix"));
    leave(start);
    EXPECT_EQ(start->text(), QStringLiteral("1"));
    ASSERT_EQ(fe.asked.size(), 1);
    EXPECT_EQ(fe.asked[0].message, Message(13) + QStringLiteral("\r\n"));
    EXPECT_EQ(fe.asked[0].title, Message(2));

    step->setText(QStringLiteral("40000"));
    leave(step);
    EXPECT_EQ(step->text(), QStringLiteral("40000"));
    ASSERT_EQ(fe.asked.size(), 2);
    EXPECT_EQ(fe.asked[1].title, QStringLiteral("Erreur rencontrée"));
    EXPECT_TRUE(fe.asked[1].message.endsWith(QStringLiteral("dans la procédure txtPas_LostFocus (Feuille frmOption)")))
        << fe.asked[1].message.toStdString();

    // Confirming with it reports again and keeps the dialog and the settings as they were.
    const Settings before = settings;
    control<QComboBox>(d.get(), "cboYear")->setCurrentIndex(1);
    QTest::mouseClick(control<QPushButton>(d.get(), "cmdOK"), Qt::LeftButton);
    EXPECT_TRUE(d->isVisible());
    EXPECT_EQ(settings, before);
    EXPECT_TRUE(fe.asked.last().message.contains(QStringLiteral("cmdOK_Click (Feuille frmOption)")));
    EXPECT_FALSE(QFile::exists(modIniFile::settingsFilePath()));
}

TEST_F(OptionsDialog, EnglishTurnsTheOpenMainWindowEnglishAndStaysAfterCancel) {
    QDir().mkpath(dir.filePath(QStringLiteral("files")));
    for (const char *name : {"a.jpg", "Thumbs.db", "notes.txt"}) {
        QFile f(dir.filePath(QStringLiteral("files/")) + QString::fromLatin1(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    settings.regle.Regle = QStringLiteral("photo_#");
    settings.regle.Extension = QStringLiteral("jpg db");
    settings.regle.Commentaire = Message(95); // the default comment
    settings.DossierDepart = 2;
    settings.DossierSpecifique = dir.path();
    frmMain window(controller.get());
    controller->loadFromSettings();
    window.Form_Load();
    window.openStartFolder();
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    controller->openPaths({dir.filePath(QStringLiteral("files"))});
    ASSERT_EQ(controller->model()->count(), 3);
    auto newNames = [&] {
        QStringList l;
        for (const FileEntry &e : controller->model()->entries())
            l << e.newName;
        return l;
    };
    const QString frenchNever = Message(91);
    ASSERT_TRUE(newNames().contains(frenchNever) && newNames().contains(Message(97)));

    // The button opens the dialog; English is picked and the dialog cancelled.
    auto *option = window.findChild<QPushButton *>(QStringLiteral("cmdOption"));
    ASSERT_TRUE(option && option->isVisible());
    bool seen = false;
    QTimer::singleShot(0, [&] {
        auto *d = qobject_cast<frmOption *>(QApplication::activeModalWidget());
        if (!d)
            return;
        seen = true;
        auto *languages = control<QComboBox>(d, "cboLangage");
        const int index = languages->findText(QStringLiteral("English"));
        languages->setCurrentIndex(index);
        emit languages->activated(index);
        EXPECT_EQ(d->windowTitle(), english("frmOption", "frmOption.Caption"));
        EXPECT_EQ(control<QListWidget>(d, "lstOptions")->item(0)->text(), english("MSG", "m38"));
        EXPECT_EQ(element<QRadioButton>(d, "optDebut", 2)->text(), english("frmOption", "optDebut(2).Caption"));
        EXPECT_EQ(control<QLabel>(d, "lblTraducteur")->text(), english("AUTHOR", "name"));
        QTest::mouseClick(control<QPushButton>(d, "cmdAnnuler"), Qt::LeftButton);
    });
    QTest::mouseClick(option, Qt::LeftButton);
    EXPECT_TRUE(seen);

    EXPECT_EQ(i18n::languageName(), QStringLiteral("English"));
    EXPECT_EQ(settings.LangueUtilisee, QStringLiteral("English"));
    EXPECT_EQ(IniFile(modIniFile::settingsFilePath()).read("Langage", "Langage_LangueUtilisee"), "English");
    EXPECT_EQ(window.findChild<QPushButton *>(QStringLiteral("cmdRenommer"))->text(),
              english("frmMain", "cmdRenommer.Caption"));
    EXPECT_EQ(window.findChild<QPushButton *>(QStringLiteral("cmdAnnulerRenommage"))->text(), english("MSG", "m101"));
    EXPECT_EQ(i18n::findControl<QLabel>(&window, QStringLiteral("Label8"), 0)->text(),
              english("frmMain", "Label8(0).Caption"));
    EXPECT_EQ(window.findChild<QListWidget *>(QStringLiteral("lstAstuce"))->item(0)->text(), english("MSG", "m39"));
    EXPECT_TRUE(window.windowTitle().endsWith(english("MSG", "m77").replace(QStringLiteral("%s"), QStringLiteral("0"))))
        << window.windowTitle().toStdString();
    const auto *list = window.findChild<QTableView *>(QStringLiteral("lstrename"));
    EXPECT_EQ(list->model()->headerData(1, Qt::Horizontal).toString(), english("MSG", "m15"));
    EXPECT_TRUE(newNames().contains(english("MSG", "m91")));
    EXPECT_TRUE(newNames().contains(english("MSG", "m97")));
    EXPECT_FALSE(newNames().contains(frenchNever));
    EXPECT_TRUE(window.findChild<QLabel *>(QStringLiteral("lblComment"))->text().startsWith(english("MSG", "m95")));
    // Nothing else was taken over by the cancelled dialog.
    EXPECT_EQ(settings.CharactereInterdit, builtInForbiddenTable());
    window.hide();

    // The translator's links, in a dialog of its own with stand-in openers.
    auto d = open();
    QTest::mouseClick(control<QLabel>(d.get(), "lblSiteTraducteur"), Qt::LeftButton);
    QTest::mouseClick(control<QLabel>(d.get(), "lblTraducteur"), Qt::LeftButton);
    EXPECT_EQ(opened, (QStringList{english("AUTHOR", "site"), QStringLiteral("mail:") + english("AUTHOR", "email")}));
}

TEST_F(OptionsDialog, EveryOptionSurvivesARestartAndTheCommandLineFollowsIt) {
    auto d = open();
    control<QComboBox>(d.get(), "cboYear")->setCurrentIndex(1);
    control<QComboBox>(d.get(), "cboMois")->setCurrentIndex(2);
    auto *chars = control<QTableWidget>(d.get(), "lstCharInterdit");
    fe.inputs = {QStringLiteral("y")};
    editCell(chars, chars->rowCount() - 1, QStringLiteral("x"));
    auto *names = control<QTableWidget>(d.get(), "lstFichierInterdit");
    editCell(names, names->rowCount() - 1, QStringLiteral("keep.txt"));
    element<QRadioButton>(d.get(), "optRegle", 0)->click();
    element<QRadioButton>(d.get(), "optDebut", 2)->click();
    element<QRadioButton>(d.get(), "optPas", 0)->click();
    control<QLineEdit>(d.get(), "txtDebut")->setText(QStringLiteral("-7"));
    control<QLineEdit>(d.get(), "txtPas")->setText(QStringLiteral("3"));
    control<QCheckBox>(d.get(), "chkFormatVignette")->click();
    control<QLineEdit>(d.get(), "txtExtensionVignette")->setText(QStringLiteral("png webp"));
    control<QComboBox>(d.get(), "cboVignette")->setCurrentIndex(1);
    control<QComboBox>(d.get(), "cboDossier")->setCurrentIndex(2);
    control<QPushButton>(d.get(), "cmdDossierSpecifique")->click();
    EXPECT_EQ(pickedTitles, QStringList{Message(3)});
    EXPECT_EQ(settings.DossierSpecifique, dir.filePath(QStringLiteral("picked"))); // at once
    control<QLineEdit>(d.get(), "txtFormatJHead")->setText(QStringLiteral("jpg jpe"));
    control<QLineEdit>(d.get(), "txtFormatExifTool")->setText(QStringLiteral("cr2 nef"));
    ASSERT_FALSE(control<QCheckBox>(d.get(), "chkNFC")->isChecked()); // off at first
    control<QCheckBox>(d.get(), "chkNFC")->click();

    QSignalSpy redraw(d.get(), &frmOption::thumbnailSettingsChanged);
    fe.asked.clear();
    QTest::mouseClick(control<QPushButton>(d.get(), "cmdOK"), Qt::LeftButton);
    EXPECT_TRUE(fe.asked.isEmpty()); // an empty rename list: nothing to recompute
    EXPECT_EQ(redraw.count(), 1);
    EXPECT_FALSE(d->isVisible());

    // Written at once: the next start reads every value back.
    Settings next;
    ASSERT_TRUE(modIniFile::ReadIniFile(next, modIniFile::settingsFilePath()));
    EXPECT_EQ(next.FormatAnnee, 1);
    EXPECT_EQ(next.FormatMois, 2);
    const ForbiddenRow added{QStringLiteral("x"), QStringLiteral("y")};
    EXPECT_EQ(next.CharactereInterdit, builtInForbiddenTable() << added);
    EXPECT_EQ(next.FileNotRenamed, builtInNeverRenamed() + QStringList{QStringLiteral("keep.txt")});
    EXPECT_EQ(next.RegleApresRenommage, 0);
    EXPECT_EQ(next.RegleDebutApresRenommage, 2);
    EXPECT_EQ(next.RegleDebutResetRenommage, -7);
    EXPECT_EQ(next.ReglePasApresRenommage, 0);
    EXPECT_EQ(next.ReglePasResetRenommage, 3);
    EXPECT_EQ(next.AfficherVignette, 0);
    EXPECT_EQ(next.FormatExtensionVignette, QStringLiteral("png webp"));
    EXPECT_EQ(next.TailleVignette, 1);
    EXPECT_EQ(next.DossierDepart, 2);
    EXPECT_EQ(next.DossierSpecifique, dir.filePath(QStringLiteral("picked")));
    EXPECT_EQ(next.ExtensionTraiteAvecJHEAD, QStringLiteral("JPG JPE"));
    EXPECT_EQ(next.ExtensionTraiteAvecEXIFTOOL, QStringLiteral("CR2 NEF"));
    EXPECT_EQ(next.NormaliserNFC, 1);

    // The dialog of the next start shows them again.
    Settings restarted = next;
    MainController again(restarted);
    frmOption shown(&again, nullptr, services);
    EXPECT_EQ(control<QComboBox>(&shown, "cboMois")->currentIndex(), 2);
    EXPECT_TRUE(element<QRadioButton>(&shown, "optRegle", 0)->isChecked());
    EXPECT_TRUE(element<QRadioButton>(&shown, "optDebut", 2)->isChecked());
    EXPECT_EQ(control<QLineEdit>(&shown, "txtDebut")->text(), QStringLiteral("-7"));
    EXPECT_EQ(control<QLineEdit>(&shown, "txtDossierSpecifique")->text(), dir.filePath(QStringLiteral("picked")));
    EXPECT_EQ(control<QComboBox>(&shown, "cboVignette")->currentIndex(), 1);
    EXPECT_EQ(control<QLineEdit>(&shown, "txtFormatExifTool")->text(), QStringLiteral("CR2 NEF"));
    EXPECT_TRUE(control<QCheckBox>(&shown, "chkNFC")->isChecked());

    // The command line reads the same file: the new table and list apply.
    QDir().mkpath(dir.filePath(QStringLiteral("files")));
    for (const char *name : {"a.jpg", "keep.txt"}) {
        QFile f(dir.filePath(QStringLiteral("files/")) + QString::fromLatin1(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    QProcess cli;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral("config")));
    cli.setProcessEnvironment(env);
    cli.start(QStringLiteral(TAV_BUILD_BIN_DIR "/travoline-cli"),
              {QStringLiteral("--settings"), modIniFile::settingsFilePath(), QStringLiteral("--rule"),
               QStringLiteral("x_#"), dir.filePath(QStringLiteral("files"))});
    ASSERT_TRUE(cli.waitForFinished(30000));
    EXPECT_EQ(QString::fromUtf8(cli.readAllStandardOutput()),
              dir.filePath(QStringLiteral("files/a.jpg")) + QStringLiteral("\ty_1.jpg\n") +
                  dir.filePath(QStringLiteral("files/keep.txt")) + QLatin1Char('\t') + Message(91) + QLatin1Char('\n'))
        << cli.readAllStandardError().toStdString();

    // A name written with a separate accent gets the composed one.
    const QString nfd = dir.filePath(QStringLiteral("nfd/")) + QString::fromUtf8("cafe\xcc\x81.jpg");
    QDir().mkpath(dir.filePath(QStringLiteral("nfd")));
    QFile f(nfd);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();
    cli.start(QStringLiteral(TAV_BUILD_BIN_DIR "/travoline-cli"),
              {QStringLiteral("--settings"), modIniFile::settingsFilePath(), QStringLiteral("--rule"),
               QStringLiteral("*"), dir.filePath(QStringLiteral("nfd"))});
    ASSERT_TRUE(cli.waitForFinished(30000));
    EXPECT_EQ(QString::fromUtf8(cli.readAllStandardOutput()), nfd + QString::fromUtf8("\tcaf\xc3\xa9.jpg\n"));
}

TEST_F(OptionsDialog, ConfirmingWithFilesInTheListAsksBeforeRecomputing) {
    QDir().mkpath(dir.filePath(QStringLiteral("files")));
    QFile f(dir.filePath(QStringLiteral("files/keep.txt")));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    settings.regle.Regle = QStringLiteral("n_#");
    controller->loadFromSettings();
    controller->setUpdatesEnabled(true);
    controller->openPaths({f.fileName()});
    ASSERT_EQ(controller->model()->entry(0).newName, QStringLiteral("n_1.txt"));

    for (int answer : {AnswerNo, AnswerYes}) {
        auto d = open();
        auto *names = control<QTableWidget>(d.get(), "lstFichierInterdit");
        editCell(names, names->rowCount() - 1, QStringLiteral("keep.txt"));
        fe.asked.clear();
        fe.answers = {answer};
        QTest::mouseClick(control<QPushButton>(d.get(), "cmdOK"), Qt::LeftButton);
        ASSERT_EQ(fe.asked.size(), 1);
        EXPECT_EQ(fe.asked[0].message, Message(81));
        EXPECT_EQ(fe.asked[0].style, StyleYesNo + StyleQuestion);
        EXPECT_EQ(controller->model()->entry(0).newName, answer == AnswerYes ? Message(91) : QStringLiteral("n_1.txt"));
    }
}
