#include "core/metadata/BuiltinReader.h"

#include "core/i18n/Language.h"
#include "core/metadata/Exif.h"
#include "core/metadata/ExifReport.h"
#include "core/metadata/Exiv2Library.h"
#include "core/metadata/ImageFile.h"
#include "core/metadata/IsoBmff.h"

#include <QByteArrayList>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QVarLengthArray>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <optional>

// The library's headers still name std::auto_ptr.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#include <exiv2/exiv2.hpp>

namespace tav::Exif {

namespace {

using F = MetadataRecord::Field;

// The report prints control characters as ".", drops NULs and trailing blanks.
QByteArray printable(QByteArray text) {
    text.replace('\0', QByteArray());
    for (char &c : text)
        if ((c >= 0x01 && c <= 0x1f) || c == 0x7f)
            c = '.';
    while (!text.isEmpty() && text.back() == ' ')
        text.chop(1);
    return text;
}

// A TIFF directory entry's value as the file states it: its type (1 BYTE,
// 2 ASCII, 3 SHORT, 4 LONG, 5 RATIONAL, 6 SBYTE, 7 UNDEFINED, 8 SSHORT,
// 9 SLONG, 10 SRATIONAL, 11 FLOAT, 12 DOUBLE, 13 IFD), its count and its
// bytes.
struct TiffValue {
    enum : int { Ascii = 2, URational = 5, Undefined = 7, SRational = 10 };
    int type = 0;
    qint64 count = 0;
    QByteArray bytes; // count values of the type's size
    bool bigEndian = true;

