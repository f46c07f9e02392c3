#include "core/browse/FolderListing.h"

#include "core/base/NaturalOrder.h"
#include "core/base/PlainCopy.h"
#include "core/i18n/Language.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QMimeDatabase>
#include <QRegularExpression>

#include <optional>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tav::shell {

namespace {

const char *const kColumnKeys[] = {"Name", "Size", "Type", "Modified", "Created", "Accessed", "Attributes"};

// A name read from the disk, or a null string when its bytes are not valid
// UTF-8: such a name would not lead back to the same file once decoded.
QString decodedName(const char *bytes) {
    // Most names are plain ASCII, the same in every encoding: no round trip.
    const size_t length = std::strlen(bytes);
    if (plainCopy::ascii(bytes, qsizetype(length)))
        return QString::fromLatin1(bytes, qsizetype(length));
    const QByteArray raw(bytes, qsizetype(length));
    QString name = QFile::decodeName(raw);
    if (QFile::encodeName(name) != raw)
        return QString();
    return name;
}

qint64 msecs(const struct statx_timestamp &t) {
    return qint64(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}

bool writableByUser(const struct statx &st) {
    const uid_t uid = geteuid();
    if (uid == 0)
        return true;
    if (st.stx_uid == uid)
        return st.stx_mode & S_IWUSR;
    if (st.stx_gid == getegid())
        return st.stx_mode & S_IWGRP;
    return st.stx_mode & S_IWOTH;
}

QString suffixOf(const QString &name) {
    const qsizetype dot = name.lastIndexOf(u'.');
    if (dot <= 0 || dot == name.size() - 1)
        return QString();
    return name.mid(dot + 1);
}

// One type per extension: looking the type up once per extension instead of
// once per file keeps 50,000 files cheap.
class TypeTable {
public:
    explicit TypeTable(std::vector<FileType> &types) : m_types(types) {}

    int typeOf(const QString &name) {
        const QString suffix = suffixOf(name).toLower();
        auto found = m_bySuffix.constFind(suffix);
        if (found != m_bySuffix.constEnd())
            return *found;
        FileType type;
        type.suffix = suffix;
        if (!suffix.isEmpty()) {
            const QList<QMimeType> candidates = m_mime.mimeTypesForFileName(name);
            if (!candidates.isEmpty()) {
                type.name = candidates.first().comment();
                type.iconName = candidates.first().iconName();
            }
        }
        if (type.iconName.isEmpty())
            type.iconName = QStringLiteral("application-octet-stream");
        const int index = int(m_types.size());
        m_types.push_back(type);
        m_bySuffix.insert(suffix, index);
        return index;
    }

private:
    std::vector<FileType> &m_types;
    QHash<QString, int> m_bySuffix;
    QMimeDatabase m_mime;
};

struct DirCloser {
    DIR *dir;
    ~DirCloser() {
        if (dir)
            closedir(dir);
    }
};

} // namespace

QString columnKey(Column column) {
    const int i = int(column);
    return i >= 0 && i < int(Column::Count) ? QString::fromLatin1(kColumnKeys[i]) : QString();
}

int columnFromKey(const QString &key) {
    for (int i = 0; i < int(Column::Count); ++i)
        if (key.compare(QLatin1String(kColumnKeys[i]), Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

void nameUnknownTypes(FolderListing &listing) {
    for (FileType &type : listing.types) {
        if (!type.name.isEmpty())
            continue;
        if (type.suffix.isEmpty())
            type.name =
                i18n::getText(QStringLiteral("LVExplorer"), QStringLiteral("TypeFile"), QStringLiteral("Fichier"));
        else
            type.name = i18n::getText(QStringLiteral("LVExplorer"), QStringLiteral("TypeExtension"),
                                      QStringLiteral("Fichier %s"), type.suffix.toUpper());
    }
}

FolderListing listFolder(const QString &folder, const QString &pattern, bool includeDirectories, bool nameTypes) {
    FolderListing listing;
    listing.folder = folder.isEmpty() ? QString() : QDir::cleanPath(folder);
    if (listing.folder.isEmpty())
        return listing;

    DirCloser closer{opendir(QFile::encodeName(listing.folder).constData())};
    if (!closer.dir) {
        listing.errorCode = errno;
        return listing;
    }
    listing.exists = true;
    const int dirFd = dirfd(closer.dir);
    const PatternMatcher matcher(pattern);
    TypeTable types(listing.types);
    const QString prefix = listing.folder.endsWith(u'/') ? listing.folder : listing.folder + u'/';

    while (true) {
        errno = 0;
        const dirent *entry = readdir(closer.dir);
        if (!entry)
            break;
        const char *raw = entry->d_name;
        if (raw[0] == '.' && (raw[1] == 0 || (raw[1] == '.' && raw[2] == 0)))
            continue;
        // Folders are left out early when they are not wanted, without a stat.
        if (entry->d_type == DT_DIR && !includeDirectories)
            continue;
        const QString name = decodedName(raw);
        if (name.isNull()) {
            ++listing.skipped;
            ++listing.undecodable;
            continue;
        }
        const bool maybeFile = entry->d_type != DT_DIR;
        if (maybeFile && !includeDirectories && !matcher.matchesEverything() && !matcher.matches(name))
            continue;

        struct statx st {};
        const unsigned mask = STATX_BASIC_STATS | STATX_BTIME;
        bool isLink = entry->d_type == DT_LNK;
        if (statx(dirFd, raw, AT_STATX_SYNC_AS_STAT, mask, &st) != 0) {
            // A dangling (or looping) link still shows, as an empty file; a
            // name that vanished since readdir does not.
            if (statx(dirFd, raw, AT_STATX_SYNC_AS_STAT | AT_SYMLINK_NOFOLLOW, mask, &st) != 0) {
                ++listing.skipped;
                continue;
            }
            isLink = S_ISLNK(st.stx_mode);
            st.stx_size = 0;
        } else if (entry->d_type == DT_UNKNOWN) {
            struct stat lst {};
            isLink = fstatat(dirFd, raw, &lst, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(lst.st_mode);
        }

        FolderItem item;
        item.isDir = S_ISDIR(st.stx_mode);
        if (item.isDir && !includeDirectories)
            continue;
        if (!item.isDir && !matcher.matches(name))
            continue;
        item.name = name;
        item.path = prefix + name;
        item.isLink = isLink;
        item.size = item.isDir ? 0 : qint64(st.stx_size);
        item.modified = msecs(st.stx_mtime);
        item.accessed = msecs(st.stx_atime);
        item.created = (st.stx_mask & STATX_BTIME) ? msecs(st.stx_btime) : msecs(st.stx_ctime);
        item.readOnly = !writableByUser(st);
        item.hidden = name.startsWith(u'.');
        if (!item.isDir)
            item.typeIndex = types.typeOf(name);
        listing.items.push_back(std::move(item));
    }
    if (nameTypes)
        nameUnknownTypes(listing);
    return listing;
}

QStringList listSubfolders(const QString &folder, bool *ok) {
    QStringList names;
    DirCloser closer{opendir(QFile::encodeName(folder).constData())};
    if (ok)
        *ok = closer.dir != nullptr;
    if (!closer.dir)
        return names;
    const int dirFd = dirfd(closer.dir);
    while (const dirent *entry = readdir(closer.dir)) {
        const char *raw = entry->d_name;
        if (raw[0] == '.' && (raw[1] == 0 || (raw[1] == '.' && raw[2] == 0)))
            continue;
        bool isDir = entry->d_type == DT_DIR;
        if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
            struct stat st {};
            isDir = fstatat(dirFd, raw, &st, 0) == 0 && S_ISDIR(st.st_mode);
        }
        if (!isDir)
            continue;
        const QString name = decodedName(raw);
        if (!name.isNull())
            names.append(name);
    }
    sortNames(names);
    return names;
}

bool nameLess(const QString &a, const QString &b) {
    const int c = a.compare(b, Qt::CaseInsensitive);
    if (c != 0)
        return c < 0;
    return a < b;
}

void sortNames(QStringList &names) {
    std::sort(names.begin(), names.end(), [](const QString &a, const QString &b) { return nameLess(a, b); });
}

bool nameLess(const QString &a, const QString &b, NameOrder order) {
    return order == NameOrder::Natural ? naturalLess(a, b) : nameLess(a, b);
}

QString sizeText(qint64 bytes, const QLocale &locale) {
    if (bytes < 0)
        bytes = 0;
    const qint64 kilobytes = bytes / 1024 + (bytes % 1024 ? 1 : 0);
    return i18n::getText(QStringLiteral("LVExplorer"), QStringLiteral("SizeKilobytes"), QStringLiteral("%s Ko"),
                         locale.toString(kilobytes));
}

QString dateFormat(const QLocale &locale) {
    // The locale's own formats, without the user's overrides.
    const QLocale standard(locale.language(), locale.territory());
    QString time = standard.timeFormat(QLocale::ShortFormat);
    static const QRegularExpression seconds(QStringLiteral("[:.,]?s+"));
    static const QRegularExpression zone(QStringLiteral("\\s*t+"));
    time.remove(seconds);
    time.remove(zone);
    return standard.dateFormat(QLocale::ShortFormat) + u' ' + time.trimmed();
}

QString dateText(qint64 msecsSinceEpoch, const QLocale &locale) {
    if (msecsSinceEpoch == 0)
        return QString();
    const QLocale standard(locale.language(), locale.territory());
    return standard.toString(QDateTime::fromMSecsSinceEpoch(msecsSinceEpoch), dateFormat(locale));
}

QString attributeText(const FolderItem &item) {
    QString text;
    if (item.readOnly)
        text += u'R';
    if (item.hidden)
        text += u'H';
    return text;
}

// ---- patterns -------------------------------------------------------------

bool matchesPattern(const QString &name, const QString &pattern) {
    return PatternMatcher(pattern).matches(name);
}

bool wildcardMatch(const QString &text, const QString &pattern) {
    return WildcardPattern(pattern).matches(text);
}

// ---- sorting --------------------------------------------------------------

namespace {

// The rows by key, ties by name (names that compare equal by their index).
template <class Key> std::vector<int> orderBy(const FolderListing &listing, Key key, bool descending, NameOrder names) {
    const auto &items = listing.items;
    std::vector<int> order(items.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = int(i);
    // Natural order compares keys made once per name.
    std::optional<NaturalKeys> keys;
    if (names == NameOrder::Natural)
        keys.emplace(qsizetype(items.size()), [&](qsizetype i) { return QStringView(items[size_t(i)].name); });
    const auto byName = [&](int a, int b) {
        if (keys)
            return keys->compare(a, b);
        return nameLess(items[a].name, items[b].name) ? -1 : (nameLess(items[b].name, items[a].name) ? 1 : 0);
    };
    std::sort(order.begin(), order.end(), [&](int a, int b) {
        if (const int c = key(items[a], items[b]))
            return c < 0;
        if (const int c = byName(a, b))
            return c < 0;
        return a < b;
    });
    if (descending)
        std::reverse(order.begin(), order.end());
    return order;
}

template <class T> int compareValues(const T &a, const T &b) {
    return a < b ? -1 : (b < a ? 1 : 0);
}

} // namespace

std::vector<int> sortedOrder(const FolderListing &listing, Column column, bool descending, NameOrder names) {
    const auto typeName = [&](const FolderItem &item) -> const QString & {
        static const QString none;
        return item.typeIndex >= 0 ? listing.types[size_t(item.typeIndex)].name : none;
    };
    switch (column) {
    case Column::Size:
        return orderBy(
            listing, [](const FolderItem &a, const FolderItem &b) { return compareValues(a.size, b.size); }, descending,
            names);
    case Column::Modified:
        return orderBy(
            listing, [](const FolderItem &a, const FolderItem &b) { return compareValues(a.modified, b.modified); },
            descending, names);
    case Column::Created:
        return orderBy(
            listing, [](const FolderItem &a, const FolderItem &b) { return compareValues(a.created, b.created); },
            descending, names);
    case Column::Accessed:
        return orderBy(
            listing, [](const FolderItem &a, const FolderItem &b) { return compareValues(a.accessed, b.accessed); },
            descending, names);
    case Column::Type:
        return orderBy(
            listing,
            [&](const FolderItem &a, const FolderItem &b) {
                return typeName(a).compare(typeName(b), Qt::CaseInsensitive);
            },
            descending, names);
    case Column::Attributes:
        return orderBy(
            listing,
            [](const FolderItem &a, const FolderItem &b) { return attributeText(a).compare(attributeText(b)); },
            descending, names);
    case Column::Name:
    default:
        return orderBy(
            listing, [](const FolderItem &, const FolderItem &) { return 0; }, descending, names);
    }
}

std::vector<int> naturalOrder(const FolderListing &listing, NameOrder names) {
    // Folders first, then files, each by name.
    return orderBy(
        listing, [](const FolderItem &a, const FolderItem &b) { return a.isDir == b.isDir ? 0 : (a.isDir ? -1 : 1); },
        false, names);
}

} // namespace tav::shell
