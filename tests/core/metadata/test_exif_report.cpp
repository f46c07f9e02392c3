// Report parsing, the record cache and the extension rule: no tool runs here.

#include "core/metadata/Exif.h"
#include "core/metadata/ExifReport.h"
#include "core/metadata/MetadataCache.h"

#include "QtPrinters.h"

#include <QRandomGenerator>
#include <gtest/gtest.h>

using namespace tav;
using F = MetadataRecord::Field;

namespace {

// A jhead line: label padded to 13 characters, ": ", value.
QString jl(const QString &label, const QString &value) {
    return label.leftJustified(13) + QStringLiteral(": ") + value;
}
// An ExifTool line: label padded to 32 characters, ": ", value.
QString el(const QString &label, const QString &value) {
    return label.leftJustified(32) + QStringLiteral(": ") + value;
}

} // namespace

TEST(JheadReport, FieldsDateSplitAndComments) {
    const QString report = QStringList{jl("File name", "/photos/IMG_1.jpg"),
                                       jl("File size", "3974 bytes"),
                                       jl("Camera make", "Canon"),
                                       jl("Camera model", "Canon EOS 5D"),
                                       jl("Date/Time", "2003:02:24 12:34:56"),
                                       jl("Resolution", "16 x 16"),
                                       jl("Orientation", "rotate 90"),
                                       jl("Flash used", "Yes"),
                                       jl("Focal length", "50.0mm"),
                                       jl("Exposure time", "0.0080 s  (1/125)"),
                                       jl("Aperture", "f/5.6"),
                                       jl("Whitebalance", "Manual"),
                                       jl("Metering Mode", "pattern"),
                                       jl("JPEG Quality", "92"),
                                       jl("Comment", "first"),
                                       jl("Comment", "second"),
                                       QString()}
                               .join(QLatin1Char('\n'));
    const MetadataRecord r = Exif::parseJheadReport(report);
    EXPECT_EQ(r[F::FileName], "/photos/IMG_1.jpg");
    EXPECT_EQ(r[F::FileSize], "3974 bytes");
    EXPECT_EQ(r[F::CameraMake], "Canon");
    EXPECT_EQ(r[F::CameraModel], "Canon EOS 5D");
    EXPECT_EQ(r[F::DateTime], "2003:02:24 12:34:56");
    EXPECT_EQ(r[F::Resolution], "16 x 16");
    EXPECT_EQ(r[F::Orientation], "rotate 90");
    EXPECT_EQ(r[F::Flash], "Yes");
    EXPECT_EQ(r[F::FocalLength], "50.0mm");
    EXPECT_EQ(r[F::ExposureTime], "0.0080 s  (1/125)");
    EXPECT_EQ(r[F::Aperture], "f/5.6");
    EXPECT_EQ(r[F::WhiteBalance], "Manual");
    EXPECT_EQ(r[F::MeteringMode], "pattern");
    EXPECT_EQ(r[F::Comment], "first second");
    const QStringList parts{"2003", "02", "24", "12", "34", "56"};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(r[F::Year + i], parts[i]) << i;
}

TEST(JheadReport, LineLengthsAndUnknownLabels) {
    MetadataRecord r;
    // 16 characters: ignored, even with a known label.
    Exif::parseJheadLine(QStringLiteral("Camera make  : X"), r);
    EXPECT_TRUE(r[F::CameraMake].isEmpty());
    // 17 characters: the value is the 16th and 17th characters.
    Exif::parseJheadLine(QStringLiteral("Camera make  : XY"), r);
    EXPECT_EQ(r[F::CameraMake], "XY");
    // A later line replaces the value; labels are compared in upper case.
    Exif::parseJheadLine(QStringLiteral("CAMERA MAKE  : Nikon"), r);
    EXPECT_EQ(r[F::CameraMake], "Nikon");
    Exif::parseJheadLine(jl("Lens", "something long enough"), r);
    Exif::parseJheadLine(QStringLiteral("garbage without any column structure at all"), r);
    MetadataRecord expected;
    expected[F::CameraMake] = "Nikon";
    EXPECT_EQ(r.fields, expected.fields);
}

TEST(JheadReport, PartialDatesLeaveMissingPiecesEmpty) {
    MetadataRecord r = Exif::parseJheadReport(jl("Date/Time", "2003:02"));
    EXPECT_EQ(r[F::Year], "2003");
    EXPECT_EQ(r[F::Month], "02");
    EXPECT_TRUE(r[F::Day].isEmpty());
    EXPECT_TRUE(r[F::Hour].isEmpty());

    // A second date line replaces every piece of the first one.
    r = Exif::parseJheadReport(jl("Date/Time", "2003:02:24 12:34:56") + "\n" + jl("Date/Time", "2010:01:02"));
    EXPECT_EQ(r[F::Year], "2010");
    EXPECT_TRUE(r[F::Hour].isEmpty());
}

