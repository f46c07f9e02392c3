#pragma once
// The rename journal: before the first file of a batch moves, the old,
// temporary and new path of every file are written to a journal file and
// synced to disk; the journal is removed when the batch ends. A journal found
// later means the batch was cut short (crash, power loss): recovery puts every
// file back under its old name. A move across file systems adds the steps of
// its copy (the unfinished copy's name before it is created, its identity
// once it exists), so that recovery finds and removes what a crash left.

#include "core/base/FrontEnd.h"
#include "core/rename/RenameFileMove.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <functional>
#include <initializer_list>

namespace tav {

// Fields of the journal's and the history's lines: paths percent-encoded from
// their bytes (any name survives a tab-separated line), identities as
// "device<TAB>inode<TAB>size<TAB>mtime".
namespace journalFields {
QByteArray encodePath(const QString &path);
QString decodePath(const QByteArray &field);
QByteArray identity(const FileIdentity &id);
// The same, appended to out (no line of a long journal is built apart).
void appendPath(QByteArray &out, QStringView path);
void appendIdentity(QByteArray &out, const FileIdentity &id);
// A path in two parts, a folder with its "/" and a name (text, or encoded
// bytes), written as one field without being joined first.
struct Parts {
    QStringView folder;
    const QByteArray *encodedFolder = nullptr; // the folder already percent-encoded, instead of folder
    QStringView name;
    const char *bytes = nullptr; // the name encoded, instead of name
    qsizetype size = 0;
    Parts(QStringView folder, QStringView name) : folder(folder), name(name) {}
    Parts(QStringView folder, const char *bytes, qsizetype size) : folder(folder), bytes(bytes), size(size) {}
    Parts(const QByteArray &encodedFolder, QStringView name) : encodedFolder(&encodedFolder), name(name) {}
    Parts(const QByteArray &encodedFolder, const char *bytes, qsizetype size)
        : encodedFolder(&encodedFolder), bytes(bytes), size(size) {}
};
// A whole line: the tag, each path, then the identity, tab-separated.
void appendLine(QByteArray &out, char tag, std::initializer_list<Parts> paths, const FileIdentity &id);
// The percent-encoded form of the folder of the line before, made again only
// when the folder's string changes: the lines of one folder share it.
class FolderField {
public:
    const QByteArray &of(const QString &folder) {
        if (folder.constData() != m_folder.constData() || folder.size() != m_folder.size()) {
            m_folder = folder; // kept: its data cannot be reused for another folder meanwhile
            m_encoded.resize(0);
            appendPath(m_encoded, QStringView(folder));
        }
        return m_encoded;
    }

private:
    QString m_folder;
    QByteArray m_encoded;
};
// The identity in the four fields from first on.
FileIdentity identity(const QList<QByteArray> &fields, qsizetype first);
} // namespace journalFields

// A copy of a file made by a move across file systems, or the empty
// placeholder of a move on a file system without a no-replace rename nor hard
// links (then partialPath and finalPath are the same name).
struct CopyStep {
    QString partialPath;   // its name until it was complete
    QString finalPath;     // the name it was to get
    FileIdentity identity; // device and inode once created; invalid when the crash came first
};

struct JournalRecord {
    QString oldPath;
    QString tempPath;
    QString newPath;
    FileIdentity identity;  // of the file at oldPath when the journal was written
    QList<CopyStep> copies; // oldest first
};

// Appends the steps of copies across file systems to a journal file, synced
// before the step is taken.
class JournalCopyRecorder : public CopyRecorder {
public:
    JournalCopyRecorder() = default;
    JournalCopyRecorder(int fd, QString token, int firstNumber)
        : m_fd(fd), m_token(std::move(token)), m_next(firstNumber) {}
    // The journal record the next copies belong to.
    void setRecord(qsizetype record) { m_record = record; }

    QString partialPath(const QString &to) override;
    bool created(const QString &partialPath, const FileIdentity &copy) override;
    void placed(const QString &) override;
    bool reserving(const QString &to) override;

