// The thumbnails shared with the desktop: entries checked by a reader written
// here from the cache's published rules (MD5 of the file URI, PNG text
// chunks), by GLib's own reader when gio is installed, and photos given
// embedded previews and orientations by the real ExifTool.
#include "PhotoFactory.h"
#include "TwoTonePhoto.h"
#include "WaitFor.h"
#include "core/base/Version.h"
#include "core/metadata/EmbeddedPreview.h"
#include "gui/widgets/ImagePreview.h"
#include "gui/widgets/ThumbnailCache.h"
#include "gui/widgets/ThumbnailList.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <utime.h>

using namespace tav;

namespace {

// The second reader: everything below follows the published rules only.
QString md5Name(const QByteArray &uri) {
    return QString::fromLatin1(QCryptographicHash::hash(uri, QCryptographicHash::Md5).toHex()) + ".png";
}
QString cacheRoot() {
    return qEnvironmentVariable("XDG_CACHE_HOME") + "/thumbnails";
}
// The plain text chunks of a PNG file, as key and value.
QMap<QByteArray, QByteArray> textChunks(const QString &png) {
    QFile f(png);
    QMap<QByteArray, QByteArray> out;
    if (!f.open(QIODevice::ReadOnly))
        return out;
    const QByteArray b = f.readAll();
    for (qsizetype at = 8; at + 12 <= b.size();) {
        const quint32 length = quint32(quint8(b[at])) << 24 | quint32(quint8(b[at + 1])) << 16 |
                               quint32(quint8(b[at + 2])) << 8 | quint8(b[at + 3]);
        const QByteArray type = b.mid(at + 4, 4);
        const QByteArray data = b.mid(at + 8, length);
        if (type == "tEXt") {
            const qsizetype nul = data.indexOf('\0');
            out.insert(data.left(nul), data.mid(nul + 1));
        }
        at += 12 + length;
    }
    return out;
}
int modeOf(const QString &path) {
    struct stat st;
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 0777) : -1;
}
qint64 mtimeOf(const QString &path) {
    struct stat st;
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? qint64(st.st_mtime) : -1;
}
bool setMtime(const QString &path, qint64 seconds) {
    struct utimbuf times {
        time_t(seconds), time_t(seconds)
    };
    return ::utime(QFile::encodeName(path).constData(), &times) == 0;
}
// An entry as another program would write it: Qt's PNG writer, its text keys.
void writeForeignEntry(const QString &entry, QColor colour, const QByteArray &uri, qint64 mtime, QSize size) {
    QDir().mkpath(QFileInfo(entry).path());
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    image.setText("Thumb::URI", QString::fromLatin1(uri));
    image.setText("Thumb::MTime", QString::number(mtime));
    ASSERT_TRUE(image.save(entry, "png"));
}
bool near(QRgb c, QColor want) {
    return std::abs(qRed(c) - want.red()) < 60 && std::abs(qGreen(c) - want.green()) < 60 &&
           std::abs(qBlue(c) - want.blue()) < 60;
}
bool runExifTool(const QStringList &args) {
    QProcess p;
    p.start(test::exiftoolProgram(), QStringList{"-q", "-overwrite_original"} + args);
    return p.waitForFinished(30000) && p.exitCode() == 0;
}
// What GLib's file information says about a file's thumbnail.
QString gioThumbnailInfo(const QString &path) {
    const QString gio = QStandardPaths::findExecutable("gio");
    if (gio.isEmpty())
        return {};
    QProcess p;
    p.start(gio, {"info", "-a", "thumbnail::*,standard::name", path});
    p.waitForFinished(10000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

struct SharedCacheTest : ::testing::Test {
    QTemporaryDir dir;
    QString folder;
    void SetUp() override {
        if (test::exiftoolProgram().isEmpty())
            GTEST_SKIP() << "ExifTool is not installed";
        // Characters the URI must escape, and those it must keep.
        folder = dir.path() + QString::fromUtf8("/a b;c[1]#é!$&'(+,=:@)~");
        ASSERT_TRUE(QDir().mkpath(folder));
    }
};

} // namespace

TEST_F(SharedCacheTest, EntriesAreSharedBothWaysAndReplacedWhenStale) {
    const QString red = test::makeTwoTonePhoto(folder, "red.jpg", QSize(400, 300), 0, Qt::red, Qt::red);
    ASSERT_FALSE(red.isEmpty());
    const QByteArray uri = "file://" + QFile::encodeName(dir.path()) + "/a%20b%3Bc%5B1%5D%23%C3%A9!$&'(+,=:@)~/red.jpg";
    EXPECT_EQ(thumbs::fileUri(red), QString::fromLatin1(uri));
    const QString gio = gioThumbnailInfo(red);
    if (!gio.isEmpty()) {
        // GLib's own escaping of the same path.
        EXPECT_TRUE(gio.contains("uri: " + QString::fromLatin1(uri))) << gio.toStdString();
    }

    // Made by decoding, shown at 64, stored at the normal size.
    const thumbs::Thumbnail made = thumbs::thumbnail(red, QSize(64, 64));
    EXPECT_EQ(made.source, thumbs::Source::Decoded);
    EXPECT_EQ(made.image.size(), QSize(64, 48));
    const QString entry = cacheRoot() + "/normal/" + md5Name(uri);
    ASSERT_TRUE(QFileInfo::exists(entry));
    EXPECT_EQ(QImage(entry).size(), QSize(128, 96));
    const auto keys = textChunks(entry);
    EXPECT_EQ(keys.value("Thumb::URI"), uri);
    EXPECT_EQ(keys.value("Thumb::MTime"), QByteArray::number(mtimeOf(red)));
    EXPECT_EQ(keys.value("Thumb::Size"), QByteArray::number(QFileInfo(red).size()));
    EXPECT_EQ(keys.value("Thumb::Mimetype"), "image/jpeg");
    EXPECT_EQ(modeOf(entry), 0600);
    EXPECT_EQ(modeOf(cacheRoot()), 0700);
    EXPECT_EQ(modeOf(cacheRoot() + "/normal"), 0700);
    EXPECT_EQ(QDir(cacheRoot() + "/normal").entryList(QDir::Files), QStringList{md5Name(uri)}) << "no temporary left";
    if (!gio.isEmpty()) {
        // GLib finds the entry and, where it checks them, accepts its keys.
        const QString info = gioThumbnailInfo(red);
        EXPECT_TRUE(info.contains("thumbnail::path: " + entry)) << info.toStdString();
        EXPECT_FALSE(info.contains("is-valid: FALSE")) << info.toStdString();
    }

    // Transparency survives the entry: left half clear, right half green.
    QImage clear(200, 100, QImage::Format_ARGB32);
    clear.fill(Qt::transparent);
    for (int y = 0; y < 100; ++y)
        for (int x = 100; x < 200; ++x)
            clear.setPixel(x, y, qRgba(0, 200, 0, 255));
    ASSERT_TRUE(clear.save(folder + "/clear.png"));
    EXPECT_EQ(thumbs::thumbnail(folder + "/clear.png", QSize(64, 64)).source, thumbs::Source::Decoded);
    const QImage clearEntry(cacheRoot() + "/normal/" + md5Name(thumbs::fileUri(folder + "/clear.png").toLatin1()));
    ASSERT_EQ(clearEntry.size(), QSize(128, 64));
    EXPECT_EQ(qAlpha(clearEntry.pixel(20, 30)), 0);
    EXPECT_EQ(clearEntry.pixel(110, 30), qRgba(0, 200, 0, 255));

    // An entry written by another program is used as it is, through the list.
    const QString blue = test::makeTwoTonePhoto(folder, "blue.jpg", QSize(400, 300), 0, Qt::blue, Qt::blue);
    const QByteArray blueUri = QByteArray(uri).replace("red.jpg", "blue.jpg");
    writeForeignEntry(cacheRoot() + "/normal/" + md5Name(blueUri), Qt::green, blueUri, mtimeOf(blue), {128, 96});
    // One with another file's URI under this name is not.
    writeForeignEntry(cacheRoot() + "/large/" + md5Name(uri), Qt::green, blueUri, mtimeOf(red), {256, 192});
    const thumbs::Counts before = thumbs::counts();
    ThumbnailList list;
    list.resize(300, 200);
    list.show();
    ASSERT_TRUE(list.build(folder, {"blue.jpg", "red.jpg"}, {}));
    ASSERT_TRUE(test::waitFor([&] { return !list.isDecoding(); }, 20000));
    EXPECT_TRUE(near(list.picture("blue.jpg").toImage().pixel(32, 24), Qt::green));
    EXPECT_TRUE(near(list.picture("red.jpg").toImage().pixel(32, 24), Qt::red));
    EXPECT_EQ(thumbs::counts().decoded, before.decoded);
    EXPECT_EQ(thumbs::counts().cache, before.cache + 2);
    EXPECT_EQ(thumbs::thumbnail(red, QSize(161, 121)).source, thumbs::Source::Decoded) << "wrong URI in large";

    // A changed file: its entry is stale and made again from the file.
    ASSERT_TRUE(setMtime(blue, mtimeOf(blue) - 3600));
    const thumbs::Thumbnail again = thumbs::thumbnail(blue, QSize(64, 64));
    EXPECT_EQ(again.source, thumbs::Source::Decoded);
    EXPECT_TRUE(near(again.image.pixel(32, 24), Qt::blue));
    EXPECT_EQ(textChunks(cacheRoot() + "/normal/" + md5Name(blueUri)).value("Thumb::MTime"),
              QByteArray::number(mtimeOf(blue)));
    EXPECT_EQ(thumbs::thumbnail(blue, QSize(64, 64)).source, thumbs::Source::Cache);

    // Pictures inside the cache folder get none of their own.
    const int entries = QDir(cacheRoot() + "/normal").entryList(QDir::Files).size();
    ASSERT_TRUE(QFile::copy(red, cacheRoot() + "/red.jpg"));
    EXPECT_FALSE(thumbs::thumbnail(cacheRoot() + "/red.jpg", QSize(64, 64)).image.isNull());
    EXPECT_EQ(QDir(cacheRoot() + "/normal").entryList(QDir::Files).size(), entries);
}

TEST_F(SharedCacheTest, BrokenFileIsRecordedAndNotDecodedAgainUntilItChanges) {
    // Broken, and as long as the good photo that later takes its place.
    const QString good = test::makeTwoTonePhoto(dir.path(), "good.jpg", QSize(200, 150));
    ASSERT_FALSE(good.isEmpty());
    const QString path = folder + "/broken.jpg";
    QFile broken(path);
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
    broken.write(QByteArray("\xff\xd8\xff\xe0 not really a photo").leftJustified(QFileInfo(good).size(), ' '));
    broken.close();
    const qint64 mtime = mtimeOf(path);
    EXPECT_EQ(thumbs::thumbnail(path, QSize(64, 64)).source, thumbs::Source::Failed);
    const QByteArray uri = thumbs::fileUri(path).toLatin1();
    const QString record = cacheRoot() + "/fail/travoline-" + VersionText + "/" + md5Name(uri);
    ASSERT_TRUE(QFileInfo::exists(record));
    EXPECT_EQ(textChunks(record).value("Thumb::URI"), uri);
    EXPECT_EQ(textChunks(record).value("Thumb::MTime"), QByteArray::number(mtime));
    EXPECT_EQ(modeOf(record), 0600);
    EXPECT_FALSE(QFileInfo::exists(cacheRoot() + "/normal/" + md5Name(uri)));
    // A file that is no picture at all is not recorded as a broken one.
    QFile notes(folder + "/notes.txt");
    ASSERT_TRUE(notes.open(QIODevice::WriteOnly));
    notes.write("plain text");
    notes.close();
    EXPECT_EQ(thumbs::thumbnail(notes.fileName(), QSize(64, 64)).source, thumbs::Source::Failed);
    EXPECT_EQ(QDir(QFileInfo(record).path()).entryList(QDir::Files).size(), 1);

    // A good photo in its place at the same time: the record says not to try.
    ASSERT_TRUE(QFile::remove(path));
    ASSERT_TRUE(QFile::copy(good, path));
    ASSERT_TRUE(setMtime(path, mtime));
    const thumbs::Thumbnail skipped = thumbs::thumbnail(path, QSize(64, 64));
    EXPECT_EQ(skipped.source, thumbs::Source::KnownFailure);
    EXPECT_TRUE(skipped.image.isNull());
    ASSERT_TRUE(setMtime(path, mtime + 10));
    const thumbs::Thumbnail made = thumbs::thumbnail(path, QSize(64, 64));
    EXPECT_EQ(made.source, thumbs::Source::Decoded);
    EXPECT_FALSE(made.image.isNull());
}

// Files renamed together: a failure record follows its file (the new name is
// not tried again), while an entry made for an older state of a file is left
// where it is and not given to the new name.
TEST_F(SharedCacheTest, RenamesMoveFailureRecordsButNoStaleEntry) {
    const QString broken = folder + "/broken.jpg", renamedBroken = folder + "/broken 2.jpg";
    QFile file(broken);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("\xff\xd8\xff\xe0 not really a photo");
    file.close();
    ASSERT_EQ(thumbs::thumbnail(broken, QSize(64, 64)).source, thumbs::Source::Failed);
    const QString record = thumbs::failurePath(broken), renamedRecord = thumbs::failurePath(renamedBroken);
    ASSERT_TRUE(QFileInfo::exists(record));

    const QString stale = test::makeTwoTonePhoto(folder, "stale.jpg", QSize(200, 150));
    ASSERT_FALSE(stale.isEmpty());
    const QString fresh = folder + "/fresh.jpg";
    const QByteArray staleUri = thumbs::fileUri(stale).toLatin1();
    const QString staleEntry = cacheRoot() + "/normal/" + md5Name(staleUri);
    writeForeignEntry(staleEntry, Qt::green, staleUri, mtimeOf(stale) - 100, QSize(128, 96));

    ASSERT_TRUE(QFile::rename(broken, renamedBroken));
    ASSERT_TRUE(QFile::rename(stale, fresh));
    thumbs::moveEntries({{broken, renamedBroken}, {stale, fresh}});

    EXPECT_FALSE(QFileInfo::exists(record));
    EXPECT_EQ(textChunks(renamedRecord).value("Thumb::URI"), thumbs::fileUri(renamedBroken).toLatin1());
    EXPECT_EQ(modeOf(renamedRecord), 0600);
    EXPECT_EQ(thumbs::thumbnail(renamedBroken, QSize(64, 64)).source, thumbs::Source::KnownFailure);
    EXPECT_TRUE(QFileInfo::exists(staleEntry));
    EXPECT_FALSE(QFileInfo::exists(thumbs::entryPath(fresh, thumbs::flavourFor(QSize(64, 64)))));
    EXPECT_EQ(thumbs::thumbnail(fresh, QSize(64, 64)).source, thumbs::Source::Decoded);
}

TEST_F(SharedCacheTest, EmbeddedPreviewIsUsedWhenLargeEnoughAndTurned) {
    // The photo red over blue; the preview ExifTool stores in it green over
    // yellow, so that the picture shown says where it came from.
    const QString photo = test::makeTwoTonePhoto(folder, "photo.jpg", QSize(1600, 1200), 0);
    const QString small = test::makeTwoTonePhoto(dir.path(), "small.jpg", QSize(160, 120), 0, Qt::green, Qt::yellow);
    ASSERT_TRUE(runExifTool({"-ThumbnailImage<=" + small, "-Orientation#=6", photo}));
    const auto preview = Exif::embeddedPreview(photo, QSize(128, 128));
    ASSERT_TRUE(preview.has_value());
    EXPECT_EQ(preview->size, QSize(160, 120));
    EXPECT_EQ(preview->photoSize, QSize(1600, 1200));
    EXPECT_EQ(preview->orientation, 6);
    EXPECT_FALSE(Exif::embeddedPreview(photo, QSize(256, 256)).has_value()) << "smaller than needed";

    // Turned a quarter clockwise: the stored top is now on the right.
    const thumbs::Thumbnail shown = thumbs::thumbnail(photo, QSize(64, 64));
    EXPECT_EQ(shown.source, thumbs::Source::Embedded);
    ASSERT_EQ(shown.image.size(), QSize(48, 64));
    EXPECT_TRUE(near(shown.image.pixel(40, 32), Qt::green));
    EXPECT_TRUE(near(shown.image.pixel(8, 32), Qt::yellow));
    EXPECT_EQ(QImage(cacheRoot() + "/normal/" + md5Name(thumbs::fileUri(photo).toLatin1())).size(), QSize(96, 128));

    // The preview pane needs more than it holds: the photo is decoded, and
    // stored at the large size, which the next preview takes.
    QImage pane = preview::previewImage(photo, 90);
    ASSERT_EQ(pane.size(), QSize(90, 121));
    EXPECT_TRUE(test::isReddish(pane.pixel(80, 60)));
    const QString large = cacheRoot() + "/large/" + md5Name(thumbs::fileUri(photo).toLatin1());
    ASSERT_TRUE(QFileInfo::exists(large));
    writeForeignEntry(large, Qt::magenta, thumbs::fileUri(photo).toLatin1(), mtimeOf(photo), {192, 256});
    pane = preview::previewImage(photo, 90);
    EXPECT_TRUE(near(pane.pixel(60, 100), Qt::magenta));
    // An angle other than the file's own is not what the cache holds.
    EXPECT_TRUE(test::isReddish(preview::previewImage(photo, 270).pixel(10, 60)));

    // A mirrored photo (flipped upside down) is shown upright from its
    // preview too, and stored so, as the other programs store it.
    const QString mirrored = test::makeTwoTonePhoto(folder, "mirrored.jpg", QSize(1600, 1200), 0);
    ASSERT_TRUE(runExifTool({"-ThumbnailImage<=" + small, "-Orientation#=4", mirrored}));
    const thumbs::Thumbnail flipped = thumbs::thumbnail(mirrored, QSize(64, 64));
    EXPECT_EQ(flipped.source, thumbs::Source::Embedded);
    ASSERT_EQ(flipped.image.size(), QSize(64, 48));
    EXPECT_TRUE(near(flipped.image.pixel(32, 8), Qt::yellow));
    EXPECT_TRUE(near(flipped.image.pixel(32, 40), Qt::green));
    const QImage entry(cacheRoot() + "/normal/" + md5Name(thumbs::fileUri(mirrored).toLatin1()));
    ASSERT_FALSE(entry.isNull());
    EXPECT_TRUE(near(entry.pixel(64, 10), Qt::yellow));

    // A preview padded to another shape is not taken.
    const QString wide = test::makeTwoTonePhoto(folder, "wide.jpg", QSize(1500, 1000), 0);
    ASSERT_TRUE(runExifTool({"-ThumbnailImage<=" + small, wide}));
    EXPECT_FALSE(Exif::embeddedPreview(wide, QSize(128, 128)).has_value());
    const thumbs::Thumbnail decoded = thumbs::thumbnail(wide, QSize(64, 64));
    EXPECT_EQ(decoded.source, thumbs::Source::Decoded);
    EXPECT_TRUE(test::isReddish(decoded.image.pixel(32, 5)));
}

// Made by the helper program: the entry it writes into the shared cache
// (through its sandbox) serves the next call here; a file that is no picture
// gets nothing and leaves the helper running for the next.
TEST_F(SharedCacheTest, TheHelperMakesThumbnailsIntoTheSharedCache) {
    const QString red = test::makeTwoTonePhoto(folder, "red.jpg", QSize(400, 300), 0, Qt::red, Qt::red);
    ASSERT_FALSE(red.isEmpty());
    const QString broken = folder + "/broken.jpg";
    QFile f(broken);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray("\xff\xd8\xff\xe0\x00\x10JFIF", 10) + QByteArray(4000, '\x5a'));
    f.close();

    const thumbs::Thumbnail made = thumbs::thumbnailOutside(red, QSize(64, 64));
    ASSERT_FALSE(made.image.isNull());
    EXPECT_EQ(made.source, thumbs::Source::Decoded);
    EXPECT_TRUE(near(made.image.pixel(made.image.width() / 2, made.image.height() / 2), Qt::red));
    EXPECT_TRUE(QFile::exists(cacheRoot() + "/normal/" + md5Name(thumbs::fileUri(red).toLatin1())));
    EXPECT_EQ(thumbs::thumbnailOutside(red, QSize(64, 64)).source, thumbs::Source::Cache);

    EXPECT_TRUE(thumbs::thumbnailOutside(broken, QSize(64, 64)).image.isNull());
    const QString blue = test::makeTwoTonePhoto(folder, "blue.jpg", QSize(400, 300), 0, Qt::blue, Qt::blue);
    EXPECT_FALSE(thumbs::thumbnailOutside(blue, QSize(64, 64)).image.isNull());
}
