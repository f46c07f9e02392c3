// Undoes the last batch of the rename history (the state folder comes from
// the environment) and is killed with SIGKILL at a chosen point:
//   undo_crash_child PHASE MOVES
// right after MOVES moves of phase PHASE (1 or 2) of the undo.
#include "core/rename/RenameHistory.h"

#include <QCoreApplication>

#include <csignal>
#include <cstdio>

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 3) {
        std::fprintf(stderr, "usage: undo_crash_child PHASE MOVES\n");
        return 2;
    }
    const int phase = args[1].toInt();
    const int moves = args[2].toInt();
    int done = 0;
    tav::UndoOptions options;
    options.afterMove = [&](int p, qsizetype) {
        if (p == phase && ++done == moves)
            ::raise(SIGKILL);
    };
    tav::undoBatch(options);
    return 1; // the undo ended without reaching the kill point
}