    static int typeSize(int type) {
        static constexpr int sizes[] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8, 4};
        return type > 0 && type <= 13 ? sizes[type] : 0;
    }
    bool isRational() const { return type == URational || type == SRational; }
    quint64 word(qint64 at, int size) const {
        quint64 v = 0;
        for (int k = 0; k < size; ++k)
            v = bigEndian ? v << 8 | uchar(bytes[at + k]) : v | quint64(uchar(bytes[at + k])) << (8 * k);
        return v;
    }
    // Value i as a whole number (a rational's integer quotient, 0 for a zero
    // denominator), as the metadata library gives it.
    long toLong(qint64 i) const {
        switch (type) {
        case 1:
        case Undefined:
            return long(uchar(bytes[i]));
        case Ascii:
        case 6:
            return long(qint8(bytes[i]));
        case 3:
            return long(word(i * 2, 2));
        case 4:
        case 13:
            return long(word(i * 4, 4));
        case 8:
            return long(qint16(word(i * 2, 2)));
        case 9:
            return long(qint32(word(i * 4, 4)));
        case URational:
        case SRational: {
            const auto [n, d] = toRational(i);
            return d == 0 ? 0 : long(n / d);
        }
        case 11:
        case 12: {
            double v;
            if (type == 11) {
                const quint32 w = quint32(word(i * 4, 4));
                float f;
                std::memcpy(&f, &w, 4);
                v = f;
            } else {
                const quint64 w = word(i * 8, 8);
                std::memcpy(&v, &w, 8);
            }
            return std::isfinite(v) && std::fabs(v) < 9.2e18 ? long(v) : 0;
        }
        default:
            return 0;
        }
    }
    std::pair<qint64, qint64> toRational(qint64 i) const {
        const quint64 n = word(i * 8, 4), d = word(i * 8 + 4, 4);
        if (type == SRational)
            return {qint32(n), qint32(d)};
        return {qint64(n), qint64(d)};
    }
};

// The bytes in big-endian order, as they read in a text.
QByteArray rawBytes(const TiffValue &value) {
    const int unit = value.isRational() ? 4 : TiffValue::typeSize(value.type);
    if (value.bigEndian || unit <= 1)
        return value.bytes;
    QByteArray out = value.bytes;
    for (qsizetype at = 0; at + unit <= out.size(); at += unit)
        std::reverse(out.begin() + at, out.begin() + at + unit);
    return out;
}

// The library's value as the file stated it.
TiffValue fromLibrary(const Exiv2::Value &value) {
    TiffValue v;
    v.type = int(value.typeId());
    v.count = value.count();
    v.bytes.resize(qsizetype(value.size()));
    if (!v.bytes.isEmpty())
        value.copy(reinterpret_cast<Exiv2::byte *>(v.bytes.data()), Exiv2::bigEndian);
    // A value of a type of the library's own has no TIFF layout.
    if (TiffValue::typeSize(v.type) == 0 || v.bytes.size() < v.count * TiffValue::typeSize(v.type))
        v.count = v.type == TiffValue::Ascii ? v.bytes.size() : 0;
    return v;
}

// A text tag as ExifTool reads it: up to the first NUL.
QByteArray asciiText(const TiffValue &value) {
    QByteArray bytes = rawBytes(value);
    const qsizetype nul = bytes.indexOf('\0');
    if (nul >= 0)
        bytes.truncate(nul);
    return bytes;
}

QByteArray trimmedRight(QByteArray text) {
    while (!text.isEmpty() && QByteArrayView(" \t\n\r\f\v").contains(text.back()))
        text.chop(1);
    return text;
}

bool isRational(const TiffValue &value) {
    return value.isRational();
}

// One number as ExifTool's value: a rational becomes its quotient, or "inf"
// and "undef" for a zero denominator.
QByteArray numberAt(const TiffValue &value, long i) {
    if (isRational(value)) {
        const auto r = value.toRational(i);
        if (r.second == 0)
            return r.first == 0 ? QByteArrayLiteral("undef") : QByteArrayLiteral("inf");
        return QByteArray::number(double(r.first) / double(r.second), 'g', 15);
    }
    if (value.type == TiffValue::Ascii)
        return asciiText(value);
    return QByteArray::number(qlonglong(value.toLong(i)));
}

QByteArray numberText(const TiffValue &value) {
    if (value.type == TiffValue::Ascii || value.count == 1)
        return numberAt(value, 0);
    QByteArrayList parts;
    for (long i = 0; i < value.count; ++i)
        parts << numberAt(value, i);
    return parts.join(' ');
}

// The quotient as Perl would use the value in arithmetic ("inf" is infinite,
// "undef" is 0). False when the value is no number at all.
bool numericValue(const TiffValue &value, double &out) {
    if (value.count != 1)
        return false;
    if (isRational(value)) {
        const auto r = value.toRational(0);
        out = r.second != 0 ? double(r.first) / double(r.second) : (r.first == 0 ? 0.0 : INFINITY);
        return true;
    }
    if (value.type == TiffValue::Ascii || value.type == TiffValue::Undefined || value.count == 0)
        return false;
    out = double(value.toLong(0));
    return true;
}

QByteArray fixed(double v, int decimals, const char *suffix = "") {
    if (std::isinf(v))
        return QByteArrayLiteral("Inf") + suffix;
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*f%s", decimals, v, suffix);
    return buffer;
}

struct Named {
    long value;
    const char *text;
};

QByteArray lookup(const TiffValue &value, std::initializer_list<Named> table, bool hex = false) {
    if (value.count == 1 && value.type != TiffValue::Ascii && !isRational(value)) {
        const long v = value.toLong(0);
        for (const Named &n : table)
            if (n.value == v)
                return n.text;
        if (hex)
            return QByteArrayLiteral("Unknown (0x") + QByteArray::number(qlonglong(v), 16) + ')';
    }
    return QByteArrayLiteral("Unknown (") + numberText(value) + ')';
}

const std::initializer_list<Named> OrientationNames = {
    {1, "Horizontal (normal)"},
    {2, "Mirror horizontal"},
    {3, "Rotate 180"},
    {4, "Mirror vertical"},
    {5, "Mirror horizontal and rotate 270 CW"},
    {6, "Rotate 90 CW"},
    {7, "Mirror horizontal and rotate 90 CW"},
    {8, "Rotate 270 CW"},
};

const std::initializer_list<Named> FlashNames = {
    {0x00, "No Flash"},
    {0x01, "Fired"},
    {0x05, "Fired, Return not detected"},
    {0x07, "Fired, Return detected"},
    {0x08, "On, Did not fire"},
    {0x09, "On, Fired"},
    {0x0d, "On, Return not detected"},
    {0x0f, "On, Return detected"},
    {0x10, "Off, Did not fire"},
    {0x14, "Off, Did not fire, Return not detected"},
    {0x18, "Auto, Did not fire"},
    {0x19, "Auto, Fired"},
    {0x1d, "Auto, Fired, Return not detected"},
    {0x1f, "Auto, Fired, Return detected"},
    {0x20, "No flash function"},
    {0x30, "Off, No flash function"},
    {0x41, "Fired, Red-eye reduction"},
    {0x45, "Fired, Red-eye reduction, Return not detected"},
    {0x47, "Fired, Red-eye reduction, Return detected"},
    {0x49, "On, Red-eye reduction"},
    {0x4d, "On, Red-eye reduction, Return not detected"},
    {0x4f, "On, Red-eye reduction, Return detected"},
    {0x50, "Off, Red-eye reduction"},
    {0x58, "Auto, Did not fire, Red-eye reduction"},
    {0x59, "Auto, Fired, Red-eye reduction"},
    {0x5d, "Auto, Fired, Red-eye reduction, Return not detected"},
    {0x5f, "Auto, Fired, Red-eye reduction, Return detected"},
};

const std::initializer_list<Named> MeteringNames = {
    {0, "Unknown"}, {1, "Average"},    {2, "Center-weighted average"},
    {3, "Spot"},    {4, "Multi-spot"}, {5, "Multi-segment"},
    {6, "Partial"}, {255, "Other"},
};

const std::initializer_list<Named> CanonMeteringNames = {
    {0, "Default"}, {1, "Spot"}, {2, "Average"}, {3, "Evaluative"}, {4, "Partial"}, {5, "Center-weighted average"},
};

const std::initializer_list<Named> WhiteBalanceNames = {{0, "Auto"}, {1, "Manual"}};

// An XMP date as ExifTool prints it: "2015-07-31T10:20:30+02:00" becomes
// "2015:07:31 10:20:30+02:00".
QByteArray xmpDate(const QByteArray &value) {
    const QString v = QString::fromUtf8(value);
    static const QRegularExpression full(
        QStringLiteral(R"(^(\d{4})-(\d{2})-(\d{2})[T ](\d{2}:\d{2})(:\d{2})?\s*(\S*)$)"));
    const QRegularExpressionMatch m = full.match(v);
    if (m.hasMatch())
        return QStringLiteral("%1:%2:%3 %4%5%6")
            .arg(m.captured(1), m.captured(2), m.captured(3), m.captured(4), m.captured(5), m.captured(6))
            .toUtf8();
    static const QRegularExpression partial(QStringLiteral(R"(^(\d{4})(-\d{2}){0,2})"));
    if (partial.match(v).hasMatch()) {
        QByteArray out = value;
        out.replace('-', ':');
        return out;
    }
    return value;
}

// A value as the report's reader decodes its line: UTF-8 when valid,
// otherwise Windows-1252; given back in UTF-8.
QByteArray reportText(const QByteArray &value) {
    if (QByteArrayView(value).isValidUtf8())
        return value;
    QStringDecoder cp1252("windows-1252");
    return (cp1252.isValid() ? QString(cp1252.decode(value)) : QString::fromLatin1(value)).toUtf8();
}

// ExifTool's date split into its parts (splitExifToolDate, on UTF-8 bytes):
// the date's three parts, and the time's when all three are digits.
void splitDate(RecordBytes &r) {
    const QByteArrayList halves = r[F::DateTime].split(' ');
    if (halves.size() != 2)
        return;
    const QByteArrayList d = halves.at(0).split(':');
    if (!halves.at(0).isEmpty() && d.size() == 3)
        for (int i = 0; i < 3; ++i)
            r[F::Year + i] = d.at(i);
    const QByteArrayList t = halves.at(1).split(':');
    const auto digits = [](const QByteArray &s) {
        return !s.isEmpty() && std::all_of(s.begin(), s.end(), [](char ch) { return ch >= '0' && ch <= '9'; });
    };
    if (t.size() == 3 && digits(t.at(0)) && digits(t.at(1)) && digits(t.at(2)))
        for (int i = 0; i < 3; ++i)
            r[F::Hour + i] = t.at(i);
}

// The values of one file, raw bytes; made into the record at the end as
// the ExifTool report's lines would be read (see parseExifToolLine), with no
// report in between.
class Collector {
public:
    void set(int field, const QByteArray &value) { m_values[slotIndex(field)] = printable(value); }

