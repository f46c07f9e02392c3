#pragma once
// What travoline-reader may do once it runs: read files, write only into the
// shared thumbnail cache, no network, no other program, bounded memory.
// Every step is taken where the system allows it and skipped where it does
// not (a container without user namespaces, an older kernel): each one only
// narrows what a parser gone wrong could reach.

#include <QString>
#include <QStringList>

namespace tav::sandbox {

// Applies the limits; writable is the one folder the helper may write into.
// Returns the steps that took effect ("rlimits", "no-network", "landlock",
// "seccomp"), for the helper's --sandbox report.
QStringList apply(const QString &writable);

} // namespace tav::sandbox
