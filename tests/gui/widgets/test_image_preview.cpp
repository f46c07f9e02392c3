// The preview pictures from real photos: orientation written by ExifTool,
// read back through the built-in metadata reader, decoded by Qt's readers.
#include "QtPrinters.h"
#include "TwoTonePhoto.h"
#include "WaitFor.h"
#include "core/metadata/Exif.h"
#include "gui/widgets/ImagePreview.h"
#include "gui/widgets/ThumbnailList.h"

#include <QFile>
#include <QImageReader>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tav;

namespace {

QString makePhoto(const QTemporaryDir &dir, const QString &name, QSize size, int orientation = 0) {
    return test::makeTwoTonePhoto(dir.path(), name, size, orientation);
}
bool isRed(QRgb c) {
    return test::isReddish(c);
}
bool isBlue(QRgb c) {
    return test::isBluish(c);
}
// Near-white pixels in the corner where the angle is written.
int whiteInLabelCorner(const QImage &image) {
    int n = 0;
    for (int y = 2; y < 16; ++y)
        for (int x = 2; x < 50; ++x) {
            const QRgb c = image.pixel(x, y);
            n += qRed(c) > 200 && qGreen(c) > 200 && qBlue(c) > 200;
        }
    return n;
}

struct PreviewTest : ::testing::Test {
    QTemporaryDir dir;
    ExifReader reader;
    void SetUp() override {
        if (test::exiftoolProgram().isEmpty())
            GTEST_SKIP() << "ExifTool is not installed";
        reader.configure(ExifModeBuiltin, QString(), QString());
    }
};

TEST(PreviewAngle, SecondWordOfTheOrientationAsANumber) {
    EXPECT_EQ(preview::angleOfOrientation(QStringLiteral("Rotate 90 CW")), 90);
    EXPECT_EQ(preview::angleOfOrientation(QStringLiteral("Rotate 270 CW")), 270);
    EXPECT_EQ(preview::angleOfOrientation(QStringLiteral("  rotate   180")), 180);
    EXPECT_EQ(preview::angleOfOrientation(QStringLiteral("Horizontal (normal)")), 0);
    EXPECT_EQ(preview::angleOfOrientation(QStringLiteral("Mirror horizontal and rotate 90 CW")), 0);
    EXPECT_EQ(preview::angleOfOrientation(QStringLiteral("Rotate")), 0);
    EXPECT_EQ(preview::angleOfOrientation(QString()), 0);
    EXPECT_EQ(preview::angleOfFile(QStringLiteral("/nowhere.jpg"), nullptr), 0);
}

TEST_F(PreviewTest, QuarterTurnLoadsAtExchangedSizeTurnsAndLabels) {
    const QString path = makePhoto(dir, QStringLiteral("portrait.jpg"), QSize(242, 322), 6);
    ASSERT_FALSE(path.isEmpty());
    const int angle = preview::angleOfFile(path, &reader);
    ASSERT_EQ(angle, 90);
    EXPECT_EQ(preview::loadScaled(path, preview::loadSize(preview::PreviewSize, angle)).size(), QSize(121, 161));

    const QImage shown = preview::previewImage(path, angle);
    ASSERT_EQ(shown.size(), QSize(161, 121));
    // Turned clockwise: the red top of the stored picture is now on the right.
    EXPECT_TRUE(isRed(shown.pixel(150, 100)));
    EXPECT_TRUE(isBlue(shown.pixel(10, 100)));
    EXPECT_GT(whiteInLabelCorner(shown), 10);
}

TEST_F(PreviewTest, HalfTurnIsUpsideDownAndUnturnedHasNoLabel) {
    const QString upside = makePhoto(dir, QStringLiteral("upside.jpg"), QSize(322, 242), 3);
    const QString plain = makePhoto(dir, QStringLiteral("plain.jpg"), QSize(322, 242));
    ASSERT_FALSE(upside.isEmpty());
    ASSERT_FALSE(plain.isEmpty());

    const int angle = preview::angleOfFile(upside, &reader);
    ASSERT_EQ(angle, 180);
    const QImage turned = preview::previewImage(upside, angle);
    ASSERT_EQ(turned.size(), QSize(161, 121));
    EXPECT_TRUE(isBlue(turned.pixel(80, 30)));
    EXPECT_TRUE(isRed(turned.pixel(80, 110)));
    EXPECT_GT(whiteInLabelCorner(turned), 10);

    ASSERT_EQ(preview::angleOfFile(plain, &reader), 0);
    const QImage asStored = preview::previewImage(plain, 0);
    ASSERT_EQ(asStored.size(), QSize(161, 121));
    EXPECT_TRUE(isRed(asStored.pixel(80, 30)));
    EXPECT_TRUE(isBlue(asStored.pixel(80, 110)));
    EXPECT_EQ(whiteInLabelCorner(asStored), 0);
}

TEST_F(PreviewTest, WhatCannotBeDecodedShowsTheNoImagePicture) {
    const QString text = dir.filePath(QStringLiteral("notes.jpg"));
    QFile f(text);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("not a picture\n");
    f.close();
    const QImage noImage(preview::noImagePath());
    ASSERT_FALSE(noImage.isNull()) << preview::noImagePath().toStdString();
    EXPECT_EQ(preview::previewImage(text, preview::angleOfFile(text, &reader)), noImage);
}

TEST_F(PreviewTest, EveryOrientationMirroredOrNotIsShownUpright) {
    // A landscape photo red in its top left quarter: where the quarter lands
    // and which way the picture stands tell the eight orientations apart.
    struct Case {
        int orientation;
        bool portrait;
        bool redTop, redLeft;
    };
    const Case cases[] = {{1, false, true, true},  {2, false, true, false}, {3, false, false, false},
                          {4, false, false, true}, {5, true, true, true},   {6, true, true, false},
                          {7, true, false, false}, {8, true, false, true}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.orientation);
        const QString path = test::makeCornerPhoto(dir.path(), QStringLiteral("o%1.jpg").arg(c.orientation),
                                                   QSize(200, 100), c.orientation);
        ASSERT_FALSE(path.isEmpty());
        const int angle = preview::angleOfFile(path, &reader);
        for (const QImage &shown :
             {preview::thumbnailFromFile(path, QSize(64, 64)), preview::previewImage(path, angle)}) {
            ASSERT_FALSE(shown.isNull());
            EXPECT_EQ(shown.height() > shown.width(), c.portrait);
            // Inside the quarter the red should be in, clear of the label.
            const int x = c.redLeft ? shown.width() / 4 : shown.width() * 3 / 4;
            const int y = c.redTop ? shown.height() * 3 / 8 : shown.height() * 3 / 4;
            EXPECT_TRUE(isRed(shown.pixel(x, y))) << shown.width() << "x" << shown.height();
            EXPECT_TRUE(isBlue(shown.pixel(shown.width() - 1 - x, y)));
        }
    }
}