    RecordBytes finish() const {
        RecordBytes r;
        // A line whose value is shorter than two characters is not read
        // (nor, then, a value never set).
        const auto text = [&](int field) -> std::optional<QByteArray> {
            QByteArray v = reportText(m_values[slotIndex(field)]);
            if (v.size() < 4 && QString::fromUtf8(v).size() < 2)
                return std::nullopt;
            return v;
        };
        const std::optional<QByteArray> name = text(NameSlot), folder = text(FolderSlot);
        if (name)
            r[F::FileName] = folder ? *folder + '/' + *name : *name;
        for (int f : {F::FileSize, F::FileDate, F::CameraMake, F::CameraModel, F::Comment, F::ExposureTime, F::Aperture,
                      F::Flash, F::FocalLength, F::MeteringMode, F::WhiteBalance, F::DateTime})
            if (std::optional<QByteArray> v = text(f))
                r[f] = std::move(*v);
        // Only a turned picture says something worth a name.
        if (const std::optional<QByteArray> v = text(F::Orientation))
            if (v->left(6).toUpper() == "ROTATE")
                r[F::Orientation] = *v;
        splitDate(r);
        const std::optional<QByteArray> w = text(WidthSlot), h = text(HeightSlot);
        if (w && h)
            r[F::Resolution] = *w + " x " + *h;
        return r;
    }

    static constexpr int WidthSlot = 100;
    static constexpr int HeightSlot = 101;
    static constexpr int NameSlot = 102;
    static constexpr int FolderSlot = 103;

private:
    static int slotIndex(int field) {
        return field >= WidthSlot ? MetadataRecord::FieldCount + field - WidthSlot : field;
    }
    std::array<QByteArray, MetadataRecord::FieldCount + 4> m_values;
};

// The tags read, found in one pass over the EXIF data. ExifTool reads a tag
// number the same in the main, EXIF, GPS and interoperability IFDs, and of
// two copies keeps the one it met last; the thumbnail's IFD counts only for
// a tag found nowhere else.
class ExifTags {
public:
    ExifTags() = default;
    // From the library's EXIF data (files it parses whole), in its order.
    explicit ExifTags(const Exiv2::ExifData &exif) {
        static const int image = Exiv2::ExifKey("Exif.Image.Make").ifdId();
        static const int photo = Exiv2::ExifKey("Exif.Photo.DateTimeDigitized").ifdId();
        static const int gps = Exiv2::ExifKey("Exif.GPSInfo.GPSVersionID").ifdId();
        static const int iop = Exiv2::ExifKey("Exif.Iop.InteroperabilityIndex").ifdId();
        static const int thumbnail = Exiv2::ExifKey("Exif.Thumbnail.ImageWidth").ifdId();
        static const int canonSettings = Exiv2::ExifKey("Exif.CanonCs.MeteringMode").ifdId();
        for (const Exiv2::Exifdatum &d : exif) {
            const int ifd = d.ifdId();
            if (ifd == canonSettings && d.tag() == 0x0011)
                m_canonMetering = fromLibrary(d.value());
            const bool main = ifd == image || ifd == photo || ifd == gps || ifd == iop;
            if ((main || ifd == thumbnail) && wanted(d.tag(), main))
                add(d.tag(), main, fromLibrary(d.value()));
        }
    }
    // From a TIFF block (a JPEG file's EXIF segment), walked here: the main
    // IFD with its EXIF, GPS and interoperability IFDs where their pointers
    // are, then the thumbnail's; and a Canon camera's settings in its maker
    // note. An entry of an unknown type or whose data lies outside the block
    // is left out, as ExifTool does; so is a directory met twice or running
    // past the block. False when the block has no TIFF header.
    bool walk(QByteArrayView tiff) {
        m_tiff = tiff;
        if (tiff.size() < 8 ||
            (tiff.first(4) != QByteArrayView("II*\0", 4) && tiff.first(4) != QByteArrayView("MM\0*", 4)))
            return false;
        m_bigEndian = tiff[0] == 'M';
        const quint32 first = quint32(word(4, 4));
        const quint32 next = directory(first, Main, 0);
        if (next != 0)
            directory(next, Thumbnail, 0);
        if (m_makerNote > 0 && find(0x010f) && asciiText(*find(0x010f)).startsWith("Canon"))
            directory(m_makerNote, Canon, 0);
        return true;
    }

