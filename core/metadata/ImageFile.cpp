#include "core/metadata/ImageFile.h"

#include <zlib.h>

namespace tav::Exif {

namespace {

bool startsWith(const QByteArray &bytes, qsizetype at, qsizetype length, QByteArrayView prefix) {
    return length >= prefix.size() && QByteArrayView(bytes).sliced(at, prefix.size()) == prefix;
}

// zlib data inflated, at most limit bytes of it; false when damaged.
bool inflated(QByteArrayView data, qsizetype limit, QByteArray &out) {
    z_stream z{};
    if (inflateInit(&z) != Z_OK)
        return false;
    z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.data()));
    z.avail_in = uInt(data.size());
    out.resize(limit);
    z.next_out = reinterpret_cast<Bytef *>(out.data());
    z.avail_out = uInt(limit);
    const int status = inflate(&z, Z_FINISH);
    out.truncate(qsizetype(z.total_out));
    inflateEnd(&z);
    return status == Z_STREAM_END;
}

// Whether ExifTool reports a PNG text keyword under the label Comment. It
// takes "Comment", and "comment" with its first letter raised; any other
// keyword becomes a tag of its own whose label is the keyword without the
// characters a tag name cannot hold, first letter raised, split into words
// where the case changes: only "COMMENT" reads as Comment again.
bool isCommentKeyword(QByteArrayView keyword) {
    QByteArray name;
    for (char ch : keyword)
        if ((ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9') || ch == '-' || ch == '_')
            name += ch;
    if (name.isEmpty())
        return false;
    if (name[0] >= 'a' && name[0] <= 'z')
        name[0] = char(name[0] - 'a' + 'A');
    return name == "Comment" || name == "COMMENT";
}

} // namespace

JpegSegments walkJpeg(OpenedFile &file) {
    static constexpr QByteArrayView ExifHeader("Exif\0\0", 6);
    static constexpr QByteArrayView XmpHeader("http://ns.adobe.com/xap/1.0/\0", 29);
    struct Segment {
        uchar marker = 0;
        qsizetype at = 0, length = 0;
    };
    JpegSegments found;
    const QByteArray &b = file.bytes();
    const auto use = [&](const Segment &s, const Segment *next) {
        if (s.marker == 0xe1) {
            if (startsWith(b, s.at, s.length, ExifHeader)) {
                const bool continued = next && next->marker == 0xe1 &&
                                       startsWith(b, next->at, next->length, ExifHeader) &&
                                       !startsWith(b, next->at + 6, next->length - 6, QByteArrayView("MM\0*", 4)) &&
                                       !startsWith(b, next->at + 6, next->length - 6, QByteArrayView("II*\0", 4));
                if (found.exifAt >= 0 || continued)
                    found.unusual = true;
                found.exifAt = s.at + 6;
                found.exifLength = s.length - 6;
            } else if (startsWith(b, s.at, s.length, XmpHeader)) {
                if (found.xmpAt >= 0)
                    found.unusual = true;
                found.xmpAt = s.at + XmpHeader.size();
                found.xmpLength = s.length - XmpHeader.size();
            } else {
                // EXIF behind a few stray bytes, in any case; XMP without
                // its header, or extended.
                const QByteArrayView head = QByteArrayView(b).sliced(s.at, qMin<qsizetype>(s.length, 9));
                const QByteArray lower = head.toByteArray().toLower();
                if (lower.contains(QByteArrayView("exif\0", 5)) || head.startsWith("http") || head.startsWith("XMP"))
                    found.unusual = true;
                else if (QByteArrayView(b).sliced(s.at, s.length).contains("<exif:") ||
                         QByteArrayView(b).sliced(s.at, s.length).contains("<?xpacket"))
                    found.unusual = true;
            }
        } else if ((s.marker & 0xf0) == 0xc0 && (s.marker == 0xc0 || (s.marker & 0x03)) && s.length >= 6) {
            found.height = (uchar(b[s.at + 1]) << 8) | uchar(b[s.at + 2]);
            found.width = (uchar(b[s.at + 3]) << 8) | uchar(b[s.at + 4]);
        } else if (s.marker == 0xfe) {
            if (found.commentAt < 0) {
                found.commentAt = s.at;
                found.commentLength = s.length;
            }
        } else if (s.marker == 0xea && startsWith(b, s.at, s.length, "UNICODE\0")) {
            found.unusual = true; // a comment in another segment
        }
    };

    qsizetype pos = 2;
    std::optional<Segment> current;
    for (;;) {
        if (current && (current->marker == 0xd9 || current->marker == 0xda))
            break;
        // Up to the next marker: skipped bytes, then any 0xff fill.
        qsizetype ff = -1;
        while (ff < 0) {
            if (!file.readUpTo(pos + 1)) {
                found.unusual = true;
                return found;
            }
            if (pos >= b.size())
                return found;
            ff = b.indexOf(char(0xff), pos);
            if (ff < 0)
                pos = b.size();
            if (ff < 0 && file.whole())
                return found;
        }
        pos = ff + 1;
        uchar marker = 0xff;
        while (marker == 0xff) {
            if (!file.readUpTo(pos + 1)) {
                found.unusual = true;
                return found;
            }
            if (pos >= b.size())
                return found;
            marker = uchar(b[pos++]);
        }
        Segment next{marker, pos, 0};
        const bool bare = marker == 0x00 || marker == 0x01 || (marker >= 0xd0 && marker <= 0xda);
        if (!bare) {
            if (!file.readUpTo(pos + 2)) {
                found.unusual = true;
                return found;
            }
            if (pos + 2 > b.size())
                return found;
            const qsizetype length = (uchar(b[pos]) << 8) | uchar(b[pos + 1]);
            if (length < 2)
                return found;
            next.at = pos + 2;
            next.length = length - 2;
            if (!file.readUpTo(next.at + next.length)) {
                found.unusual = true;
                return found;
            }
            if (next.at + next.length > b.size())
                return found;
            pos = next.at + next.length;
        }
        if (current)
            use(*current, &next);
        current = next;
    }
    return found;
}

// ExifTool's Comment of a PNG file, in UTF-8: the text of the last tEXt, zTXt
// or iTXt chunk (one without a language) whose keyword is "Comment",
// wherever it is in the file. Chunks of text past a megabyte are not read.
std::optional<QByteArray> pngComment(const OpenedFile &file) {
    constexpr qint64 TextLimit = 1024 * 1024;
    constexpr int ChunkLimit = 100000;
    std::optional<QByteArray> comment;
    qint64 pos = 8;
    for (int n = 0; n < ChunkLimit && pos + 12 <= file.size(); ++n) {
        const QByteArray head = file.readAt(pos, 8);
        if (head.size() < 8)
            break;
        const qint64 length =
            qint64(quint32(uchar(head[0])) << 24 | uchar(head[1]) << 16 | uchar(head[2]) << 8 | uchar(head[3]));
        const QByteArrayView type = QByteArrayView(head).sliced(4);
        if (length > file.size() - pos - 12 || type == "IEND")
            break;
        if ((type == "tEXt" || type == "zTXt" || type == "iTXt") && length <= TextLimit) {
            const QByteArray data = file.readAt(pos + 8, length);
            const qsizetype nul = data.indexOf('\0');
            if (nul >= 0 && isCommentKeyword(QByteArrayView(data).first(nul))) {
                const QByteArrayView rest = QByteArrayView(data).sliced(nul + 1);
                QByteArray text;
                if (type == "tEXt") {
                    text = QString::fromLatin1(rest).toUtf8();
                    comment = text;
                } else if (type == "zTXt") {
                    if (!rest.isEmpty() && rest[0] == 0 && inflated(rest.sliced(1), TextLimit, text))
                        comment = QString::fromLatin1(text).toUtf8();
                } else if (rest.size() >= 2) {
                    const bool compressed = rest[0] != 0;
                    const QByteArrayView tail = rest.sliced(2);
                    const qsizetype language = tail.indexOf('\0');
                    const qsizetype translated = language < 0 ? -1 : tail.indexOf('\0', language + 1);
                    if (language == 0 && translated >= 0) {
                        const QByteArrayView value = tail.sliced(translated + 1);
                        if (!compressed)
                            comment = value.toByteArray();
                        else if (inflated(value, TextLimit, text))
                            comment = text;
                    }
                }
            }
        }
        pos += 12 + length;
    }
    return comment;
}

} // namespace tav::Exif
