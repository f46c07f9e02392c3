#include "core/rename/FolderRules.h"

#include "core/rename/RenameFileMove.h"
#include "core/rename/RenameTexts.h"

#include <QFile>
#include <QList>

#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace tav {

namespace {

// statfs() types (linux/magic.h and the file systems' own headers).
constexpr unsigned long MsdosMagic = 0x4d44;
constexpr unsigned long ExfatMagic = 0x2011BAB0;
constexpr unsigned long NtfsMagic = 0x5346544e; // ntfs and ntfs3
constexpr unsigned long CifsMagic = 0xFF534D42;
constexpr unsigned long Smb2Magic = 0xFE534D42;
constexpr unsigned long SmbMagic = 0x517B;
constexpr unsigned long FuseMagic = 0x65735546;

// The type of a FUSE mount in the mount table ("fuseblk", "fuse.sshfs" ...),
// found by its device number.
QByteArray fuseType(dev_t device) {
    QFile table(QStringLiteral("/proc/self/mountinfo"));
    if (!table.open(QIODevice::ReadOnly))
        return QByteArray();
    const QByteArray wanted = QByteArray::number(major(device)) + ':' + QByteArray::number(minor(device));
    // Read whole: a file of /proc has no size to tell its end by.
    for (const QByteArray &line : table.readAll().split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() < 3 || fields[2] != wanted)
            continue;
        const qsizetype dash = line.indexOf(" - ");
        if (dash < 0)
            return QByteArray();
        return line.mid(dash + 3).split(' ').value(0);
    }
    return QByteArray();
}

// FUSE file systems that carry Windows' names: a FUSE mount of a block
// device is in practice NTFS (ntfs-3g) or exFAT/FAT (exfat-fuse, fusefat).
bool fuseWindowsType(const QByteArray &type) {
    static const char *const types[] = {"fuseblk",    "fuse.ntfs-3g",    "fuse.ntfs",    "fuse.lowntfs-3g",
                                        "fuse.exfat", "fuse.exfat-fuse", "fuse.fusefat", "fuse.vfat"};
    for (const char *t : types)
        if (type == t)
            return true;
    return false;
}

// ASCII letters of name with their case swapped; empty when it has none.
QByteArray otherCase(const QByteArray &name) {
    QByteArray out = name;
    bool changed = false;
    for (char &c : out) {
        if (c >= 'a' && c <= 'z') {
            c = char(c - 'a' + 'A');
            changed = true;
        } else if (c >= 'A' && c <= 'Z') {
            c = char(c - 'A' + 'a');
            changed = true;
        }
    }
    return changed ? out : QByteArray();
}

// True when name, known in folder, is found under another case too.
bool foundUnderOtherCase(const QByteArray &folder, const QByteArray &name) {
    const QByteArray other = otherCase(name);
    if (other.isEmpty())
        return false;
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat a, b;
    const bool same = ::fstatat(fd, name.constData(), &a, AT_SYMLINK_NOFOLLOW) == 0 &&
                      ::fstatat(fd, other.constData(), &b, AT_SYMLINK_NOFOLLOW) == 0;
    // A file system that ignores case finds the one file under both names
    // (FUSE may give each name its own inode number, so the test is not the inode).
    const bool one = same && a.st_mode == b.st_mode && a.st_size == b.st_size && a.st_mtim.tv_sec == b.st_mtim.tv_sec &&
                     a.st_mtim.tv_nsec == b.st_mtim.tv_nsec && a.st_dev == b.st_dev;
    ::close(fd);
    return one;
}

bool isReservedDeviceName(const QString &name) {
    // CON, PRN, AUX, NUL, COM1-9, LPT1-9, alone or before an extension.
    const QString base = name.section(QLatin1Char('.'), 0, 0).trimmed().toUpper();
    static const char *const plain[] = {"CON", "PRN", "AUX", "NUL"};
    for (const char *p : plain)
        if (base == QLatin1String(p))
            return true;
    if (base.size() == 4 && (base.startsWith(QLatin1String("COM")) || base.startsWith(QLatin1String("LPT"))))
        return base.at(3) >= QLatin1Char('1') && base.at(3) <= QLatin1Char('9');
    return false;
}

} // namespace

