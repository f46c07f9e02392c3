#pragma once
// Moving one file on disk for the rename: never replaces an existing file,
// works inside a folder, across folders and across file systems, and says why
// when it fails.

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>
#include <functional>

struct stat;

namespace tav {

// The folder part of an encoded path: "/" for a name at the root, "." for a
// bare name.
QByteArray folderOf(const QByteArray &path);

struct MoveResult {
    bool ok = false;
    int error = 0;       // errno of the failing call, 0 on success
    QString reason;      // the system's text for error, empty on success
    bool copied = false; // the file was copied to another file system: a new file (new identity)

    explicit operator bool() const { return ok; }
};

struct FileIdentity;
class CopyRecorder;

// The same move for a file named relative to open folders (fromDir, toDir:
// descriptors of the folders from and to are in, fromName and toName the
// encoded last parts), which spares the system walking the whole path each
// time. Where that move is refused for a reason other than a taken name or a
// missing file (another file system, a file system without the no-replace
// flag), it falls back to moveFileNoReplace(from(), to(), recorder): the
// full paths are made only then.
MoveResult moveFileNoReplaceAt(int fromDir, const QByteArray &fromName, int toDir, const QByteArray &toName,
                               const std::function<QString()> &from, const std::function<QString()> &to,
                               CopyRecorder *recorder = nullptr);

// Told about the steps of a copy across file systems before they happen, so
// that a crash at any moment can be undone (the rename journal). Either call
// returns false when it cannot record the step; the copy is then not made.
class CopyRecorder {
public:
    virtual ~CopyRecorder() = default;
    // The name of the unfinished copy in to's folder, recorded before the
    // copy is created there. Empty when it cannot be recorded.
    virtual QString partialPath(const QString &to) = 0;
    // The unfinished copy now exists with this identity.
    virtual bool created(const QString &partialPath, const FileIdentity &copy) = 0;
    // The complete copy has its name (synced); the source is removed next.
    virtual void placed(const QString & /*to*/) {}
    // On a file system with neither a no-replace rename nor hard links, an
    // empty placeholder is about to be created at to and the file renamed
    // over it; created() follows with the placeholder's identity. False when
    // it cannot be recorded: the move is then not made.
    virtual bool reserving(const QString & /*to*/) { return true; }
};

// Moves the file (or link, or folder within one file system) at from to to.
// Fails with EEXIST when anything exists at to, whatever the file system:
// where the no-replace rename is refused, by link + unlink, and without hard
// links by a rename over an empty placeholder created exclusively; never by
// a plain rename that could replace a file.
// Across file systems a regular file is copied into a new file under a
// temporary name in to's folder (created exclusively, with the source's
// permissions and times), synced, moved to its name without replacing, and
// only then is the source removed: at any moment there is one complete file
// under from or to, plus at most the unfinished copy or a complete second
// copy, which the recorder's records let a recovery remove. On a failure the
// copy is removed and the source stays.
MoveResult moveFileNoReplace(const QString &from, const QString &to, CopyRecorder *recorder = nullptr);

// Identity of a file on disk (device and inode), to tell whether two names
// lead to the same file and to find a file again after a crash.
struct FileIdentity {
    quint64 device = 0;
    quint64 inode = 0;
    qint64 size = -1;
    qint64 mtimeNs = 0;
    quint64 links = 0; // names the file has (hard links)
    bool valid() const { return size >= 0; }
    bool sameFile(const FileIdentity &o) const {
        return valid() && o.valid() && device == o.device && inode == o.inode;
    }
    // The same file as one recorded earlier: device and inode, or inode, size
    // and time together, since device numbers of removable and network drives
    // may change across a restart.
    bool sameAsRecorded(const FileIdentity &recorded) const {
        return sameFile(recorded) ||
               (valid() && inode == recorded.inode && size == recorded.size && mtimeNs == recorded.mtimeNs);
    }
};

// The prefix of the unfinished copies made by moves across file systems.
inline const QString PartialCopyPrefix = QStringLiteral(".tmp_Tvol_copy_");

// lstat() of path; an invalid identity when nothing is there.
FileIdentity fileIdentity(const QString &path);
// The identity a stat() call gave.
FileIdentity identityOf(const struct ::stat &st);

// Writes all of data to fd, again after an interruption; false on an error.
bool writeAllTo(int fd, const char *data, size_t len);
inline bool writeAllTo(int fd, const QByteArray &data) {
    return writeAllTo(fd, data.constData(), static_cast<size_t>(data.size()));
}
// fsync() of a folder, so that the names created or removed in it reach the
// disk; a folder that cannot be opened is left alone.
void syncFolder(const QByteArray &folder);
inline void syncFolder(const QString &folder) {
    syncFolder(QFile::encodeName(folder));
}

// Makes folder and its missing parents, outermost first, and syncs the parent
// of each new folder right after making it: a folder is on disk before
// anything is made or moved into it, whatever a power cut keeps. 0, or the
// errno that stopped it. created: the folders made, outermost first.
int makeFoldersSynced(const QString &folder, unsigned mode = 0777, QStringList *created = nullptr);

// True when something (file, folder, link, even a dangling one) has that name.
bool pathOccupied(const QString &path);

// The folders whose entries moves changed. Their entries reach the disk only
// when each folder is synced (fsync), so a journal that describes the moves
// may say they are done only after sync() succeeded.
class ChangedFolders {
public:
    // The folders of both names; when the file changed folder, also the
    // folders above its new one up to the first one shared with the old name
    // (folders just created for it have their own entries in their parents).
    void noteMove(const QString &from, const QString &to);
    // The folder of a name that was created or removed.
    void noteName(const QString &path);
    bool isEmpty() const { return m_folders.isEmpty(); }
    // Syncs every noted folder that still exists and forgets them all. 0, or
    // the errno of the first folder that could not be synced (that folder in
    // failedFolder); a folder that is gone can no longer be synced and fails
    // with its errno too.
    int sync(QString *failedFolder = nullptr);

private:
    void add(const QByteArray &folder);
    QSet<QByteArray> m_folders;
    QList<QByteArray> m_order;            // first noted first
    QByteArray m_lastFrom, m_lastTo;      // the last pair of folders noted, to skip repeats
    QString m_lastFromText, m_lastToText; // the same, as given
};

// The system's text for an errno value, in the user's language where the
// system has it.
QString systemErrorText(int error);

} // namespace tav