    // Called after each step (1 recorded, 2 created, 3 placed): a test hook
    // standing for a crash at that moment.
    std::function<void(int)> afterStep;

private:
    bool append(const QByteArray &line);
    int m_fd = -1;
    QString m_token;
    int m_next = 0;
    qsizetype m_record = 0;
};

// Marks appended to a journal as the batch goes. A journal without marks
// was cut short before the first phase was on disk; with Done every
// file has its final name on disk, and recovery only removes the journal.
enum class JournalPhase { TemporaryNames = 1, Done = 2 };

class RenameJournal {
public:
    RenameJournal() = default;
    ~RenameJournal(); // releases the lock; the file stays unless finish() ran
    RenameJournal(const RenameJournal &) = delete;
    RenameJournal &operator=(const RenameJournal &) = delete;

    // Writes the records to a new journal in journalFolder(), syncs it and its
    // folder, and keeps it locked (a running batch's journal is never taken
    // for a crashed one). False with the reason when it cannot be written.
    bool begin(const QList<JournalRecord> &records, QString *error);
    // The same for count records whose lines line(k, out) appends to out
    // (with appendRecord), written in large blocks as they come: no list of
    // records nor the whole journal is held in memory.
    using RecordLine = std::function<void(qsizetype k, QByteArray &out)>;
    bool begin(qsizetype count, const RecordLine &line, QString *error,
               const QList<JournalRecord> *withCopies = nullptr);
    static void appendRecord(QByteArray &out, const journalFields::Parts &oldPath, const journalFields::Parts &tempPath,
                             const journalFields::Parts &newPath, const FileIdentity &identity);
    // Replaces the journal by one holding only records (files that could not
    // be put back); with none, marks the batch done (synced), then removes
    // the journal. The caller has synced the folders the batch changed.
    void finish(const QList<JournalRecord> &stillPending = {});
    // Appends a phase mark, synced: the moves of that phase are on disk.
    bool markPhase(JournalPhase phase);
    // Records new temporary names (record index, path), synced, before any
    // of them is used.
    bool retarget(const QList<QPair<qsizetype, QString>> &tempPaths);
    QString path() const { return m_path; }
    // Records the copy steps of the move of record (its index in begin()'s list).
    JournalCopyRecorder *copyRecorder(qsizetype record) {
        m_recorder.setRecord(record);
        return &m_recorder;
    }

    // Where journals live: <state folder>/journal, settable for tests.
    static QString journalFolder();
    // Where earlier versions wrote them (<config>/Travoline/journal); still
    // searched for journals to recover. Empty while journalFolder() is set.
    static QString legacyJournalFolder();
    static void setJournalFolder(const QString &folder);

    // Reads a journal file; false when it is not one.
    static bool read(const QString &path, QList<JournalRecord> &records);
    // The same, with the last phase mark (0 when none).
    static bool read(const QString &path, QList<JournalRecord> &records, int *phase);

private:
    QString m_path;
    int m_fd = -1;
    JournalCopyRecorder m_recorder;
};

// Journals left behind by batches that did not end (their process is gone).
QStringList pendingJournals();

struct RecoveryResult {
    // Nothing to put back: the journal said every file had its new name on
    // disk, or it was cut short before its first file moved. It is removed.
    bool batchHadEnded = false;
    int restored = 0;            // files moved back under their old name
    int alreadyInPlace = 0;      // files that were still under their old name
    QList<ReviewEntry> problems; // files that could not be put back, and why
    QList<ReviewEntry> moved;    // files put back: old path, and the name they had
    // Copies left by a move across file systems that was cut short (unfinished,
    // or complete beside the file they copy) and removed: the copy's path, the
    // file it copied, and what it was.
    QList<ReviewEntry> removedCopies;
};

// Puts every file of the journal back under its old name, then removes the
// journal (or keeps only the files that could not be put back).
RecoveryResult recoverJournal(const QString &journalPath);

// At start-up: when journals are pending, asks the user (through the front
// end) whether to put the files back, recovers on yes and reports what could
// not be done. Returns the number of journals recovered.
int offerJournalRecovery();

// One line per problem, "old path: reason", for messages and the command line.
QString describeProblems(const QList<ReviewEntry> &problems);

} // namespace tav
