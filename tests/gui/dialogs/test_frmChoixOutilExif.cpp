// The tool choice dialog under the offscreen platform, with the program's
// own French language file.

#include "TestGuard.h"
#include "core/i18n/Language.h"
#include "core/metadata/BuiltinReader.h"
#include "core/metadata/Exif.h"
#include "gui/dialogs/frmChoixOutilExif.h"
#include "gui/i18n/Translate.h"

#include "PhotoFactory.h"
#include "QtPrinters.h"
#include "ScriptedFrontEnd.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

using namespace tav;
using i18n::Message;

namespace {

// The dialog's list of tools.
QComboBox *choices(const QDialog &dialog) {
    return dialog.findChild<QComboBox *>(QStringLiteral("cboChoix"));
}

class ChoiceDialog : public ::testing::Test {
protected:
    void SetUp() override {
        guard.sourceProgramFolder().language(QStringLiteral("Français"));
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, work.filePath("store"));
        reader.setTempFolder(work.filePath("tmp"));
        // No resident process in these tests: a missing tool leaves the batch mode as it is.
        reader.setToolPath(ExifReader::Tool::ExifTool, work.filePath("missing-exiftool"));
        reader.setModeChangedHandler([this](int m) { changes << m; });
    }

    tav::test::TestGuard guard;
    QTemporaryDir work;
    ScriptedFrontEnd ui;
    ExifReader reader;
    QList<int> changes;
};

} // namespace

TEST_F(ChoiceDialog, ShowsTheExplanationsAndOffersFourModes) {
    frmChoixOutilExif dialog(&reader);
    EXPECT_EQ(dialog.windowTitle(), i18n::getText("frmChoixOutilExif", "frmChoixOutilExif.Caption"));
    EXPECT_FALSE(dialog.windowTitle().isEmpty());
    EXPECT_EQ(dialog.findChild<QLabel *>("Label1")->text(), Message(62) + Message(63));
    EXPECT_EQ(dialog.findChild<QLabel *>("Label6")->text(), Message(68) + Message(69));
    EXPECT_EQ(i18n::findControl<QLabel>(&dialog, "Label8", 1)->text(), Message(72));
    EXPECT_EQ(dialog.findChild<QLabel *>("Label10")->text(), Message(79));
    for (const char *name :
         {"Label1", "Label2", "Label3", "Label4", "Label5", "Label6", "Label7", "Label9", "Label10"}) {
        EXPECT_FALSE(dialog.findChild<QLabel *>(name)->text().isEmpty()) << name;
    }

    QComboBox *list = choices(dialog);
    ASSERT_EQ(list->count(), 4);
    EXPECT_EQ(list->itemText(0), Message(74));
    EXPECT_EQ(list->itemText(1), Message(78));
    EXPECT_EQ(list->itemText(2), Message(75));
    EXPECT_EQ(list->itemText(3), QStringLiteral("lecteur intégré (Exiv2)"));
}

TEST_F(ChoiceDialog, SaysWhichModesNeedAnOutsideToolAndWhetherItIsInstalled) {
    const QString jhead = work.filePath("jhead");
    ASSERT_TRUE(test::writeScript(jhead, "exit 0\n"));
    reader.setToolPath(ExifReader::Tool::Jhead, jhead);
    frmChoixOutilExif dialog(&reader);
    const QStringList lines = dialog.findChild<QLabel *>("lblOutils")->text().split('\n');
    ASSERT_EQ(lines.size(), 6) << lines.join('\n').toStdString();
    EXPECT_TRUE(lines[1].startsWith("\u2022 " + Message(74))) << lines[1].toStdString();
    EXPECT_TRUE(lines[1].endsWith("jhead (installé)")) << lines[1].toStdString();
    EXPECT_TRUE(lines[2].endsWith("jhead (installé), ExifTool (absent : paquet Debian libimage-exiftool-perl)"))
        << lines[2].toStdString();
    EXPECT_TRUE(lines[4].startsWith("\u2022 " + Message(76))) << lines[4].toStdString();
    EXPECT_TRUE(lines[5].contains(Exif::builtinReaderText())) << lines[5].toStdString();
    EXPECT_TRUE(lines[5].endsWith("aucun, lu par le programme lui-même")) << lines[5].toStdString();
}

