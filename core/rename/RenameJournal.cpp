#include "core/rename/RenameJournal.h"

#include "core/rename/RenameTexts.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace tav {

namespace {

const QByteArray Header = "TRAVOLINE-RENAME-JOURNAL 1\n";
const QString Suffix = QStringLiteral(".journal");

QString &folderOverride() {
    static QString folder;
    return folder;
}

QByteArray encodePath(const QString &path) {
    return QFile::encodeName(path).toPercentEncoding("/");
}

QString decodePath(const QByteArray &field) {
    return QFile::decodeName(QByteArray::fromPercentEncoding(field));
}

QByteArray serialise(const QList<JournalRecord> &records) {
    QByteArray out = Header;
    out.reserve(records.size() * 200);
    for (const JournalRecord &r : records) {
        out += "R\t";
        out += encodePath(r.oldPath);
        out += '\t';
        out += encodePath(r.tempPath);
        out += '\t';
        out += encodePath(r.newPath);
        out += '\t';
        out += QByteArray::number(r.identity.device);
        out += '\t';
        out += QByteArray::number(r.identity.inode);
        out += '\t';
        out += QByteArray::number(r.identity.size);
        out += '\t';
        out += QByteArray::number(r.identity.mtimeNs);
        out += '\n';
    }
    return out;
}

bool writeAllTo(int fd, const QByteArray &data) {
    const char *p = data.constData();
    qsizetype left = data.size();
    while (left > 0) {
        const ssize_t w = ::write(fd, p, static_cast<size_t>(left));
        if (w < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        p += w;
        left -= w;
    }
    return true;
}

void syncFolder(const QString &folder) {
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

// Writes data to path (created exclusively when exclusive), synced. Returns
// the open descriptor (the caller keeps or closes it) or -1 with errno set.
int writeSynced(const QString &path, const QByteArray &data, bool exclusive) {
    const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (exclusive ? O_EXCL : O_TRUNC);
    const int fd = ::open(QFile::encodeName(path).constData(), flags, 0600);
    if (fd < 0)
        return -1;
    if (!writeAllTo(fd, data) || ::fsync(fd) != 0) {
        const int e = errno;
        ::close(fd);
        ::unlink(QFile::encodeName(path).constData());
        errno = e;
        return -1;
    }
    return fd;
}

// Rewrites a journal in place through a temporary file, so that a crash during
// the rewrite leaves either the old or the new content.
bool rewriteJournal(const QString &path, const QList<JournalRecord> &records) {
    if (records.isEmpty()) {
        const bool ok = ::unlink(QFile::encodeName(path).constData()) == 0 || errno == ENOENT;
        syncFolder(QFileInfo(path).absolutePath());
        return ok;
    }
    const QString tmp = path + QStringLiteral(".new");
    const int fd = writeSynced(tmp, serialise(records), false);
    if (fd < 0)
        return false;
    ::close(fd);
    if (::rename(QFile::encodeName(tmp).constData(), QFile::encodeName(path).constData()) != 0) {
        ::unlink(QFile::encodeName(tmp).constData());
        return false;
    }
    syncFolder(QFileInfo(path).absolutePath());
    return true;
}

enum class Where { Missing, Old, Temp, New };

// The same file as recorded. Device numbers may change across a restart
// (removable and network drives), so inode, size and time together also count.
bool sameAsRecorded(const FileIdentity &now, const FileIdentity &recorded) {
    return now.sameFile(recorded) ||
           (now.valid() && now.inode == recorded.inode && now.size == recorded.size && now.mtimeNs == recorded.mtimeNs);
}

} // namespace

RenameJournal::~RenameJournal() {
    if (m_fd >= 0)
        ::close(m_fd);
}

QString RenameJournal::journalFolder() {
    if (!folderOverride().isEmpty())
        return folderOverride();
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/Travoline/journal");
}

void RenameJournal::setJournalFolder(const QString &folder) {
    folderOverride() = folder;
}

bool RenameJournal::begin(const QList<JournalRecord> &records, QString *error) {
    const QString folder = journalFolder();
    if (!QDir().mkpath(folder)) {
        if (error)
            *error = renameText("JournalFolder", "The rename journal folder %s cannot be created.", folder);
        return false;
    }
    static int sequence = 0; // two short batches may start within one millisecond
    const QString name = QStringLiteral("rename-%1-%2-%3%4")
                             .arg(QCoreApplication::applicationPid())
                             .arg(QDateTime::currentMSecsSinceEpoch())
                             .arg(++sequence)
                             .arg(Suffix);
    const QString path = QDir(folder).filePath(name);
    const int fd = writeSynced(path, serialise(records), true);
    if (fd < 0) {
        if (error)
            *error =
                renameText("JournalWrite", "The rename journal %s cannot be written: %s", path, systemErrorText(errno));
        return false;
    }
    // The lock tells recovery this batch is still running; it goes with the process.
    ::flock(fd, LOCK_EX | LOCK_NB);
    syncFolder(folder);
    m_path = path;
    m_fd = fd;
    return true;
}

void RenameJournal::finish(const QList<JournalRecord> &stillPending) {
    if (m_path.isEmpty())
        return;
    rewriteJournal(m_path, stillPending);
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_path.clear();
}

bool RenameJournal::read(const QString &path, QList<JournalRecord> &records) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    const QByteArray data = f.readAll();
    if (!data.startsWith(Header))
        return false;
    records.clear();
    const QList<QByteArray> lines = data.mid(Header.size()).split('\n');
    for (const QByteArray &line : lines) {
        if (line.isEmpty())
            continue;
        const QList<QByteArray> fields = line.split('\t');
        if (fields.size() != 8 || fields[0] != "R")
            continue; // a torn last line after a crash while writing
        JournalRecord r;
        r.oldPath = decodePath(fields[1]);
        r.tempPath = decodePath(fields[2]);
        r.newPath = decodePath(fields[3]);
        r.identity.device = fields[4].toULongLong();
        r.identity.inode = fields[5].toULongLong();
        r.identity.size = fields[6].toLongLong();
        r.identity.mtimeNs = fields[7].toLongLong();
        records.append(r);
    }
    return true;
}

QStringList pendingJournals() {
    QStringList result;
    const QDir dir(RenameJournal::journalFolder());
    const QStringList names = dir.entryList({QStringLiteral("*") + Suffix}, QDir::Files, QDir::Name);
    for (const QString &name : names) {
        const QString path = dir.filePath(name);
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            continue;
        // A journal still locked belongs to a batch that is running now.
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            ::flock(fd, LOCK_UN);
            result << path;
        }
        ::close(fd);
    }
    return result;
}

