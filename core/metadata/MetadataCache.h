#pragma once
// The records read so far, by the path the caller asked for. Entry 0 is a
// placeholder that look-ups skip; entries are only ever appended, so the
// first entry of a path is the one returned, whatever was appended later.
// A cached record is returned even when the file has changed since: the
// user empties the cache to read files again.

#include "core/base/MetadataRecord.h"

#include <QHash>
#include <QList>
#include <QString>

namespace tav {

class MetadataCache {
public:
    struct Entry {
        QString path;
        MetadataRecord record;
    };

    MetadataCache();

    // The record of path (exact, case-sensitive comparison), or null.
    const MetadataRecord *find(const QString &path) const;
    void append(const QString &path, const MetadataRecord &record);
    // Back to the single placeholder entry.
    void clear();

    // Number of entries, the placeholder included.
    int size() const { return int(m_entries.size()); }
    const Entry &at(int i) const { return m_entries.at(i); }

private:
    QList<Entry> m_entries;
    QHash<QString, int> m_index; // path -> first entry with that path
};

} // namespace tav
