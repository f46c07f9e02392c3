// The built-in reader against the real ExifTool: for photos with varied tags,
// every field of the record (and so every token) must read the same in both
// modes. Also: unreadable and damaged files, and the cache.

#include "core/metadata/BuiltinReader.h"
#include "core/metadata/Exif.h"

#include "PhotoFactory.h"
#include "QtPrinters.h"
#include "ScriptedFrontEnd.h"
#include "TestPaths.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <functional>

using namespace tav;

namespace {

struct Photo {
    const char *name;
    QStringList tags;
};

class BuiltinReader : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        // A folder name outside ASCII, as ExifTool prints it in its report.
        folder = dir.filePath(QStringLiteral("photos été"));
        QDir().mkpath(folder);
        reader.setTempFolder(dir.filePath("tmp"));
    }

    QString path(const QString &name) const { return folder + QLatin1Char('/') + name; }

    // A file of raw bytes, for the tags ExifTool takes from a file ("-Comment<=f").
    QString bytesFile(const QString &name, const QByteArray &bytes) const {
        const QString p = dir.filePath(name);
        QFile f(p);
        if (f.open(QIODevice::WriteOnly))
            f.write(bytes);
        return p;
    }

    MetadataRecord read(int mode, const QString &file) {
        reader.cache().clear();
        reader.configure(mode, DefaultJheadExtensions, DefaultExifToolExtensions + QStringLiteral(" PNG"));
        return reader.getExif(file);
    }

    // Every field, the resident ExifTool against built-in mode.
    void expectSameRecord(ExifReader &exifTool, const QString &file) {
        const MetadataRecord byTool = exifTool.getExif(file);
        const MetadataRecord builtin = read(ExifModeBuiltin, file);
        for (int f = 0; f < MetadataRecord::FieldCount; ++f)
            EXPECT_EQ(builtin[f], byTool[f]) << QFileInfo(file).fileName().toStdString() << ", field " << f;
    }

    QTemporaryDir dir;
    QString folder;
    ScriptedFrontEnd ui;
    ExifReader reader;
};

} // namespace

