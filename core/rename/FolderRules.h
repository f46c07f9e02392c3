#pragma once
// What the file system of a folder allows in a name: camera cards (exFAT,
// FAT) and disks shared with Windows (NTFS, SMB) ignore case, refuse some
// characters and names, and count a name's length in UTF-16 units.

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace tav {

struct FolderRules {
    bool caseInsensitive = false; // two names that differ only by case are one name
    bool windowsNames = false;    // Windows' forbidden characters and names apply
    bool utf16Length = false;     // 255 UTF-16 units per name, not 255 bytes
};

// The rules of the file system folder is on: its type (statfs, and the mount
// table for FUSE), and for case a look-up of probeName (a name in the folder,
// with letters) under another case; without one, of the folder's own name in
// its parent. An unreachable folder gets the rules of its nearest existing
// parent.
FolderRules folderRules(const QByteArray &folder, const QByteArray &probeName = QByteArray());

// Why name cannot be a file or folder name under these rules (empty when it can):
// a character Windows forbids, a trailing dot or space, a reserved device name,
// or a name too long.
QString nameRuleProblem(const QString &name, const FolderRules &rules);

// False where the file system numbers its files anew on each mount (FUSE,
// FAT, exFAT): there an inode number recorded before a crash may name
// another file after it.
bool stableInodeNumbers(const QByteArray &folder);

// Why the folders missing (outermost first, full paths) cannot be made under
// the rules of the file system they would be on; empty when they can.
QString newFoldersProblem(const QStringList &missing);

// The form in which names are compared for "the same name": NFC, and case
// folded where the file system ignores case.
QString comparableName(const QString &name, bool caseInsensitive);

} // namespace tav
