// The pure parts of the system exports: version names, os-release, library versions.

#include "orvalib/SystemInfo.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QVersionNumber>

#include <cstring>
#include <elf.h>

namespace orva {

QString windowsVersionName(const VersionRecord &r) {
    QString name = QStringLiteral("Windows %1.%2.%3 b%4").arg(r.platformId).arg(r.major).arg(r.minor).arg(r.build);
    if (r.servicePackMajor != 0)
        name += QStringLiteral(" Service Pack %1.%2").arg(r.servicePackMajor).arg(r.servicePackMinor);
    if (r.platformId == 1) {
        switch (r.minor) {
        case 0:
            return QStringLiteral("Windows 95");
        case 10:
            return QStringLiteral("Windows 98");
        case 90:
            return QStringLiteral("Windows Millenium");
        }
    } else if (r.platformId == 2) {
        if (r.major == 3)
            return QStringLiteral("Windows NT 3.51");
        if (r.major == 4)
            return QStringLiteral("Windows NT 4.0");
        if (r.major == 5 && r.minor == 0)
            return QStringLiteral("Windows 2000");
        if (r.major == 5 && r.minor == 1)
            return QStringLiteral("Windows XP");
        if (r.major == 5 && r.minor == 2)
            return QStringLiteral("Windows Server 2003");
        if (r.major == 6 && r.minor == 0)
            return QStringLiteral("Windows Vista");
        if (r.major == 6 && r.minor == 1)
            return QStringLiteral("Windows Seven");
        if (r.major == 6 && r.minor == 2)
            return QStringLiteral("Windows 8");
    }
    return name;
}

namespace {

// One value of an os-release line: quotes removed, backslash escapes inside
// double quotes resolved.
QString unquote(QStringView value) {
    value = value.trimmed();
    if (value.size() >= 2 && value.front() == u'\'' && value.back() == u'\'')
        return value.mid(1, value.size() - 2).toString();
    if (value.size() >= 2 && value.front() == u'"' && value.back() == u'"') {
        QString out;
        const QStringView inner = value.mid(1, value.size() - 2);
        for (qsizetype i = 0; i < inner.size(); ++i) {
            if (inner[i] == u'\\' && i + 1 < inner.size())
                ++i;
            out += inner[i];
        }
        return out;
    }
    return value.toString();
}

} // namespace

QString osReleaseName(const QString &text) {
    QString pretty, name, version;
    for (QStringView line : QStringView(text).split(u'\n')) {
        line = line.trimmed();
        if (line.isEmpty() || line.front() == u'#')
            continue;
        const qsizetype eq = line.indexOf(u'=');
        if (eq <= 0)
            continue;
        const QStringView key = line.left(eq);
        const QString value = unquote(line.mid(eq + 1));
        if (key == u"PRETTY_NAME")
            pretty = value;
        else if (key == u"NAME")
            name = value;
        else if (key == u"VERSION")
            version = value;
    }
    if (!pretty.isEmpty())
        return pretty;
    if (!name.isEmpty() && !version.isEmpty())
        return name + QLatin1Char(' ') + version;
    return name;
}

QString osReleaseNameFromFiles(const QStringList &paths) {
    for (const QString &path : paths) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QString name = osReleaseName(QString::fromUtf8(file.readAll()));
        return name.isEmpty() ? QStringLiteral("Linux") : name;
    }
    return QStringLiteral("Linux");
}

bool is32BitOn64BitMachine(int pointerBits, const QString &machine) {
    static const QStringList machines64 = {"x86_64", "aarch64",     "ppc64",   "ppc64le", "s390x", "riscv64",
                                           "mips64", "loongarch64", "sparc64", "alpha",   "ia64"};
    return pointerBits == 32 && machines64.contains(machine);
}

QString versionFromFileName(const QString &fileName) {
    static const QRegularExpression soVersion(QStringLiteral("\\.so\\.(\\d+(?:\\.\\d+)*)$"));
    const QRegularExpressionMatch m = soVersion.match(fileName);
    return m.hasMatch() ? m.captured(1) : QString();
}