RecoveryResult recoverJournal(const QString &journalPath) {
    RecoveryResult result;
    QList<JournalRecord> records;
    if (!RenameJournal::read(journalPath, records)) {
        result.problems.append(
            {journalPath, QString(), renameText("JournalUnreadable", "This file is not a readable rename journal.")});
        return result;
    }

    // Hold the lock while recovering, so that a second copy of the program
    // does not recover the same journal at the same time.
    const int lockFd = ::open(QFile::encodeName(journalPath).constData(), O_RDONLY | O_CLOEXEC);
    if (lockFd >= 0 && ::flock(lockFd, LOCK_EX | LOCK_NB) != 0) {
        ::close(lockFd);
        result.problems.append(
            {journalPath, QString(), renameText("JournalBusy", "This rename journal is in use by a running batch.")});
        return result;
    }

    // Find every file by its identity: under its old, temporary or new name.
    QList<Where> where(records.size(), Where::Missing);
    for (qsizetype k = 0; k < records.size(); ++k) {
        const JournalRecord &r = records[k];
        const FileIdentity atOld = fileIdentity(r.oldPath);
        if (sameAsRecorded(atOld, r.identity)) {
            where[k] = Where::Old;
            continue;
        }
        const FileIdentity atTemp = fileIdentity(r.tempPath);
        if (sameAsRecorded(atTemp, r.identity) || (atTemp.valid() && !atOld.valid())) {
            where[k] = Where::Temp;
            continue;
        }
        const FileIdentity atNew = fileIdentity(r.newPath);
        // A move across file systems makes a new file with the same size and times.
        if (sameAsRecorded(atNew, r.identity) || (atNew.valid() && atNew.device != r.identity.device &&
                                                  atNew.size == r.identity.size && atNew.mtimeNs == r.identity.mtimeNs))
            where[k] = Where::New;
    }

    // First every file found under its new name goes to its temporary name, so
    // that old names taken by other files of the batch (swaps) are freed...
    for (qsizetype k = 0; k < records.size(); ++k) {
        if (where[k] == Where::New && moveFileNoReplace(records[k].newPath, records[k].tempPath))
            where[k] = Where::Temp;
    }
    // ...then every file goes back under its old name.
    QList<JournalRecord> pending;
    for (qsizetype k = 0; k < records.size(); ++k) {
        const JournalRecord &r = records[k];
        switch (where[k]) {
        case Where::Old:
            ++result.alreadyInPlace;
            break;
        case Where::Missing:
            result.problems.append({r.oldPath, r.newPath,
                                    renameText("RecoverMissing", "Not found under its old, temporary or new name.")});
            break;
        case Where::Temp:
        case Where::New: {
            const QString from = where[k] == Where::Temp ? r.tempPath : r.newPath;
            const MoveResult m = moveFileNoReplace(from, r.oldPath);
            if (m.ok) {
                ++result.restored;
                result.moved.append({r.oldPath, from, QString()});
            } else {
                result.problems.append(
                    {r.oldPath, from,
                     renameText("RecoverFailed", "Cannot be put back (%s); the file is now named %s", m.reason, from)});
                pending << r;
            }
            break;
        }
        }
    }
    rewriteJournal(journalPath, pending);
    if (lockFd >= 0)
        ::close(lockFd);
    return result;
}