TEST_F(BuiltinReader, EveryFieldAsExifToolPrintsIt) {
    const QString latin1 = bytesFile("latin1.txt", "caf\xe9 \xe0 No\xebl");
    const QString utf8 = bytesFile("utf8.txt", "café ✓ 日本");
    const QString withControl = bytesFile("control.txt", QByteArray("line one\nline\ttwo\x7f  \0end  ", 26));
    // A colour profile of 300 KB: only its header has to look right.
    QByteArray profile(300 * 1024, '\x11');
    const QByteArray size("\x00\x04\xb0\x00", 4);
    profile.replace(0, 4, size).replace(8, 4, QByteArray("\x02\x10\x00\x00", 4)).replace(12, 12, "mntrRGB XYZ ");
    profile.replace(36, 4, "acsp").replace(128, 4, QByteArray(4, '\0'));
    const QString bigProfile = bytesFile("profile.icc", profile);
    const QList<Photo> photos = {
        {"reference.jpg", test::referenceTags()},
        {"zone.jpg", {"-CreateDate=2015:07:31 10:20:30", "-OffsetTimeDigitized=+02:00", "-Model=Pixel 7"}},
        {"subsec.jpg", {"-CreateDate=2015:07:31 10:20:30", "-SubSecTimeDigitized=045"}},
        {"subsec-zone.jpg",
         {"-CreateDate=2016:01:02 03:04:05", "-SubSecTimeDigitized=7", "-OffsetTimeDigitized=-05:30"}},
        {"landscape.jpg", {"-Orientation#=1", "-Make=NIKON CORPORATION", "-Model=NIKON D750"}},
        {"upside-down.jpg", {"-Orientation#=3"}},
        {"portrait.jpg", {"-Orientation#=6", "-ExifImageWidth=3000", "-ExifImageHeight=4000"}},
        {"portrait-left.jpg", {"-Orientation#=8", "-ExifImageWidth=3", "-ExifImageHeight=4000"}},
        {"mirrored.jpg", {"-Orientation#=5", "-Make=Canon"}},
        {"make-only.jpg", {"-Make=OLYMPUS IMAGING CORP.  "}},
        {"model-only.jpg", {"-Model= E-M5 "}},
        {"short-values.jpg", {"-Make=X", "-Model=Y1", "-ExifImageWidth=8", "-ExifImageHeight=6"}},
        {"comment-utf8.jpg", {"-Comment<=" + utf8, "-Model=café"}},
        {"comment-latin1.jpg", {"-Comment<=" + latin1, "-Model=café"}},
        {"make-latin1.jpg", {"-Make<=" + latin1, "-Comment<=" + utf8}},
        {"comment-control.jpg", {"-Comment<=" + withControl}},
        {"exposure.jpg",
         {"-ExposureTime=2", "-FocalLength=18.55", "-ApertureValue=2.8", "-EXIF:Flash#=16", "-MeteringMode#=255",
          "-WhiteBalance#=0"}},
        {"exposure-long.jpg",
         {"-ExposureTime=1.3", "-FocalLength=200", "-ApertureValue=22", "-EXIF:Flash#=3", "-MeteringMode#=9",
          "-WhiteBalance#=7"}},
        {"exposure-short.jpg", {"-ExposureTime=0.3", "-Flash#=95"}},
        {"date-only.jpg", {"-CreateDate=2020:02:29 00:00:00", "-DateTimeOriginal=2019:01:01 00:00:00"}},
        {"odd-date.jpg", {"-EXIF:CreateDate#=2020:02:29", "-Model=  "}},
        {"xmp-only.jpg", {"-XMP-xmp:CreateDate=2012:06:07 08:09:10+01:00", "-XMP-tiff:Make=Sony"}},
        {"exif-beats-xmp.jpg",
         {"-CreateDate=2001:01:01 01:01:01", "-XMP-xmp:CreateDate=2002:02:02 02:02:02", "-Make=AA", "-XMP-tiff:Make=BB",
          "-Orientation#=6", "-XMP-tiff:Orientation#=8"}},
        {"no-tags.jpg", {}},
        // Segments past the start the reader parses from memory.
        {"big-segments.jpg", {"-Model=Big", "-Comment=after the profile", "-ICC_Profile<=" + bigProfile}},
    };
    for (const Photo &p : photos)
        ASSERT_TRUE(test::makeJpeg(path(p.name), p.tags)) << p.name;

    // Other formats the library reads: PNG with an EXIF block.
    QImage image(20, 10, QImage::Format_RGB32);
    image.fill(Qt::red);
    ASSERT_TRUE(image.save(path("picture.png")));
    QProcess tag;
    tag.start(test::exiftoolProgram(),
              {"-q", "-overwrite_original", "-EXIF:Make=Apple", "-EXIF:Model=iPhone 12",
               "-EXIF:CreateDate=2021:03:04 05:06:07", "-EXIF:Orientation#=8", path("picture.png")});
    ASSERT_TRUE(tag.waitForFinished(30000));
    QFile::copy(path("reference.jpg"), path("copy.JPEG"));
    // PNG text chunks: Qt writes short Latin-1 text as tEXt, long text
    // compressed (zTXt) and other text as UTF-8 (iTXt) with a language, which
    // makes it another tag; ExifTool adds one without.
    const QList<std::pair<const char *, std::pair<const char *, QString>>> texts = {
        {"text-latin1.png", {"Comment", QStringLiteral("café noté")}},
        {"text-zipped.png", {"Comment", QStringLiteral("à compresser ").repeated(8)}},
        {"text-utf8.png", {"Comment", QStringLiteral("日本 ✓ été")}},
        {"text-other.png", {"Description", QStringLiteral("not the comment")}},
    };
    for (const auto &[name, text] : texts) {
        QImage png(8, 8, QImage::Format_RGB32);
        png.fill(Qt::blue);
        png.setText(QString::fromLatin1(text.first), text.second);
        ASSERT_TRUE(png.save(path(name)));
    }
    tag.start(test::exiftoolProgram(), {"-q", "-overwrite_original", "-PNG:Comment=日本 ✓ x", path("text-utf8.png")});
    ASSERT_TRUE(tag.waitForFinished(30000));
    // Segments as a damaged file leaves them: the one after the EXIF block
    // cut short (ExifTool then reads neither), stray bytes and 0xff fill
    // between segments.
    QFile reference(path("reference.jpg"));
    ASSERT_TRUE(reference.open(QIODevice::ReadOnly));
    const QByteArray jpeg = reference.readAll();
    const qsizetype exif = jpeg.indexOf(QByteArray("Exif\0\0", 6)) - 4;
    ASSERT_GT(exif, 0);
    const qsizetype afterExif = exif + 2 + (uchar(jpeg[exif + 2]) << 8 | uchar(jpeg[exif + 3]));
    QFile cut(path("cut-after-exif.jpg"));
    ASSERT_TRUE(cut.open(QIODevice::WriteOnly));
    cut.write(jpeg.left(afterExif + 6));
    cut.close();
    QFile stray(path("stray-bytes.jpg"));
    ASSERT_TRUE(stray.open(QIODevice::WriteOnly));
    stray.write(jpeg.left(afterExif) + "junk\xff\xff" + jpeg.mid(afterExif + 1));
    stray.close();

    ExifReader exifTool;
    exifTool.setTempFolder(dir.filePath("tmp-exiftool"));
    exifTool.configure(ExifModeExifToolBatch, DefaultJheadExtensions, DefaultExifToolExtensions + " PNG");
    ASSERT_TRUE(exifTool.resident().isRunning());
    const QStringList files = QDir(folder).entryList(QDir::Files, QDir::Name);
    for (const QString &f : files)
        expectSameRecord(exifTool, path(f));
    EXPECT_EQ(exifTool.cache().size(), files.size() + 1) << "every file answered by ExifTool";

    // Spot checks, so that two readers going wrong the same way still fail.
    const MetadataRecord zone = read(ExifModeBuiltin, path("zone.jpg"));
    EXPECT_EQ(zone[MetadataRecord::DateTime], "2015:07:31 10:20:30+02:00");
    EXPECT_EQ(zone[MetadataRecord::Day], "31");
    EXPECT_EQ(zone[MetadataRecord::Hour], "");
    const MetadataRecord latin = read(ExifModeBuiltin, path("comment-latin1.jpg"));
    EXPECT_EQ(latin[MetadataRecord::Comment], QStringLiteral("café à Noël"));
    const MetadataRecord big = read(ExifModeBuiltin, path("big-segments.jpg"));
    EXPECT_EQ(big[MetadataRecord::Comment], "after the profile");
    EXPECT_GT(QFileInfo(path("big-segments.jpg")).size(), 300 * 1024);
    EXPECT_EQ(read(ExifModeBuiltin, path("text-utf8.png"))[MetadataRecord::Comment], QStringLiteral("日本 ✓ x"));
    EXPECT_EQ(read(ExifModeBuiltin, path("text-zipped.png"))[MetadataRecord::Comment].size(), 13 * 8 - 1);
    EXPECT_TRUE(read(ExifModeBuiltin, path("cut-after-exif.jpg"))[MetadataRecord::CameraModel].isEmpty());
    EXPECT_EQ(read(ExifModeBuiltin, path("stray-bytes.jpg"))[MetadataRecord::CameraModel], "Canon EOS 5D");
    const MetadataRecord portrait = read(ExifModeBuiltin, path("portrait.jpg"));
    EXPECT_EQ(portrait[MetadataRecord::Orientation], "Rotate 90 CW");
    EXPECT_EQ(portrait[MetadataRecord::Resolution], "3000 x 4000");
    EXPECT_EQ(reader.toolRuns(), 0) << "built-in reads start no tool";
}

