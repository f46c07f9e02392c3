// Download of one address into the temporary folder or a folder the caller
// names, through libcurl, with an optional limit on its size.
//
// Only https is fetched from other machines (certificates verified); plain
// http is accepted for loopback addresses alone, which is what a local test
// or update server uses. The body goes to a hidden file beside the
// destination and is renamed over it only once complete, so an earlier copy
// is replaced in one step and a transfer cut short leaves nothing under the
// final name. The library shows no window: a failure returns the empty text
// and leaves its description in the thread's last error.

#include "orvalib/Abi.h"

#include <QByteArray>
#include <QFile>

#include <curl/curl.h>

#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <mutex>
#include <type_traits>
#include <unistd.h>

using namespace orva;

namespace {

// Error numbers of this export: an address that is refused before any
// connection, a transfer that failed, a destination in use or not writable
// (the caller stays silent on that one), and any other file error.
constexpr int ErrRefused = 5;
constexpr int ErrTransfer = 57;
constexpr int ErrPermission = 70;
constexpr int ErrFileAccess = 75;

constexpr long ConnectTimeoutSeconds = 15;
constexpr long TotalTimeoutSeconds = 300;
// A transfer slower than one byte a second for this long has stalled.
constexpr long StallSeconds = 30;

// Set once the program quits; every transfer checks it as data moves.
std::atomic_bool cancelled{false};

int checkCancelled(void *, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return cancelled.load(std::memory_order_relaxed) ? 1 : 0;
}

struct DownloadError {
    int number;
    QString description;
};

// libcurl and the many libraries it needs are loaded at the first download,
// not with this library: most programs that load it never download, and
// loading them takes longer than many a whole run of the command line.
struct CurlApi {
    CURLcode (*globalInit)(long);
    CURLU *(*url)();
    void (*urlCleanup)(CURLU *);
    CURLUcode (*urlGet)(const CURLU *, CURLUPart, char **, unsigned int);
    CURLUcode (*urlSet)(CURLU *, CURLUPart, const char *, unsigned int);
    void (*free)(void *);
    CURL *(*easyInit)();
    CURLcode (*easySetopt)(CURL *, CURLoption, ...);
    CURLcode (*easyPerform)(CURL *);
    CURLcode (*easyGetinfo)(CURL *, CURLINFO, ...);
    void (*easyCleanup)(CURL *);
    const char *(*easyStrerror)(CURLcode);
};

// The functions of libcurl, loaded and initialised once; null (why in error)
// when the library or one of its functions cannot be found.
const CurlApi *curlApi(QString &error) {
    static CurlApi api;
    static const CurlApi *loaded = nullptr;
    static QString loadError;
    static std::once_flag once;
    std::call_once(once, [] {
        void *lib = ::dlopen("libcurl.so.4", RTLD_NOW | RTLD_LOCAL);
        if (!lib) {
            loadError = QStringLiteral("libcurl cannot be loaded: %1").arg(QString::fromLocal8Bit(::dlerror()));
            return;
        }
        bool complete = true;
        auto get = [&](auto &slot, const char *name) {
            void *f = ::dlsym(lib, name);
            complete = complete && f;
            slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(f);
        };
        get(api.globalInit, "curl_global_init");
        get(api.url, "curl_url");
        get(api.urlCleanup, "curl_url_cleanup");
        get(api.urlGet, "curl_url_get");
        get(api.urlSet, "curl_url_set");
        get(api.free, "curl_free");
        get(api.easyInit, "curl_easy_init");
        get(api.easySetopt, "curl_easy_setopt");
        get(api.easyPerform, "curl_easy_perform");
        get(api.easyGetinfo, "curl_easy_getinfo");
        get(api.easyCleanup, "curl_easy_cleanup");
        get(api.easyStrerror, "curl_easy_strerror");
        if (!complete) {
            loadError = QStringLiteral("libcurl lacks a function this download needs");
            return;
        }
        api.globalInit(CURL_GLOBAL_DEFAULT);
        loaded = &api;
    });
    if (!loaded)
        error = loadError;
    return loaded;
}

struct UrlHandle {
    const CurlApi &curl;
    CURLU *h;
    explicit UrlHandle(const CurlApi &api) : curl(api), h(api.url()) {}
    ~UrlHandle() { curl.urlCleanup(h); }
    QByteArray part(CURLUPart what, unsigned flags = 0) const {
        char *value = nullptr;
        if (curl.urlGet(h, what, &value, flags) != CURLUE_OK || !value)
            return QByteArray();
        QByteArray result(value);
        curl.free(value);
        return result;
    }
};

// 127.0.0.0/8, ::1 and "localhost" (which libcurl never looks up: it is
// always the loopback interface). The host is the one libcurl's own parser
// found, so what is checked is what will be connected to.
bool isLoopbackHost(QByteArray host) {
    if (host.endsWith('.'))
        host.chop(1);
    if (host.compare("localhost", Qt::CaseInsensitive) == 0)
        return true;
    if (host.startsWith('[') && host.endsWith(']')) {
        in6_addr v6{};
        const QByteArray inner = host.mid(1, host.size() - 2);
        return ::inet_pton(AF_INET6, inner.constData(), &v6) == 1 && IN6_IS_ADDR_LOOPBACK(&v6);
    }
    in_addr v4{};
    return ::inet_pton(AF_INET, host.constData(), &v4) == 1 && (ntohl(v4.s_addr) >> 24) == 127;
}

// The last segment of the address's path, decoded; refused when it cannot be
// a file name of its own.
QString fileNameOf(const UrlHandle &url) {
    const QByteArray path = url.part(CURLUPART_PATH);
    const QByteArray segment = path.mid(path.lastIndexOf('/') + 1);
    const QByteArray decoded = QByteArray::fromPercentEncoding(segment);
    if (decoded.isEmpty() || decoded == "." || decoded == ".." || decoded.contains('/') || decoded.contains('\0'))
        throw DownloadError{ErrRefused, QStringLiteral("The address names no file")};
    return QFile::decodeName(decoded);
}

int fileErrorNumber(int error) {
    switch (error) {
    case EACCES:
    case EPERM:
    case EROFS:
    case ETXTBSY:
    case EBUSY:
        return ErrPermission;
    default:
        return ErrFileAccess;
    }
}

[[noreturn]] void throwFileError(int error, const QString &what) {
    throw DownloadError{fileErrorNumber(error),
                        what + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(error))};
}

