// travoline-reader: parses the files travoline is asked about (photo
// metadata, thumbnails) in a process of its own, so that a file that crashes
// or hangs a parser costs that file only. Requests come on standard input,
// answers go to standard output, one per request in order (the framing is
// ReaderProcess's), sent together when no more requests are waiting. Started
// by travoline and travoline-cli, not by users.

#include "core/base/MetadataRecord.h"
#include "core/metadata/BuiltinReader.h"
#include "core/metadata/ReaderProcess.h"
#include "gui/widgets/ThumbnailCache.h"
#include "reader/Sandbox.h"

#include <QCoreApplication>
#include <QFile>
#include <QImage>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

using namespace tav;

namespace {

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

QByteArray metadata(const QByteArray &path) {
    Exif::BuiltinResult result = Exif::BuiltinResult::Unreadable;
    const Exif::RecordBytes fields = Exif::readBuiltinBytes(path, &result);
    return ReaderWire::encodeRecord(result == Exif::BuiltinResult::Read, fields);
}

// The word shared with the program (descriptor 3, given with --progress):
// which request is being parsed, since when.
std::atomic<quint64> *sharedProgress() {
    void *word = ::mmap(nullptr, sizeof(quint64), PROT_READ | PROT_WRITE, MAP_SHARED, 3, 0);
    ::close(3);
    return word == MAP_FAILED ? nullptr : static_cast<std::atomic<quint64> *>(word);
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

    std::atomic<quint64> *progress = argc > 1 && std::strcmp(argv[1], "--progress") == 0 ? sharedProgress() : nullptr;

    QCoreApplication app(argc, argv);
    const QStringList applied = sandbox::apply(thumbs::cacheFolder());
    if (argc > 1 && std::strcmp(argv[1], "--sandbox") == 0) {
        std::fprintf(stderr, "%s\n", applied.join(QLatin1Char(' ')).toLatin1().constData());
        return 0;
    }
    if (in < 0 || out < 0)
        return 2;

    // Answers wait in outgoing until no whole request is left to read, or
    // they grow large: one write, and one wake-up of the program, for many.
    // The shared word tells the program which file failed if this process
    // dies or hangs with answers not sent.
    constexpr qsizetype FlushBytes = 256 * 1024;
    QByteArray incoming, outgoing;
    qsizetype at = 0;
    for (;;) {
        const qsizetype waiting = incoming.size() - at;
        const quint32 length = waiting >= 4 ? get32(incoming.constData() + at) : 0;
        if (waiting >= 4 && (length < 20 || length > 64 * 1024))
            return 2;
        if (waiting < 4 || waiting - 4 < qsizetype(length)) {
            if (!outgoing.isEmpty() && !writeFull(out, outgoing.constData(), size_t(outgoing.size())))
                return 0;
            outgoing.clear();
            incoming.remove(0, at);
            at = 0;
            char buffer[65536];
            ssize_t r;
            do
                r = ::read(in, buffer, sizeof buffer);
            while (r < 0 && errno == EINTR);
            if (r <= 0)
                return 0;
            incoming.append(buffer, qsizetype(r));
            continue;
        }
        const char *request = incoming.constData() + at + 4;
        at += 4 + qsizetype(length);
        const auto kind = ReaderProcess::Kind(get32(request));
        const quint32 id = get32(request + 4);
        const QSize box(int(get32(request + 8)), int(get32(request + 12)));
        const int angle = int(get32(request + 16));
        const QByteArray path(request + 20, qsizetype(length) - 20);
        if (progress)
            progress->store(quint64(id + 1) << ReaderWire::ProgressShift |
                                (ReaderWire::monotonicMs() & ReaderWire::ProgressClockMask),
                            std::memory_order_release);
        QByteArray payload;
        if (kind == ReaderProcess::Kind::Thumbnail)
            payload = picture(thumbs::thumbnail(QFile::decodeName(path), box));
        else if (kind == ReaderProcess::Kind::Picture)
            payload = picture(thumbs::picture(QFile::decodeName(path), box, angle));
        else
            payload = metadata(path);
        put32(outgoing, quint32(payload.size() + 4));
        put32(outgoing, id);
        outgoing += payload;
        // Without the shared word a failure would be blamed on the first
        // answer not sent: every answer goes at once.
        if (!progress || outgoing.size() >= FlushBytes) {
            if (!writeFull(out, outgoing.constData(), size_t(outgoing.size())))
                return 0;
            outgoing.clear();
        }
    }
}
