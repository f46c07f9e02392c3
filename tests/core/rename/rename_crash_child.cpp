// Runs one rename batch and ends the process abruptly (no clean-up, no
// destructors) at a chosen point, as a crash or a power loss would.
//   rename_crash_child JOURNAL_FOLDER PHASE MOVES OLD NEW [OLD NEW ...]
// The process _exit()s right after MOVES moves of phase PHASE (1 or 2), or,
// with PHASE "copy", right after step MOVES (1 recorded, 2 created, 3 given
// its name) of the first copy to another file system. Any other PHASE never
// crashes: the batch runs to its end unless something kills the process.
// The missing folders of the new paths are made first, as a folder pattern
// makes them.
//   rename_crash_child JOURNAL_FOLDER recover
// recovers every journal left in JOURNAL_FOLDER and prints the problems.
#include "core/rename/RenameBatch.h"
#include "core/rename/RenameJournal.h"

#include <QCoreApplication>

#include <cstdio>
#include <unistd.h>

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 3 && args[2] == QLatin1String("recover")) {
        tav::RenameJournal::setJournalFolder(args[1]);
        int problems = 0;
        for (const QString &j : tav::pendingJournals()) {
            const tav::RecoveryResult r = tav::recoverJournal(j);
            problems += static_cast<int>(r.problems.size());
            if (!r.problems.isEmpty())
                std::fprintf(stderr, "%s\n", qPrintable(tav::describeProblems(r.problems)));
        }
        return problems == 0 ? 0 : 3;
    }
    if (args.size() < 6 || (args.size() - 4) % 2 != 0) {
        std::fprintf(stderr, "usage: rename_crash_child JOURNAL_FOLDER PHASE MOVES OLD NEW...\n");
        return 2;
    }
    tav::RenameJournal::setJournalFolder(args[1]);
    const bool copy = args[2] == QLatin1String("copy");
    const int phase = copy ? 0 : args[2].toInt();
    const int moves = args[3].toInt();
    QList<tav::RenameItem> items;
    for (int i = 4; i + 1 < args.size(); i += 2) {
        items.append({args[i], args[i + 1], QString()});
        tav::makeFoldersSynced(args[i + 1].left(args[i + 1].lastIndexOf(QLatin1Char('/'))));
    }
    tav::RenameBatch batch(items);
    batch.prepare();
    int done = 0;
    tav::RenameBatch::Hooks hooks;
    hooks.afterMove = [&](int p, qsizetype) {
        if (p == phase && ++done == moves)
            ::_exit(0);
    };
    if (copy) {
        hooks.copyStep = [&](int step, qsizetype) {
            if (step == moves)
                ::_exit(0);
        };
    }
    batch.run(hooks);
    return 1; // the batch ended without reaching the crash point
}
