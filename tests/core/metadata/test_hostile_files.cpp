// Phone and camera media (MP4, MOV, 3GP, M4V, HEIC, AVIF, CR3) and PNG text
// read by the built-in reader as the real ExifTool reads them; damaged
// containers of every kind read without harm, beside a good photo; and the
// helper process failing on one file of a batch.

#include "core/metadata/BuiltinReader.h"
#include "core/metadata/Exif.h"
#include "core/metadata/IsoBmff.h"
#include "core/metadata/ReaderProcess.h"

#include "PhotoFactory.h"
#include "QtPrinters.h"
#include "ScriptedFrontEnd.h"
#include "TestPaths.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <zlib.h>

using namespace tav;
using tav::test::makeJpeg;
using F = MetadataRecord::Field;

namespace {

// --- Containers made byte by byte -------------------------------------------

QByteArray be32(quint32 v) {
    return QByteArray(1, char(v >> 24)) + char(v >> 16) + char(v >> 8) + char(v);
}
QByteArray be16(quint16 v) {
    return QByteArray(1, char(v >> 8)) + char(v);
}
QByteArray box(const char *type, const QByteArray &body) {
    return be32(quint32(8 + body.size())) + QByteArray(type, 4) + body;
}
QByteArray fullBox(const char *type, int version, const QByteArray &body) {
    return box(type, QByteArray(1, char(version)) + QByteArray(3, '\0') + body);
}

constexpr quint64 Epoch1904 = 2082844800ULL;
quint64 qtSeconds(int y, int mo, int d, int h, int mi, int s) {
    return quint64(QDateTime(QDate(y, mo, d), QTime(h, mi, s), Qt::UTC).toSecsSinceEpoch()) + Epoch1904;
}

QByteArray mvhd(quint64 created, int version = 0) {
    QByteArray body = version == 1 ? be32(quint32(created >> 32)) + be32(quint32(created)) + be32(0) + be32(0) +
                                         be32(1000) + be32(0) + be32(5000)
                                   : be32(quint32(created)) + be32(quint32(created)) + be32(1000) + be32(5000);
    body += be32(0x10000) + be16(0x100) + QByteArray(10 + 36 + 24, '\0') + be32(2);
    return fullBox("mvhd", version, body);
}

QByteArray ftyp(const char *brand) {
    return box("ftyp", QByteArray(brand, 4) + be32(0) + QByteArray(brand, 4) + "isom");
}

// A big-endian TIFF block with one IFD of ASCII tags.
QByteArray tiff(const QList<std::pair<quint16, QByteArray>> &tags) {
    const quint32 n = quint32(tags.size());
    quint32 data = 8 + 2 + 12 * n + 4;
    QByteArray entries, blob;
    for (const auto &[tag, text] : tags) {
        const QByteArray value = text + '\0';
        entries += be16(tag) + be16(2) + be32(quint32(value.size()));
        if (value.size() <= 4) {
            entries += value.leftJustified(4, '\0');
        } else {
            entries += be32(data);
            blob += value;
            data += quint32(value.size());
        }
    }
    return QByteArray("MM\0*", 4) + be32(8) + be16(quint16(n)) + entries + be32(0) + blob;
}

QByteArray movie(const char *brand, const QByteArray &inMovie) {
    return ftyp(brand) + box("moov", inMovie) + box("mdat", QByteArray(16, '\0'));
}

// QuickTime's keyed metadata, as phones write it.
QByteArray appleKeys(const QByteArray &make, const QByteArray &model) {
    const QByteArray keys = fullBox(
        "keys", 0, be32(2) + box("mdta", "com.apple.quicktime.make") + box("mdta", "com.apple.quicktime.model"));
    const auto item = [](quint32 index, const QByteArray &text) {
        const QByteArray data = box("data", be32(1) + be32(0) + text);
        return be32(quint32(8 + data.size())) + be32(index) + data;
    };
    const QByteArray handler = fullBox("hdlr", 0, be32(0) + "mdta" + QByteArray(13, '\0'));
    return box("meta", handler + keys + box("ilst", item(1, make) + item(2, model)));
}

// A HEIF file: an image item and an Exif item whose bytes are in mdat.
QByteArray heif(const char *brand, const QByteArray &exifTiff) {
    const QByteArray payload = be32(6) + QByteArray("Exif\0\0", 6) + exifTiff;
    const QByteArray handler = fullBox("hdlr", 0, be32(0) + "pict" + QByteArray(13, '\0'));
    const QByteArray items = fullBox("iinf", 0,
                                     be16(2) + fullBox("infe", 2, be16(1) + be16(0) + "hvc1" + '\0') +
                                         fullBox("infe", 2, be16(2) + be16(0) + "Exif" + '\0'));
    const auto meta = [&](quint32 at) {
        const QByteArray locations = fullBox("iloc", 0,
                                             QByteArray("\x44\x00", 2) + be16(2) + be16(1) + be16(0) + be16(1) +
                                                 be32(at + quint32(payload.size())) + be32(4) + be16(2) + be16(0) +
                                                 be16(1) + be32(at) + be32(quint32(payload.size())));
        return fullBox("meta", 0, handler + fullBox("pitm", 0, be16(1)) + locations + items);
    };
    const QByteArray head = ftyp(brand);
    const quint32 at = quint32(head.size() + meta(0).size() + 8);
    return head + meta(at) + box("mdat", payload + QByteArray(4, '\0'));
}

// A Canon CR3: the main IFD and the EXIF IFD in Canon's box, the movie header after.
QByteArray cr3(const QByteArray &model, const QByteArray &date, quint64 movieDate, bool headerFirst = false) {
    const QByteArray canon = box("uuid", QByteArray::fromHex("85c0b687820f11e08111f4ce462b6a48") +
                                             box("CMT1", tiff({{0x010f, "Canon"}, {0x0110, model}})) +
                                             box("CMT2", tiff({{0x9003, date}, {0x9004, date}})));
    return ftyp("crx ") + box("moov", headerFirst ? mvhd(movieDate) + canon : canon + mvhd(movieDate)) +
           box("mdat", "x");
}

QByteArray pngChunk(const char *type, const QByteArray &data) {
    const QByteArray typed = QByteArray(type, 4) + data;
    return be32(quint32(data.size())) + typed +
           be32(quint32(crc32(0, reinterpret_cast<const Bytef *>(typed.constData()), uInt(typed.size()))));
}
QByteArray png(const QByteArray &chunks) {
    const QByteArray header = be32(1) + be32(1) + QByteArray("\x08\x00\x00\x00\x00", 5);
    const QByteArray pixels = QByteArray::fromHex("789c636000000002000001"); // one grey pixel, deflated
    return QByteArray("\x89PNG\r\n\x1a\n", 8) + pngChunk("IHDR", header) + chunks + pngChunk("IDAT", pixels) +
           pngChunk("IEND", {});
}

class HostileFiles : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        qputenv("XDG_CACHE_HOME", QFile::encodeName(dir.filePath("cache")));
    }

    QString write(const QString &name, const QByteArray &bytes) const {
        const QString p = dir.filePath(name);
        QFile f(p);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return p;
    }

    MetadataRecord read(int mode, const QString &file, const QString &extra = {}) {
        reader.cache().clear();
        reader.configure(mode, DefaultJheadExtensions, DefaultExifToolExtensions + extra);
        return reader.getExif(file);
    }

    QTemporaryDir dir;
    ScriptedFrontEnd ui;
    ExifReader reader;
};

} // namespace

