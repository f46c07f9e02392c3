// Files and paths. The path helpers work on text only; "/" is the separator
// and "\" an ordinary character, the extension separator is the last "." of
// the whole text.

#include "orvalib/Abi.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <cerrno>
#include <dlfcn.h>
#include <fcntl.h>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>

using namespace orva;

namespace {

constexpr QChar Separator = QLatin1Char('/');
constexpr QChar Dot = QLatin1Char('.');

// The file system's name for a path, or an empty array when the text cannot
// be a path at all (it holds a NUL character).
QByteArray nativePath(const QString &path) {
    if (path.isEmpty() || path.contains(QChar(0)))
        return QByteArray();
    return QFile::encodeName(path);
}

bool fileExists(const QString &path) {
    const QByteArray native = nativePath(path);
    struct stat st;
    return !native.isEmpty() && ::lstat(native.constData(), &st) == 0;
}

bool isDir(const QString &path) {
    if (!fileExists(path))
        return false;
    struct stat st;
    return ::stat(nativePath(path).constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

QString qualifyPath(const QString &path) {
    return path.endsWith(Separator) ? path : path + Separator;
}

// Takes the first segment (everything up to and including the first
// separator) off rest and returns it; empty when rest has no separator.
QString takeSegment(QString &rest) {
    const qsizetype at = rest.indexOf(Separator);
    if (at < 0)
        return QString();
    const QString segment = rest.left(at + 1);
    rest.remove(0, at + 1);
    return segment;
}

// Windows-1252 for the bytes 0x80 to 0x9F; the five bytes it leaves
// undefined keep their own value, as the system's 8-bit code page does.
constexpr char16_t Cp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

QString decode8Bit(const QByteArray &bytes) {
    QString text(bytes.size(), Qt::Uninitialized);
    QChar *out = text.data();
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        out[i] = QChar(b >= 0x80 && b < 0xA0 ? Cp1252High[b - 0x80] : char16_t(b));
    }
    return text;
}

constexpr qsizetype MaxFileBytes = (qsizetype(1) << 30) - 64;

struct ReadError {
    int number = 0;
    QString text;
};

ReadError readError(int err) {
    switch (err) {
    case ENOENT:
    case ENOTDIR:
        return {76, QStringLiteral("Path not found")};
    case EACCES:
    case EPERM:
    case EROFS:
    case ETXTBSY:
        return {70, QStringLiteral("Permission denied")};
    case ENOSPC:
    case EDQUOT:
        return {61, QStringLiteral("Disk full")};
    case EMFILE:
    case ENFILE:
        return {67, QStringLiteral("Too many files")};
    case ENAMETOOLONG:
        return {52, QStringLiteral("Bad file name or number")};
    case EIO:
        return {57, QStringLiteral("Device I/O error")};
    case ENOMEM:
        return {7, QStringLiteral("Out of memory")};
    default:
        return {75, QStringLiteral("Path/File access error")};
    }
}

// Reads the whole file, creating it empty when it is missing. The file is
// opened read-write when allowed (as the program always has), read-only
// otherwise.
bool readWholeFile(const QString &path, QByteArray &bytes, ReadError &error) {
    const QByteArray native = nativePath(path);
    if (native.isEmpty()) {
        error = {52, QStringLiteral("Bad file name or number")};
        return false;
    }
    // O_NONBLOCK: a pipe or device at the path must not hang the caller.
    int fd = ::open(native.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0666);
    if (fd < 0) {
        const int createErr = errno;
        fd = ::open(native.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        if (fd < 0) {
            error = readError(createErr);
            return false;
        }
    }
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        error = readError(errno);
        ::close(fd);
        return false;
    }
    if (S_ISDIR(st.st_mode)) {
        error = readError(EISDIR);
        ::close(fd);
        return false;
    }
    if (!S_ISREG(st.st_mode)) { // only regular files have contents to read
        ::close(fd);
        return true;
    }
    // A returned text holds at most about 2^30 characters.
    if (st.st_size > MaxFileBytes) {
        error = readError(ENOMEM);
        ::close(fd);
        return false;
    }
    bytes.reserve(st.st_size);
    char chunk[65536];
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n == 0)
            break;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            error = readError(errno);
            ::close(fd);
            return false;
        }
        if (bytes.size() + n > MaxFileBytes) { // grew while being read (or a /proc file)
            error = readError(ENOMEM);
            ::close(fd);
            return false;
        }
        bytes.append(chunk, n);
    }
    if (::close(fd) != 0 && errno != EINTR) {
        error = readError(errno);
        return false;
    }
    return true;
}

// The folder of the C library, taken as the system's library folder.
QString systemLibraryFolder() {
    Dl_info info{};
    if (::dladdr(reinterpret_cast<void *>(&::dladdr), &info) == 0 || !info.dli_fname)
        return QString();
    QString folder = QFile::decodeName(info.dli_fname).section(Separator, 0, -2);
    const QString canonical = QDir(folder).canonicalPath();
    return canonical.isEmpty() ? folder : canonical;
}

QString configHome() {
    const QString xdg = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (xdg.startsWith(Separator)) // relative values are ignored, as XDG asks
        return QDir::cleanPath(xdg);
    return QDir::homePath() + QStringLiteral("/.config");
}

} // namespace

