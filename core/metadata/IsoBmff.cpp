#include "core/metadata/IsoBmff.h"

#include <QHash>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <optional>

namespace tav::Bmff {

namespace {

constexpr int DepthLimit = 12;
constexpr int BoxLimit = 20000;
// Box bodies read whole: a movie header is about 100 bytes and a HEIF meta
// box a few kilobytes; anything near these sizes is damaged or hostile.
constexpr std::int64_t SmallBodyLimit = 1 << 20;
constexpr std::int64_t ExifLimit = 8 << 20;
constexpr int ExtentLimit = 64;
// Seconds from 1904 (QuickTime's epoch) to 1970.
constexpr std::uint64_t EpochOffset = 2082844800ULL;

constexpr char CanonUuid[] = "\x85\xc0\xb6\x87\x82\x0f\x11\xe0\x81\x11\xf4\xce\x46\x2b\x6a\x48";

std::uint64_t be(const char *p, int n) {
    std::uint64_t v = 0;
    for (int i = 0; i < n; ++i)
        v = (v << 8) | std::uint8_t(p[i]);
    return v;
}

// A cursor over a box body read into memory; every read is checked.
class Body {
public:
    explicit Body(QByteArray bytes) : m_bytes(std::move(bytes)) {}
    bool has(qsizetype n) const { return n >= 0 && m_at + n <= m_bytes.size(); }
    std::uint64_t take(int n) {
        if (n == 0)
            return 0;
        if (!has(n)) {
            m_failed = true;
            m_at = m_bytes.size();
            return 0;
        }
        const std::uint64_t v = be(m_bytes.constData() + m_at, n);
        m_at += n;
        return v;
    }
    QByteArray bytes(qsizetype n) {
        if (!has(n)) {
            m_failed = true;
            m_at = m_bytes.size();
            return {};
        }
        const QByteArray out = m_bytes.mid(m_at, n);
        m_at += n;
        return out;
    }
    void skip(qsizetype n) { bytes(n); }
    bool failed() const { return m_failed; }
    qsizetype at() const { return m_at; }
    qsizetype size() const { return m_bytes.size(); }
    const QByteArray &all() const { return m_bytes; }

private:
    QByteArray m_bytes;
    qsizetype m_at = 0;
    bool m_failed = false;
};

struct Box {
    QByteArray type;
    std::uint64_t start = 0; // of the header
    std::uint64_t body = 0;  // of the body
    std::uint64_t end = 0;   // past the box, within its parent
};

class Walker {
public:
    Walker(const ReadAt &read, std::uint64_t size) : m_read(read), m_size(size) {}

    Result run() {
        Result r;
        char head[16];
        if (readInto(0, head, 16) < 12 || !looksLikeBmff(head, 12))
            return r;
        r.recognised = true;
        m_result = &r;
        walk(0, m_size, 0, Level::Top);
        return r;
    }

private:
    enum class Level { Top, Movie, UserData, QuickTimeMeta, Canon };

    std::int64_t readInto(std::uint64_t offset, char *out, std::int64_t length) {
        if (offset >= m_size || length <= 0)
            return 0;
        length = std::int64_t(std::min<std::uint64_t>(std::uint64_t(length), m_size - offset));
        return m_read(offset, out, length);
    }

    QByteArray readBytes(std::uint64_t offset, std::int64_t length) {
        QByteArray out(qsizetype(length), Qt::Uninitialized);
        const std::int64_t got = readInto(offset, out.data(), length);
        out.truncate(qsizetype(std::max<std::int64_t>(0, got)));
        return out;
    }

    // The body of a box, when it is small enough to be one we read whole.
    std::optional<Body> body(const Box &b, std::int64_t limit = SmallBodyLimit) {
        const std::uint64_t length = b.end - b.body;
        if (length > std::uint64_t(limit))
            return std::nullopt;
        QByteArray bytes = readBytes(b.body, std::int64_t(length));
        if (std::uint64_t(bytes.size()) != length)
            return std::nullopt;
        return Body(std::move(bytes));
    }

    // The next box header at pos within end; false when there is none that fits.
    bool next(std::uint64_t pos, std::uint64_t end, Box &b) {
        if (end < pos || end - pos < 8 || ++m_boxes > BoxLimit)
            return false;
        char h[16];
        if (readInto(pos, h, 8) != 8)
            return false;
        std::uint64_t size = be(h, 4);
        std::uint64_t header = 8;
        if (size == 1) {
            if (end - pos < 16 || readInto(pos + 8, h + 8, 8) != 8)
                return false;
            size = be(h + 8, 8);
            header = 16;
        } else if (size == 0) {
            size = end - pos; // to the end of the parent
        }
        if (size < header || size > end - pos)
            return false;
        b.type = QByteArray(h + 4, 4);
        b.start = pos;
        b.body = pos + header;
        b.end = pos + size;
        return true;
    }

    void walk(std::uint64_t from, std::uint64_t end, int depth, Level level) {
        if (depth > DepthLimit)
            return;
        Box b;
        for (std::uint64_t pos = from; next(pos, end, b); pos = b.end) {
            visit(b, depth, level);
            if (b.end <= pos)
                break;
        }
    }