TEST(ExifToolReport, DirectoryAndNameInEitherOrder) {
    const MetadataRecord a =
        Exif::parseExifToolReport(el("File Name", "IMG_1.jpg") + "\n" + el("Directory", "/photos/2003"));
    const MetadataRecord b =
        Exif::parseExifToolReport(el("Directory", "/photos/2003") + "\n" + el("File Name", "IMG_1.jpg"));
    EXPECT_EQ(a[F::FileName], "/photos/2003/IMG_1.jpg");
    EXPECT_EQ(b[F::FileName], "/photos/2003/IMG_1.jpg");
}

TEST(ExifToolReport, ResolutionInEitherOrderAndOrientationRule) {
    const MetadataRecord a =
        Exif::parseExifToolReport(el("Exif Image Width", "4000") + "\n" + el("Exif Image Height", "3000"));
    const MetadataRecord b =
        Exif::parseExifToolReport(el("Exif Image Height", "3000") + "\n" + el("Exif Image Width", "4000"));
    EXPECT_EQ(a[F::Resolution], "4000 x 3000");
    EXPECT_EQ(b[F::Resolution], "4000 x 3000");
    EXPECT_TRUE(Exif::parseExifToolReport(el("Exif Image Width", "4000"))[F::Resolution].isEmpty());

    EXPECT_EQ(Exif::parseExifToolReport(el("Orientation", "Rotate 90 CW"))[F::Orientation], "Rotate 90 CW");
    EXPECT_TRUE(Exif::parseExifToolReport(el("Orientation", "Horizontal (normal)"))[F::Orientation].isEmpty());
    // A later non-rotating value empties an earlier one.
    EXPECT_TRUE(Exif::parseExifToolReport(el("Orientation", "Rotate 180") + "\n" +
                                          el("Orientation", "Mirror horizontal"))[F::Orientation]
                    .isEmpty());
}

TEST(ExifToolReport, CreateDatePieces) {
    MetadataRecord r = Exif::parseExifToolReport(el("Create Date", "2015:07:31 10:20:30"));
    const QStringList parts{"2015", "07", "31", "10", "20", "30"};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(r[F::Year + i], parts[i]) << i;

    for (const char *odd : {"2015:07:31 10:20:30+02:00", "2015:07:31 10:20:30.45", "2015:07:31 10:20:30Z"}) {
        r = Exif::parseExifToolReport(el("Create Date", odd));
        EXPECT_EQ(r[F::DateTime], odd);
        EXPECT_EQ(r[F::Year], "2015") << odd;
        EXPECT_EQ(r[F::Day], "31") << odd;
        EXPECT_TRUE(r[F::Hour].isEmpty() && r[F::Minute].isEmpty() && r[F::Second].isEmpty()) << odd;
    }
    // Not exactly two pieces: nothing is split.
    for (const char *odd : {"2015:07:31", "2015:07:31 10:20:30 extra", "2015:07:31  10:20:30"}) {
        r = Exif::parseExifToolReport(el("Create Date", odd));
        for (int i = F::Year; i <= F::Second; ++i)
            EXPECT_TRUE(r[i].isEmpty()) << odd << " field " << i;
    }
    // Each half stands on its own.
    r = Exif::parseExifToolReport(el("Create Date", "2015:07 10:20:30"));
    EXPECT_TRUE(r[F::Year].isEmpty());
    EXPECT_EQ(r[F::Hour], "10");
}

TEST(ExifToolReport, AllLabelsShortLinesAndLineEnds) {
    const QString report = QStringList{"ExifTool Version Number         : 12.57",
                                       el("File Size", "3974 bytes"),
                                       el("File Modification Date/Time", "2026:12:08 00:55:13+00:00"),
                                       el("Make", "Canon"),
                                       el("Camera Model Name", "Canon EOS 5D"),
                                       el("Flash", "Fired"),
                                       el("Focal Length", "50.0 mm"),
                                       el("Exposure Time", "1/125"),
                                       el("Aperture Value", "5.6"),
                                       el("Aperture", "9.9"),
                                       el("White Balance", "Manual"),
                                       el("Metering Mode", "Multi-segment"),
                                       el("Comment", "x"), // 35 characters: ignored
                                       el("Comment", "first"),
                                       el("Comment", "second"),
                                       "{ready12}",
                                       el("Make", "A"), // 35 characters: ignored
                                       QString()}
                               .join(QStringLiteral("\r\n"));
    const MetadataRecord r = Exif::parseExifToolReport(report);
    EXPECT_EQ(r[F::FileSize], "3974 bytes");
    EXPECT_EQ(r[F::FileDate], "2026:12:08 00:55:13+00:00");
    EXPECT_EQ(r[F::CameraMake], "Canon");
    EXPECT_EQ(r[F::CameraModel], "Canon EOS 5D");
    EXPECT_EQ(r[F::Flash], "Fired");
    EXPECT_EQ(r[F::FocalLength], "50.0 mm");
    EXPECT_EQ(r[F::ExposureTime], "1/125");
    EXPECT_EQ(r[F::Aperture], "5.6");
    EXPECT_EQ(r[F::WhiteBalance], "Manual");
    EXPECT_EQ(r[F::MeteringMode], "Multi-segment");
    EXPECT_EQ(r[F::Comment], "first second");
}