TEST_F(ChoiceDialog, CurrentModeIsShownBatchModeIncluded) {
    const QString expected[] = {Message(74), Message(74), Message(78),
                                Message(75), Message(76), Exif::toolModeName(ExifModeBuiltin)};
    for (int mode = 0; mode <= 5; ++mode) {
        reader.setMode(mode);
        frmChoixOutilExif dialog(&reader);
        EXPECT_EQ(choices(dialog)->currentText(), expected[mode]) << mode;
        EXPECT_EQ(choices(dialog)->count(), 4) << mode; // the batch mode is shown, not offered
    }
}

TEST_F(ChoiceDialog, OkAppliesTheChosenModeAndRemembersIt) {
    reader.setMode(ExifModeNotChosen);
    frmChoixOutilExif dialog(&reader);
    dialog.show();
    choices(dialog)->setCurrentIndex(1);
    QTest::mouseClick(dialog.findChild<QPushButton *>("cmdOK"), Qt::LeftButton);
    EXPECT_EQ(reader.mode(), ExifModeJheadThenExifTool);
    EXPECT_EQ(changes, QList<int>{ExifModeJheadThenExifTool});
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_FALSE(dialog.isVisible());
    QSettings store(QSettings::NativeFormat, QSettings::UserScope, "Travoline", "Travoline");
    EXPECT_EQ(store.value("Options/GLOutilExifChoisi").toString(), "2");

    // The built-in reader, chosen in the list.
    frmChoixOutilExif builtin(&reader);
    choices(builtin)->setCurrentIndex(3);
    QTest::mouseClick(builtin.findChild<QPushButton *>("cmdOK"), Qt::LeftButton);
    EXPECT_EQ(reader.mode(), ExifModeBuiltin);
    EXPECT_EQ(store.value("Options/GLOutilExifChoisi").toString(), "5");

    // OK on the batch mode as shown keeps it.
    reader.setMode(ExifModeExifToolBatch);
    changes.clear();
    frmChoixOutilExif batch(&reader);
    QTest::mouseClick(batch.findChild<QPushButton *>("cmdOK"), Qt::LeftButton);
    EXPECT_EQ(reader.mode(), ExifModeExifToolBatch);
    EXPECT_TRUE(changes.isEmpty());
    EXPECT_TRUE(ui.asked.isEmpty());
}

TEST_F(ChoiceDialog, HelpButtonAsksForTheHelp) {
    frmChoixOutilExif dialog(&reader);
    QSignalSpy help(&dialog, &frmChoixOutilExif::helpRequested);
    QTest::mouseClick(dialog.findChild<QPushButton *>("cmdAide"), Qt::LeftButton);
    EXPECT_EQ(help.count(), 1);
    EXPECT_EQ(reader.mode(), ExifModeNotChosen);
}

TEST_F(ChoiceDialog, ModalChoiceRunsTheHelpAndClosingLeavesTheModeAlone) {
    // The help button reaches the caller while the dialog stays open; closing
    // the dialog without OK changes nothing.
    int helps = 0;
    bool stillOpen = false;
    QTimer::singleShot(0, [&] {
        auto *dialog = qobject_cast<frmChoixOutilExif *>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        choices(*dialog)->setCurrentIndex(2);
        QTest::mouseClick(dialog->findChild<QPushButton *>("cmdAide"), Qt::LeftButton);
        stillOpen = dialog->isVisible();
        dialog->reject();
    });
    EXPECT_EQ(frmChoixOutilExif::choose(reader, nullptr, [&] { ++helps; }), ExifModeNotChosen);
    EXPECT_EQ(helps, 1);
    EXPECT_TRUE(stillOpen);
    EXPECT_TRUE(changes.isEmpty());

    // OK through the modal helper applies the choice.
    QTimer::singleShot(0, [] {
        auto *dialog = qobject_cast<frmChoixOutilExif *>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        choices(*dialog)->setCurrentIndex(2);
        QTest::mouseClick(dialog->findChild<QPushButton *>("cmdOK"), Qt::LeftButton);
    });
    EXPECT_EQ(frmChoixOutilExif::choose(reader), ExifModeExifTool);
    EXPECT_EQ(changes, QList<int>{ExifModeExifTool});
}
