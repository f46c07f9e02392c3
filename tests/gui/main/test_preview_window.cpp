// The main window's preview pane and thumbnail view, offscreen, with real
// photos in a temporary folder and the built-in metadata reader.
#include "QtPrinters.h"
#include "TestGuard.h"
#include "TwoTonePhoto.h"
#include "WaitFor.h"
#include "core/app/MainController.h"
#include "core/i18n/Language.h"
#include "core/metadata/Exif.h"
#include "core/settings/Settings.h"
#include "core/settings/modIniFile.h"
#include "gui/main/frmMain.h"
#include "gui/shellbrowser/LVExplorer.h"
#include "gui/widgets/ImagePreview.h"
#include "gui/widgets/ThumbnailList.h"

#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using namespace tav;

namespace {

struct PreviewWindowTest : ::testing::Test {
    QTemporaryDir dir;
    Settings settings;
    ExifReader reader;
    std::unique_ptr<MainController> controller;
    std::unique_ptr<frmMain> window;
    QString files;
    tav::test::TestGuard guard;

    void SetUp() override {
        if (test::exiftoolProgram().isEmpty())
            GTEST_SKIP() << "ExifTool is not installed";
        ASSERT_TRUE(dir.isValid());
        files = dir.filePath(QStringLiteral("files"));
        QDir().mkpath(files);
        ASSERT_FALSE(test::makeTwoTonePhoto(files, QStringLiteral("a.jpg"), QSize(322, 242)).isEmpty());
        ASSERT_FALSE(test::makeTwoTonePhoto(files, QStringLiteral("b.jpg"), QSize(242, 322), 6).isEmpty());
        ASSERT_FALSE(test::makeTwoTonePhoto(files, QStringLiteral("c.png"), QSize(40, 30)).isEmpty());
        QFile text(QDir(files).filePath(QStringLiteral("d.txt")));
        ASSERT_TRUE(text.open(QIODevice::WriteOnly));
        text.write("notes\n");
        text.close();

        guard.settingsFile(dir.filePath(QStringLiteral("Travoline.ini")));
        settings.DossierDepart = 2;
        settings.DossierSpecifique = files;
        settings.OutilExifChoisi = ExifModeBuiltin;
        reader.configure(ExifModeBuiltin, QString(), QString());
        controller = std::make_unique<MainController>(settings);
        window = std::make_unique<frmMain>(controller.get());
        controller->loadFromSettings();
        window->Form_Load();
        window->setMetadataReader(&reader);
        window->openStartFolder();
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        control<LVExplorer>("ListView1")->waitForListing();
    }
    void TearDown() override { window.reset(); }
    template <class T> T *control(const char *name) const {
        T *found = window->findChild<T *>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    QImage shown() const { return control<QLabel>("picturePreview")->pixmap().toImage(); }
};

TEST_F(PreviewWindowTest, PreviewFollowsTheSelectionAndTheBox) {
    auto *list = control<LVExplorer>("ListView1");
    auto *box = control<QCheckBox>("chkPreview");
    ASSERT_TRUE(box->isVisibleTo(window.get()));
    box->setChecked(false);
    list->selectItemsByText({QStringLiteral("b.jpg")});
    EXPECT_TRUE(shown().isNull()) << "nothing while the preview is off";

    // Ticking stores the setting and shows the selected photo at once, upright.
    box->click();
    EXPECT_EQ(controller->settings().VisualiserImage, 1);
    QImage image = shown();
    ASSERT_EQ(image.size(), QSize(161, 121));
    EXPECT_TRUE(test::isReddish(image.pixel(150, 100)));

    list->selectItemsByText({QStringLiteral("d.txt")});
    EXPECT_EQ(shown(), QImage(preview::noImagePath()));

    // An entry of the rename list under the pointer.
    control<QPushButton>("cmdAddAll")->click();
    ASSERT_TRUE(test::waitFor([&] { return controller->model()->rowCount() == 4; }));
    auto *rename = control<QTableView>("lstrename");
    const QRect first = rename->visualRect(rename->model()->index(0, 0));
    QTest::mousePress(rename->viewport(), Qt::LeftButton, {}, first.center());
    QTest::mouseRelease(rename->viewport(), Qt::LeftButton, {}, first.center());
    image = shown();
    ASSERT_EQ(image.size(), QSize(161, 121)) << "a.jpg, unturned";
    EXPECT_TRUE(test::isReddish(image.pixel(80, 20)));

    box->click();
    EXPECT_EQ(controller->settings().VisualiserImage, 0);
    EXPECT_TRUE(shown().isNull());
}

TEST_F(PreviewWindowTest, ThumbnailViewKeepsSelectionAndBuildsOncePerFolder) {
    auto *details = control<LVExplorer>("ListView1");
    auto *thumbs = control<ThumbnailList>("ListView2");
    auto *box = control<QCheckBox>("chkVignette");
    details->selectItemsByText({QStringLiteral("b.jpg")});

    box->click();
    EXPECT_TRUE(thumbs->isVisible());
    EXPECT_FALSE(details->isVisible());
    EXPECT_EQ(thumbs->itemTexts(), details->itemTexts());
    EXPECT_EQ(thumbs->selectedItemTexts(), QStringList{QStringLiteral("b.jpg")});
    EXPECT_EQ(control<QLabel>("Label2")->text(), i18n::Message(18, QStringLiteral("4")));
    ASSERT_TRUE(test::waitFor([&] { return !thumbs->isDecoding(); }, 20000));
    EXPECT_EQ(thumbs->picture(QStringLiteral("a.jpg")).size(), QSize(64, 48));
    EXPECT_EQ(thumbs->picture(QStringLiteral("b.jpg")).size(), QSize(64, 48)) << "turned a quarter";
    EXPECT_TRUE(thumbs->picture(QStringLiteral("c.png")).isNull()) << "not among the default types";
    EXPECT_TRUE(thumbs->picture(QStringLiteral("d.txt")).isNull());
    const int decoded = thumbs->decodedCount();

    // The selection goes back and forth; the same folder is not decoded again.
    thumbs->selectItemsByText({QStringLiteral("a.jpg")});
    box->click();
    EXPECT_TRUE(details->isVisible());
    EXPECT_EQ(details->selectedItemTexts(), QStringList{QStringLiteral("a.jpg")});
    box->click();
    EXPECT_EQ(thumbs->selectedItemTexts(), QStringList{QStringLiteral("a.jpg")});
    EXPECT_FALSE(thumbs->isDecoding());
    EXPECT_EQ(thumbs->decodedCount(), decoded);

    // The options dialog's changes redraw them.
    controller->settings().FormatExtensionVignette = QStringLiteral("jpg PNG");
    emit window->thumbnailSettingsChanged();
    ASSERT_TRUE(test::waitFor([&] { return !thumbs->isDecoding(); }, 20000));
    EXPECT_FALSE(thumbs->picture(QStringLiteral("c.png")).isNull());
    controller->settings().AfficherVignette = 0;
    emit window->thumbnailSettingsChanged();
    for (const QString &name : thumbs->itemTexts())
        EXPECT_TRUE(thumbs->picture(name).isNull()) << name.toStdString();
}

} // namespace
