#pragma once
// The files that the PATH arguments of travoline-cli add to the list: a file
// itself, or a folder's files (not its hidden ones nor its sub-folders), by
// name. A path whose bytes are not valid UTF-8 cannot be handled as text
// without loss, so such a file is never added: it is kept aside, by its raw
// bytes, to be reported as left alone.

#include <QByteArray>
#include <QList>
#include <QStringList>

namespace tav {

struct GatheredFiles {
    // Files of one folder, in the order they join the list.
    struct Folder {
        QString folder; // absolute and clean, without a final "/" (empty for the root)
        QStringList names;
    };
    QList<Folder> folders;       // each file once, the folders' files one after the other
    QList<QByteArray> leftAlone; // absolute raw paths that are not valid UTF-8

    qsizetype count() const;
    // Every file's full path, in order.
    QStringList paths() const;
};

// Gathers the files of the arguments, given by their raw bytes; a folder's
// files in natural order (core/base/NaturalOrder.h), or by their text
// otherwise; a file given twice joins once, where it came first. Returns an empty text, or the reason (an argument that
// names nothing) with the argument escaped. With offerListings, each folder's listing is kept for the batch
// that renames in it next (offerFolderListing()), which then does not read the folder again.
QString gatherFiles(const QList<QByteArray> &arguments, GatheredFiles &gathered, bool natural = true,
                    bool offerListings = false);

} // namespace tav