    const TiffValue *find(uint16_t tag) const {
        for (const Slot &s : m_slots)
            if (s.tag == tag)
                return s.main ? &s.value : s.fallback ? &s.fallbackValue : nullptr;
        return nullptr;
    }
    // The metering mode in a Canon camera's own settings.
    const TiffValue *canonMetering() const { return m_canonMetering.type ? &m_canonMetering : nullptr; }

private:
    enum Kind { Main, Thumbnail, Canon };

    bool wanted(uint16_t tag, bool main) const {
        for (const Slot &s : m_slots)
            if (s.tag == tag)
                return main || !s.fallback;
        return false;
    }
    void add(uint16_t tag, bool main, TiffValue value) {
        for (Slot &s : m_slots) {
            if (s.tag != tag)
                continue;
            if (main) {
                s.value = std::move(value);
                s.main = true;
            } else if (!s.fallback) {
                s.fallbackValue = std::move(value);
                s.fallback = true;
            }
            return;
        }
    }

    quint64 word(qint64 at, int size) const {
        quint64 v = 0;
        for (int k = 0; k < size; ++k)
            v = m_bigEndian ? v << 8 | uchar(m_tiff[at + k]) : v | quint64(uchar(m_tiff[at + k])) << (8 * k);
        return v;
    }

    // The entries of the directory at offset; gives the next directory's offset.
    quint32 directory(quint32 at, Kind kind, int depth) {
        if (depth > 4 || at < 8 || qint64(at) + 2 > m_tiff.size() || m_seen.contains(at) || m_seen.size() > 16)
            return 0;
        m_seen.append(at);
        const int count = int(word(at, 2));
        // A directory that runs past the block is no directory at all.
        const qint64 end = qint64(at) + 2 + 12 * qint64(count);
        if (end > m_tiff.size())
            return 0;
        for (int i = 0; i < count; ++i) {
            const qint64 entry = qint64(at) + 2 + 12 * i;
            const uint16_t tag = uint16_t(word(entry, 2));
            const int type = int(word(entry + 2, 2));
            const qint64 n = qint64(word(entry + 4, 4));
            const int size = TiffValue::typeSize(type);
            // An unknown type in the first entry: ExifTool takes the whole
            // directory for garbage; in a later one, that entry only.
            if (size == 0 && i == 0)
                return 0;
            if (size == 0)
                continue;
            const qint64 bytes = n * size;
            const qint64 data = bytes <= 4 ? entry + 8 : qint64(word(entry + 8, 4));
            if (data + bytes > m_tiff.size())
                continue;
            if (kind == Canon) {
                // The camera settings: signed 16-bit values, the metering mode the 17th.
                if (tag == 0x0001 && bytes >= 36) {
                    m_canonMetering = TiffValue{8, 1, m_tiff.sliced(data + 34, 2).toByteArray(), m_bigEndian};
                }
                continue;
            }
            const bool main = kind == Main;
            if (main && n == 1 && (tag == 0x8769 || tag == 0x8825 || tag == 0xa005) &&
                (type == 3 || type == 4 || type == 9 || type == 13)) {
                directory(quint32(word(data, size)), Main, depth + 1);
                continue;
            }
            if (main && tag == 0x927c && bytes > 0)
                m_makerNote = quint32(data);
            if (wanted(tag, main))
                add(tag, main,
                    TiffValue{type, n, QByteArray::fromRawData(m_tiff.data() + data, qsizetype(bytes)), m_bigEndian});
        }
        return end + 4 <= m_tiff.size() ? quint32(word(end, 4)) : 0;
    }

