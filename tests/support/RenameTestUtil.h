#pragma once
// Helpers for the rename tests: files with distinct contents in temporary
// folders, and the multiset of contents under a folder, so that a test can
// check that nothing was lost or duplicated whatever happened to the names.

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QMap>
#include <QString>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tavtest {

inline void writeFile(const QString &path, const QByteArray &content) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(path));
    f.write(content);
}

inline QByteArray readFile(const QString &path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

// content -> how many files hold it, for every file under root.
inline QMap<QByteArray, int> contents(const QString &root) {
    QMap<QByteArray, int> m;
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext())
        ++m[readFile(it.next())];
    return m;
}

// Names of the files directly in folder, sorted.
inline QStringList names(const QString &folder) {
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

// Makes a folder refuse new and removed entries, also for root (who ignores
// permissions): the immutable flag where the file system has it.
inline bool setFolderReadOnly(const QString &folder, bool readOnly) {
    if (::geteuid() != 0)
        return ::chmod(QFile::encodeName(folder).constData(), readOnly ? 0555 : 0755) == 0;
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY);
    if (fd < 0)
        return false;
    int flags = 0;
    bool ok = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (ok) {
        flags = readOnly ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
        ok = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    ::close(fd);
    return ok;
}

} // namespace tavtest
