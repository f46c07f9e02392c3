// Runs one rename batch and ends the process abruptly (no clean-up, no
// destructors) at a chosen point, as a crash or a power loss would.
//   rename_crash_child JOURNAL_FOLDER PHASE MOVES OLD NEW [OLD NEW ...]
// The process _exit()s right after MOVES moves of phase PHASE (1 or 2).
#include "core/rename/RenameBatch.h"
#include "core/rename/RenameJournal.h"

#include <QCoreApplication>

#include <cstdio>
#include <unistd.h>

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 6 || (args.size() - 4) % 2 != 0) {
        std::fprintf(stderr, "usage: rename_crash_child JOURNAL_FOLDER PHASE MOVES OLD NEW...\n");
        return 2;
    }
    tav::RenameJournal::setJournalFolder(args[1]);
    const int phase = args[2].toInt();
    const int moves = args[3].toInt();
    QList<tav::RenameItem> items;
    for (int i = 4; i + 1 < args.size(); i += 2)
        items.append({args[i], args[i + 1], QString()});
    tav::RenameBatch batch(items);
    batch.prepare();
    int done = 0;
    tav::RenameBatch::Hooks hooks;
    hooks.afterMove = [&](int p, qsizetype) {
        if (p == phase && ++done == moves)
            ::_exit(0);
    };
    batch.run(hooks);
    return 1; // the batch ended without reaching the crash point
}
