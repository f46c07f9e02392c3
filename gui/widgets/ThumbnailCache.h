#pragma once
// Thumbnails shared with the desktop. Every file manager keeps the thumbnails
// it makes in one per-user cache ($XDG_CACHE_HOME/thumbnails): a PNG per file
// named by the MD5 of the file's URI, holding that URI and the file's
// modification time in text chunks. A thumbnail is taken from there when both
// still match, else from the small picture the camera stored in the photo,
// else by decoding the photo; what is made is stored back for the next visit
// and for the other programs. A picture file that cannot be made into one is
// recorded as failed and not tried again until its modification time
// changes. No widget here: it runs on worker threads.
//
// Files on removable media (under /media, /run/media or /mnt) read the cache
// but never write to it, files inside the cache folder are never given
// thumbnails of their own. Pictures are made upright by the photo's Exif
// orientation, mirrored ones included, as the other programs store them.

#include "core/rename/RenameCommand.h"

#include <QImage>
#include <QList>
#include <QSize>
#include <QString>

namespace tav::thumbs {

// The cache's size folders: the largest picture edge each one holds.
struct Flavour {
    const char *folder;
    int edge;
};
// The smallest folder whose pictures cover box, the largest for a larger box.
Flavour flavourFor(QSize box);

// $XDG_CACHE_HOME/thumbnails, or ~/.cache/thumbnails without it.
QString cacheFolder();
// "file://" and the absolute path, its bytes escaped as the desktop's
// libraries escape them ("%20" for a space, upper-case hexadecimal).
QString fileUri(const QString &path);
// Where the cache keeps the thumbnail of path at that size, and where it
// records that path could not be made into one.
QString entryPath(const QString &path, const Flavour &flavour);
QString failurePath(const QString &path);

enum class Source {
    Cache,        // a valid entry of the shared cache
    Embedded,     // the preview stored in the photo
    Decoded,      // the photo itself, decoded at a reduced size
    KnownFailure, // recorded as failed before, at the same modification time
    Failed,       // could not be made now
};

struct Thumbnail {
    QImage image; // fitted in the box asked for; null on failure
    Source source = Source::Failed;
};

// The thumbnail of path fitted in box, upright by the photo's orientation,
// made in this process. Safe on any thread.
Thumbnail thumbnail(const QString &path, QSize box);
// The same, with the photo parsed and decoded by the helper travoline-reader
// (one per calling thread): a photo that crashes or hangs the decoder only
// gets no thumbnail. Entries of the shared cache are read here.
Thumbnail thumbnailOutside(const QString &path, QSize box);

// The preview pane's picture of path fitted in box, turned by angle, the
// angle its metadata record gives: the thumbnail above when that is the
// photo's own orientation (or the record names no turn of a mirrored photo,
// which it cannot name), else the photo decoded at box and turned by angle.
// Made in this process.
Thumbnail picture(const QString &path, QSize box, int angle);
// The same, made by the helper travoline-reader.
Thumbnail pictureOutside(const QString &path, QSize box, int angle);

// Files renamed or moved, taken as one batch (a name may pass from one file
// to another within it): every entry and failure record still valid for a
// file under its old URI is stored again under the new one and removed from
// the old. Files on removable media or in the cache folder are left alone.
// Failures are ignored: a missing entry only means a new thumbnail later.
// Safe on any thread; meant for a worker. The paths are made here, and only
// when the cache holds any entry at all.
void moveEntries(const QList<RenamedFiles> &batches);
// The same for files given by their old and new path.
void moveEntries(const QList<std::pair<QString, QString>> &renames);

// How many thumbnails came from each source in this process.
struct Counts {
    int cache = 0, embedded = 0, decoded = 0, failed = 0;
};
Counts counts();

} // namespace tav::thumbs