// Every date field, the make and the model, mode 5 against ExifTool (mode 3,
// the default list, which now holds these types).
TEST_F(HostileFiles, PhoneAndCameraMediaReadAsExifToolReadsThem) {
    const quint64 shot = qtSeconds(2015, 7, 16, 15, 38, 54);
    // The main IFD with make and model, and the shot date in the same IFD.
    const QByteArray heicExif = tiff({{0x010f, "Apple"}, {0x0110, "iPhone 6s"}, {0x9004, "2015:07:16 15:38:54"}});
    const struct {
        const char *name;
        QByteArray bytes;
        const char *date; // expected $d$
    } cases[] = {
        {"clip.mp4", movie("isom", mvhd(shot)), "2015:07:16 15:38:54"},
        {"clip64.mp4", movie("mp42", mvhd(shot, 1)), "2015:07:16 15:38:54"},
        {"phone.mov", movie("qt  ", mvhd(shot) + appleKeys("Apple", "iPhone 6")), "2015:07:16 15:38:54"},
        {"old.mov", box("moov", mvhd(shot)) + box("mdat", "x"), "2015:07:16 15:38:54"},
        {"clip.3gp", movie("3gp4", mvhd(shot)), "2015:07:16 15:38:54"},
        {"clip.m4v", movie("M4V ", mvhd(shot)), "2015:07:16 15:38:54"},
        {"unset.mp4", movie("isom", mvhd(0)), "0000:00:00 00:00:00"},
        {"unix.mp4", movie("isom", mvhd(shot - Epoch1904)), "2015:07:16 15:38:54"},
        {"photo.heic", heif("heic", heicExif), "2015:07:16 15:38:54"},
        {"photo.avif", heif("avif", heicExif), "2015:07:16 15:38:54"},
        {"raw.cr3", cr3("Canon EOS R", "2015:07:16 15:38:54", qtSeconds(2020, 1, 2, 3, 4, 5)), "2020:01:02 03:04:05"},
        {"rawfirst.cr3", cr3("Canon EOS R", "2015:07:16 15:38:54", shot + 60, true), "2015:07:16 15:38:54"},
    };
    for (const auto &c : cases) {
        const QString file = write(QString::fromLatin1(c.name), c.bytes);
        const MetadataRecord builtin = read(ExifModeBuiltin, file);
        const MetadataRecord exifTool = read(ExifModeExifTool, file);
        EXPECT_EQ(builtin[F::DateTime], QString::fromLatin1(c.date)) << c.name;
        for (int f :
             {F::DateTime, F::Year, F::Month, F::Day, F::Hour, F::Minute, F::Second, F::CameraMake, F::CameraModel})
            EXPECT_EQ(builtin[f], exifTool[f]) << c.name << ", field " << f;
    }
}