    struct Slot {
        Slot(uint16_t number) : tag(number) {}
        uint16_t tag;
        bool main = false, fallback = false;
        TiffValue value, fallbackValue;
    };
    Slot m_slots[20] = {0x010f, 0x0110, 0x0112, 0x9004, 0x9292, 0x9012, 0xa002, 0xa003, 0x9209, 0x9207,
                        0xa403, 0x920a, 0x829a, 0x9202, 0xa405, 0xa20e, 0xa20f, 0xa210, 0x0100, 0x0101};
    TiffValue m_canonMetering;
    QByteArrayView m_tiff;
    bool m_bigEndian = false;
    quint32 m_makerNote = 0;
    QVarLengthArray<quint32, 8> m_seen;
};

const Exiv2::Xmpdatum *findXmp(const Exiv2::XmpData &xmp, const char *key) {
    if (xmp.empty())
        return nullptr;
    const auto it = xmp.findKey(Exiv2::XmpKey(key));
    return it == xmp.end() ? nullptr : &*it;
}

QByteArray xmpText(const Exiv2::Xmpdatum &d) {
    const std::string s = d.toString();
    return QByteArray(s.data(), qsizetype(s.size()));
}

// Without an EXIF flash value, ExifTool combines the XMP flash structure into
// one: fired, return, mode, function and red-eye bits.
void xmpFlash(const Exiv2::XmpData &xmp, Collector &c) {
    static const struct {
        const char *field;
        bool boolean;
        int shift;
    } parts[] = {
        {"Fired", true, 0}, {"Return", false, 1}, {"Mode", false, 3}, {"Function", true, 5}, {"RedEyeMode", true, 6}};
    long value = 0;
    bool any = false;
    for (const auto &p : parts) {
        const std::string key = std::string("Xmp.exif.Flash/exif:") + p.field;
        const auto *x = findXmp(xmp, key.c_str());
        if (!x)
            continue;
        any = true;
        const QString text = QString::fromStdString(x->toString());
        if (p.boolean)
            value |= text.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0 ? 1L << p.shift : 0;
        else
            value |= text.toLong() << p.shift;
    }
    if (!any)
        return;
    QByteArray text = QByteArrayLiteral("Unknown (0x") + QByteArray::number(qlonglong(value), 16) + ')';
    for (const Named &n : FlashNames)
        if (n.value == value)
            text = n.text;
    c.set(F::Flash, text);
}

// The XMP data, parsed from its packet only when a field is missing from the
// EXIF data: most photos never need it, and parsing it costs more than the
// rest of the file.
class LazyXmp {
public:
    explicit LazyXmp(const Exiv2::XmpData *parsed = nullptr) : m_data(parsed) {}
    explicit LazyXmp(std::string packet) : m_packet(std::move(packet)) {}

