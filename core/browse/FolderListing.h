#pragma once
// Folder listing for the folder browser, with no widget: reading a folder's
// entries, the texts shown in its columns (size in Ko, dates, attributes,
// type), the file pattern and the sort order of the columns.

#include "core/base/Wildcard.h"

#include <QDateTime>
#include <QLocale>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <vector>

namespace tav::shell {

// One entry of a folder: raw values only; the texts are made when shown.
struct FolderItem {
    QString name;        // last component of the path
    QString path;        // full path
    qint64 size = 0;     // bytes (0 for folders)
    qint64 modified = 0; // milliseconds since the epoch, UTC
    qint64 created = 0;  // birth time when the file system keeps it, else status change time
    qint64 accessed = 0;
    bool isDir = false;
    bool isLink = false;   // a symbolic link (its target's details are shown)
    bool readOnly = false; // the user may not write it
    bool hidden = false;   // dot-file
    int typeIndex = -1;    // into FolderListing::types (files only)
};

// The type of a file, shared by every file with the same extension.
struct FileType {
    QString name;     // "Image JPEG", "Fichier XYZ"
    QString iconName; // freedesktop icon name
    QString suffix;   // lower-case extension, empty for none
};

// Columns of the folder contents list, in their order.
enum class Column : int { Name = 0, Size, Type, Modified, Created, Accessed, Attributes, Count };

// The key stored in "SortBy" for a column, and back (-1 when unknown).
QString columnKey(Column column);
int columnFromKey(const QString &key);

struct FolderListing {
    QString folder;      // as asked, cleaned
    bool exists = false; // the folder was found and could be opened
    int errorCode = 0;   // errno of a failure to open it, 0 otherwise
    int skipped = 0;     // entries left out: names that are not valid UTF-8, vanished meanwhile
    int undecodable = 0; // of those, the names that are not valid UTF-8 (they cannot be shown)
    std::vector<FolderItem> items;
    std::vector<FileType> types;
};

// Lists a folder: files whose names match pattern (see PatternMatcher) and,
// when includeDirectories, its sub-folders (whatever the pattern). "." and
// ".." never appear. Symbolic links show their target's details; a dangling
// link is listed as a file of size 0.
// Safe to run on a worker thread with nameTypes false; the types the system
// does not know are then named by nameUnknownTypes() on the thread of the
// language files.
FolderListing listFolder(const QString &folder, const QString &pattern, bool includeDirectories, bool nameTypes = true);
void nameUnknownTypes(FolderListing &listing);

// Sub-folder names of a folder (links to folders included), sorted as the
// tree shows them. ok is false when the folder cannot be read.
QStringList listSubfolders(const QString &folder, bool *ok = nullptr);

// Sorts names the way the browser shows them: case-insensitive, then exact.
void sortNames(QStringList &names);
bool nameLess(const QString &a, const QString &b);

// "#,##0 Ko": bytes / 1024 rounded up, thousands grouped by the locale, the
// unit that of the language in use (Ko, KB).
QString sizeText(qint64 bytes, const QLocale &locale = QLocale());
// Short date of the locale, one space, time of day without seconds.
QString dateText(qint64 msecsSinceEpoch, const QLocale &locale = QLocale());
// The date-time format dateText uses for that locale.
QString dateFormat(const QLocale &locale = QLocale());
// "R" for read-only, "H" for hidden, in that order; empty for a normal file.
QString attributeText(const FolderItem &item);

// The display filter: the program's one file-name matcher (see NameFilter).
using PatternMatcher = tav::NameFilter;

bool matchesPattern(const QString &name, const QString &pattern);
// One wildcard pattern against one text, both taken as they are (no case change).
bool wildcardMatch(const QString &text, const QString &pattern);

// How names compare: in natural order (core/base/NaturalOrder.h), or plain
// (nameLess: case-insensitive, then exact).
enum class NameOrder { Natural, Plain };
bool nameLess(const QString &a, const QString &b, NameOrder order);

// Order of a column: sizes compare as numbers, dates as date-times, other
// columns as text (case-insensitive); ties are broken by the name, and the
// name column is the name in the given order. Returns the row order (indexes
// into items), ascending or descending.
std::vector<int> sortedOrder(const FolderListing &listing, Column column, bool descending,
                             NameOrder names = NameOrder::Natural);
// Order used when no column is sorted: folders first, then by name.
std::vector<int> naturalOrder(const FolderListing &listing, NameOrder names = NameOrder::Natural);

} // namespace tav::shell
