#include "gui/widgets/ThumbnailCache.h"

#include "core/base/Version.h"
#include "core/metadata/EmbeddedPreview.h"
#include "core/metadata/ReaderProcess.h"
#include "core/rename/RenameFileMove.h"
#include "gui/widgets/ImageDecode.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QMimeDatabase>
#include <QSet>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

namespace tav::thumbs {

namespace {

constexpr std::array<Flavour, 4> Flavours{{{"normal", 128}, {"large", 256}, {"x-large", 512}, {"xx-large", 1024}}};

std::atomic<int> fromCache{0}, fromEmbedded{0}, fromDecoding{0}, failures{0};

struct Stamp {
    qint64 mtime = 0;
    qint64 size = 0;
};

bool stampOf(const QString &path, Stamp &out) {
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    out.mtime = qint64(st.st_mtime);
    out.size = qint64(st.st_size);
    return true;
}

QString absolute(const QString &path) {
    return QDir::cleanPath(path.startsWith(u'/') ? path : QFileInfo(path).absoluteFilePath());
}

bool under(QStringView path, QStringView folder) {
    if (folder.endsWith(u'/'))
        return path.startsWith(folder);
    return path.size() > folder.size() && path.startsWith(folder) && path[folder.size()] == u'/';
}

bool onRemovableMedia(QStringView path) {
    return under(path, u"/media") || under(path, u"/run/media") || under(path, u"/mnt");
}

QByteArray entryFileName(const QString &uri) {
    return QCryptographicHash::hash(uri.toUtf8(), QCryptographicHash::Md5).toHex() + ".png";
}

QString entryName(const QString &uri) {
    return QString::fromLatin1(entryFileName(uri));
}

// The names a cache folder holds (none when it is missing).
QSet<QByteArray> entriesIn(const QString &folder) {
    QSet<QByteArray> names;
    DIR *dir = ::opendir(QFile::encodeName(folder).constData());
    if (!dir)
        return names;
    while (const dirent *e = ::readdir(dir))
        if (e->d_name[0] != '.')
            names.insert(QByteArray(e->d_name));
    ::closedir(dir);
    return names;
}

QString failureFolder(const QString &root) {
    return root + QStringLiteral("/fail/travoline-") + QLatin1String(VersionText);
}

QString flavourFolder(const QString &root, const Flavour &flavour) {
    return root + QLatin1Char('/') + QLatin1String(flavour.folder);
}

QString uriOfAbsolute(const QString &path) {
    // Kept as they are: letters, digits, "-_.~", "/" and "!$&'()*+,=:@".
    static const std::array<bool, 256> kept = [] {
        std::array<bool, 256> table{};
        for (int c = 0; c < 256; ++c)
            table[size_t(c)] = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                               std::strchr("-_.~/!$&'()*+,=:@", c) != nullptr;
        table[0] = false;
        return table;
    }();
    const QByteArray bytes = QFile::encodeName(path);
    QByteArray out = "file://";
    out.reserve(bytes.size() + 16);
    for (const char c : bytes) {
        const auto u = quint8(c);
        if (kept[u]) {
            out.append(c);
        } else {
            out.append('%');
            out.append("0123456789ABCDEF"[u >> 4]);
            out.append("0123456789ABCDEF"[u & 15]);
        }
    }
    return QString::fromLatin1(out);
}

struct EntryKeys {
    QString uri, mtime, size;
    bool complete() const { return !uri.isEmpty() && !mtime.isEmpty(); }
};

quint32 bigEndian(const char *p) {
    return quint32(quint8(p[0])) << 24 | quint32(quint8(p[1])) << 16 | quint32(quint8(p[2])) << 8 | quint8(p[3]);
}

// The keys in the plain tEXt chunks before the picture data, read without
// decoding. (The image reader's own text look-up cannot be used: it splits
// keys at their first colon.)
EntryKeys plainKeys(const QByteArray &png) {
    EntryKeys keys;
    if (!png.startsWith("\x89PNG\r\n\x1a\n"))
        return keys;
    for (qsizetype at = 8; at + 12 <= png.size();) {
        const qsizetype length = bigEndian(png.constData() + at);
        const QByteArrayView type(png.constData() + at + 4, 4);
        if (type == "IDAT" || at + 12 + length > png.size())
            break;
        if (type == "tEXt") {
            const QByteArrayView data(png.constData() + at + 8, length);
            const qsizetype nul = data.indexOf('\0');
            const QByteArrayView key = nul < 0 ? QByteArrayView() : data.first(nul);
            const QString value = nul < 0 ? QString() : QString::fromLatin1(data.sliced(nul + 1));
            if (key == "Thumb::URI")
                keys.uri = value;
            else if (key == "Thumb::MTime")
                keys.mtime = value;
            else if (key == "Thumb::Size")
                keys.size = value;
        }
        at += 12 + length;
    }
    return keys;
}

// Whether the keys describe this file as it is now: same URI, same
// modification time, and same size when they record one.
bool describes(const EntryKeys &keys, const QString &uri, const Stamp &stamp) {
    bool ok = false;
    if (keys.uri != uri || keys.mtime.trimmed().toLongLong(&ok) != stamp.mtime || !ok)
        return false;
    return keys.size.isEmpty() || keys.size.trimmed().toLongLong() == stamp.size;
}

// The keys of an entry. Keys in compressed chunks or after the picture are
// found by decoding it, which then is left in decoded.
EntryKeys keysOf(const QByteArray &png, QImage &decoded) {
    EntryKeys keys = plainKeys(png);
    if (!keys.complete()) {
        decoded = QImage::fromData(png, "png");
        keys = {decoded.text(QStringLiteral("Thumb::URI")), decoded.text(QStringLiteral("Thumb::MTime")),
                decoded.text(QStringLiteral("Thumb::Size"))};
    }
    return keys;
}

// The entry's picture when it describes the file (see describes), else null.
QImage readEntry(const QString &entry, const QString &uri, const Stamp &stamp) {
    QFile file(entry);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray png = file.readAll();
    QImage image;
    if (!describes(keysOf(png, image), uri, stamp))
        return {};
    return image.isNull() ? QImage::fromData(png, "png") : image;
}

void appendBigEndian(QByteArray &out, quint32 v) {
    out.append(char(v >> 24)).append(char(v >> 16)).append(char(v >> 8)).append(char(v));
}

QByteArray chunk(const char *type, const QByteArray &data) {
    const QByteArray body = type + data;
    QByteArray out;
    appendBigEndian(out, quint32(data.size()));
    out += body;
    appendBigEndian(out, quint32(::crc32(0, reinterpret_cast<const Bytef *>(body.constData()), uInt(body.size()))));
    return out;
}

// The picture as an 8-bit RGB (or RGBA) PNG, the cache's keys in plain tEXt
// chunks before the picture data, where every reader finds them (some look
// at no other kind of text chunk). Each row is stored with the "Sub" filter
// and light compression: read back many times, such a file decodes about
// twice as fast as one whose rows were filtered to be smallest.
QByteArray encodeEntry(const QImage &image, const QList<std::pair<QByteArray, QByteArray>> &keys) {
    if (image.isNull())
        return {};
    const bool alpha = image.hasAlphaChannel();
    const QImage pixels = image.convertToFormat(alpha ? QImage::Format_RGBA8888 : QImage::Format_RGB888);
    const int channels = alpha ? 4 : 3;
    const qsizetype rowBytes = qsizetype(pixels.width()) * channels;
    QByteArray rows;
    rows.reserve((rowBytes + 1) * pixels.height());
    for (int y = 0; y < pixels.height(); ++y) {
        const uchar *row = pixels.constScanLine(y);
        rows.append(char(1)); // Sub: each byte less the same byte of the pixel on its left
        for (qsizetype i = 0; i < rowBytes; ++i)
            rows.append(char(i < channels ? row[i] : uchar(row[i] - row[i - channels])));
    }
    QByteArray header;
    appendBigEndian(header, quint32(pixels.width()));
    appendBigEndian(header, quint32(pixels.height()));
    header.append(char(8)).append(char(alpha ? 6 : 2)).append(char(0)).append(char(0)).append(char(0));

    QByteArray png("\x89PNG\r\n\x1a\n", 8);
    png += chunk("IHDR", header);
    for (const auto &[key, value] : keys)
        png += chunk("tEXt", key + '\0' + value);
    // A zlib stream, as the picture data is; qCompress puts its length first.
    png += chunk("IDAT", qCompress(rows, 3).sliced(4));
    png += chunk("IEND", {});
    return png;
}

// The same PNG with uri as its Thumb::URI: every text chunk of that key goes
// (plain, compressed or international, wherever it is) and a plain one comes
// right after the header. Every other chunk is kept as it is, its CRC with it.
QByteArray withUri(const QByteArray &png, const QString &uri) {
    if (!png.startsWith("\x89PNG\r\n\x1a\n"))
        return {};
    QByteArray out = png.first(8);
    for (qsizetype at = 8; at + 12 <= png.size();) {
        const qsizetype length = bigEndian(png.constData() + at);
        if (at + 12 + length > png.size())
            return {};
        const QByteArrayView type(png.constData() + at + 4, 4);
        const QByteArrayView data(png.constData() + at + 8, length);
        const bool text = type == "tEXt" || type == "zTXt" || type == "iTXt";
        if (!(text && data.startsWith(QByteArrayView("Thumb::URI\0", 11))))
            out.append(png.constData() + at, 12 + length);
        if (type == "IHDR")
            out += chunk("tEXt", QByteArray("Thumb::URI") + '\0' + uri.toLatin1());
        if (type == "IEND")
            return out;
        at += 12 + length;
    }
    return {};
}

// Creates the missing folders of path, each readable by the user alone.
bool makeFolder(const QString &path) {
    const QByteArray native = QFile::encodeName(path);
    struct stat st;
    if (::stat(native.constData(), &st) == 0)
        return S_ISDIR(st.st_mode);
    const QString parent = QFileInfo(path).path();
    if (parent == path || !makeFolder(parent))
        return false;
    if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST)
        return false;
    return true;
}

// Written whole to a temporary file beside the entry, then renamed over it:
// a reader sees the old entry or the new one, never half of one.
bool writeAtomically(const QString &entry, const QByteArray &bytes) {
    if (bytes.isEmpty() || !makeFolder(QFileInfo(entry).path()))
        return false;
    QByteArray temp = QFile::encodeName(entry) + ".XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0)
        return false;
    bool ok = ::fchmod(fd, 0600) == 0 && writeAllTo(fd, bytes);
    ok = ::close(fd) == 0 && ok;
    ok = ok && ::rename(temp.constData(), QFile::encodeName(entry).constData()) == 0;
    if (!ok)
        ::unlink(temp.constData());
    return ok;
}

QList<std::pair<QByteArray, QByteArray>> keysFor(const QString &path, const QString &uri, const Stamp &stamp) {
    QList<std::pair<QByteArray, QByteArray>> keys{
        {"Thumb::URI", uri.toLatin1()},
        {"Thumb::MTime", QByteArray::number(stamp.mtime)},
        {"Thumb::Size", QByteArray::number(stamp.size)},
    };
    static const QMimeDatabase mimes;
    const QString mime = mimes.mimeTypeForFile(path, QMimeDatabase::MatchExtension).name();
    if (!mime.isEmpty() && mime != QLatin1String("application/octet-stream"))
        keys.append({"Thumb::Mimetype", mime.toLatin1()});
    keys.append({"Software", QByteArray("Travoline ") + VersionText});
    return keys;
}

// Whether the image readers take files named so: only their failures are
// worth recording (a text file clicked in the preview is not a broken picture).
bool pictureType(const QString &path) {
    static const QList<QByteArray> formats = QImageReader::supportedImageFormats();
    return formats.contains(QFileInfo(path).suffix().toLower().toLatin1());
}

// The picture fitted in box, larger or smaller.
QImage fitted(const QImage &image, QSize box) {
    if (image.isNull())
        return image;
    const QSize target = image.size().scaled(box, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
    return target == image.size() ? image : image.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

// The picture shrunk to fit in box, never enlarged.
QImage shrunk(const QImage &image, QSize box) {
    if (image.width() <= box.width() && image.height() <= box.height())
        return image;
    return fitted(image, box);
}

} // namespace

Flavour flavourFor(QSize box) {
    const int edge = std::max(box.width(), box.height());
    for (const Flavour &f : Flavours)
        if (edge <= f.edge)
            return f;
    return Flavours.back();
}

QString cacheFolder() {
    QString base = qEnvironmentVariable("XDG_CACHE_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.cache");
    return QDir::cleanPath(base) + QStringLiteral("/thumbnails");
}

QString fileUri(const QString &path) {
    return uriOfAbsolute(absolute(path));
}

QString entryPath(const QString &path, const Flavour &flavour) {
    return flavourFolder(cacheFolder(), flavour) + QLatin1Char('/') + entryName(fileUri(path));
}

QString failurePath(const QString &path) {
    return failureFolder(cacheFolder()) + QLatin1Char('/') + entryName(fileUri(path));
}

namespace {

// The thumbnail of file from the shared cache, or its recorded failure;
// nothing when it has to be made.
std::optional<Thumbnail> lookUp(const QString &file, const Stamp &stamp, QSize box) {
    const QString root = cacheFolder();
    if (under(file, root))
        return std::nullopt;
    const QString uri = uriOfAbsolute(file);
    const QString name = entryName(uri);
    const Flavour flavour = flavourFor(box);
    // This size first, then the larger ones shrunk.
    for (auto f = Flavours.begin(); f != Flavours.end(); ++f) {
        if (f->edge < flavour.edge)
            continue;
        const QImage entry = readEntry(flavourFolder(root, *f) + QLatin1Char('/') + name, uri, stamp);
        if (!entry.isNull()) {
            ++fromCache;
            return Thumbnail{fitted(entry, box), Source::Cache};
        }
    }
    if (!onRemovableMedia(file)) {
        // A failure is only recorded for the file as it was then.
        QFile record(failureFolder(root) + QLatin1Char('/') + name);
        if (record.open(QIODevice::ReadOnly) && describes(plainKeys(record.read(4096)), uri, stamp)) {
            ++failures;
            return Thumbnail{{}, Source::KnownFailure};
        }
    }
    return std::nullopt;
}

// The file's stamp, and the answer when there is one without making a
// thumbnail: a file that cannot be read, a cache entry or a recorded failure.
std::optional<Thumbnail> stampAndLookUp(const QString &file, QSize box, Stamp &stamp) {
    if (!stampOf(file, stamp)) {
        ++failures;
        return Thumbnail{};
    }
    return lookUp(file, stamp, box);
}

// The helper of each calling thread, started at its first photo. It may
// write into the cache folder it was started for only: another one (the
// environment changed) needs a new helper.
ReaderProcess &threadReader() {
    thread_local ReaderProcess reader;
    thread_local QString startedFor;
    const QString folder = cacheFolder();
    if (folder != startedFor) {
        reader.stop();
        startedFor = folder;
    }
    return reader;
}

quint32 get32(const QByteArray &b, qsizetype at) {
    const auto *p = reinterpret_cast<const uchar *>(b.constData() + at);
    return quint32(p[0]) | quint32(p[1]) << 8 | quint32(p[2]) << 16 | quint32(p[3]) << 24;
}

// A picture made by the helper: its source, then its pixels.
Thumbnail askReader(const ReaderProcess::Request &request) {
    const ReaderProcess::Reply reply = threadReader().runOne(request);
    const QByteArray &p = reply.payload;
    if (reply.outcome != ReaderProcess::Outcome::Answered || p.size() < 16) {
        ++failures;
        return {};
    }
    const Source source = Source(get32(p, 0));
    const auto format = QImage::Format(get32(p, 4));
    const int width = int(get32(p, 8)), height = int(get32(p, 12));
    if (width <= 0 || height <= 0 || width > 4096 || height > 4096 ||
        (format != QImage::Format_RGB32 && format != QImage::Format_ARGB32_Premultiplied) ||
        p.size() - 16 != qsizetype(width) * height * 4) {
        ++failures;
        return {{}, source == Source::KnownFailure ? Source::KnownFailure : Source::Failed};
    }
    QImage image(width, height, format);
    for (int y = 0; y < height; ++y)
        std::memcpy(image.scanLine(y), p.constData() + 16 + qsizetype(y) * width * 4, size_t(width) * 4);
    if (source == Source::Embedded)
        ++fromEmbedded;
    else if (source == Source::Decoded)
        ++fromDecoding;
    else if (source == Source::Cache)
        ++fromCache;
    return {image, source};
}

} // namespace

Thumbnail thumbnailOutside(const QString &path, QSize box) {
    const QString file = absolute(path);
    Stamp stamp;
    if (auto known = stampAndLookUp(file, box, stamp))
        return *known;
    return askReader({ReaderProcess::Kind::Thumbnail, file, box});
}

Thumbnail picture(const QString &path, QSize box, int angle) {
    const int own = preview::ownOrientation(path);
    // A record that names no turn for a mirrored photo could not name the
    // mirror either (the tools leave it out): the file's own orientation serves.
    if (angle == preview::angleOfOrientation(own) || (angle == 0 && preview::isMirrored(own)))
        return thumbnail(path, box);
    const QImage image = preview::turned(preview::loadScaled(path, preview::loadSize(box, angle)), angle);
    return {image, image.isNull() ? Source::Failed : Source::Decoded};
}

Thumbnail pictureOutside(const QString &path, QSize box, int angle) {
    return askReader({ReaderProcess::Kind::Picture, absolute(path), box, angle});
}

Thumbnail thumbnail(const QString &path, QSize box) {
    const QString file = absolute(path);
    Stamp stamp;
    if (auto known = stampAndLookUp(file, box, stamp))
        return *known;
    const QString root = cacheFolder();
    const bool inCache = under(file, root);
    const bool store = !inCache && !onRemovableMedia(file);
    const Flavour flavour = flavourFor(box);
    const QString uri = uriOfAbsolute(file);
    const QString name = entryName(uri);

    // What is stored is the cache's size; without storing, the size shown.
    const QSize made = store ? QSize(flavour.edge, flavour.edge) : box;
    QImage picture;
    Source source = Source::Decoded;
    if (const auto preview = Exif::embeddedPreview(file, made)) {
        QImage stored;
        if (stored.loadFromData(preview->data)) {
            picture = shrunk(preview::upright(stored, preview->orientation), made);
            source = Source::Embedded;
        }
    }
    if (picture.isNull())
        picture = preview::thumbnailFromFile(file, made, false);

    if (picture.isNull()) {
        ++failures;
        if (store && pictureType(file)) {
            QImage blank(1, 1, QImage::Format_ARGB32);
            blank.fill(Qt::transparent);
            writeAtomically(failureFolder(root) + QLatin1Char('/') + name,
                            encodeEntry(blank, keysFor(file, uri, stamp)));
        }
        return {{}, Source::Failed};
    }
    ++(source == Source::Embedded ? fromEmbedded : fromDecoding);
    if (store) {
        auto keys = keysFor(file, uri, stamp);
        writeAtomically(flavourFolder(root, flavour) + QLatin1Char('/') + name, encodeEntry(picture, keys));
    }
    return {fitted(picture, box), source};
}

void moveEntries(const QList<std::pair<QString, QString>> &renames) {
    RenamedFiles files;
    for (const auto &[oldPath, newPath] : renames)
        files.append(oldPath, newPath);
    moveEntries(QList<RenamedFiles>{files});
}

void moveEntries(const QList<RenamedFiles> &batches) {
    const QString root = cacheFolder();
    QStringList folders;
    for (const Flavour &f : Flavours)
        folders.append(flavourFolder(root, f));
    folders.append(failureFolder(root));

    // Every old entry is read before any new one is written: within a batch
    // a file may take the name another file just left, whose entry must not
    // be overwritten before it has moved.
    struct Move {
        QString from, to;
        QByteArray png;
    };
    // Each folder's names are read once: most renamed files have no entry,
    // and trying to open five possible entries per file cost far more than
    // the renames themselves in a batch of 100,000.
    std::vector<QSet<QByteArray>> present;
    bool anyEntry = false;
    for (const QString &folder : folders) {
        present.push_back(entriesIn(folder));
        anyEntry = anyEntry || !present.back().isEmpty();
    }
    if (!anyEntry)
        return;
    QList<Move> moves;
    for (const RenamedFiles &batch : batches)
        for (qsizetype i : batch.moved) {
            const RenameItem &item = batch.items.at(i);
            const QString from = absolute(item.oldPath()), to = absolute(item.newPath());
            if (from == to || under(from, root) || under(to, root) || onRemovableMedia(from) || onRemovableMedia(to))
                continue;
            const QString oldUri = uriOfAbsolute(from);
            const QByteArray oldName = entryFileName(oldUri);
            QString newUri, newName;
            Stamp stamp; // a rename keeps the modification time and the size
            for (qsizetype f = 0; f < folders.size(); ++f) {
                if (!present[size_t(f)].contains(oldName))
                    continue;
                if (newUri.isEmpty()) {
                    if (!stampOf(to, stamp))
                        break;
                    newUri = uriOfAbsolute(to);
                    newName = entryName(newUri);
                }
                const QString &folder = folders.at(f);
                QFile file(folder + QLatin1Char('/') + QLatin1StringView(oldName));
                if (!file.open(QIODevice::ReadOnly))
                    continue;
                const QByteArray png = file.readAll();
                QImage unused;
                if (describes(keysOf(png, unused), oldUri, stamp))
                    moves.append({file.fileName(), folder + QLatin1Char('/') + newName, withUri(png, newUri)});
            }
        }
    QSet<QString> written;
    for (const Move &m : moves)
        if (writeAtomically(m.to, m.png))
            written.insert(m.to);
    for (const Move &m : moves)
        if (!written.contains(m.from))
            QFile::remove(m.from);
}

Counts counts() {
    return {fromCache.load(), fromEmbedded.load(), fromDecoding.load(), failures.load()};
}

} // namespace tav::thumbs