namespace {

// Reads a structure at offset of the mapped file, false when it does not fit.
template <class T> bool at(const uchar *data, qint64 size, quint64 offset, T &out) {
    if (offset > quint64(size) || quint64(size) - offset < sizeof(T))
        return false;
    std::memcpy(&out, data + offset, sizeof(T));
    return true;
}

// The names of the version definitions of an ELF file of one class.
template <class Ehdr, class Shdr, class Verdef, class Verdaux>
QStringList elfVersionNames(const uchar *data, qint64 size) {
    QStringList names;
    Ehdr eh;
    if (!at(data, size, 0, eh) || eh.e_shentsize != sizeof(Shdr))
        return names;
    for (unsigned i = 0; i < eh.e_shnum; ++i) {
        Shdr sh;
        if (!at(data, size, eh.e_shoff + quint64(i) * sizeof(Shdr), sh) || sh.sh_type != SHT_GNU_verdef)
            continue;
        Shdr strings;
        if (sh.sh_link >= eh.e_shnum || !at(data, size, eh.e_shoff + quint64(sh.sh_link) * sizeof(Shdr), strings))
            return names;
        quint64 offset = sh.sh_offset;
        for (int n = 0; n < 10000; ++n) { // a bound against a looping chain
            Verdef vd;
            if (!at(data, size, offset, vd))
                break;
            Verdaux aux;
            if (!(vd.vd_flags & VER_FLG_BASE) && at(data, size, offset + vd.vd_aux, aux)) {
                const quint64 nameAt = strings.sh_offset + aux.vda_name;
                if (nameAt < quint64(size)) {
                    const char *start = reinterpret_cast<const char *>(data + nameAt);
                    names << QString::fromLatin1(start, qstrnlen(start, size_t(quint64(size) - nameAt)));
                }
            }
            if (vd.vd_next == 0)
                break;
            offset += vd.vd_next;
        }
        break;
    }
    return names;
}

} // namespace

QString versionFromElf(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() < EI_NIDENT)
        return QString();
    const qint64 size = file.size();
    const uchar *data = file.map(0, size);
    if (!data || std::memcmp(data, ELFMAG, SELFMAG) != 0 || data[EI_DATA] != ELFDATA2LSB)
        return QString();
    const QStringList names = data[EI_CLASS] == ELFCLASS64
                                  ? elfVersionNames<Elf64_Ehdr, Elf64_Shdr, Elf64_Verdef, Elf64_Verdaux>(data, size)
                                  : elfVersionNames<Elf32_Ehdr, Elf32_Shdr, Elf32_Verdef, Elf32_Verdaux>(data, size);
    // "GLIBC_2.36", "Qt_6.4", "ORVALIB_1.12.2": the number after the last "_".
    static const QRegularExpression numbered(QStringLiteral("_(\\d+(?:\\.\\d+)*)$"));
    QVersionNumber best;
    QString bestText;
    for (const QString &name : names) {
        const QRegularExpressionMatch m = numbered.match(name);
        if (!m.hasMatch())
            continue;
        const QVersionNumber v = QVersionNumber::fromString(m.captured(1));
        if (bestText.isEmpty() || v > best) {
            best = v;
            bestText = m.captured(1);
        }
    }
    return bestText;
}

namespace {

void addExisting(QStringList &folders, const QString &folder) {
    if (!folder.isEmpty() && QDir::isAbsolutePath(folder) && QFileInfo(folder).isDir() && !folders.contains(folder))
        folders << QDir::cleanPath(folder);
}

void readLoaderConf(const QString &path, QStringList &folders, int depth) {
    QFile file(path);
    if (depth > 8 || !file.open(QIODevice::ReadOnly))
        return;
    for (QString line : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'))) {
        line = line.section(QLatin1Char('#'), 0, 0).trimmed();
        if (line.startsWith(QLatin1String("include "))) {
            QString pattern = line.mid(8).trimmed();
            if (!QDir::isAbsolutePath(pattern))
                pattern = QFileInfo(path).absolutePath() + QLatin1Char('/') + pattern;
            const QFileInfo patternInfo(pattern);
            QDir dir(patternInfo.absolutePath(), patternInfo.fileName(), QDir::Name, QDir::Files);
            for (const QString &entry : dir.entryList())
                readLoaderConf(dir.filePath(entry), folders, depth + 1);
        } else if (!line.isEmpty()) {
            addExisting(folders, line);
        }
    }
}

} // namespace

QStringList loaderSearchFolders() {
    QStringList folders;
    for (const QString &folder : qEnvironmentVariable("LD_LIBRARY_PATH").split(QLatin1Char(':'), Qt::SkipEmptyParts))
        addExisting(folders, folder);
    readLoaderConf(QStringLiteral("/etc/ld.so.conf"), folders, 0);
    for (const char *folder : {"/lib64", "/usr/lib64", "/lib", "/usr/lib"})
        addExisting(folders, QString::fromLatin1(folder));
    return folders;
}

} // namespace orva