FolderRules folderRules(const QByteArray &folder, const QByteArray &probeName) {
    FolderRules rules;
    QByteArray at = folder.isEmpty() ? QByteArray(".") : folder;
    struct statfs fs;
    struct stat st;
    // A folder not made yet is on the file system of its nearest parent.
    while (::statfs(at.constData(), &fs) != 0 || ::stat(at.constData(), &st) != 0) {
        const QByteArray up = folderOf(at);
        if (up == at)
            return rules;
        at = up;
    }
    const unsigned long type = static_cast<unsigned long>(fs.f_type);
    bool probe = true;
    switch (type) {
    case MsdosMagic:
    case ExfatMagic:
        rules = {true, true, true};
        probe = false;
        break;
    case NtfsMagic:
    case CifsMagic:
    case Smb2Magic:
    case SmbMagic:
        rules.windowsNames = rules.utf16Length = true;
        break;
    case FuseMagic:
        if (fuseWindowsType(fuseType(st.st_dev)))
            rules.windowsNames = rules.utf16Length = true;
        break;
    default:
        break;
    }
    if (probe) {
        if (at == folder && !probeName.isEmpty() && !otherCase(probeName).isEmpty())
            rules.caseInsensitive = foundUnderOtherCase(at, probeName);
        else if (at != "/" && at != ".")
            rules.caseInsensitive = foundUnderOtherCase(folderOf(at), at.mid(at.lastIndexOf('/') + 1));
    }
    return rules;
}

QString nameRuleProblem(const QString &name, const FolderRules &rules) {
    if (rules.windowsNames) {
        for (const QChar c : name) {
            if (c.unicode() < 0x20 || QStringView(u"<>:\"\\|?*").contains(c))
                return renameText("WindowsChar", "The disk does not allow the character %s in a name.",
                                  c.unicode() < 0x20 ? QStringLiteral("0x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'))
                                                     : QString(c));
        }
        if (name.endsWith(QLatin1Char('.')) || name.endsWith(QLatin1Char(' ')))
            return renameText("WindowsTrailing", "The disk does not allow a name that ends with a dot or a space.");
        if (isReservedDeviceName(name))
            return renameText("WindowsReserved", "%s is a name reserved by Windows.", name);
    }
    // A UTF-16 unit takes at most 3 bytes: a short name needs no encoding to be measured.
    const qsizetype length = rules.utf16Length || name.size() * 3 <= 255 ? name.size() : QFile::encodeName(name).size();
    if (length > 255)
        return renameText(rules.utf16Length ? "TooLongUtf16" : "TooLongBytes",
                          rules.utf16Length ? "The name is longer than the disk allows (%s UTF-16 units, 255 at most)."
                                            : "The name is longer than the disk allows (%s bytes, 255 at most).",
                          QString::number(length));
    return QString();
}

bool stableInodeNumbers(const QByteArray &folder) {
    struct statfs fs;
    if (::statfs(folder.constData(), &fs) != 0)
        return true;
    const unsigned long type = static_cast<unsigned long>(fs.f_type);
    return type != FuseMagic && type != MsdosMagic && type != ExfatMagic;
}

QString newFoldersProblem(const QStringList &missing) {
    for (const QString &folder : missing) {
        const QByteArray path = QFile::encodeName(folder);
        const QString problem =
            nameRuleProblem(folder.mid(folder.lastIndexOf(QLatin1Char('/')) + 1), folderRules(folderOf(path)));
        if (!problem.isEmpty())
            return renameText("FolderNotAllowed", "The folder %s cannot be created: %s", folder, problem);
    }
    return QString();
}

QString comparableName(const QString &name, bool caseInsensitive) {
    QString n = name.normalized(QString::NormalizationForm_C);
    return caseInsensitive ? n.toCaseFolded() : n;
}

} // namespace tav
