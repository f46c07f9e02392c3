#pragma once
// The rename journal: before the first file of a batch moves, the old,
// temporary and new path of every file are written to a journal file and
// synced to disk; the journal is removed when the batch ends. A journal found
// later means the batch was cut short (crash, power loss): recovery puts every
// file back under its old name.

#include "core/base/FrontEnd.h"
#include "core/rename/RenameFileMove.h"

#include <QList>
#include <QString>

namespace tav {

struct JournalRecord {
    QString oldPath;
    QString tempPath;
    QString newPath;
    FileIdentity identity; // of the file at oldPath when the journal was written
};

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
    // Replaces the journal by one holding only records (files that could not
    // be put back); with none, removes it.
    void finish(const QList<JournalRecord> &stillPending = {});
    QString path() const { return m_path; }

    // Where journals live: <config>/Travoline/journal, settable for tests.
    static QString journalFolder();
    static void setJournalFolder(const QString &folder);

    // Reads a journal file; false when it is not one.
    static bool read(const QString &path, QList<JournalRecord> &records);

private:
    QString m_path;
    int m_fd = -1;
};

// Journals left behind by batches that did not end (their process is gone).
QStringList pendingJournals();

struct RecoveryResult {
    int restored = 0;            // files moved back under their old name
    int alreadyInPlace = 0;      // files that were still under their old name
    QList<ReviewEntry> problems; // files that could not be put back, and why
    QList<ReviewEntry> moved;    // files put back: old path, and the name they had
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
