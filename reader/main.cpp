// travoline-reader: parses the files travoline is asked about (photo
// metadata, thumbnails) in a process of its own, so that a file that crashes
// or hangs a parser costs that file only. Requests come on standard input,
// answers go to standard output, one per request in order (the framing is
// ReaderProcess's). Started by travoline and travoline-cli, not by users.

#include "core/base/MetadataRecord.h"
#include "core/metadata/BuiltinReader.h"
#include "core/metadata/ReaderProcess.h"
#include "gui/widgets/ThumbnailCache.h"
#include "reader/Sandbox.h"

#include <QCoreApplication>
#include <QFile>
#include <QImage>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

using namespace tav;

namespace {

bool readFull(int fd, char *out, size_t n) {
    while (n > 0) {
        const ssize_t r = ::read(fd, out, n);
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            return false;
        out += r;
        n -= size_t(r);
    }
    return true;
}

bool writeFull(int fd, const char *data, size_t n) {
    while (n > 0) {
        const ssize_t w = ::write(fd, data, n);
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0)
            return false;
        data += w;
        n -= size_t(w);
    }
    return true;
}

quint32 get32(const char *p) {
    return quint32(uchar(p[0])) | quint32(uchar(p[1])) << 8 | quint32(uchar(p[2])) << 16 | quint32(uchar(p[3])) << 24;
}

void put32(QByteArray &out, quint32 v) {
    const char b[4] = {char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
    out.append(b, 4);
}

QByteArray metadata(const QString &path) {
    Exif::BuiltinResult result = Exif::BuiltinResult::Unreadable;
    const MetadataRecord record = Exif::readBuiltin(path, &result);
    QList<QByteArray> fields;
    for (const QString &f : record.fields)
        fields << f.toUtf8();
    QByteArray out;
    put32(out, result == Exif::BuiltinResult::Read ? 1 : 0);
    return out + ReaderWire::encodeFields(fields);
}

// The source, then the picture as 32-bit pixels: width, height, the format
// (opaque or with alpha, as the picture was made), the rows.
QByteArray picture(const thumbs::Thumbnail &t) {
    QByteArray out;
    put32(out, quint32(t.source));
    const QImage::Format format =
        t.image.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32;
    const QImage image = t.image.isNull() ? QImage() : t.image.convertToFormat(format);
    put32(out, quint32(image.format()));
    put32(out, quint32(image.width()));
    put32(out, quint32(image.height()));
    for (int y = 0; y < image.height(); ++y)
        out.append(reinterpret_cast<const char *>(image.constScanLine(y)), qsizetype(image.width()) * 4);
    return out;
}

} // namespace

int main(int argc, char **argv) {
    // The answers get a descriptor of their own; anything a library prints
    // goes to standard error instead of into them.
    const int in = ::fcntl(0, F_DUPFD_CLOEXEC, 3);
    const int out = ::fcntl(1, F_DUPFD_CLOEXEC, 3);
    ::dup2(2, 1);
    const int null = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (null >= 0)
        ::dup2(null, 0);

    QCoreApplication app(argc, argv);
    const QStringList applied = sandbox::apply(thumbs::cacheFolder());
    if (argc > 1 && std::strcmp(argv[1], "--sandbox") == 0) {
        std::fprintf(stderr, "%s\n", applied.join(QLatin1Char(' ')).toLatin1().constData());
        return 0;
    }
    if (in < 0 || out < 0)
        return 2;

    for (;;) {
        char head[4];
        if (!readFull(in, head, 4))
            return 0;
        const quint32 length = get32(head);
        if (length < 20 || length > 64 * 1024)
            return 2;
        QByteArray request(qsizetype(length), Qt::Uninitialized);
        if (!readFull(in, request.data(), length))
            return 0;
        const auto kind = ReaderProcess::Kind(get32(request.constData()));
        const quint32 id = get32(request.constData() + 4);
        const QSize box(int(get32(request.constData() + 8)), int(get32(request.constData() + 12)));
        const int angle = int(get32(request.constData() + 16));
        const QString path = QFile::decodeName(request.mid(20));
        QByteArray payload;
        if (kind == ReaderProcess::Kind::Thumbnail)
            payload = picture(thumbs::thumbnail(path, box));
        else if (kind == ReaderProcess::Kind::Picture)
            payload = picture(thumbs::picture(path, box, angle));
        else
            payload = metadata(path);
        QByteArray answer;
        put32(answer, quint32(payload.size() + 4));
        put32(answer, id);
        answer += payload;
        if (!writeFull(out, answer.constData(), size_t(answer.size())))
            return 0;
    }
}
