#include "cli/CliFiles.h"

#include "cli/CliOutput.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <algorithm>
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

// The entries of a folder that the folder listing below would list, but whose
// names are not valid UTF-8, in byte order.
QList<QByteArray> unreadableNames(const QByteArray &folder) {
    QList<QByteArray> names;
    DIR *dir = ::opendir(folder.constData());
    if (!dir)
        return names;
    while (const dirent *e = ::readdir(dir)) {
        const QByteArray name(e->d_name);
        if (name.startsWith('.') || isValidUtf8(name))
            continue;
        const QByteArray path = folder.endsWith('/') ? folder + name : folder + '/' + name;
        if (!isFolder(path))
            names.append(path);
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

QString gatherFiles(const QList<QByteArray> &arguments, GatheredFiles &gathered) {
    for (const QByteArray &raw : arguments) {
        if (!exists(raw))
            return QStringLiteral("no such file or folder: %1").arg(QString::fromUtf8(escapeBytes(raw)));
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
            const QDir dir(info.absoluteFilePath());
            // The listing also shows names that are not valid UTF-8, decoded
            // with a replacement character: such a name leads to no file, or
            // to another one. Only names that lead back to their own entry
            // join the list (only a name holding that character can fail to).
            const QStringList names = dir.entryList(QDir::Files | QDir::System, QDir::Name);
            for (const QString &n : names) {
                const QString path = QDir::cleanPath(dir.absoluteFilePath(n));
                if (!n.contains(QChar::ReplacementCharacter) || exists(pathBytes(path)))
                    gathered.files.append(path);
            }
            gathered.leftAlone += unreadableNames(pathBytes(dir.absolutePath()));
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