    void visit(const Box &b, int depth, Level level) {
        const QByteArray &t = b.type;
        switch (level) {
        case Level::Top:
            if (t == "ftyp") {
                if (b.end - b.body >= 4)
                    m_result->majorBrand = readBytes(b.body, 4);
            } else if (t == "moov") {
                walk(b.body, b.end, depth + 1, Level::Movie);
            } else if (t == "meta") {
                itemMeta(b);
            }
            break;
        case Level::Movie:
            if (t == "mvhd")
                movieHeader(b);
            else if (t == "udta")
                walk(b.body, b.end, depth + 1, Level::UserData);
            else if (t == "meta")
                quickTimeMeta(b, depth);
            else if (t == "uuid" && b.end - b.body >= 16 && readBytes(b.body, 16) == QByteArray(CanonUuid, 16))
                walk(b.body + 16, b.end, depth + 1, Level::Canon);
            break;
        case Level::UserData:
            if (t == "\xa9mak")
                userDataText(b);
            else if (t == "meta")
                quickTimeMeta(b, depth);
            break;
        case Level::Canon:
            if (t == "CMT1" || t == "CMT2") {
                if (auto body = this->body(b, ExifLimit))
                    m_result->found.append({Found::Exif, 0, body->all()});
            }
            break;
        case Level::QuickTimeMeta:
            break;
        }
    }

    void movieHeader(const Box &b) {
        auto body = this->body(b);
        if (!body)
            return;
        const int version = int(body->take(1));
        body->skip(3);
        const std::uint64_t created = body->take(version == 1 ? 8 : 4);
        if (!body->failed())
            m_result->found.append({Found::MovieDate, created, {}});
    }

    // A QuickTime user-data text: length, language, then the text.
    void userDataText(const Box &b) {
        auto body = this->body(b);
        if (!body)
            return;
        const qsizetype length = qsizetype(body->take(2));
        body->skip(2);
        const QByteArray text = body->bytes(length);
        if (!body->failed() && !text.isEmpty())
            m_result->found.append({Found::Make, 0, text});
    }

    // QuickTime's keyed metadata (meta > keys + ilst). Apple writes the meta
    // box without the version and flags an MP4 meta box has.
    void quickTimeMeta(const Box &b, int depth) {
        if (depth + 1 > DepthLimit)
            return;
        std::uint64_t from = b.body;
        char h[8];
        if (readInto(b.body, h, 8) == 8 && std::memcmp(h + 4, "hdlr", 4) != 0 && be(h, 4) == 0)
            from += 4;
        QHash<std::uint32_t, QByteArray> keys;
        Box child;
        for (std::uint64_t pos = from; next(pos, b.end, child); pos = child.end) {
            if (child.type == "keys") {
                auto body = this->body(child);
                if (!body)
                    continue;
                body->skip(4);
                const std::uint64_t count = body->take(4);
                for (std::uint32_t i = 1; i <= count && !body->failed(); ++i) {
                    const std::uint64_t size = body->take(4);
                    if (size < 8 || !body->has(qsizetype(size - 4)))
                        break;
                    body->skip(4);
                    keys.insert(i, body->bytes(qsizetype(size - 8)));
                }
            } else if (child.type == "ilst") {
                Box item;
                for (std::uint64_t at = child.body; next(at, child.end, item); at = item.end) {
                    const std::uint32_t index = std::uint32_t(be(item.type.constData(), 4));
                    if (keys.value(index) != "com.apple.quicktime.make")
                        continue;
                    Box data;
                    if (!next(item.body, item.end, data) || data.type != "data")
                        continue;
                    auto body = this->body(data);
                    if (!body)
                        continue;
                    const std::uint64_t type = body->take(4);
                    body->skip(4);
                    const QByteArray text = body->bytes(body->size() - body->at());
                    if (!body->failed() && type == 1 && !text.isEmpty())
                        m_result->found.append({Found::Make, 0, text});
                }
            }
        }
    }

