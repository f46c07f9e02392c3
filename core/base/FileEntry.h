#pragma once
#include <QString>

namespace tav {

// One row of the rename list. The row order is the counter order.
struct FileEntry {
    FileEntry() = default;
    FileEntry(const QString &oldName, const QString &folder) : oldName(oldName), folder(folder) {}

    QString oldName; // file name with its extension
    QString folder;  // no trailing separator
    QString newName; // computed name, or a marker text (never renamed / type not selected)
    // Why newName cannot be a file name on this platform (empty when it can);
    // the rename blocks such rows with this reason.
    QString nameProblem;
    bool selected = false;
    // True when newName comes from a folder pattern: its "\" characters then
    // separate folder levels (see engine/NewNamePath.h).
    bool makesFolders = false;

    QString fullPath() const { return folder + QLatin1Char('/') + oldName; }
};

} // namespace tav

// Texts and flags only: a list of rows grows by moving its bytes.
Q_DECLARE_TYPEINFO(tav::FileEntry, Q_RELOCATABLE_TYPE);
