#include "core/rename/RenameFileMove.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <atomic>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#ifndef RENAME_NOREPLACE
#define RENAME_NOREPLACE (1 << 0)
#endif

namespace tav {

QByteArray folderOf(const QByteArray &path) {
    const qsizetype slash = path.lastIndexOf('/');
    if (slash > 0)
        return path.left(slash);
    return QByteArray(slash == 0 ? "/" : ".");
}

namespace {

MoveResult failure(int error) {
    MoveResult r;
    r.error = error;
    r.reason = systemErrorText(error);
    return r;
}

MoveResult success() {
    MoveResult r;
    r.ok = true;
    return r;
}

int callRenameNoReplace(const char *from, const char *to) {
    return ::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE);
}

// Neither the no-replace flag nor hard links (exFAT and FAT through FUSE):
// the destination is taken first by an empty file (or folder) created
// exclusively, which fails when anything has that name, and the file is then
// renamed over that placeholder of its own. The placeholder is recorded
// before it is made, so that a recovery removes it if a crash comes between.
MoveResult reserveThenRename(const char *from, const char *to, bool folder, CopyRecorder *recorder) {
    const QString toName = QFile::decodeName(to);
    if (!folder && recorder && !recorder->reserving(toName))
        return failure(EIO);
    struct stat mine;
    if (folder) {
        if (::mkdir(to, 0700) != 0)
            return failure(errno);
        if (::lstat(to, &mine) != 0)
            return failure(errno);
    } else {
        const int fd = ::open(to, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0)
            return failure(errno);
        const int statted = ::fstat(fd, &mine);
        ::close(fd);
        if (statted != 0 || (recorder && !recorder->created(toName, identityOf(mine)))) {
            ::unlink(to);
            return failure(EIO);
        }
    }
    // The rename replaces only the placeholder: still ours, still empty.
    struct stat now;
    if (::lstat(to, &now) != 0 || now.st_ino != mine.st_ino || now.st_dev != mine.st_dev ||
        (!folder && now.st_size != 0))
        return failure(EEXIST);
    if (::rename(from, to) != 0) {
        const int e = errno;
        if (folder)
            ::rmdir(to);
        else
            ::unlink(to);
        return failure(e);
    }
    return success();
}

// Some file systems (older network and FUSE ones) refuse the no-replace flag;
// a hard link cannot replace either, so link + unlink keeps the promise.
MoveResult linkThenUnlink(const char *from, const char *to, CopyRecorder *recorder) {
    if (::link(from, to) != 0) {
        const int e = errno;
        if (e != EPERM && e != ENOTSUP && e != EOPNOTSUPP && e != ENOSYS)
            return failure(e);
        return reserveThenRename(from, to, false, recorder);
    }
    if (::unlink(from) != 0) {
        const int e = errno;
        ::unlink(to); // the file keeps its first name only
        return failure(e);
    }
    return success();
}

bool copyContents(int in, int out, off_t size) {
    off_t left = size;
    while (left > 0) {
        const ssize_t c = ::copy_file_range(in, nullptr, out, nullptr, static_cast<size_t>(left), 0);
        if (c < 0) {
            if (errno == EINTR)
                continue;
            if (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP)
                break; // fall back to plain reads from where we are
            return false;
        }
        if (c == 0)
            break;
        left -= c;
    }
    if (left == 0)
        return true;
    const off_t done = size - left;
    if (::lseek(in, done, SEEK_SET) < 0 || ::lseek(out, done, SEEK_SET) < 0)
        return false;
    char buf[1 << 16];
    for (;;) {
        const ssize_t r = ::read(in, buf, sizeof buf);
        if (r < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (r == 0)
            return true;
        if (!writeAllTo(out, buf, static_cast<size_t>(r)))
            return false;
    }
}

void syncFolderOf(const QByteArray &path) {
    const int slash = path.lastIndexOf('/');
    syncFolder(slash > 0 ? path.left(slash) : QByteArray(slash == 0 ? "/" : "."));
}

// Moves within one file system without replacing: the no-replace rename, or
// link + unlink where the file system refuses the flag.
MoveResult placeNoReplace(const char *from, const char *to, CopyRecorder *recorder) {
    if (callRenameNoReplace(from, to) == 0)
        return success();
    const int e = errno;
    if (e == EINVAL || e == ENOSYS || e == ENOTSUP || e == EOPNOTSUPP)
        return linkThenUnlink(from, to, recorder);
    return failure(e);
}

// The unfinished copy's name when nobody records it: unique to this process.
QString ownPartialPath(const QString &to) {
    static std::atomic<quint64> counter{0};
    const qsizetype slash = to.lastIndexOf(QLatin1Char('/'));
    return to.left(slash + 1) + PartialCopyPrefix + QString::number(::getpid()) + QLatin1Char('_') +
           QString::number(++counter);
}

// Across file systems: copy into an unfinished copy beside the destination,
// keep permissions and times, sync, give it its name without replacing, then
// remove the source. The source is never removed before the copy is complete
// on disk under its name, and no partial file ever has the destination's name.
MoveResult copyThenRemove(const char *from, const char *to, CopyRecorder *recorder) {
    struct stat st;
    if (::lstat(from, &st) != 0)
        return failure(errno);

    if (S_ISLNK(st.st_mode)) {
        QByteArray target(static_cast<int>(st.st_size) + 1, '\0');
        const ssize_t len = ::readlink(from, target.data(), static_cast<size_t>(target.size()));
        if (len < 0)
            return failure(errno);
        target.truncate(static_cast<int>(len));
        // A link is made whole under its name in one call.
        if (::symlink(target.constData(), to) != 0)
            return failure(errno);
        if (::unlink(from) != 0) {
            const int e = errno;
            ::unlink(to);
            return failure(e);
        }
        return success();
    }
    if (!S_ISREG(st.st_mode))
        return failure(EXDEV); // folders and special files are not copied across file systems

    // A taken name refuses the move before anything is copied.
    struct stat there;
    if (::lstat(to, &there) == 0)
        return failure(EEXIST);

    const QString toName = QFile::decodeName(to);
    const QString partialName = recorder ? recorder->partialPath(toName) : ownPartialPath(toName);
    if (partialName.isEmpty())
        return failure(EIO);
    const QByteArray partial = QFile::encodeName(partialName);

    const int in = ::open(from, O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return failure(errno);
    const int out = ::open(partial.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (out < 0) {
        const int e = errno;
        ::close(in);
        return failure(e);
    }
    int e = 0;
    struct stat copySt;
    if (::fstat(out, &copySt) != 0)
        e = errno;
    else if (recorder && !recorder->created(partialName, identityOf(copySt)))
        e = EIO;
    if (!e && !copyContents(in, out, st.st_size))
        e = errno ? errno : EIO;
    if (!e) {
        if (::fchown(out, st.st_uid, st.st_gid) != 0) {
            // Another owner needs privileges; the file then stays the user's own.
        }
        if (::fchmod(out, st.st_mode & 07777) != 0)
            e = errno;
    }
    if (!e) {
        const struct timespec times[2] = {st.st_atim, st.st_mtim};
        if (::futimens(out, times) != 0)
            e = errno;
    }
    if (!e && ::fsync(out) != 0)
        e = errno;
    ::close(in);
    if (::close(out) != 0 && !e)
        e = errno;
    if (e) {
        ::unlink(partial.constData());
        return failure(e);
    }
    const MoveResult placed = placeNoReplace(partial.constData(), to, recorder);
    if (!placed.ok) {
        ::unlink(partial.constData());
        return placed;
    }
    syncFolderOf(QByteArray(to));
    if (recorder)
        recorder->placed(toName);
    if (::unlink(from) != 0) {
        // The source cannot go (read-only folder): keep one copy only, the original.
        e = errno;
        ::unlink(to);
        syncFolderOf(QByteArray(to));
        return failure(e);
    }
    syncFolderOf(QByteArray(from));
    return success();
}

MoveResult copiedAcross(const char *from, const char *to, CopyRecorder *recorder) {
    MoveResult r = copyThenRemove(from, to, recorder);
    r.copied = r.ok;
    return r;
}

} // namespace

MoveResult moveFileNoReplace(const QString &from, const QString &to, CopyRecorder *recorder) {
    const QByteArray f = QFile::encodeName(from);
    const QByteArray t = QFile::encodeName(to);
    if (f.isEmpty() || t.isEmpty())
        return failure(ENOENT);
    if (callRenameNoReplace(f.constData(), t.constData()) == 0)
        return success();
    const int e = errno;
    if (e == EINVAL || e == ENOSYS || e == ENOTSUP || e == EOPNOTSUPP) {
        // The flag itself may be what was refused; the plain checks below
        // tell a refused flag from a genuinely invalid move.
        struct stat st;
        if (::lstat(f.constData(), &st) != 0)
            return failure(errno);
        if (S_ISDIR(st.st_mode))
            return reserveThenRename(f.constData(), t.constData(), true, nullptr);
        const MoveResult r = linkThenUnlink(f.constData(), t.constData(), recorder);
        if (!r.ok && r.error == EXDEV)
            return copiedAcross(f.constData(), t.constData(), recorder);
        return r;
    }
    if (e == EXDEV)
        return copiedAcross(f.constData(), t.constData(), recorder);
    return failure(e);
}

MoveResult moveFileNoReplaceAt(int fromDir, const QByteArray &fromName, int toDir, const QByteArray &toName,
                               const std::function<QString()> &from, const std::function<QString()> &to,
                               CopyRecorder *recorder) {
    if (fromDir < 0 || toDir < 0)
        return moveFileNoReplace(from(), to(), recorder);
    if (::renameat2(fromDir, fromName.constData(), toDir, toName.constData(), RENAME_NOREPLACE) == 0)
        return success();
    const int e = errno;
    if (e == EEXIST || e == ENOENT)
        return failure(e);
    return moveFileNoReplace(from(), to(), recorder);
}

FileIdentity identityOf(const struct ::stat &st) {
    FileIdentity id;
    id.device = st.st_dev;
    id.inode = st.st_ino;
    id.size = st.st_size;
    id.mtimeNs = qint64(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
    id.links = st.st_nlink;
    return id;
}

bool writeAllTo(int fd, const char *data, size_t len) {
    while (len > 0) {
        const ssize_t w = ::write(fd, data, len);
        if (w < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += w;
        len -= static_cast<size_t>(w);
    }
    return true;
}

void syncFolder(const QByteArray &folder) {
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

FileIdentity fileIdentity(const QString &path) {
    struct stat st;
    if (::lstat(QFile::encodeName(path).constData(), &st) == 0)
        return identityOf(st);
    return FileIdentity();
}

int makeFoldersSynced(const QString &folder, unsigned mode, QStringList *created) {
    const QByteArray path = QFile::encodeName(QDir::cleanPath(QDir(folder).absolutePath()));
    for (qsizetype at = 1; at <= path.size(); ++at) {
        if (at < path.size() && path[at] != '/')
            continue;
        const QByteArray part = path.left(at);
        if (::mkdir(part.constData(), mode) == 0) {
            const int parentFd = ::open(folderOf(part).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            const int e = parentFd < 0                                                    ? errno
                          : (::fsync(parentFd) == 0 || errno == EINVAL || errno == EROFS) ? 0
                                                                                          : errno;
            if (parentFd >= 0)
                ::close(parentFd);
            if (created)
                created->append(QFile::decodeName(part));
            if (e != 0)
                return e;
            continue;
        }
        if (errno != EEXIST)
            return errno;
        struct stat st;
        if (::stat(part.constData(), &st) != 0)
            return errno;
        if (!S_ISDIR(st.st_mode))
            return ENOTDIR;
    }
    struct stat st;
    if (::stat(path.constData(), &st) != 0)
        return errno;
    return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
}

bool pathOccupied(const QString &path) {
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0;
}

void ChangedFolders::add(const QByteArray &folder) {
    if (!m_folders.contains(folder)) {
        m_folders.insert(folder);
        m_order.append(folder);
    }
}

void ChangedFolders::noteMove(const QString &from, const QString &to) {
    // Most moves of a batch stay in the folders of the move before.
    const QStringView fromFolder = QStringView(from).left(qMax<qsizetype>(from.lastIndexOf(QLatin1Char('/')), 0));
    const QStringView toFolder = QStringView(to).left(qMax<qsizetype>(to.lastIndexOf(QLatin1Char('/')), 0));
    if (!m_lastFrom.isEmpty() && fromFolder == m_lastFromText && toFolder == m_lastToText)
        return;
    m_lastFromText = fromFolder.toString();
    m_lastToText = toFolder.toString();
    const QByteArray f = folderOf(QFile::encodeName(from));
    const QByteArray t = folderOf(QFile::encodeName(to));
    m_lastFrom = f;
    m_lastTo = t;
    add(f);
    add(t);
    if (f == t)
        return;
    // Up from the new folder to the first folder that holds the old one too.
    QByteArray up = t;
    auto holdsOld = [&f](const QByteArray &d) { return d == f || d == "/" || d == "." || f.startsWith(d + '/'); };
    while (!holdsOld(up)) {
        up = folderOf(up);
        add(up);
    }
}

void ChangedFolders::noteName(const QString &path) {
    add(folderOf(QFile::encodeName(path)));
}

int ChangedFolders::sync(QString *failedFolder) {
    int firstError = 0;
    // Parents before their children: a folder made for the batch is on disk
    // in its parent before what was moved into it.
    std::stable_sort(m_order.begin(), m_order.end(),
                     [](const QByteArray &a, const QByteArray &b) { return a.count('/') < b.count('/'); });
    for (const QByteArray &folder : std::as_const(m_order)) {
        int e = 0;
        const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0)
            e = errno;
        else if (::fsync(fd) != 0 && errno != EINVAL && errno != EROFS)
            e = errno; // EINVAL/EROFS: a file system that cannot sync folders has nothing pending
        if (fd >= 0)
            ::close(fd);
        if (e != 0 && firstError == 0) {
            firstError = e;
            if (failedFolder)
                *failedFolder = QFile::decodeName(folder);
        }
    }
    m_folders.clear();
    m_order.clear();
    m_lastFrom.clear();
    m_lastTo.clear();
    m_lastFromText.clear();
    m_lastToText.clear();
    return firstError;
}

QString systemErrorText(int error) {
    char buf[256];
    // GNU strerror_r returns the text (possibly a static string, not buf).
    const char *text = ::strerror_r(error, buf, sizeof buf);
    return QString::fromLocal8Bit(text);
}

} // namespace tav
