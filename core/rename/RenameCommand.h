#pragma once
// The rename command: applies the new names of the rename list on disk in
// one batch (two phases through temporary names, conflicts reviewed before
// anything moves), then the after-rename options and further passes. It runs
// without a window: questions, the review and progress go through
// tav::frontEnd(); what only the window can do comes in as callbacks.

#include "core/rename/RenameBatch.h"

#include <QList>
#include <QString>
#include <functional>

namespace tav {

class RenameList;
struct Settings;

// Files that now have their new path: items.at(i) for each i of moved, in
// the order they moved. The items are the batch's own (shared, not copied);
// their paths are made only by whoever needs them.
struct RenamedFiles {
    QList<RenameItem> items;
    QList<qsizetype> moved;
    // A file moved from oldPath to newPath, noted after the others.
    void append(const QString &oldPath, const QString &newPath) {
        moved.append(items.size());
        items.append(RenameItem(oldPath, newPath));
    }
};

struct RenameCallbacks {
    // The thumbnails: the files of the batch that got their new name (a list
    // may hold files of several folders, and a file may move into a new
    // sub-folder). Called once after the batch, before the folder list is
    // shown again; also when the batch failed on the way, for the files it
    // had moved.
    std::function<void(const RenamedFiles &files)> thumbnailsRenamed;
    // The folder contents list shows its folder again (display filter).
    std::function<void()> refreshFolderList;
    // The window title shows the new renamed-files count.
    std::function<void()> updateTitle;
    // The count label of the rename list.
    std::function<void(const QString &text)> countLabel;
    // The rule text, start, step or pass-count fields changed (the window
    // shows them again without recomputing names).
    std::function<void()> fieldsChanged;
    // Polled between files while the files go to their temporary names: true
    // stops the batch there, and every file keeps its old name.
    std::function<bool()> stopRequested;
};

// What became of one item of the batch (the item of the same index).
struct RenameLine {
    RenameStatus status = RenameStatus::Pending;
    QString reason;
};

struct RenameReport {
    bool started = false;   // the phases ran
    bool cancelled = false; // declined at the counter-width question or in the review
    bool stopped = false;   // stopped while running: nothing was renamed
    int total = 0;          // entries in the batch
    int renamed = 0;
    QList<RenameItem> items; // the entries of the batch, in list order (old and new paths)
    QList<RenameLine> lines; // one per item
    QString error;           // a failure that stopped the command
    qint64 historyId = 0;    // the batch's id in the rename history (0: not recorded)
};

inline const QString RenameProcedure = QStringLiteral("cmdRenommer_Click (Feuille frmMain)");

// The whole rename command over the engine's list and rule, the settings
// (after-rename options, renamed-files count, current rule) and the window's
// callbacks. Never throws: a failure is reported with the command's procedure
// text and the window is enabled again.
RenameReport cmdRenommer_Click(RenameList &engine, Settings &settings, const RenameCallbacks &callbacks = {});

// True from the start of the rename command to its end, events included:
// the rename list must not change meanwhile.
bool renameRunning();

// The counter-width question's numbers: for h "#" characters, n files, a
// start and a step, the last counter value and the digits it needs (0 when
// it fits in h digits).
struct CounterWidth {
    qint64 lastValue = 0;
    int digitsNeeded = 0;
};
CounterWidth counterWidth(int hashes, qint64 files, qint64 start, qint64 step);

} // namespace tav