    // HEIF's meta box: the items it lists (iinf), where their bytes are
    // (iloc, idat); the Exif item is the one read.
    void itemMeta(const Box &b) {
        std::uint32_t exifItem = 0;
        bool haveExif = false;
        std::optional<Body> locations;
        std::uint64_t idatStart = 0, idatEnd = 0;
        Box child;
        for (std::uint64_t pos = b.body + 4; next(pos, b.end, child); pos = child.end) {
            if (child.type == "iinf") {
                auto body = this->body(child);
                if (!body)
                    continue;
                const int version = int(body->take(1));
                body->skip(3);
                const std::uint64_t count = body->take(version == 0 ? 2 : 4);
                Box entry;
                std::uint64_t at = child.body + std::uint64_t(body->at());
                for (std::uint64_t i = 0; i < count && !haveExif && next(at, child.end, entry); ++i, at = entry.end) {
                    if (entry.type != "infe")
                        continue;
                    auto e = this->body(entry);
                    if (!e)
                        continue;
                    const int v = int(e->take(1));
                    e->skip(3);
                    if (v < 2)
                        continue;
                    const std::uint32_t id = std::uint32_t(e->take(v == 2 ? 2 : 4));
                    e->skip(2);
                    if (e->bytes(4) == "Exif" && !e->failed()) {
                        exifItem = id;
                        haveExif = true;
                    }
                }
            } else if (child.type == "iloc") {
                locations = this->body(child);
            } else if (child.type == "idat") {
                idatStart = child.body;
                idatEnd = child.end;
            }
        }
        if (!haveExif || !locations)
            return;
        const QByteArray exif = itemBytes(*locations, exifItem, idatStart, idatEnd);
        // The item starts with the offset of the TIFF header after it.
        if (exif.size() < 4)
            return;
        const std::uint64_t skip = be(exif.constData(), 4);
        if (skip > std::uint64_t(exif.size() - 4))
            return;
        m_result->found.append({Found::Exif, 0, exif.mid(4 + qsizetype(skip))});
    }

    QByteArray itemBytes(Body &l, std::uint32_t wanted, std::uint64_t idatStart, std::uint64_t idatEnd) {
        const int version = int(l.take(1));
        l.skip(3);
        if (version > 2)
            return {};
        const std::uint64_t sizes = l.take(2);
        const int offsetSize = int(sizes >> 12), lengthSize = int((sizes >> 8) & 0xf),
                  baseSize = int((sizes >> 4) & 0xf), indexSize = version == 0 ? 0 : int(sizes & 0xf);
        for (int s : {offsetSize, lengthSize, baseSize, indexSize})
            if (s != 0 && s != 4 && s != 8)
                return {};
        const std::uint64_t count = l.take(version < 2 ? 2 : 4);
        for (std::uint64_t i = 0; i < count && !l.failed(); ++i) {
            const std::uint32_t id = std::uint32_t(l.take(version < 2 ? 2 : 4));
            const int method = version == 0 ? 0 : int(l.take(2) & 0xf);
            l.skip(2); // data reference index
            const std::uint64_t base = l.take(baseSize);
            const std::uint64_t extents = l.take(2);
            if (id != wanted) {
                l.skip(qsizetype(extents) * (indexSize + offsetSize + lengthSize));
                continue;
            }
            if (extents == 0 || extents > ExtentLimit || (method != 0 && method != 1))
                return {};
            QByteArray out;
            for (std::uint64_t e = 0; e < extents && !l.failed(); ++e) {
                l.skip(indexSize);
                const std::uint64_t offset = l.take(offsetSize);
                const std::uint64_t length = l.take(lengthSize);
                const std::uint64_t from = method == 0 ? 0 : idatStart, to = method == 0 ? m_size : idatEnd;
                // Every sum checked before it is made: the values are the file's.
                if (base > to - from || offset > to - from - base)
                    return {};
                const std::uint64_t at = from + base + offset;
                if (length == 0 || length > to - at || std::uint64_t(out.size()) + length > std::uint64_t(ExifLimit))
                    return {};
                const QByteArray part = readBytes(at, std::int64_t(length));
                if (std::uint64_t(part.size()) != length)
                    return {};
                out += part;
            }
            return l.failed() ? QByteArray() : out;
        }
        return {};
    }

    const ReadAt &m_read;
    std::uint64_t m_size;
    Result *m_result = nullptr;
    int m_boxes = 0;
};

} // namespace

bool looksLikeBmff(const char *head, std::size_t size) {
    if (size < 12)
        return false;
    const QByteArray type(head + 4, 4);
    if (type == "ftyp")
        return true;
    // QuickTime files older than the file-type box start with one of these.
    return type == "moov" || type == "mdat" || type == "wide" || type == "free" || type == "skip" || type == "pnot";
}

Result read(const ReadAt &read, std::uint64_t fileSize) {
    return Walker(read, fileSize).run();
}

Result readBuffer(const std::uint8_t *data, std::size_t size) {
    const ReadAt fromMemory = [&](std::uint64_t offset, char *out, std::int64_t length) -> std::int64_t {
        if (offset >= size)
            return 0;
        const std::size_t n = std::min<std::size_t>(std::size_t(length), size - std::size_t(offset));
        std::memcpy(out, data + offset, n);
        return std::int64_t(n);
    };
    return Walker(fromMemory, size).run();
}

QByteArray movieDateText(std::uint64_t seconds) {
    if (seconds >= EpochOffset)
        seconds -= EpochOffset;
    if (seconds == 0)
        return QByteArrayLiteral("0000:00:00 00:00:00");
    struct tm t {};
    const time_t when = time_t(std::min<std::uint64_t>(seconds, 253402300799ULL)); // up to 9999-12-31
    if (!gmtime_r(&when, &t))
        return {};
    char text[64];
    std::snprintf(text, sizeof text, "%04d:%02d:%02d %02d:%02d:%02d", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday,
                  t.tm_hour, t.tm_min, t.tm_sec);
    return text;
}

} // namespace tav::Bmff
