// Writing and deleting values of a per-user store that stands in for the
// registry: one JSON file, $XDG_CONFIG_HOME/orvalib/registry.json, with a
// section per root key, a group per key path inside it and, per value name,
// its type and data:
//
//   { "HKEY_CURRENT_USER": { "Software\\Vendor\\App": { "Name": { "type": 1, "data": "text" } } } }
//
// Key paths and value names are matched without regard to case, as the
// registry does, and keep the spelling of their first writing. Every change
// rewrites the file through a temporary file and a rename, under a lock that
// other processes honour too. Results are the platform's status numbers.

#include "orvalib/Abi.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

#include <cerrno>
#include <fcntl.h>
#include <mutex>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace orva;

namespace {

constexpr int32_t StatusOk = 0;
constexpr int32_t StatusNotFound = 2;
constexpr int32_t StatusAccessDenied = 5;
constexpr int32_t StatusInvalidHandle = 6;
constexpr int32_t StatusDiskFull = 112;
constexpr int32_t StatusCantWrite = 1013;
constexpr int32_t StatusCorrupt = 1015;
constexpr int32_t StatusInternal = 1359;

struct StoreError {
    int32_t status;
};

QString rootName(int32_t root) {
    switch (uint32_t(root)) {
    case 0x80000000u:
        return QStringLiteral("HKEY_CLASSES_ROOT");
    case 0x80000001u:
        return QStringLiteral("HKEY_CURRENT_USER");
    case 0x80000002u:
        return QStringLiteral("HKEY_LOCAL_MACHINE");
    case 0x80000003u:
        return QStringLiteral("HKEY_USERS");
    case 0x80000005u:
        return QStringLiteral("HKEY_CURRENT_CONFIG");
    default:
        throw StoreError{StatusInvalidHandle};
    }
}

int32_t statusOf(int error) {
    switch (error) {
    case EACCES:
    case EPERM:
    case EROFS:
        return StatusAccessDenied;
    case ENOSPC:
    case EDQUOT:
        return StatusDiskFull;
    default:
        return StatusCantWrite;
    }
}

QString storeFolder() {
    const QString xdg = qEnvironmentVariable("XDG_CONFIG_HOME");
    const QString config =
        xdg.startsWith(QLatin1Char('/')) ? QDir::cleanPath(xdg) : QDir::homePath() + QStringLiteral("/.config");
    return config + QStringLiteral("/orvalib");
}

// The descriptor of the lock file; closing it releases the lock, also when
// the store's constructor throws after taking it.
struct LockFile {
    int fd = -1;
    LockFile() = default;
    LockFile(const LockFile &) = delete;
    LockFile &operator=(const LockFile &) = delete;
    ~LockFile() {
        if (fd >= 0)
            ::close(fd);
    }
};

// The store, locked for the length of one change against other processes
// (an advisory lock on a file of its own, beside the store).
class Store {
public:
    explicit Store(bool create) {
        m_folder = QFile::encodeName(storeFolder());
        if (create && !QDir().mkpath(QFile::decodeName(m_folder)))
            throw StoreError{folderStatus()};
        m_lock.fd = ::open((m_folder + "/registry.lock").constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (m_lock.fd < 0) {
            if (errno == ENOENT && !create)
                throw StoreError{StatusNotFound};
            throw StoreError{statusOf(errno)};
        }
        while (::flock(m_lock.fd, LOCK_EX) != 0 && errno == EINTR) {
        }
        read();
    }

    QJsonObject document;

    void write() {
        const QByteArray bytes = QJsonDocument(document).toJson(QJsonDocument::Indented);
        QByteArray temp = m_folder + "/.registry.json.XXXXXX";
        const int fd = ::mkstemp(temp.data());
        if (fd < 0)
            throw StoreError{statusOf(errno)};
        qsizetype done = 0;
        int error = 0;
        while (done < bytes.size() && !error) {
            const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
            if (n > 0)
                done += n;
            else if (errno != EINTR)
                error = n < 0 ? errno : EIO;
        }
        if (!error && ::fsync(fd) != 0)
            error = errno;
        if (::close(fd) != 0 && !error)
            error = errno;
        if (!error && ::rename(temp.constData(), path().constData()) != 0)
            error = errno;
        if (error) {
            ::unlink(temp.constData());
            throw StoreError{statusOf(error)};
        }
    }

private:
    QByteArray path() const { return m_folder + "/registry.json"; }

    int32_t folderStatus() const {
        // The first folder along the path that exists tells why it failed.
        QByteArray probe = m_folder;
        while (!probe.isEmpty() && ::access(probe.constData(), F_OK) != 0)
            probe.truncate(probe.lastIndexOf('/'));
        return probe.isEmpty() || ::access(probe.constData(), W_OK | X_OK) != 0 ? StatusAccessDenied : StatusCantWrite;
    }

    void read() {
        const int fd = ::open(path().constData(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            if (errno == ENOENT)
                return;
            throw StoreError{statusOf(errno)};
        }
        QByteArray bytes;
        char buffer[65536];
        for (;;) {
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n > 0) {
                bytes.append(buffer, n);
            } else if (n == 0) {
                break;
            } else if (errno != EINTR) {
                const int error = errno;
                ::close(fd);
                throw StoreError{statusOf(error)};
            }
        }
        ::close(fd);
        if (bytes.trimmed().isEmpty())
            return;
        QJsonParseError parse;
        const QJsonDocument parsed = QJsonDocument::fromJson(bytes, &parse);
        // A store that cannot be read is left as it is rather than replaced.
        if (parse.error != QJsonParseError::NoError || !parsed.isObject())
            throw StoreError{StatusCorrupt};
        document = parsed.object();
    }

    QByteArray m_folder;
    LockFile m_lock;
};

// The spelling under which name is already in object, or name itself.
QString existingKey(const QJsonObject &object, const QString &name) {
    for (auto it = object.begin(); it != object.end(); ++it)
        if (it.key().compare(name, Qt::CaseInsensitive) == 0)
            return it.key();
    return name;
}

// Key paths are written with "\" between keys; a trailing one changes nothing.
QString keyPathOf(QString path) {
    while (path.endsWith(QLatin1Char('\\')))
        path.chop(1);
    return path;
}

std::mutex g_storeMutex; // the file lock does not order threads of one process

int32_t setValue(int32_t root, const QString &keyPath, const QString &valueName, int32_t type, const QString &data) {
    const QString section = rootName(root);
    std::lock_guard lock(g_storeMutex);
    Store store(true);
    QJsonObject keys = store.document.value(section).toObject();
    const QString group = existingKey(keys, keyPathOf(keyPath));
    QJsonObject values = keys.value(group).toObject();
    QJsonObject value;
    value.insert(QStringLiteral("type"), type == 0 ? 1 : type);
    value.insert(QStringLiteral("data"), data);
    values.insert(existingKey(values, valueName), value);
    keys.insert(group, values);
    store.document.insert(section, keys);
    store.write();
    return StatusOk;
}

int32_t deleteValue(int32_t root, const QString &keyPath, const QString &valueName) {
    const QString section = rootName(root);
    std::lock_guard lock(g_storeMutex);
    Store store(false);
    QJsonObject keys = store.document.value(section).toObject();
    const QString group = existingKey(keys, keyPathOf(keyPath));
    if (!keys.contains(group))
        return StatusNotFound;
    QJsonObject values = keys.value(group).toObject();
    const QString name = existingKey(values, valueName);
    if (!values.contains(name))
        return StatusNotFound;
    // The key itself stays, as it does in the registry when its last value goes.
    values.remove(name);
    keys.insert(group, values);
    store.document.insert(section, keys);
    store.write();
    return StatusOk;
}

} // namespace

extern "C" {

TAV_API int32_t TavSetRegString(int32_t rootKey, const TavChar *keyPath, int32_t keyPathLength,
                                const TavChar *valueName, int32_t valueNameLength, int32_t valueType,
                                const TavChar *data, int32_t dataLength) {
    return guarded<int32_t>(StatusInternal, [&] {
        try {
            return setValue(rootKey, argText(keyPath, keyPathLength), argText(valueName, valueNameLength), valueType,
                            argText(data, dataLength));
        } catch (const StoreError &e) {
            return e.status;
        }
    });
}

TAV_API int32_t TavDelRegVal(int32_t rootKey, const TavChar *keyPath, int32_t keyPathLength, const TavChar *valueName,
                             int32_t valueNameLength) {
    return guarded<int32_t>(StatusInternal, [&] {
        try {
            return deleteValue(rootKey, argText(keyPath, keyPathLength), argText(valueName, valueNameLength));
        } catch (const StoreError &e) {
            return e.status;
        }
    });
}

} // extern "C"