// Photos from real cameras that packages of other EXIF libraries ship, fetched
// by ./test.sh into the build folder: maker notes, thumbnails, odd segments
// and files cut short after their metadata, as cameras and tools left them.
TEST_F(BuiltinReader, RealCameraPhotosReadAsExifToolReadsThem) {
    const QString photos = qEnvironmentVariableIsSet("TAV_CAMERA_PHOTOS")
                               ? qEnvironmentVariable("TAV_CAMERA_PHOTOS")
                               : QStringLiteral(TAV_BUILD_BIN_DIR "/../test-data/camera");
    const QStringList files = QDir(photos).entryList({QStringLiteral("*.jpg")}, QDir::Files, QDir::Name);
    if (files.isEmpty())
        GTEST_SKIP() << "no camera sample photos in " << photos.toStdString()
                     << ": ./test.sh fetches them (scripts/setup.sh, tav_fetch_camera_photos); offline it cannot";
    // Most of them keep only the camera's metadata and end inside a segment,
    // so ExifTool reads none of it: each is also read cut after its last whole
    // segment and closed, which makes its EXIF block count.
    QStringList paths;
    for (const QString &f : files) {
        paths << photos + QLatin1Char('/') + f;
        QFile in(paths.last());
        ASSERT_TRUE(in.open(QIODevice::ReadOnly));
        const QByteArray bytes = in.readAll();
        qsizetype end = 2;
        while (end + 4 <= bytes.size() && uchar(bytes[end]) == 0xff && uchar(bytes[end + 1]) != 0xda) {
            const qsizetype next = end + 2 + (uchar(bytes[end + 2]) << 8 | uchar(bytes[end + 3]));
            if (next > bytes.size())
                break;
            end = next;
        }
        if (end < bytes.size() && uchar(bytes[end + 1]) != 0xda) {
            QFile out(path(QStringLiteral("closed-") + f));
            ASSERT_TRUE(out.open(QIODevice::WriteOnly));
            out.write(bytes.left(end) + "\xff\xd9");
            paths << out.fileName();
        }
    }
    ExifReader exifTool;
    exifTool.setTempFolder(dir.filePath("tmp-exiftool"));
    exifTool.configure(ExifModeExifToolBatch, DefaultJheadExtensions, DefaultExifToolExtensions);
    ASSERT_TRUE(exifTool.resident().isRunning());
    // Where they cannot agree, found file by file: ExifTool prints over the
    // EXIF exposure time, white balance and 35 mm focal length the values it
    // decodes from Casio's, Kodak's, FujiFilm's and Olympus's own maker notes,
    // which the library reads differently or not at all; Canon's own metering
    // mode is read, except in the one Canon file whose camera settings the
    // library does not find.
    using R = MetadataRecord;
    const QMap<QString, QList<int>> cannotAgree = {
        {"closed-2007-05-12-08-19-07-sep-2007-05-12-08-19-07a.jpg", {R::WhiteBalance}},
        {"closed-2009-08-05-08-11-31-sep-2009-08-05-08-11-31a.jpg", {R::WhiteBalance}},
        {"closed-2007-08-15-14-42-46-sep-2007-08-15-14-42-46a.jpg", {R::ExposureTime}},
        {"closed-2009-06-20-07-59-05-sep-2009-06-20-07-59-05a.jpg", {R::ExposureTime}},
        {"closed-2010-09-02-08-43-02-sep-2010-09-02-08-43-02a.jpg", {R::FocalLength}},
        {"closed-2010-06-20-20-07-39-sep-2010-06-20-20-07-39a.jpg", {R::MeteringMode}},
    };
    QStringList models;
    for (const QString &file : std::as_const(paths)) {
        const QString name = QFileInfo(file).fileName();
        const MetadataRecord byTool = exifTool.getExif(file);
        const MetadataRecord builtin = read(ExifModeBuiltin, file);
        QList<int> differ;
        for (int f = 0; f < MetadataRecord::FieldCount; ++f)
            if (builtin[f] != byTool[f])
                differ << f;
        EXPECT_EQ(differ, cannotAgree.value(name))
            << name.toStdString() << ": "
            << (differ.isEmpty() ? std::string()
                                 : builtin[differ[0]].toStdString() + " / " + byTool[differ[0]].toStdString());
        const QString model = read(ExifModeBuiltin, file)[MetadataRecord::CameraModel];
        if (!model.isEmpty())
            models << model;
    }
    // Two readers that both found nothing would also be equal.
    EXPECT_GE(files.size(), 50);
    EXPECT_GE(models.size(), 40) << models.join(", ").toStdString();
    EXPECT_TRUE(models.contains(QStringLiteral("NIKON D2H"))) << models.join(", ").toStdString();
    EXPECT_TRUE(models.contains(QStringLiteral("Lumia 820"))) << models.join(", ").toStdString();
}