    const Exiv2::XmpData &operator()() {
        if (!m_data) {
            // A packet the toolkit rejects leaves what it decoded, as the
            // library does when it reads the whole file.
            if (!m_packet.empty())
                Exiv2::XmpParser::decode(m_own, m_packet);
            m_data = &m_own;
        }
        return *m_data;
    }

private:
    const Exiv2::XmpData *m_data = nullptr;
    std::string m_packet;
    Exiv2::XmpData m_own;
};

// The picture's own size, as the file format states it: a JPEG file's frame
// header, or else the main IFD's tags (fromTags).
struct PictureSize {
    long width = 0, height = 0;
    bool fromTags = false;
};

double valueOf(const TiffValue *d) {
    double v = 0;
    return d && numericValue(*d, v) && std::isfinite(v) ? v : 0;
}

// ExifTool's scale factor to the 35 mm equivalent: from the 35 mm focal
// length if stated, otherwise from the focal plane's resolution and the
// picture's size (Canon's stated in the rationals' denominators). 0 when
// it cannot be worked out. Inputs ExifTool takes from maker notes (digital
// zoom, sensor sizes) are not read here.
double scaleTo35mm(const ExifTags &tags, double focal, const PictureSize &picture) {
    const double focal35 = valueOf(tags.find(0xa405));
    if (focal != 0 && focal35 != 0)
        return focal35 / focal;
    double diagonal = 0;
    const TiffValue *make = tags.find(0x010f);
    const TiffValue *xRes = tags.find(0xa20e), *yRes = tags.find(0xa20f);
    if (make && trimmedRight(asciiText(*make)) == "Canon" && xRes && yRes && isRational(*xRes) && isRational(*yRes) &&
        xRes->count == 1 && yRes->count == 1) {
        const auto x = xRes->toRational(0), y = yRes->toRational(0);
        if (x.first % 1000 == 0 && y.first % 1000 == 0 && x.first >= 640000 && y.first >= 480000 &&
            x.first < 10000000 && y.first < 10000000 && x.second >= 61 && x.second < 1500 && y.second >= 61 &&
            y.second < 1000 && x.second != y.second)
            diagonal = std::sqrt(double(x.second) * x.second + double(y.second) * y.second) * 0.0254;
    }
    if (diagonal == 0) {
        const double unit = [&] {
            switch (long(valueOf(tags.find(0xa210)))) {
            case 3:
                return 10.0;
            case 4:
                return 1.0;
            case 5:
                return 0.001;
            default:
                return 25.4;
            }
        }();
        const double xr = valueOf(xRes);
        const double yr = valueOf(yRes) != 0 ? valueOf(yRes) : xr;
        if (xr == 0)
            return 0;
        const double sizes[2][2] = {{valueOf(tags.find(0xa002)), valueOf(tags.find(0xa003))},
                                    {picture.fromTags ? valueOf(tags.find(0x0100)) : double(picture.width),
                                     picture.fromTags ? valueOf(tags.find(0x0101)) : double(picture.height)}};
        double w = 0, h = 0;
        for (const auto &size : sizes) {
            if (size[0] == 0 || size[1] == 0)
                continue;
            w = size[0];
            h = size[1];
            if (w / h > 0.5 && w / h < 2)
                break;
            w = h = 0;
        }
        if (w == 0)
            return 0;
        w *= unit / xr;
        h *= unit / yr;
        diagonal = std::sqrt(w * w + h * h);
        if (!(diagonal > 1 && diagonal < 100))
            return 0;
    }
    return std::sqrt(36.0 * 36 + 24.0 * 24) / diagonal;
}

void readExif(const ExifTags &tags, LazyXmp &xmpData, const PictureSize &image, Collector &c) {
    const auto findExif = [&](uint16_t tag) { return tags.find(tag); };

    if (const auto *d = findExif(0x010f))
        c.set(F::CameraMake, trimmedRight(asciiText(*d)));
    else if (const auto *x = findXmp(xmpData(), "Xmp.tiff.Make"))
        c.set(F::CameraMake, xmpText(*x));
    if (const auto *d = findExif(0x0110))
        c.set(F::CameraModel, trimmedRight(asciiText(*d)));
    else if (const auto *x = findXmp(xmpData(), "Xmp.tiff.Model"))
        c.set(F::CameraModel, xmpText(*x));

    if (const auto *d = findExif(0x0112))
        c.set(F::Orientation, lookup(*d, OrientationNames));
    else if (const auto *x = findXmp(xmpData(), "Xmp.tiff.Orientation")) {
        bool ok = false;
        const long v = QString::fromStdString(x->toString()).toLong(&ok);
        QByteArray text = QByteArrayLiteral("Unknown (") + xmpText(*x) + ')';
        for (const Named &n : OrientationNames)
            if (ok && n.value == v)
                text = n.text;
        c.set(F::Orientation, text);
    }

    // The shot date; with sub-seconds or a zone offset beside it, ExifTool
    // prints a second, combined date after it, and that one is kept.
    if (const auto *d = findExif(0x9004)) {
        QByteArray date = asciiText(*d);
        QByteArray combined;
        bool haveCombined = false;
        if (const auto *sub = findExif(0x9292)) {
            static const QRegularExpression digits(QStringLiteral(R"(^(\d+))"));
            static const QRegularExpression time(QStringLiteral(R"(( \d{2}:\d{2}:\d{2})(?!\.\d+))"));
            const QRegularExpressionMatch m = digits.match(QString::fromLatin1(asciiText(*sub)));
            if (m.hasMatch()) {
                QString v = QString::fromLatin1(date);
                const QRegularExpressionMatch t = time.match(v);
                if (t.hasMatch()) {
                    v.insert(t.capturedEnd(1), QLatin1Char('.') + m.captured(1));
                    combined = v.toLatin1();
                    haveCombined = true;
                }
            }
        }
        if (const auto *zone = findExif(0x9012)) {
            static const QRegularExpression offset(QStringLiteral(R"(^([-+])(\d{1,2}):(\d{2}))"));
            const QRegularExpressionMatch m = offset.match(QString::fromLatin1(asciiText(*zone)));
            if (m.hasMatch() && !date.contains('-') && !date.contains('+')) {
                combined = (haveCombined ? combined : date) + QStringLiteral("%1%2:%3")
                                                                  .arg(m.captured(1))
                                                                  .arg(m.captured(2).toInt(), 2, 10, QLatin1Char('0'))
                                                                  .arg(m.captured(3).toInt(), 2, 10, QLatin1Char('0'))
                                                                  .toLatin1();
                haveCombined = true;
            }
        }
        c.set(F::DateTime, haveCombined ? combined : date);
    } else if (const auto *x = findXmp(xmpData(), "Xmp.xmp.CreateDate")) {
        c.set(F::DateTime, xmpDate(xmpText(*x)));
    }

    if (const auto *d = findExif(0xa002))
        c.set(Collector::WidthSlot, numberText(*d));
    if (const auto *d = findExif(0xa003))
        c.set(Collector::HeightSlot, numberText(*d));

    if (const auto *d = findExif(0x9209))
        c.set(F::Flash, lookup(*d, FlashNames, true));
    else
        xmpFlash(xmpData(), c);
    // A Canon camera's own metering mode comes after the EXIF one, and
    // ExifTool prints the one it met last.
    if (const auto *d = tags.canonMetering())
        c.set(F::MeteringMode, lookup(*d, CanonMeteringNames));
    else if (const auto *d = findExif(0x9207))
        c.set(F::MeteringMode, lookup(*d, MeteringNames));
    if (const auto *d = findExif(0xa403))
        c.set(F::WhiteBalance, lookup(*d, WhiteBalanceNames));

    double v = 0;
    if (const auto *d = findExif(0x920a)) {
        const QByteArray n = numberText(*d);
        if (numericValue(*d, v)) {
            // ExifTool prints its composite focal length, with the 35 mm
            // equivalent when it can work out the scale factor.
            const double scale = scaleTo35mm(tags, v, image);
            c.set(F::FocalLength, scale != 0 ? fixed(v, 1, " mm (35 mm equivalent: ") + fixed(v * scale, 1, " mm)")
                                             : fixed(v, 1, " mm"));
        } else {
            c.set(F::FocalLength, n);
        }
    }
    if (const auto *d = findExif(0x829a)) {
        const QByteArray n = numberText(*d);
        const bool number = numericValue(*d, v) && n != "inf" && n != "undef";
        c.set(F::ExposureTime, number ? exifToolExposureTime(v).toLatin1() : n);
    }
    if (const auto *d = findExif(0x9202)) {
        const QByteArray n = numberText(*d);
        c.set(F::Aperture, numericValue(*d, v) ? fixed(std::pow(2.0, v / 2), 1) : n);
    }
}

QByteArray bytesAt(const QByteArray &bytes, qsizetype at, qsizetype length) {
    return at < 0 ? QByteArray() : bytes.mid(at, length);
}

// A JPEG file read from its segments: the EXIF block through the library's
// own TIFF walk, the XMP packet only if needed, the comment as it is. False
// when the file is one for the library to read whole.
bool readJpeg(OpenedFile &file, Collector &c) {
    const JpegSegments s = walkJpeg(file);
    if (s.unusual)
        return false;
    const QByteArray &b = file.bytes();
    // A block whose TIFF header does not parse gives no EXIF values.
    ExifTags tags;
    if (s.exifAt >= 0 && s.exifLength > 0)
        tags.walk(QByteArrayView(b).sliced(s.exifAt, s.exifLength));
    LazyXmp xmp(s.xmpAt >= 0 ? std::string(b.constData() + s.xmpAt, size_t(s.xmpLength)) : std::string());
    readExif(tags, xmp, PictureSize{s.width, s.height}, c);
    if (s.commentLength > 0)
        c.set(F::Comment, bytesAt(b, s.commentAt, s.commentLength));
    return true;
}

// An ISO base media file (videos, HEIF, AVIF, CR3), read by our own bounded
// box reader and never by the library's video parsers. Of a date or a maker
// found twice (the movie header and the EXIF data), ExifTool keeps the one it
// met last.
void readBmff(const OpenedFile &file, Collector &c) {
    const Bmff::Result found = Bmff::read(
        [&](std::uint64_t offset, char *out, std::int64_t length) -> std::int64_t {
            const QByteArray bytes = file.readAt(qint64(offset), length);
            std::memcpy(out, bytes.constData(), size_t(bytes.size()));
            return bytes.size();
        },
        std::uint64_t(file.size()));
    Exiv2::ExifData exif;
    QByteArray movieDate, make;
    int movieDateAt = -1, exifDateAt = -1, makeAt = -1, exifMakeAt = -1;
    for (int i = 0; i < found.found.size(); ++i) {
        const Bmff::Found &f = found.found.at(i);
        if (f.kind == Bmff::Found::MovieDate) {
            movieDate = Bmff::movieDateText(f.seconds);
            movieDateAt = i;
        } else if (f.kind == Bmff::Found::Make) {
            make = f.bytes;
            makeAt = i;
        } else {
            Exiv2::ExifData block;
            if (f.bytes.isEmpty() ||
                Exiv2::ExifParser::decode(block, reinterpret_cast<const Exiv2::byte *>(f.bytes.constData()),
                                          uint32_t(f.bytes.size())) == Exiv2::invalidByteOrder)
                continue;
            for (const Exiv2::Exifdatum &d : block) {
                exif.add(d);
                if (d.tag() == 0x9004)
                    exifDateAt = i;
                else if (d.tag() == 0x010f)
                    exifMakeAt = i;
            }
        }
    }
    LazyXmp xmp{std::string()};
    readExif(ExifTags(exif), xmp, PictureSize{0, 0, true}, c);
    if (movieDateAt > exifDateAt && !movieDate.isEmpty())
        c.set(F::DateTime, movieDate);
    if (makeAt > exifMakeAt)
        c.set(F::CameraMake, trimmedRight(make));
}

// Whether the library should parse a file of this type: still pictures only;
// its video parsers (and the ISO base media files read above) are not trusted
// with files from anywhere.
bool stillImageType(int type) {
    switch (type) {
    case Exiv2::ImageType::bmff:
    case 20: // RIFF (AVI, WAV)
    case 21: // Matroska
    case 22: // QuickTime
    case 24: // ASF
        return false;
    default:
        return type != Exiv2::ImageType::none;
    }
}

// Any other file, or a JPEG file the walk above leaves alone: opened by the
// library, from memory when the file was read whole (one read instead of the
// library's many small reads and seeks).
void readByLibrary(const QByteArray &path, OpenedFile &file, Collector &c) {
    const int type = file.whole()
                         ? Exiv2::ImageFactory::getType(reinterpret_cast<const Exiv2::byte *>(file.bytes().constData()),
                                                        long(file.bytes().size()))
                         : Exiv2::ImageFactory::getType(path.toStdString());
    if (!stillImageType(type))
        throw Exiv2::Error(Exiv2::kerFileContainsUnknownImageType);
    Exiv2::Image::AutoPtr image;
    if (file.whole())
        image = Exiv2::ImageFactory::open(reinterpret_cast<const Exiv2::byte *>(file.bytes().constData()),
                                          long(file.bytes().size()));
    else
        image = Exiv2::ImageFactory::open(path.toStdString(), false);
    if (!image.get())
        throw Exiv2::Error(Exiv2::kerFileContainsUnknownImageType);
    image->readMetadata();
    LazyXmp xmp(&image->xmpData());
    const bool jpeg = image->mimeType() == "image/jpeg";
    readExif(ExifTags(image->exifData()), xmp,
             PictureSize{jpeg ? image->pixelWidth() : 0, jpeg ? image->pixelHeight() : 0, !jpeg}, c);
    if (jpeg) {
        const std::string comment = image->comment();
        if (!comment.empty())
            c.set(F::Comment, QByteArray(comment.data(), qsizetype(comment.size())));
    } else if (image->mimeType() == "image/png") {
        if (const std::optional<QByteArray> comment = pngComment(file))
            c.set(F::Comment, *comment);
    }
}

// "2015:07:31 10:20:30+02:00": the modification time in local time, as
// ExifTool prints it. localtime_r reads the zone once, where QDateTime asks
// the C library to look at the zone files again on every call.
QByteArray localDateText(time_t t) {
    // The zone is read again only when TZ changed since the last call.
    static std::mutex zoneLock;
    static std::optional<QByteArray> zoneSeen;
    static bool zoneRead = false;
    {
        const std::lock_guard lock(zoneLock);
        const std::optional<QByteArray> zone =
            qEnvironmentVariableIsSet("TZ") ? std::optional(qgetenv("TZ")) : std::nullopt;
        if (!zoneRead || zone != zoneSeen) {
            ::tzset();
            zoneSeen = zone;
            zoneRead = true;
        }
    }
    struct tm local {};
    if (!::localtime_r(&t, &local))
        return QByteArray();
    const long offset = local.tm_gmtoff;
    char text[64];
    std::snprintf(text, sizeof text, "%04d:%02d:%02d %02d:%02d:%02d%c%02ld:%02ld", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec, offset < 0 ? '-' : '+',
                  std::labs(offset) / 3600, std::labs(offset) / 60 % 60);
    return text;
}

} // namespace