TEST(ExifReport, DecodesUtf8AndFallsBackForOtherBytes) {
    EXPECT_EQ(Exif::decodeReport(QByteArray("\xc3\xa9t\xc3\xa9")), QStringLiteral("été"));
    EXPECT_EQ(Exif::decodeReport(QByteArray("\xe9t\xe9")), QStringLiteral("été"));
    // One tag's stray bytes leave the path, written in UTF-8, as it is.
    const QString report = Exif::decodeReport(QByteArray("File Name : \xc3\xa9t\xc3\xa9.jpg\r\n"
                                                         "User Comment : \xe9t\xe9\r\n"
                                                         "Directory : /photos/\xc3\xa9t\xc3\xa9"));
    EXPECT_EQ(report, QStringLiteral("File Name : été.jpg\r\nUser Comment : été\r\nDirectory : /photos/été"));
}

TEST(MetadataCache, PlaceholderExactLookupFirstMatchAndClear) {
    MetadataCache cache;
    EXPECT_EQ(cache.size(), 1);
    EXPECT_EQ(cache.find(QString()), nullptr); // the placeholder is skipped

    MetadataRecord a, b;
    a[F::CameraModel] = "A";
    b[F::CameraModel] = "B";
    cache.append("/p/IMG.jpg", a);
    cache.append("/p/IMG.jpg", b); // never updated: the first entry stays the answer
    ASSERT_NE(cache.find("/p/IMG.jpg"), nullptr);
    EXPECT_EQ((*cache.find("/p/IMG.jpg"))[F::CameraModel], "A");
    EXPECT_EQ(cache.find("/p/img.jpg"), nullptr);
    EXPECT_EQ(cache.find("/p/IMG.jpg "), nullptr);
    EXPECT_EQ(cache.size(), 3);

    cache.clear();
    EXPECT_EQ(cache.size(), 1);
    EXPECT_EQ(cache.find("/p/IMG.jpg"), nullptr);
}

TEST(MetadataCache, HashLookupAgreesWithAScanFromEntryOne) {
    MetadataCache cache;
    QStringList paths;
    for (int i = 0; i < 200; ++i)
        paths << QStringLiteral("/d/f%1.JPG").arg(i % 37) << QStringLiteral("/d/F%1.jpg").arg(i % 11);
    auto *rng = QRandomGenerator::global();
    for (int i = 0; i < 300; ++i) {
        MetadataRecord r;
        r[F::Comment] = QString::number(i);
        cache.append(paths[rng->bounded(int(paths.size()))], r);
    }
    for (const QString &p : paths + QStringList{"/d/none", QString()}) {
        const MetadataRecord *scanned = nullptr;
        for (int i = 1; i < cache.size() && !scanned; ++i)
            if (cache.at(i).path == p)
                scanned = &cache.at(i).record;
        const MetadataRecord *hashed = cache.find(p);
        ASSERT_EQ(scanned == nullptr, hashed == nullptr) << p.toStdString();
        if (scanned) {
            EXPECT_EQ((*scanned)[F::Comment], (*hashed)[F::Comment]) << p.toStdString();
        }
    }
}

TEST(ExtensionRule, LastDotOfTheWholePathUpperCased) {
    EXPECT_EQ(Exif::upperExtension("/p/IMG_1.jpg"), "JPG");
    EXPECT_EQ(Exif::upperExtension("/p/archive.tar.Gz"), "GZ");
    EXPECT_EQ(Exif::upperExtension("/p/readme"), "");
    EXPECT_EQ(Exif::upperExtension("/p.old/readme"), "OLD/README");
    EXPECT_EQ(Exif::splitExtensions("JPG  JPEG "), (QStringList{"JPG", "JPEG"}));
    EXPECT_TRUE(Exif::splitExtensions("").isEmpty());
}