TEST_F(BuiltinReader, UnreadableAndDamagedFilesGiveTheEmptyRecordAndNoCacheEntry) {
    ASSERT_TRUE(test::makeJpeg(path("good.jpg"), test::referenceTags()));
    QFile good(path("good.jpg"));
    ASSERT_TRUE(good.open(QIODevice::ReadOnly));
    const QByteArray bytes = good.readAll();
    good.close();

    const auto write = [&](const QString &name, const QByteArray &content) {
        QFile f(path(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(content);
    };
    write("text.jpg", "not a picture at all\n");
    write("empty.jpg", "");
    write("truncated.jpg", bytes.left(40));
    QByteArray hugeCount = bytes;
    // The first IFD's entry count, in the big-endian EXIF block ExifTool writes.
    const qsizetype tiff = hugeCount.indexOf("MM\0*", 0);
    ASSERT_GT(tiff, 0);
    hugeCount[tiff + 8] = char(0xff);
    hugeCount[tiff + 9] = char(0xff);
    write("huge-count.jpg", hugeCount);

    for (const char *name : {"text.jpg", "empty.jpg", "missing.jpg"}) {
        const MetadataRecord r = read(ExifModeBuiltin, path(name));
        EXPECT_TRUE(r.isEmpty()) << name;
        EXPECT_EQ(reader.cache().size(), 1) << name << ": nothing cached";
    }
    // Damaged: no crash, no camera values invented.
    for (const char *name : {"truncated.jpg", "huge-count.jpg"})
        EXPECT_TRUE(read(ExifModeBuiltin, path(name))[MetadataRecord::CameraModel].isEmpty()) << name;
    EXPECT_TRUE(read(ExifModeBuiltin, folder).isEmpty()) << "a folder";

    // A readable file is cached: read once, the same record after it changed.
    reader.cache().clear();
    const MetadataRecord first = reader.getExif(path("good.jpg"));
    EXPECT_EQ(first[MetadataRecord::CameraModel], "Canon EOS 5D");
    ASSERT_TRUE(test::makeJpeg(path("good.jpg"), {"-Model=Other"}));
    EXPECT_EQ(reader.getExif(path("good.jpg"))[MetadataRecord::CameraModel], "Canon EOS 5D");
    reader.cache().clear();
    EXPECT_EQ(reader.getExif(path("good.jpg"))[MetadataRecord::CameraModel], "Other");
}

// The EXIF block is walked by the reader itself: entries and directories
// damaged in the ways a file can be are left out as ExifTool leaves them out.
TEST_F(BuiltinReader, DamagedExifDirectoriesReadAsExifToolReadsThem) {
    ASSERT_TRUE(test::makeJpeg(path("good.jpg"), test::referenceTags()));
    QFile good(path("good.jpg"));
    ASSERT_TRUE(good.open(QIODevice::ReadOnly));
    const QByteArray bytes = good.readAll();
    // ExifTool writes the block big-endian.
    const qsizetype tiff = bytes.indexOf(QByteArrayView("MM\0*", 4));
    ASSERT_GT(tiff, 0);
    const auto be = [&](qsizetype at, int size) {
        quint32 v = 0;
        for (int k = 0; k < size; ++k)
            v = v << 8 | uchar(bytes[tiff + at + k]);
        return v;
    };
    const auto put = [&](QByteArray &b, qsizetype at, int size, quint32 v) {
        for (int k = size - 1; k >= 0; --k, v >>= 8)
            b[tiff + at + k] = char(v);
    };
    const quint32 ifd0 = be(4, 4);
    const auto entry = [&](quint16 tag) -> qsizetype {
        for (quint32 i = 0; i < be(ifd0, 2); ++i)
            if (be(ifd0 + 2 + 12 * i, 2) == tag)
                return ifd0 + 2 + 12 * i;
        return -1;
    };
    ASSERT_GE(entry(0x010f), 0);
    ASSERT_GE(entry(0x8769), 0);
    const struct {
        const char *name;
        std::function<void(QByteArray &)> damage;
    } cases[] = {
        {"unknown-type.jpg", [&](QByteArray &b) { put(b, entry(0x010f) + 2, 2, 0); }},
        {"past-the-end.jpg", [&](QByteArray &b) { put(b, entry(0x0110) + 8, 4, 0x7fff0000); }},
        {"exif-ifd-loop.jpg", [&](QByteArray &b) { put(b, entry(0x8769) + 8, 4, ifd0); }},
        {"next-ifd-loop.jpg", [&](QByteArray &b) { put(b, ifd0 + 2 + 12 * be(ifd0, 2), 4, ifd0); }},
        {"exif-ifd-outside.jpg", [&](QByteArray &b) { put(b, entry(0x8769) + 8, 4, 0xfffffff0); }},
    };
    ExifReader exifTool;
    exifTool.setTempFolder(dir.filePath("tmp-exiftool"));
    exifTool.configure(ExifModeExifToolBatch, DefaultJheadExtensions, DefaultExifToolExtensions);
    ASSERT_TRUE(exifTool.resident().isRunning());
    const MetadataRecord whole = exifTool.getExif(path("good.jpg"));
    for (const auto &c : cases) {
        QByteArray damaged = bytes;
        c.damage(damaged);
        QFile f(path(c.name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(damaged);
        f.close();
        expectSameRecord(exifTool, f.fileName());
        // Something was lost, or the case tells nothing.
        const MetadataRecord byTool = exifTool.getExif(f.fileName());
        EXPECT_TRUE(byTool[MetadataRecord::CameraMake] != whole[MetadataRecord::CameraMake] ||
                    byTool[MetadataRecord::CameraModel] != whole[MetadataRecord::CameraModel] ||
                    byTool[MetadataRecord::DateTime] != whole[MetadataRecord::DateTime] ||
                    std::string(c.name) == "next-ifd-loop.jpg")
            << c.name;
    }
}

TEST_F(BuiltinReader, ModeTextsAndTools) {
    EXPECT_TRUE(Exif::toolsOfMode(ExifModeBuiltin).isEmpty());
    EXPECT_FALSE(Exif::modeNeedsTool(ExifModeBuiltin));
    EXPECT_TRUE(Exif::modeNeedsTool(ExifModeExifToolBatch));
    reader.configure(ExifModeBuiltin, DefaultJheadExtensions, DefaultExifToolExtensions);
    reader.setToolPath(ExifReader::Tool::Jhead, dir.filePath("no-jhead"));
    reader.setToolPath(ExifReader::Tool::ExifTool, dir.filePath("no-exiftool"));
    EXPECT_TRUE(reader.missingTools().isEmpty());
    // The label names the library and its version.
    const QString label = Exif::toolInUseText(ExifModeBuiltin);
    EXPECT_TRUE(label.contains(Exif::builtinLibraryName())) << label.toStdString();
    EXPECT_TRUE(Exif::builtinLibraryName().contains(QRegularExpression("^Exiv2 \\d+\\.\\d+")));
    // The choice list's text selects the mode.
    EXPECT_EQ(reader.chooseTool(Exif::toolModeName(ExifModeExifTool)), ExifModeExifTool);
    EXPECT_EQ(reader.chooseTool(Exif::toolModeName(ExifModeBuiltin)), ExifModeBuiltin);

    // ExifTool's size and exposure texts at their boundaries.
    EXPECT_EQ(Exif::exifToolFileSize(1999), "1999 bytes");
    EXPECT_EQ(Exif::exifToolFileSize(2000), "2.0 kB");
    EXPECT_EQ(Exif::exifToolFileSize(9999), "10.0 kB");
    EXPECT_EQ(Exif::exifToolFileSize(10000), "10 kB");
    EXPECT_EQ(Exif::exifToolFileSize(5300000), "5.3 MB");
    EXPECT_EQ(Exif::exifToolFileSize(25000000), "25 MB");
    EXPECT_EQ(Exif::exifToolExposureTime(1.0 / 125), "1/125");
    EXPECT_EQ(Exif::exifToolExposureTime(0.25), "1/4");
    EXPECT_EQ(Exif::exifToolExposureTime(0.3), "0.3");
    EXPECT_EQ(Exif::exifToolExposureTime(2), "2");
}