QString describeProblems(const QList<ReviewEntry> &problems) {
    QStringList lines;
    for (const ReviewEntry &p : problems)
        lines << p.oldPath + QStringLiteral(": ") + p.reason;
    return lines.join(QStringLiteral("\r\n"));
}

int offerJournalRecovery() {
    const QStringList journals = pendingJournals();
    if (journals.isEmpty())
        return 0;
    int files = 0;
    for (const QString &j : journals) {
        QList<JournalRecord> records;
        if (RenameJournal::read(j, records))
            files += static_cast<int>(records.size());
    }
    const QString title = renameText("RecoverTitle", "Interrupted rename");
    const int answer = frontEnd().msgBox(renameText("RecoverQuestion",
                                                    "A rename batch was interrupted before it ended (%s files).|"
                                                    "Put every file of it back under its old name?",
                                                    QString::number(files)),
                                         StyleYesNo + StyleQuestion, title);
    if (answer != AnswerYes)
        return 0;
    int recovered = 0;
    QList<ReviewEntry> problems;
    int restored = 0;
    for (const QString &j : journals) {
        const RecoveryResult r = recoverJournal(j);
        restored += r.restored;
        problems += r.problems;
        ++recovered;
    }
    if (problems.isEmpty()) {
        frontEnd().msgBox(
            renameText("RecoverDone", "%s files were put back under their old name.", QString::number(restored)),
            StyleInformation, title);
    } else {
        frontEnd().msgBox(
            renameText("RecoverPartly", "%s files were put back. These could not be:|", QString::number(restored)) +
                describeProblems(problems),
            StyleExclamation, title);
    }
    return recovered;
}

} // namespace tav