QString exifToolFileSize(qint64 bytes) {
    const double b = double(bytes);
    if (bytes < 2000)
        return QStringLiteral("%1 bytes").arg(bytes);
    if (bytes < 10000)
        return QString::fromLatin1(fixed(b / 1e3, 1, " kB"));
    if (bytes < 2000000)
        return QString::fromLatin1(fixed(b / 1e3, 0, " kB"));
    if (bytes < 10000000)
        return QString::fromLatin1(fixed(b / 1e6, 1, " MB"));
    if (bytes < 2000000000)
        return QString::fromLatin1(fixed(b / 1e6, 0, " MB"));
    if (bytes < 10000000000)
        return QString::fromLatin1(fixed(b / 1e9, 1, " GB"));
    return QString::fromLatin1(fixed(b / 1e9, 0, " GB"));
}

QString exifToolExposureTime(double seconds) {
    if (seconds > 0 && seconds < 0.25001)
        return QStringLiteral("1/%1").arg(static_cast<long long>(0.5 + 1 / seconds));
    QString text = QString::fromLatin1(fixed(seconds, 1));
    if (text.endsWith(QLatin1String(".0")))
        text.chop(2);
    return text;
}

QString builtinLibraryName() {
    return QStringLiteral("Exiv2 ") + QString::fromLatin1(Exiv2::version());
}

