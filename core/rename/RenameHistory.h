#pragma once
// The rename history: every batch that renamed at least one file is written,
// synced, to a file of its own in <state folder>/history as soon as it ends:
// its time, and each renamed file's old and new full path with the identity
// of the file under its new name. Only the last batches are kept (a setting).
// Undo renames the files of a batch back through the same two-phase,
// never-overwrite batch and journal as a rename; the undo is itself a batch
// of the history, so that undoing it renames the files again.

#include "core/base/AideThread.h"
#include "core/rename/RenameBatch.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

namespace tav {

struct HistoryFile {
    QString oldPath;
    QString newPath;
    FileIdentity identity; // of the file under newPath when the batch ended
};

struct HistoryBatch {
    qint64 id = 0;
    QDateTime time;
    qint64 undoes = 0;          // the batch this one undid; 0 for a rename
    int fileCount = 0;          // files renamed
    QString firstFolder;        // the folder of the first file's old path
    QList<HistoryFile> files;   // empty when only the header was read
    QStringList createdFolders; // folders made for the batch ($MKDIR$), parents first
};

namespace history {

// <state folder>/history.
QString folder();

// The lines a prepared batch's history will hold if every file that is to
// move gets its new name, made on a second thread while the batch runs: a
// large batch's history is then mostly ready when it ends. Made before
// run(). The lines of the first entries only, up to about most bytes:
// memory stays bounded.
class LinesAhead {
public:
    explicit LinesAhead(const RenameBatch &batch, qsizetype most = qsizetype(16) << 20);
    // Stops the thread. The lines of the entries before until, when these
    // ended as foreseen; null otherwise.
    const QByteArray *linesFor(const RenameBatch &batch, qsizetype &until);

private:
    std::vector<char> m_moving; // the entries foreseen, in batch order
    QByteArray m_lines;
    qsizetype m_until = 0;
    AideThread m_aide; // last: stopped before the rest goes
};

// Writes the batch's renamed files to the history and drops the oldest batches
// beyond keep (0 keeps none and writes nothing). createdFolders: the folders
// made for this batch. Returns the new batch's id, or 0 when nothing was
// written (no file renamed, keep 0, or the file could not be written: error says why).
// With ahead, its lines are written when they are the batch's.
qint64 record(const RenameBatch &batch, const QStringList &createdFolders, int keep, qint64 undoes = 0,
              QString *error = nullptr, LinesAhead *ahead = nullptr);

// The batches of the history, oldest first, headers only.
QList<HistoryBatch> list();

// One batch with its files; id 0 is the last one.
std::optional<HistoryBatch> load(qint64 id = 0);

// The folders on the way to path that do not exist yet, outermost first.
QStringList missingFolders(const QString &path);

} // namespace history

struct UndoLine {
    RenameStatus status = RenameStatus::Pending; // Pending in a dry run: would be put back
    QString fromPath;                            // the file's name now (the batch's new name)
    QString toPath;                              // the name it gets back
    QString reason;
};

struct UndoReport {
    bool found = false;     // the batch exists
    bool cancelled = false; // declined in the review
    bool started = false;   // the files moved
    bool stopped = false;   // stopped before any file was put back
    qint64 undoneId = 0;    // the batch undone
    qint64 recordedId = 0;  // the undo's own batch in the history
    int total = 0;
    int renamed = 0;
    QList<UndoLine> lines;      // one per file of the batch, in its order
    QStringList removedFolders; // folders of the batch removed once empty
    QString error;              // the batch could not start (journal)
    QString historyError;       // the undo ran but could not be recorded
};

struct UndoOptions {
    qint64 id = 0;       // the batch to undo; 0 the last one
    bool dryRun = false; // only say what would move
    int keep = 50;       // history size for the undo's own record
    std::function<bool()> stopRequested;
    // Test hook standing for a crash: after each move of phase 1 or 2.
    std::function<void(int, qsizetype)> afterMove;
};

// Undoes one batch of the history. The files whose new name no longer holds
// the renamed file, or whose old name is taken, are blocked and shown in the
// review (through the front end: continue without them or cancel); the
// others get their old names back, the folders made for the batch go when
// empty, and the undo is recorded. Questions, review and progress go through
// tav::frontEnd().
UndoReport undoBatch(const UndoOptions &options);

// The history's and the undo's texts that have no number: section
// "Historique" of the language file, with a built-in default.
QString historyText(const char *key, const char *fallback, const QString &p1 = QString(),
                    const QString &p2 = QString());

// The undo's texts are numbered messages above the numbers of the message
// cache: message n of section MSG, read from the language file each time.
QString undoMessage(int n, const char *fallback, const QString &p1 = QString(), const QString &p2 = QString());
enum UndoMessage {
    MsgUndoCommand = 101,  // the command's caption
    MsgUndoQuestion = 102, // asked first: file count, date
    MsgUndoDone = 103,     // files put back
    MsgUndoPartly = 104,   // files not put back, a list follows
    MsgUndoNothing = 105,  // the history is empty
    MsgUndoTip = 106,      // the command's tooltip
};

} // namespace tav