extern "C" {

TAV_API TavStr TavGetPath(const TavChar *path, int32_t length) {
    return guarded<TavStr>(nullptr, [&] {
        const QStringView text = argView(path, length);
        const qsizetype at = text.lastIndexOf(Separator);
        if (at < 0)
            return newText(QStringView());
        position16(at, "TavGetPath");
        return newText(text.left(at));
    });
}

TAV_API TavStr TavGetFileName(const TavChar *path, int32_t length) {
    return guarded<TavStr>(nullptr, [&] {
        const QStringView text = argView(path, length);
        const qsizetype at = text.lastIndexOf(Separator);
        if (at < 0)
            return newText(QStringView());
        position16(at, "TavGetFileName");
        return newText(text.mid(at + 1));
    });
}

TAV_API TavStr TavGetExtension(const TavChar *name, int32_t length) {
    return guarded<TavStr>(nullptr, [&] {
        const QStringView text = argView(name, length);
        const qsizetype at = text.lastIndexOf(Dot);
        if (at < 0)
            return newText(QStringView());
        position16(at, "TavGetExtension");
        return newText(text.mid(at + 1));
    });
}

TAV_API TavStr TavStrWithoutExt(const TavChar *name, int32_t length) {
    return guarded<TavStr>(nullptr, [&] {
        const QStringView text = argView(name, length);
        const qsizetype at = text.lastIndexOf(Dot);
        if (at < 0)
            return newText(text);
        position16(at, "TavStrWithoutExt");
        return newText(text.left(at));
    });
}

TAV_API TavStr TavQualifyPath(const TavChar *path, int32_t length) {
    return guarded<TavStr>(nullptr, [&] { return newText(qualifyPath(argText(path, length))); });
}

TAV_API TavBool TavFileExists(const TavChar *path, int32_t length) {
    return guarded<TavBool>(TAV_FALSE, [&] { return tavBool(fileExists(argText(path, length))); });
}

TAV_API TavBool TavIsDir(const TavChar *path, int32_t length) {
    return guarded<TavBool>(TAV_FALSE, [&] { return tavBool(isDir(argText(path, length))); });
}

TAV_API int32_t TavCreateNestedFolders(const TavChar *path, int32_t length) {
    return guarded<int32_t>(0, [&] {
        const QString text = argText(path, length);
        if (text.contains(QChar(0)))
            return 0;
        QString rest = qualifyPath(text);
        QString root;
        if (rest.startsWith(QStringLiteral("//"))) {
            // A network path: the server is the root and is never created.
            rest.remove(0, 2);
            root = QStringLiteral("//") + takeSegment(rest);
        } else if (rest.startsWith(Separator)) {
            root = takeSegment(rest);
        } else {
            // Not absolute: below the root of the current folder, not below the
            // current folder itself.
            QString current = qualifyPath(QDir::currentPath());
            root = takeSegment(current);
        }
        int32_t created = 0;
        QString folder = root;
        while (!rest.isEmpty()) {
            const QString segment = takeSegment(rest);
            if (segment.isEmpty())
                break;
            folder += segment;
            if (::mkdir(QFile::encodeName(folder).constData(), 0777) == 0)
                ++created;
        }
        return created;
    });
}

TAV_API TavStr TavCheminDossier(int32_t window, int32_t folderId) {
    Q_UNUSED(window);
    return guarded<TavStr>(nullptr, [&] {
        switch (folderId) {
        case 26:
            return newText(configHome());
        case 5:
            return newText(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));
        default:
            return newText(QString());
        }
    });
}

TAV_API TavStr TavGetTempDir(void) {
    return guarded<TavStr>(nullptr, [&] {
        const QString folder = qualifyPath(QDir::tempPath());
        // The folder must fit a buffer of 100 characters with its terminating NUL.
        return newText(folder.size() < 100 ? folder : QString());
    });
}

TAV_API TavStr TavGetSystemDirectory(void) {
    return guarded<TavStr>(nullptr, [&] {
        const QString folder = systemLibraryFolder();
        return newText(folder.size() < 255 ? folder : QString());
    });
}

TAV_API TavStr TavReadFileToBuffer(const TavChar *path, int32_t length, int16_t *errNumber, TavStr *errText) {
    return guarded<TavStr>(nullptr, [&] {
        QByteArray bytes;
        ReadError error;
        if (!readWholeFile(argText(path, length), bytes, error)) {
            TavStr description = newText(error.text);
            if (errNumber)
                *errNumber = int16_t(error.number);
            if (errText)
                *errText = description;
            else
                freeText(description);
            return newText(QString());
        }
        return newText(decode8Bit(bytes));
    });
}

TAV_API int32_t TavNumberLineInFile(const TavChar *path, int32_t length) {
    return guarded<int32_t>(0, [&] {
        const QString file = argText(path, length);
        if (!fileExists(file))
            return 0;
        QByteArray bytes;
        ReadError error;
        if (!readWholeFile(file, bytes, error))
            return 0;
        if (bytes.isEmpty())
            return -1;
        const qsizetype pairs = bytes.count("\r\n");
        const qsizetype breaks = pairs ? pairs : bytes.count('\n');
        return int32_t(qMin<qsizetype>(breaks, std::numeric_limits<int32_t>::max()));
    });
}

} // extern "C"