// The hidden file the body is written to; removed unless it was renamed.
struct PartFile {
    QByteArray path;
    int fd = -1;
    bool kept = false;
    qint64 written = 0;
    qint64 maxBytes = 0; // 0: no limit
    bool tooLarge = false;
    ~PartFile() {
        if (fd >= 0)
            ::close(fd);
        if (!kept && !path.isEmpty())
            ::unlink(path.constData());
    }
};

size_t writeBody(char *data, size_t size, size_t count, void *user) {
    auto *part = static_cast<PartFile *>(user);
    const size_t total = size * count;
    // Checked here too: libcurl knows the size beforehand only when the
    // server announces it.
    if (part->maxBytes > 0 && part->written + qint64(total) > part->maxBytes) {
        part->tooLarge = true;
        return 0;
    }
    part->written += qint64(total);
    size_t done = 0;
    while (done < total) {
        const ssize_t n = ::write(part->fd, data + done, total - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return 0; // libcurl ends the transfer with a write error
        done += size_t(n);
    }
    return total;
}

QString download(const QString &address, QString folder, qint64 maxBytes) {
    QString loadError;
    const CurlApi *api = curlApi(loadError);
    if (!api)
        throw DownloadError{ErrTransfer, loadError};
    const CurlApi &lib = *api;
    UrlHandle url(lib);
    if (!url.h)
        throw std::bad_alloc();
    const QByteArray utf8 = address.trimmed().toUtf8();
    if (utf8.isEmpty() || utf8.contains('\0') ||
        lib.urlSet(url.h, CURLUPART_URL, utf8.constData(), CURLU_NON_SUPPORT_SCHEME) != CURLUE_OK)
        throw DownloadError{ErrRefused, QStringLiteral("Not a web address: %1").arg(address)};
    const QByteArray scheme = url.part(CURLUPART_SCHEME).toLower();
    const QByteArray host = url.part(CURLUPART_HOST);
    const bool loopback = isLoopbackHost(host);
    if (scheme != "https" && !(scheme == "http" && loopback))
        throw DownloadError{ErrRefused,
                            scheme == "http"
                                ? QStringLiteral("Plain http is only accepted for this machine: %1").arg(address)
                                : QStringLiteral("Only https addresses are downloaded: %1").arg(address)};
    const QString name = fileNameOf(url);

    if (folder.isEmpty()) {
        TavStr tempText = TavGetTempDir();
        folder = tempText ? QString(reinterpret_cast<const QChar *>(tempText), TavStringLength(tempText)) : QString();
        TavFreeString(tempText);
        if (folder.isEmpty())
            throw DownloadError{ErrFileAccess, QStringLiteral("No usable temporary folder")};
    } else if (!folder.endsWith(QLatin1Char('/'))) {
        folder += QLatin1Char('/');
    }
    const QByteArray destination = QFile::encodeName(folder + name);

    PartFile part;
    part.maxBytes = maxBytes;
    part.path = QFile::encodeName(folder + QLatin1Char('.') + name) + ".part-XXXXXX";
    part.fd = ::mkstemp(part.path.data());
    if (part.fd < 0) {
        const int error = errno;
        part.path.clear();
        throwFileError(error, QStringLiteral("Cannot create a file in %1").arg(folder));
    }

    CURL *curl = lib.easyInit();
    if (!curl)
        throw std::bad_alloc();
    char message[CURL_ERROR_SIZE] = {};
    lib.easySetopt(curl, CURLOPT_CURLU, url.h);
    lib.easySetopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    // A redirect may only lead to https: a loopback server must not be able to
    // send the transfer to another machine in clear.
    lib.easySetopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "https");
    lib.easySetopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    lib.easySetopt(curl, CURLOPT_MAXREDIRS, 5L);
    lib.easySetopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
    lib.easySetopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
    lib.easySetopt(curl, CURLOPT_CONNECTTIMEOUT, ConnectTimeoutSeconds);
    lib.easySetopt(curl, CURLOPT_TIMEOUT, TotalTimeoutSeconds);
    lib.easySetopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    lib.easySetopt(curl, CURLOPT_LOW_SPEED_TIME, StallSeconds);
    lib.easySetopt(curl, CURLOPT_NOSIGNAL, 1L);
    lib.easySetopt(curl, CURLOPT_FAILONERROR, 1L);
    if (maxBytes > 0)
        lib.easySetopt(curl, CURLOPT_MAXFILESIZE_LARGE, curl_off_t(maxBytes));
    if (loopback)
        lib.easySetopt(curl, CURLOPT_NOPROXY, "*");
    lib.easySetopt(curl, CURLOPT_ERRORBUFFER, message);
    lib.easySetopt(curl, CURLOPT_WRITEFUNCTION, &writeBody);
    lib.easySetopt(curl, CURLOPT_WRITEDATA, &part);
    lib.easySetopt(curl, CURLOPT_XFERINFOFUNCTION, &checkCancelled);
    lib.easySetopt(curl, CURLOPT_NOPROGRESS, 0L);
    const CURLcode code = lib.easyPerform(curl);
    long status = 0;
    lib.easyGetinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    lib.easyCleanup(curl);
    if (code != CURLE_OK) {
        QString description = QString::fromUtf8(message[0] ? message : lib.easyStrerror(code)).trimmed();
        if (code == CURLE_HTTP_RETURNED_ERROR)
            description = QStringLiteral("The server answered %1").arg(status);
        else if (code == CURLE_ABORTED_BY_CALLBACK)
            description = QStringLiteral("Download cancelled");
        else if (code == CURLE_FILESIZE_EXCEEDED || part.tooLarge)
            description = QStringLiteral("The file is larger than %1 bytes").arg(maxBytes);
        throw DownloadError{ErrTransfer, description};
    }

    if (::fsync(part.fd) != 0 || ::close(part.fd) != 0) {
        const int error = errno;
        part.fd = -1;
        throwFileError(error, QStringLiteral("Cannot write %1").arg(QFile::decodeName(part.path)));
    }
    part.fd = -1;
    if (::rename(part.path.constData(), destination.constData()) != 0)
        throwFileError(errno, QStringLiteral("Cannot replace %1").arg(QFile::decodeName(destination)));
    part.kept = true;
    return QFile::decodeName(destination);
}

} // namespace

extern "C" {

TAV_API void TavCancelDownloads(void) {
    cancelled.store(true);
}

TAV_API TavStr TavDownloadFile(const TavChar *address, int32_t length) {
    return TavDownloadFileTo(address, length, nullptr, 0, 0);
}

TAV_API TavStr TavDownloadFileTo(const TavChar *address, int32_t length, const TavChar *folder, int32_t folderLength,
                                 int32_t maxBytes) {
    return guarded<TavStr>(nullptr, [&] {
        try {
            return newText(download(argText(address, length), argText(folder, folderLength), qMax(maxBytes, 0)));
        } catch (const DownloadError &e) {
            TavStr empty = newText(QString());
            setLastError(e.number, QStringLiteral("Error %1 (%2) in procedure TavDownloadFile of Module mInternet")
                                       .arg(e.number)
                                       .arg(e.description));
            return empty;
        }
    });
}

} // extern "C"
