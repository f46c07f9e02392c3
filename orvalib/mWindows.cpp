// System information: the system's name, 32-bit process on a 64-bit machine,
// a library's version, the login name, a program's resident memory and the
// desktop's size.

#include "orvalib/Abi.h"
#include "orvalib/SystemInfo.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <dlfcn.h>
#include <link.h>
#include <pwd.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <limits>

using namespace orva;

namespace {

const QString UnknownFile = QStringLiteral("Fichier inconnu");
const QString UnknownVersion = QStringLiteral("Version Inconnue");

QString executableFolder() {
    return QFileInfo(QFile::symLinkTarget(QStringLiteral("/proc/self/exe"))).absolutePath();
}

// The path of a library of that name already loaded in this process: the
// loader has searched for it already, the way it searches for this program.
QString loadedLibrary(const QString &name) {
    struct Search {
        QString name;
        QString found;
    } search{name, {}};
    ::dl_iterate_phdr(
        [](dl_phdr_info *info, size_t, void *data) {
            auto *s = static_cast<Search *>(data);
            if (!info->dlpi_name || !*info->dlpi_name)
                return 0;
            const QString path = QFile::decodeName(info->dlpi_name);
            const QString file = QFileInfo(path).fileName();
            // "libfoo.so" also finds "libfoo.so.4".
            if (file == s->name || file.startsWith(s->name + QLatin1Char('.')))
                s->found = path;
            return s->found.isEmpty() ? 0 : 1;
        },
        &search);
    return search.found;
}

// Where the dynamic loader finds the library: the program's folder first,
// then a loaded copy, then the loader's folders. Empty when nowhere.
QString findLibrary(const QString &name) {
    if (name.isEmpty())
        return QString();
    if (name.contains(QLatin1Char('/')))
        return QFileInfo(name).isFile() ? name : QString();
    const QString local = executableFolder() + QLatin1Char('/') + name;
    if (QFileInfo(local).isFile())
        return local;
    const QString loaded = loadedLibrary(name);
    if (!loaded.isEmpty())
        return loaded;
    for (const QString &folder : loaderSearchFolders()) {
        const QString path = folder + QLatin1Char('/') + name;
        if (QFileInfo(path).isFile())
            return path;
    }
    return QString();
}

QString versionOf(const QString &name) {
    const QString path = findLibrary(name.trimmed());
    if (path.isEmpty())
        return UnknownFile;
    // The real file behind the links carries the full version in its name;
    // a lone number there ("libc.so.6") is only the interface's, so the
    // versions the file defines come first then.
    const QString fromName = versionFromFileName(QFileInfo(path).canonicalFilePath().section(QLatin1Char('/'), -1));
    if (fromName.contains(QLatin1Char('.')))
        return fromName;
    const QString fromElf = versionFromElf(path);
    if (!fromElf.isEmpty())
        return fromElf;
    return fromName.isEmpty() ? UnknownVersion : fromName;
}

// Resident memory of the process, in bytes, from VmRSS of its status; -1 when unreadable.
qint64 residentBytes(const QString &pid) {
    QFile status(QStringLiteral("/proc/") + pid + QStringLiteral("/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (!line.startsWith("VmRSS:"))
            continue;
        const QList<QByteArray> fields = line.mid(6).simplified().split(' ');
        bool ok = false;
        const qint64 kib = fields.value(0).toLongLong(&ok);
        return ok ? kib * 1024 : -1;
    }
    return -1;
}

qint64 processMemory(const QString &soughtName) {
    const QString sought = soughtName.trimmed().toUpper();
    if (sought.isEmpty())
        return 0;
    QStringList pids = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    pids.erase(
        std::remove_if(pids.begin(), pids.end(), [](const QString &p) { return p.isEmpty() || !p.front().isDigit(); }),
        pids.end());
    std::sort(pids.begin(), pids.end(),
              [](const QString &a, const QString &b) { return a.toLongLong() < b.toLongLong(); });
    qint64 result = 0;
    for (const QString &pid : pids) {
        // Other users' processes do not show their executable: passed over.
        QString exe = QFile::symLinkTarget(QStringLiteral("/proc/") + pid + QStringLiteral("/exe"));
        if (exe.isEmpty())
            continue;
        if (exe.endsWith(QLatin1String(" (deleted)")))
            exe.chop(10);
        if (exe.section(QLatin1Char('/'), -1).trimmed().toUpper() != sought)
            continue;
        const qint64 bytes = residentBytes(pid);
        if (bytes >= 0)
            result = bytes;
    }
    return result;
}

// The default screen of the X display, through libX11 when the system has it;
// no display (or a Wayland session without X) gives 0. Loaded at run time so
// that the library needs no graphics library to load.
struct ScreenSize {
    int width = 0;
    int height = 0;
};

ScreenSize desktopSize() {
    ScreenSize size;
    const QByteArray display = qgetenv("DISPLAY");
    if (display.isEmpty())
        return size;
    void *x11 = ::dlopen("libX11.so.6", RTLD_NOW | RTLD_LOCAL);
    if (!x11)
        return size;
    using OpenDisplay = void *(*)(const char *);
    using CloseDisplay = int (*)(void *);
    using DefaultScreen = int (*)(void *);
    using DisplayDimension = int (*)(void *, int);
    auto open = reinterpret_cast<OpenDisplay>(::dlsym(x11, "XOpenDisplay"));
    auto close = reinterpret_cast<CloseDisplay>(::dlsym(x11, "XCloseDisplay"));
    auto screen = reinterpret_cast<DefaultScreen>(::dlsym(x11, "XDefaultScreen"));
    auto width = reinterpret_cast<DisplayDimension>(::dlsym(x11, "XDisplayWidth"));
    auto height = reinterpret_cast<DisplayDimension>(::dlsym(x11, "XDisplayHeight"));
    if (open && close && screen && width && height) {
        if (void *dpy = open(display.constData())) {
            const int n = screen(dpy);
            size.width = width(dpy, n);
            size.height = height(dpy, n);
            close(dpy);
        }
    }
    // libX11 stays loaded: it registers handlers at exit that must not outlive it.
    return size;
}

int32_t clamp32(qint64 value) {
    return int32_t(std::min<qint64>(value, std::numeric_limits<int32_t>::max()));
}

} // namespace

extern "C" {

TAV_API int32_t TavGetWindowsVersion(int32_t *platformId, TavStr *name) {
    return guarded<int32_t>(0, [&] {
        // Linux counts as the NT family (id 2): the family whose programs
        // list their processes. The name is the distribution's and the
        // kernel's; the Windows table never applies to kernel numbers.
        utsname system{};
        QString text =
            osReleaseNameFromFiles({QStringLiteral("/etc/os-release"), QStringLiteral("/usr/lib/os-release")});
        if (::uname(&system) == 0)
            text += QStringLiteral(", Linux ") + QString::fromLocal8Bit(system.release);
        if (platformId)
            *platformId = 2;
        if (name)
            *name = newText(text);
        return int32_t(text.size());
    });
}

TAV_API int16_t TavIs64bits(void) {
    return guarded<int16_t>(0, [&] {
        utsname system{};
        if (::uname(&system) != 0)
            return int16_t(0);
        return int16_t(is32BitOn64BitMachine(int(sizeof(void *) * 8), QString::fromLatin1(system.machine)) ? 1 : 0);
    });
}

TAV_API TavStr TavGetVersionInformation(const TavChar *fileName, int32_t length) {
    return guarded<TavStr>(nullptr, [&] { return newText(versionOf(argText(fileName, length))); });
}

TAV_API TavStr TavGetUsername(void) {
    return guarded<TavStr>(nullptr, [&] {
        QString name;
        if (const passwd *pw = ::getpwuid(::geteuid()); pw && pw->pw_name)
            name = QString::fromLocal8Bit(pw->pw_name);
        if (name.isEmpty())
            name = qEnvironmentVariable("USER", qEnvironmentVariable("LOGNAME"));
        const qsizetype nul = name.indexOf(QChar(0));
        if (nul >= 0)
            name.truncate(nul);
        return newText(name.left(100));
    });
}

TAV_API int32_t TavGetProcesses(const TavChar *exeName, int32_t length) {
    return guarded<int32_t>(0, [&] {
        try {
            return clamp32(processMemory(argText(exeName, length)));
        } catch (const Failure &f) {
            throw Failure{f.number, QStringLiteral("ProcessInfo")};
        }
    });
}

TAV_API int32_t TavGetScreenWidth(void) {
    return guarded<int32_t>(0, [&] { return int32_t(desktopSize().width); });
}

TAV_API int32_t TavGetScreenHeight(void) {
    return guarded<int32_t>(0, [&] { return int32_t(desktopSize().height); });
}

} // extern "C"
