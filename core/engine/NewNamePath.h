#pragma once
// From a computed new name to the path the file is to have.
//
// A new name made by a folder pattern ($MKDIR) uses "\" between folder levels
// on every platform, so saved rules stay portable. It is relative to the
// file's own folder (".\" in front is optional, ".." climbs one level), or
// absolute when it begins with "\" ("\" standing for the root "/"). Any other
// new name is a plain file name in the file's folder, where "\" is an
// ordinary character.

#include "core/base/FileEntry.h"

#include <QString>

namespace tav {

inline constexpr QChar NameFolderSeparator = u'\\';

// A full path cut at its last "/": the folder without that "/" (empty for a
// file at the root or a path without "/") and the file name after it. The
// reverse of FileEntry::fullPath().
struct PathParts {
    QString folder;
    QString name;
};
PathParts splitPath(const QString &path);

// The destination path: folder + "/" + newName, or the folder pattern's path
// with "\" turned into "/" (absolute, or relative to folder). Cleaned of "."
// and ".." components.
QString destinationPath(const QString &folder, const QString &newName, bool makesFolders);
QString destinationPath(const FileEntry &entry);

// The folder that destinationPath() puts the file into (no trailing "/").
QString destinationFolder(const QString &folder, const QString &newName, bool makesFolders);

// Why newName cannot be a file name here, or an empty text when it can: an
// empty name, "." or "..", a "/" or NUL character in a name, or a name longer
// than 255 bytes in UTF-8 (each folder level is checked the same way).
QString newNameProblem(const QString &newName, bool makesFolders);

// The language-file section and keys of those reasons.
QString nameProblemSection();
QStringList nameProblemKeys();

} // namespace tav
