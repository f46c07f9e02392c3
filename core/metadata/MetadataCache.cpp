#include "core/metadata/MetadataCache.h"

namespace tav {

MetadataCache::MetadataCache() {
    clear();
}

const MetadataRecord *MetadataCache::find(const QString &path) const {
    const auto it = m_index.constFind(path);
    if (it == m_index.cend())
        return nullptr;
    return &m_entries.at(it.value()).record;
}

void MetadataCache::append(const QString &path, const MetadataRecord &record) {
    m_entries.append({path, record});
    // Keep the first entry of a path: a linear scan from entry 1 would find it first.
    if (!m_index.contains(path))
        m_index.insert(path, int(m_entries.size()) - 1);
}

void MetadataCache::clear() {
    m_entries.clear();
    m_index.clear();
    m_entries.append(Entry{});
}

} // namespace tav