// ExifTool takes the keyword "Comment", "comment" with its first letter
// raised, and "COMMENT" as a tag of its own whose label reads the same.
TEST_F(HostileFiles, PngCommentKeywordsAsExifToolReadsThem) {
    for (const char *keyword : {"Comment", "comment", "COMMENT", "cOMMENT", "COmment", "commenT", "Comment1"}) {
        const QString file = write(QStringLiteral("%1.png").arg(QLatin1String(keyword)),
                                   png(pngChunk("tEXt", QByteArray(keyword) + '\0' + "a comment")));
        const MetadataRecord builtin = read(ExifModeBuiltin, file);
        EXPECT_EQ(builtin[F::Comment], read(ExifModeExifTool, file, QStringLiteral(" PNG"))[F::Comment]) << keyword;
        const QByteArrayList read = {"Comment", "comment", "COMMENT", "cOMMENT"};
        EXPECT_EQ(builtin[F::Comment], read.contains(keyword) ? QStringLiteral("a comment") : QString()) << keyword;
    }
}

// Damaged containers of every kind: each reads without harm (no crash of
// the helper, no time-out), and the good photo listed after them keeps its
// name. The same files through the command line.
TEST_F(HostileFiles, DamagedContainersNeverCostTheGoodPhoto) {
    const quint64 shot = qtSeconds(2015, 7, 16, 15, 38, 54);
    const QByteArray heicExif = tiff({{0x010f, "Apple"}, {0x0110, "iPhone"}, {0x9004, "2015:07:16 15:38:54"}});
    const QList<std::pair<const char *, QByteArray>> goods = {
        {"mp4", movie("isom", mvhd(shot) + appleKeys("Apple", "iPhone"))},
        {"mov", movie("qt  ", mvhd(shot) + appleKeys("Apple", "iPhone"))},
        {"heic", heif("heic", heicExif)},
        {"cr3", cr3("Canon EOS R", "2015:07:16 15:38:54", shot)},
    };
    QStringList files;
    for (const auto &[ext, good] : goods) {
        QList<QByteArray> bad;
        // Cut anywhere.
        for (qsizetype cut : {qsizetype(3), qsizetype(9), qsizetype(20), good.size() / 3, good.size() / 2,
                              good.size() - 20, good.size() - 1})
            bad << good.left(cut);
        // Every box header in turn given a size past the file, of zero, too
        // small for its header, 64 bits past any file, and a loop back to itself.
        for (qsizetype at = 0; at + 8 <= good.size(); ++at) {
            const QByteArray type = good.mid(at + 4, 4);
            if (type != "ftyp" && type != "moov" && type != "meta" && type != "iinf" && type != "iloc" &&
                type != "uuid" && type != "CMT1" && type != "mvhd" && type != "keys" && type != "ilst")
                continue;
            for (const QByteArray &size : {be32(0xffffffff), be32(0), be32(4), be32(8)})
                bad << QByteArray(good).replace(at, 4, size);
            bad << QByteArray(good)
                       .replace(at, 4, be32(1))
                       .insert(at + 8, QByteArray("\xff\xff\xff\xff\xff\xff\xff\xf0", 8));
            // Counts and offsets after the header at their largest.
            bad << QByteArray(good).replace(at + 8, 8, QByteArray(8, '\xff'));
            bad << QByteArray(good).replace(at + 12, 8, QByteArray(8, '\xff'));
        }
        // Deep nesting: boxes in boxes, far past any depth read.
        QByteArray deep = mvhd(shot);
        for (int i = 0; i < 3000; ++i)
            deep = box(i % 2 ? "moov" : "meta", deep);
        bad << ftyp("isom") + deep;
        QByteArray udta = "x";
        for (int i = 0; i < 3000; ++i)
            udta = box("udta", udta);
        bad << movie("qt  ", udta);
        // Many small boxes.
        QByteArray many;
        for (int i = 0; i < 50000; ++i)
            many += be32(8) + "free";
        bad << ftyp("isom") + box("moov", many + mvhd(shot));
        for (int i = 0; i < bad.size(); ++i)
            files << write(QStringLiteral("bad%1.%2").arg(i, 4, 10, QLatin1Char('0')).arg(QLatin1String(ext)), bad[i]);
    }
    const QString good = dir.filePath(QStringLiteral("good.jpg"));
    ASSERT_TRUE(makeJpeg(good, {QStringLiteral("-CreateDate=2015:07:31 10:20:30")}));
    files << good;

    RecordProperty("files", int(files.size()));
    reader.configure(ExifModeBuiltin, DefaultJheadExtensions, DefaultExifToolExtensions);
    reader.expect(files);
    for (const QString &f : std::as_const(files))
        (void)reader.getExif(f);
    EXPECT_EQ(reader.getExif(good)[F::DateTime], QStringLiteral("2015:07:31 10:20:30"));
    // No file took the helper down or made it wait: one start for them all.
    EXPECT_EQ(reader.helper().starts(), 1) << files.size() << " files";

    QProcess cli;
    cli.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    cli.start(QStringLiteral(TAV_BUILD_BIN_DIR "/travoline-cli"),
              QStringList{QStringLiteral("--exif-mode"), QStringLiteral("5"), QStringLiteral("--rule"),
                          QStringLiteral("$dA$$dM$$dJ$_$dh$$dm$$ds$")} +
                  files);
    ASSERT_TRUE(cli.waitForFinished(120000));
    EXPECT_EQ(cli.exitStatus(), QProcess::NormalExit);
    EXPECT_TRUE(cli.readAllStandardOutput().contains("good.jpg\t20150731_102030.jpg"));
}

