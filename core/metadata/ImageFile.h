#pragma once
// A photo file's own structure, walked without the metadata library: the file
// opened once with the bytes read so far, the metadata segments of a JPEG
// file, and the comment of a PNG file.

#include <QByteArray>
#include <QFile>
#include <QString>

#include <cerrno>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace tav::Exif {

// A file opened once: its status and the bytes read so far from its start.
// One open, one fstat and usually one read per file; the library's own
// opening costs more than parsing the metadata.
class OpenedFile {
public:
    explicit OpenedFile(const QString &path) : OpenedFile(QFile::encodeName(path)) {}
    explicit OpenedFile(const QByteArray &path) {
        m_fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
        if (m_fd >= 0 && (::fstat(m_fd, &m_status) != 0 || !S_ISREG(m_status.st_mode))) {
            ::close(m_fd);
            m_fd = -1;
        }
    }
    ~OpenedFile() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    OpenedFile(const OpenedFile &) = delete;
    OpenedFile &operator=(const OpenedFile &) = delete;

    bool isOpen() const { return m_fd >= 0; }
    qint64 size() const { return qint64(m_status.st_size); }
    time_t modified() const { return m_status.st_mtime; }
    const QByteArray &bytes() const { return m_bytes; }
    bool whole() const { return m_bytes.size() >= size(); }

    // Makes the first n bytes (or the whole file, if shorter) available.
    // False past ReadLimit: a file whose metadata would need more is left to
    // the library, which reads from the file itself.
    bool readUpTo(qint64 n) {
        n = qMin(n, size());
        if (n <= m_bytes.size())
            return true;
        if (n > ReadLimit)
            return false;
        const qint64 want = qMin(size(), qMax(n, qMin<qint64>(ReadLimit, m_bytes.size() * 2 + ChunkBytes)));
        const qsizetype had = m_bytes.size();
        m_bytes.resize(want);
        qsizetype got = had;
        while (got < want) {
            const ssize_t r = ::pread(m_fd, m_bytes.data() + got, size_t(want - got), off_t(got));
            if (r < 0 && errno == EINTR)
                continue;
            if (r <= 0)
                break;
            got += r;
        }
        m_bytes.truncate(got);
        // A file that shrank since fstat: what is there is all there is.
        if (got < want)
            m_status.st_size = got;
        return n <= got;
    }

    // Up to length bytes at offset, read apart from the bytes above.
    QByteArray readAt(qint64 offset, qint64 length) const {
        QByteArray out(qsizetype(qMax<qint64>(0, qMin(length, size() - offset))), Qt::Uninitialized);
        qsizetype got = 0;
        while (got < out.size()) {
            const ssize_t r = ::pread(m_fd, out.data() + got, size_t(out.size() - got), off_t(offset + got));
            if (r < 0 && errno == EINTR)
                continue;
            if (r <= 0)
                break;
            got += r;
        }
        out.truncate(got);
        return out;
    }

    static constexpr qint64 ChunkBytes = 64 * 1024;
    static constexpr qint64 ReadLimit = 16 * 1024 * 1024;

private:
    int m_fd = -1;
    struct stat m_status {};
    QByteArray m_bytes;
};

// The metadata segments of a JPEG file, found the way ExifTool walks them, so
// that a truncated or damaged file gives the same fields in both modes: bytes
// before a marker are skipped, a segment counts only once the next one's
// header and data were read whole, and the walk ends at the start of the
// picture data.
struct JpegSegments {
    qsizetype exifAt = -1, exifLength = 0;       // the TIFF block of the EXIF segment
    qsizetype xmpAt = -1, xmpLength = 0;         // the XMP packet
    qsizetype commentAt = -1, commentLength = 0; // the first comment segment
    long width = 0, height = 0;                  // from the frame header
    // Something this walk does not follow (EXIF in several segments or with
    // an odd header, extended XMP, two EXIF blocks...): the library reads it.
    bool unusual = false;
};

JpegSegments walkJpeg(OpenedFile &file);

// ExifTool's Comment of a PNG file, in UTF-8: the text of the last tEXt, zTXt
// or iTXt chunk (one without a language) whose keyword is "Comment",
// wherever it is in the file. Chunks of text past a megabyte are not read.
std::optional<QByteArray> pngComment(const OpenedFile &file);

} // namespace tav::Exif
