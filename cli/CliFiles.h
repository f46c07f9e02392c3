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
    QStringList files;           // absolute, clean paths, in the order they join the list
    QList<QByteArray> leftAlone; // absolute raw paths that are not valid UTF-8
};

// Gathers the files of the arguments, given by their raw bytes; a folder's
// files in natural order (core/base/NaturalOrder.h), or by their text
// otherwise. Returns an empty text, or the reason (an argument that names
// nothing) with the argument escaped.
QString gatherFiles(const QList<QByteArray> &arguments, GatheredFiles &gathered, bool natural = true);

} // namespace tav