// The box reader over memory, the entry point of the fuzzer: sizes that
// overflow when added, and a box that claims the whole address space.
TEST_F(HostileFiles, BoxReaderOverMemoryChecksEverySize) {
    const QByteArray cases[] = {
        QByteArray(),
        ftyp("isom").left(11),
        be32(1) + "moov" + QByteArray(8, '\xff') + mvhd(1),
        ftyp("heic") + fullBox("meta", 0,
                               fullBox("iloc", 1,
                                       QByteArray("\x44\x40", 2) + be16(1) + be16(2) + be16(0) + be16(0) +
                                           be32(0xffffffff) + be16(1) + be32(0xfffffff0) + be32(0x20)) +
                                   fullBox("iinf", 0, be16(1) + fullBox("infe", 2, be16(2) + be16(0) + "Exif"))),
    };
    for (const QByteArray &bytes : cases) {
        const Bmff::Result r =
            Bmff::readBuffer(reinterpret_cast<const std::uint8_t *>(bytes.constData()), std::size_t(bytes.size()));
        EXPECT_TRUE(r.found.isEmpty());
    }
}

// A helper that crashes on one file and hangs on another: those two get
// nothing, the others of the batch are read, two restarts in all. The helper
// holds its answers back, so the file to blame is the one it said it was on,
// and the answers lost with it are asked for again.
TEST_F(HostileFiles, AHelperThatCrashesOrHangsCostsThatFileOnly) {
    ReaderProcess helper;
    helper.setHelperPath(QStringLiteral(TAV_BUILD_BIN_DIR "/fake_reader"));
    helper.setTimeoutMs(300);
    QList<ReaderProcess::Request> batch;
    for (const char *name : {"a", "crash", "b", "hang", "c"})
        batch.append({ReaderProcess::Kind::Metadata, QString::fromLatin1(name), {}});
    const QList<ReaderProcess::Reply> replies = helper.run(batch);
    ASSERT_EQ(replies.size(), 5);
    EXPECT_EQ(replies[0].payload, "a");
    EXPECT_EQ(replies[1].outcome, ReaderProcess::Outcome::Crashed);
    EXPECT_EQ(replies[2].payload, "b");
    EXPECT_EQ(replies[3].outcome, ReaderProcess::Outcome::TimedOut);
    EXPECT_EQ(replies[4].payload, "c");
    EXPECT_EQ(helper.starts(), 3);

    ReaderProcess missing;
    missing.setHelperPath(dir.filePath("no-such-reader"));
    EXPECT_EQ(missing.runOne({ReaderProcess::Kind::Metadata, "a", {}}).outcome, ReaderProcess::Outcome::NoHelper);
}

