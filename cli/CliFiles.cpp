#include "cli/CliFiles.h"

#include "cli/CliOutput.h"
#include "core/base/NaturalOrder.h"
#include "core/i18n/Language.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <algorithm>
#include <cstring>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tav {

namespace {

bool exists(const QByteArray &path) {
    struct stat st;
    return ::lstat(path.constData(), &st) == 0;
}

// A folder (a link to one counts) is not a file of the list.
bool isFolder(const QByteArray &path) {
    struct stat st;
    return ::stat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

QByteArray absolute(const QByteArray &path) {
    if (path.startsWith('/'))
        return path;
    return pathBytes(QDir::currentPath()) + '/' + path;
}

// The files of a folder (everything but folders, links to folders and names
// beginning with "."), read once: files in name order (natural or plain), and in byte order
// those whose names are not valid UTF-8 (no path that reads as text leads to
// them). The entry's type spares a stat() for all but links and file systems
// that do not tell it.
void listFolder(const QString &folder, bool natural, QStringList &files, QList<QByteArray> &unreadable) {
    const QByteArray bytes = pathBytes(folder);
    DIR *dir = ::opendir(bytes.constData());
    if (!dir)
        return;
    const QByteArray prefix = bytes.endsWith('/') ? bytes : bytes + '/';
    const QString textPrefix = folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
    // Whole paths sorted are the names sorted: they share the folder.
    QStringList paths;
    while (const dirent *e = ::readdir(dir)) {
        if (e->d_name[0] == '.' || e->d_type == DT_DIR)
            continue;
        const QByteArray name = QByteArray::fromRawData(e->d_name, qsizetype(std::strlen(e->d_name)));
        if ((e->d_type == DT_LNK || e->d_type == DT_UNKNOWN) && isFolder(prefix + name))
            continue;
        if (isValidUtf8(name))
            paths.append(textPrefix + QString::fromUtf8(name));
        else
            unreadable.append(prefix + name);
    }
    ::closedir(dir);
    if (natural)
        sortNaturally(paths);
    else
        std::sort(paths.begin(), paths.end());
    files += paths;
    std::sort(unreadable.begin(), unreadable.end());
}

} // namespace

QString gatherFiles(const QList<QByteArray> &arguments, GatheredFiles &gathered, bool natural) {
    for (const QByteArray &raw : arguments) {
        if (!exists(raw))
            return i18n::getText(QStringLiteral("LigneDeCommande"), QStringLiteral("NoSuchPath"),
                                 QStringLiteral("no such file or folder: %s"), QString::fromUtf8(escapeBytes(raw)));
        if (!isValidUtf8(raw)) {
            const QByteArray path = absolute(raw);
            if (!isFolder(path)) {
                gathered.leftAlone.append(path);
                continue;
            }
            // No file of this folder has a path that reads as text.
            DIR *dir = ::opendir(path.constData());
            QList<QByteArray> inside;
            while (const dirent *e = dir ? ::readdir(dir) : nullptr) {
                const QByteArray name(e->d_name);
                const QByteArray child = path + '/' + name;
                if (!name.startsWith('.') && !isFolder(child))
                    inside.append(child);
            }
            if (dir)
                ::closedir(dir);
            std::sort(inside.begin(), inside.end());
            gathered.leftAlone += inside;
            continue;
        }
        const QFileInfo info(QFile::decodeName(raw));
        if (info.isDir()) {
            QList<QByteArray> unreadable;
            listFolder(QDir::cleanPath(info.absoluteFilePath()), natural, gathered.files, unreadable);
            gathered.leftAlone += unreadable;
        } else {
            gathered.files.append(QDir::cleanPath(info.absoluteFilePath()));
        }
    }
    // A file given twice is left alone once, as it would join the list once.
    QList<QByteArray> once;
    QSet<QByteArray> seen;
    for (const QByteArray &path : std::as_const(gathered.leftAlone))
        if (!seen.contains(path)) {
            seen.insert(path);
            once.append(path);
        }
    gathered.leftAlone = once;
    return {};
}

} // namespace tav
