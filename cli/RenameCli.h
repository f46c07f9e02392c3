#pragma once
// The command line's rename and recovery: the same command as the window's
// rename button, with questions asked through the installed front end (the
// terminal, --yes, or no when nobody can be asked) and one record per file.

#include <QByteArray>
#include <QList>
#include <QString>

namespace tav {

class RenameList;
class RecordWriter;
struct Settings;

struct CliRenameOptions {
    QString passes; // the pass count field; empty keeps the engine's
};

// Renames the engine's list on disk. Writes a record "renamed|blocked|failed",
// old path, new path or reason for every file of every batch (one batch, then
// one more for each further pass), a record "skipped", path, reason for every
// file of leftAlone (paths that are not valid UTF-8, never touched), then a
// summary. Returns 0 when every file was renamed, 1 otherwise.
int runCliRename(RenameList &engine, Settings &settings, const CliRenameOptions &options,
                 const QList<QByteArray> &leftAlone, RecordWriter &out);

// Puts back the files of every interrupted batch. Writes a record "restored"
// or "failed", old path, where the file was or the reason, then a summary.
// Returns 0 when nothing is left to put back.
int runCliRecover(RecordWriter &out);

// Lists the rename history, oldest first: one record per batch with its id,
// date, number of files and the folder of its first file. Returns 0.
int runCliHistory(RecordWriter &out);

// Undoes batch id of the history (0: the last one). Without doIt only says
// what would move: a record "undo", current path, old path or "blocked",
// current path, reason per file. With doIt: "renamed|blocked|failed|stopped",
// current path, old path or reason, and "removed", folder for each emptied
// folder of the batch. Returns 0 when every file was (or would be) put back,
// 1 otherwise, 2 for an unknown id, 130/143 when stopped by a signal.
int runCliUndo(qint64 id, bool doIt, int keep, RecordWriter &out);

// The reason given for a path that is not valid UTF-8.
QString notUtf8Reason();

} // namespace tav