// A metadata answer from the real helper decodes to the record read in this
// process; an answer cut anywhere or garbled decodes to no record at all, and
// the reader keeps nothing of it.
TEST_F(HostileFiles, ReaderAnswersCountOnlyWhenWhole) {
    const QString photo = dir.filePath(QStringLiteral("été.jpg"));
    ASSERT_TRUE(makeJpeg(photo, test::referenceTags()));
    ReaderProcess helper;
    const ReaderProcess::Reply reply = helper.runOne({ReaderProcess::Kind::Metadata, photo, {}});
    ASSERT_EQ(reply.outcome, ReaderProcess::Outcome::Answered);
    MetadataRecord record;
    bool wasRead = false;
    ASSERT_TRUE(ReaderWire::decodeRecord(reply.payload, record, wasRead));
    EXPECT_TRUE(wasRead);
    const MetadataRecord inside = Exif::readBuiltin(photo);
    EXPECT_FALSE(inside[F::CameraModel].isEmpty());
    for (int f = 0; f < MetadataRecord::FieldCount; ++f)
        EXPECT_EQ(record[f], inside[f]) << f;

    const QByteArray good = reply.payload;
    QList<QByteArray> bad;
    for (qsizetype n = 0; n < good.size(); ++n)
        bad << good.left(n);
    QByteArray b = good;
    b[0] = 2; // neither read nor unread
    bad << b << good + 'x';
    b = good;
    b[1] = char(b[1] + 1); // one field more than sent
    bad << b;
    const auto field = [](int number, const QByteArray &bytes) {
        QByteArray out(1, char(number));
        for (int i = 0; i < 4; ++i)
            out += char(quint32(bytes.size()) >> (8 * i));
        return out + bytes;
    };
    bad << QByteArray("\1\1") + field(MetadataRecord::FieldCount, "x")           // no such field
        << QByteArray("\1\2") + field(4, "EOS") + field(3, "Canon")              // out of order
        << QByteArray("\1\2") + field(4, "EOS") + field(4, "EOS")                // twice
        << QByteArray("\1\1") + field(4, "")                                     // empty
        << QByteArray("\1\1") + field(4, "EOS").chopped(1) + QByteArray(3, 'x'); // longer than said
    for (const QByteArray &payload : std::as_const(bad)) {
        wasRead = true;
        EXPECT_FALSE(ReaderWire::decodeRecord(payload, record, wasRead)) << payload.toHex().toStdString();
        EXPECT_TRUE(record.isEmpty());
        EXPECT_FALSE(wasRead);
    }
    EXPECT_TRUE(ReaderWire::decodeRecord(QByteArray("\1\1") + field(4, "EOS"), record, wasRead));
    EXPECT_EQ(record[F::CameraModel], "EOS");

    // A helper that answers anything else: no metadata, nothing cached.
    reader.helper().setHelperPath(QStringLiteral(TAV_BUILD_BIN_DIR "/fake_reader"));
    EXPECT_TRUE(read(ExifModeBuiltin, photo).isEmpty());
    EXPECT_EQ(reader.cache().size(), 1);
}