TEST(PreviewTurn, OddAngleFillsTheCornersWhite) {
    QImage image(100, 50, QImage::Format_RGB32);
    image.fill(Qt::black);
    const QImage out = preview::turned(image, 30);
    EXPECT_GT(out.width(), 100);
    EXPECT_EQ(out.pixel(0, 0), qRgb(255, 255, 255));
    EXPECT_EQ(qRed(out.pixel(out.width() / 2, out.height() / 2)), 0);
}

TEST_F(PreviewTest, ThumbnailsOfALeftFolderNeverLandInTheNextOne) {
    // Two folders with the same names, red in one and blue in the other: the
    // first build is left at once, and none of its pictures may show.
    QTemporaryDir red, blue;
    QStringList names;
    for (int i = 0; i < 40; ++i) {
        const QString name = QStringLiteral("p%1.jpg").arg(i, 2, 10, QLatin1Char('0'));
        ASSERT_FALSE(test::makeTwoTonePhoto(red.path(), name, QSize(200, 150), 0, Qt::red, Qt::red).isEmpty());
        ASSERT_FALSE(test::makeTwoTonePhoto(blue.path(), name, QSize(200, 150), 0, Qt::blue, Qt::blue).isEmpty());
        names << name;
    }
    QProcess tag;
    tag.start(test::exiftoolProgram(), {QStringLiteral("-q"), QStringLiteral("-overwrite_original"),
                                        QStringLiteral("-Orientation#=6"), blue.path()});
    ASSERT_TRUE(tag.waitForFinished(30000) && tag.exitCode() == 0);
    names << QStringLiteral("notes.txt") << QStringLiteral("scan.PNG");
    ThumbnailList list;
    list.resize(300, 200);
    list.show();
    ASSERT_TRUE(list.build(red.path(), names, {}));
    ASSERT_TRUE(list.build(blue.path(), names, {}));
    ASSERT_TRUE(test::waitFor([&] { return !list.isDecoding(); }, 20000));
    for (int i = 0; i < 40; ++i) {
        const QImage picture = list.picture(names.at(i)).toImage();
        ASSERT_FALSE(picture.isNull()) << names.at(i).toStdString();
        EXPECT_EQ(picture.size(), QSize(48, 64)) << "turned by the file's own orientation";
        EXPECT_TRUE(isBlue(picture.pixel(24, 32))) << names.at(i).toStdString();
    }
    EXPECT_TRUE(list.picture(QStringLiteral("scan.PNG")).isNull());
    EXPECT_EQ(list.itemTexts(), names);
    // The rows in view, which are decoded first, wherever the list is scrolled.
    list.scrollToBottom();
    QCoreApplication::processEvents();
    const auto [first, last] = list.visibleRows();
    EXPECT_GT(first, 0);
    EXPECT_EQ(last, names.size() - 1);

    // The same folder again rebuilds nothing; a changed type list does, and
    // the pictures already made come from the cache.
    const int decoded = list.decodedCount();
    EXPECT_FALSE(list.build(blue.path(), names, {}));
    ThumbnailList::Options withPng;
    withPng.types = QStringLiteral("jpg png");
    EXPECT_TRUE(ThumbnailList::wantsPicture(QStringLiteral("scan.PNG"), withPng));
    EXPECT_FALSE(ThumbnailList::wantsPicture(QStringLiteral("scan.PNG"), {}));
    EXPECT_FALSE(ThumbnailList::wantsPicture(QStringLiteral("a.jpg"), ThumbnailList::Options{false}));
    EXPECT_FALSE(ThumbnailList::wantsPicture(QStringLiteral("jpg"), {}));
    ASSERT_TRUE(list.build(red.path(), names, {}));
    ASSERT_TRUE(test::waitFor([&] { return !list.isDecoding(); }, 20000));
    EXPECT_TRUE(isRed(list.picture(names.first()).toImage().pixel(10, 10)));
    ASSERT_TRUE(list.build(blue.path(), names, {}));
    EXPECT_FALSE(list.isDecoding());
    EXPECT_EQ(list.decodedCount(), decoded + 40);
}

} // namespace