QString builtinReaderText() {
    return i18n::getText(QStringLiteral("Exif"), QStringLiteral("BuiltinReader"),
                         QStringLiteral("lecteur intégré (%s)"), builtinLibraryName());
}

QString toolInUseText(int mode) {
    // The built-in reader also names the library version it reads with.
    return i18n::Message(80) + QLatin1Char(' ') + (mode == ExifModeBuiltin ? builtinReaderText() : toolModeName(mode));
}

RecordBytes readBuiltinBytes(const QByteArray &path, BuiltinResult *result) {
    if (result)
        *result = BuiltinResult::Unreadable;
    if (path.isEmpty())
        return RecordBytes();
    OpenedFile file(path);
    if (!file.isOpen())
        return RecordBytes();
    prepareExiv2();

    Collector c;
    try {
        file.readUpTo(OpenedFile::ChunkBytes);
        const bool jpeg = file.bytes().startsWith("\xff\xd8");
        if (Bmff::looksLikeBmff(file.bytes().constData(), size_t(file.bytes().size()))) {
            readBmff(file, c);
        } else if (!jpeg || !readJpeg(file, c)) {
            c = Collector();
            readByLibrary(path, file, c);
        }
    } catch (...) {
        // A damaged or hostile file: Exiv2 errors, bad_alloc on a huge count,
        // out_of_range on a wrong offset. The file is simply unreadable.
        return RecordBytes();
    }

    // The file's own lines, as ExifTool prints them for the absolute path: a
    // clean absolute path is split as it is, any other made so first.
    const qsizetype slash = path.lastIndexOf('/');
    const bool clean = path.startsWith('/') && !path.contains("//") && !path.contains("/./") &&
                       !path.contains("/../") && !path.endsWith("/.") && !path.endsWith("/..") &&
                       slash < path.size() - 1;
    if (clean) {
        c.set(Collector::NameSlot, path.mid(slash + 1));
        c.set(Collector::FolderSlot, slash == 0 ? QByteArray("/") : path.left(slash));
    } else {
        const QFileInfo info(QFile::decodeName(path));
        c.set(Collector::NameSlot, QFile::encodeName(info.fileName()));
        c.set(Collector::FolderSlot, QFile::encodeName(info.absolutePath()));
    }
    c.set(F::FileSize, exifToolFileSize(file.size()).toLatin1());
    c.set(F::FileDate, localDateText(file.modified()));
    RecordBytes record = c.finish();
    if (result)
        *result = BuiltinResult::Read;
    return record;
}

MetadataRecord readBuiltin(const QString &path, BuiltinResult *result) {
    const RecordBytes bytes = readBuiltinBytes(QFile::encodeName(path), result);
    MetadataRecord record;
    for (int f = 0; f < MetadataRecord::FieldCount; ++f)
        if (!bytes[f].isEmpty())
            record[f] = QString::fromUtf8(bytes[f]);
    return record;
}

} // namespace tav::Exif

#pragma GCC diagnostic pop
