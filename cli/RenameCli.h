#pragma once
// The command line's rename and recovery: the same command as the window's
// rename button, with questions asked on the terminal (or answered by --yes,
// or answered no when nobody can be asked) and one line per file on output.

#include <QString>

class QTextStream;

namespace tav {

class NameEngine;
struct Settings;

struct CliRenameOptions {
    bool yes = false; // answer yes to every question, continue past the review
    QString passes;   // the pass count field; empty keeps the engine's
};

// Options gathered while the arguments are read.
CliRenameOptions &cliRenameOptions();

// Renames the engine's list on disk. Prints "renamed|blocked|failed", a tab,
// the old path, a tab, the new path or the reason, for every file of every
// batch (one batch, then one more for each further pass), then a summary
// line. Returns 0 when every file was renamed, 1 otherwise.
int runCliRename(NameEngine &engine, Settings &settings, QTextStream &out, QTextStream &err);

// Puts back the files of every interrupted batch. Prints "restored" or
// "failed", a tab, the old path, a tab, where the file was or the reason,
// then a summary line. Returns 0 when nothing is left to put back.
int runCliRecover(QTextStream &out, QTextStream &err);

} // namespace tav
