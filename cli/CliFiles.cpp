#include "cli/CliFiles.h"

#include "cli/CliOutput.h"
#include "core/base/NaturalOrder.h"
#include "core/base/PlainCopy.h"
#include "core/i18n/Language.h"
#include "core/rename/RenameBatch.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
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
void listFolder(const QString &folder, bool natural, bool offer, QStringList &names, QList<QByteArray> &unreadable) {
    const QByteArray bytes = pathBytes(folder);
    DIR *dir = ::opendir(bytes.constData());
    if (!dir)
        return;
    // Every name, for the batch that renames here (see offerFolderListing()).
    const FolderStamp stamp = offer ? folderStamp(::dirfd(dir)) : FolderStamp();
    QByteArray every;
    const QByteArray prefix = bytes.endsWith('/') ? bytes : bytes + '/';
    while (const dirent *e = ::readdir(dir)) {
        const qsizetype size = qsizetype(std::strlen(e->d_name));
        if (offer && !(e->d_name[0] == '.' && (size == 1 || (size == 2 && e->d_name[1] == '.'))))
            every.append(e->d_name, size + 1);
        if (e->d_name[0] == '.' || e->d_type == DT_DIR)
            continue;
        const QByteArray name = QByteArray::fromRawData(e->d_name, size);
        if ((e->d_type == DT_LNK || e->d_type == DT_UNKNOWN) && isFolder(prefix + name))
            continue;
        // A name whose bytes are all ASCII (most names) is text as it
        // stands: it needs neither the UTF-8 check nor the decoding.
        if (plainCopy::ascii(e->d_name, size))
            names.append(QString::fromLatin1(e->d_name, size));
        else if (isValidUtf8(name))
            names.append(QString::fromUtf8(name));
        else
            unreadable.append(prefix + name);
    }
    ::closedir(dir);
    if (offer)
        offerFolderListing(stamp, std::move(every));
    // The names share the folder: sorted, they are the paths sorted.
    bool distinct = false;
    if (natural)
        distinct = sortNaturally(names);
    else
        std::sort(names.begin(), names.end());
    // Both orders are total: a name read twice would stand next to itself.
    if (!distinct)
        names.erase(std::unique(names.begin(), names.end()), names.end());
    std::sort(unreadable.begin(), unreadable.end());
}

// Appends files of folder, with the folder before them when they do not
// follow files of the same folder.
void addFiles(GatheredFiles &gathered, const QString &folder, QStringList &&names) {
    if (names.isEmpty())
        return;
    if (gathered.folders.isEmpty() || gathered.folders.constLast().folder != folder)
        gathered.folders.append({folder, {}});
    QStringList &list = gathered.folders.last().names;
    if (list.isEmpty())
        list = std::move(names);
    else
        list += names;
}

// Keeps the first of the files given more than once.
void keepEachFileOnce(GatheredFiles &gathered) {
    QHash<QString, QSet<QString>> seen; // folder -> names
    QList<GatheredFiles::Folder> once;
    for (const GatheredFiles::Folder &f : std::as_const(gathered.folders)) {
        QSet<QString> &names = seen[f.folder];
        QStringList kept;
        for (const QString &name : f.names) {
            const qsizetype before = names.size();
            names.insert(name);
            if (names.size() > before)
                kept.append(name);
        }
        if (kept.isEmpty())
            continue;
        if (!once.isEmpty() && once.constLast().folder == f.folder)
            once.last().names += kept;
        else
            once.append({f.folder, kept});
    }
    gathered.folders = once;
}

} // namespace

QString gatherFiles(const QList<QByteArray> &arguments, GatheredFiles &gathered, bool natural, bool offerListings) {
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
        const QString path = QDir::cleanPath(info.absoluteFilePath());
        if (info.isDir()) {
            QList<QByteArray> unreadable;
            QStringList names;
            listFolder(path, natural, offerListings, names, unreadable);
            addFiles(gathered, path.endsWith(QLatin1Char('/')) ? path.chopped(1) : path, std::move(names));
            gathered.leftAlone += unreadable;
        } else {
            const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
            addFiles(gathered, path.left(slash), {path.mid(slash + 1)});
        }
    }
    // One folder's listing holds each file once already.
    if (arguments.size() > 1)
        keepEachFileOnce(gathered);
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

qsizetype GatheredFiles::count() const {
    qsizetype n = 0;
    for (const Folder &f : folders)
        n += f.names.size();
    return n;
}

QStringList GatheredFiles::paths() const {
    QStringList out;
    out.reserve(count());
    for (const Folder &f : folders)
        for (const QString &name : f.names)
            out.append(f.folder + QLatin1Char('/') + name);
    return out;
}

} // namespace tav
