#include "core/rename/RenameBatch.h"

#include "core/base/AideThread.h"
#include "core/base/NameHash.h"
#include "core/base/PlainCopy.h"
#include "core/rename/FolderRules.h"
#include "core/rename/RenameJournal.h"
#include "core/rename/RenameTexts.h"

#include <QFile>
#include <QHash>
#include <QSet>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <exception>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace tav {

namespace {

constexpr qsizetype NameMax = 255;  // bytes in one file name component
constexpr int MaxOpenFolders = 256; // folders kept open for the moves; others go by path

struct OfferedListing {
    FolderStamp folder;
    QByteArray names;
};
std::mutex offeredMutex;
QList<OfferedListing> offered;

// The names offered for the folder with this stamp, taken out; null when none.
QByteArray takeOfferedListing(const FolderStamp &folder) {
    if (folder == FolderStamp())
        return QByteArray();
    const std::lock_guard<std::mutex> lock(offeredMutex);
    for (qsizetype k = 0; k < offered.size(); ++k)
        if (offered.at(k).folder == folder)
            return offered.takeAt(k).names;
    return QByteArray();
}

qsizetype lastSlash(const QString &path) {
    return path.lastIndexOf(QLatin1Char('/'));
}

// Folder and last part of an encoded path.
QPair<QByteArray, QByteArray> splitEncoded(const QByteArray &path) {
    const qsizetype slash = path.lastIndexOf('/');
    if (slash < 0)
        return {QByteArray("."), path};
    return {slash == 0 ? QByteArray("/") : path.left(slash), path.mid(slash + 1)};
}

// A name that a file system might find under another spelling: case aside,
// short names ("PHOTO~1.JPG"), trailing dots and spaces, and other forms of
// the same non-ASCII letters.
bool endsLoosely(const QByteArray &name) {
    return name.endsWith('.') || name.endsWith(' ');
}
bool mayHaveAliases(const QByteArray &name) {
    return !plainCopy::asciiWithout(name.constData(), name.size(), '~') || endsLoosely(name);
}

// The hash of a name with its ASCII letters folded to small ones (equal for
// names that differ only in their case), and in the same pass whether it may
// have aliases (mayHaveAliases()).
quint64 foldedHash(const QByteArray &name, bool &aliases) {
    quint64 high = 0;
    bool tilde = false;
    const quint64 h = nameHash::bytes<true>(0, name.constData(), name.size(), [&](quint64 w) {
        high |= w;
        tilde = tilde || nameHash::hasByte(w, '~');
    });
    aliases = (high & nameHash::HighBits) != 0 || tilde || endsLoosely(name);
    return h;
}

// 64-bit hashes to entries by open addressing: two arrays, no node per key.
class FlatIndex {
public:
    void reserve(qsizetype n) { grow(n); }
    // The entry under h, or -1.
    qsizetype value(quint64 h) const {
        if (m_slots.empty())
            return -1;
        for (size_t k = slot(h);; k = (k + 1) & m_mask) {
            if (m_slots[k].value < 0)
                return -1;
            if (m_slots[k].key == h)
                return m_slots[k].value;
        }
    }
    bool contains(quint64 h) const { return value(h) >= 0; }
    // The entry already under h, or -1 once v is put there.
    qsizetype insert(quint64 h, qsizetype v) {
        if (size_t(m_count + 1) * 2 > m_slots.size())
            grow(m_count + 1);
        size_t k = slot(h);
        for (; m_slots[k].value >= 0; k = (k + 1) & m_mask)
            if (m_slots[k].key == h)
                return m_slots[k].value;
        m_slots[k] = {h, qint32(v)};
        ++m_count;
        return -1;
    }

private:
    // Key and value side by side: a look-up touches one place of memory.
#pragma pack(push, 4)
    struct Slot {
        quint64 key;
        qint32 value; // -1: a free slot
    };
#pragma pack(pop)
    size_t slot(quint64 h) const {
        h ^= h >> 33;
        h *= 0xff51afd7ed558ccdULL;
        h ^= h >> 33;
        return size_t(h) & m_mask;
    }
    void grow(qsizetype n) {
        size_t capacity = 16;
        while (capacity < size_t(n) * 2)
            capacity *= 2;
        if (capacity <= m_slots.size())
            return;
        std::vector<Slot> fresh(capacity, Slot{0, -1});
        fresh.swap(m_slots);
        m_mask = capacity - 1;
        m_count = 0;
        for (const Slot &s : fresh)
            if (s.value >= 0)
                insert(s.key, s.value);
    }
    std::vector<Slot> m_slots;
    size_t m_mask = 0;
    qsizetype m_count = 0;
};

} // namespace

// The names in the folders of a batch, each folder read once: a look-up here
// replaces one lstat() per name. The listing keeps a hash of each name with
// its ASCII letters folded. A name whose hash is not there is free, unless
// the file system might know it under another spelling (a name with
// aliases): that one, and any name whose hash is there (taken, taken under
// another case, or a rare collision), is looked up on disk. The no-replace
// moves refuse a taken name in any case.
class FolderNames {
public:
    struct Folder {
        int index = 0; // in the order the folders were first asked for
        QByteArray path;
        int fd = -1;            // kept open for the moves, or -1
        bool listed = false;    // its names are known (below)
        bool asked = false;     // it was read, or could not be
        qsizetype expected = 0; // about how many names it holds
        FlatIndex names;        // the hashes of its names
        QByteArray probe;       // a listed name with ASCII letters, for the case test
        // Listed names with non-ASCII letters by their comparable form (NFC,
        // case folded): the same name may have been written in another form.
        QHash<QString, QByteArray> nonAscii;
        std::optional<FolderRules> rules;
    };
    FolderNames() = default;
    FolderNames(const FolderNames &) = delete;
    FolderNames &operator=(const FolderNames &) = delete;
    ~FolderNames() {
        for (const auto &f : m_store)
            if (f->fd >= 0)
                ::close(f->fd);
    }

    // The folder at path, opened; listed too unless list is false (then
    // listAll() lists it later).
    Folder &folder(const QByteArray &path, bool list = true) {
        // Most entries of a batch share the folder of the entry before.
        Folder *f = m_last;
        if (!f || f->path != path) {
            Folder *&slot = m_folders[path];
            if (!slot) {
                m_store.push_back(std::make_unique<Folder>());
                slot = m_store.back().get();
                slot->index = int(m_store.size()) - 1;
                slot->expected = std::exchange(m_expected, 0);
                open(*slot, path);
            }
            f = m_last = slot;
        }
        if (list && !f->asked)
            read(*f);
        return *f;
    }
    void listAll() {
        for (const auto &f : m_store)
            if (!f->asked)
                read(*f);
    }
    qsizetype count() const { return qsizetype(m_store.size()); }

    Folder &at(int index) { return *m_store[size_t(index)]; }
    const Folder &at(int index) const { return *m_store[size_t(index)]; }
    // About how many names the next folder read holds: its table is made that large at once.
    void expect(qsizetype names) { m_expected = names; }

    // Called now and then while a large folder is read (the window's events).
    void setEvents(std::function<void()> events) { m_events = std::move(events); }

    // A copy of bytes, followed by a NUL byte, that stays where it is as long
    // as the folders do: names are packed into large blocks.
    const char *keep(const char *bytes, qsizetype size) {
        constexpr size_t Block = size_t(1) << 18;
        const size_t need = size_t(size) + 1;
        if (m_blocks.empty() || m_blockUsed + need > m_blockSize) {
            m_blockSize = std::max(Block, need);
            m_blocks.push_back(std::unique_ptr<char[]>(new char[m_blockSize])); // not zeroed: written as used
            m_blockUsed = 0;
        }
        char *at = m_blocks.back().get() + m_blockUsed;
        std::memcpy(at, bytes, size_t(size));
        at[size] = 0;
        m_blockUsed += need;
        return at;
    }

    static const FolderRules &rules(Folder &f) {
        if (!f.rules)
            f.rules = folderRules(f.path, f.probe);
        return *f.rules;
    }

    // A listed name that is the same name as name in another Unicode form
    // (or case, where case is ignored); empty when none.
    static QByteArray otherForm(Folder &f, const QByteArray &name) {
        if (f.nonAscii.isEmpty() || !mayHaveAliases(name))
            return QByteArray();
        const bool ci = rules(f).caseInsensitive;
        const QString wanted = comparableName(QFile::decodeName(name), ci);
        const auto it = f.nonAscii.constFind(comparableName(wanted, true));
        if (it == f.nonAscii.cend() || it.value() == name)
            return QByteArray();
        return comparableName(QFile::decodeName(it.value()), ci) == wanted ? it.value() : QByteArray();
    }

    static bool occupied(const Folder &f, const QByteArray &name) {
        if (f.listed) {
            bool aliases = false;
            const quint64 h = foldedHash(name, aliases);
            if (!aliases && !f.names.contains(h))
                return false;
        }
        struct stat st;
        return statIn(f, name, st);
    }
    static FileIdentity identity(const Folder &f, const QByteArray &name) {
        struct stat st;
        if (!statIn(f, name, st))
            return FileIdentity();
        return identityOf(st);
    }

private:
    void open(Folder &f, const QByteArray &path) {
        f.path = path;
        const int fd = ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0)
            return;
        if (m_open < MaxOpenFolders) {
            f.fd = fd;
            ++m_open;
        } else {
            ::close(fd);
        }
    }

    // Reads the folder's names, or takes those its caller has just read
    // (offerFolderListing()) when the folder has not changed since. Its
    // descriptor (f.fd) is not touched: the identity pass may be reading
    // through it meanwhile.
    void read(Folder &f) {
        f.asked = true; // once, whatever comes of it
        const int listFd = f.fd >= 0 ? ::dup(f.fd) : ::open(f.path.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (listFd < 0)
            return;
        f.names.reserve(f.expected);
        const QByteArray offered = takeOfferedListing(folderStamp(listFd));
        if (!offered.isNull()) {
            ::close(listFd);
            for (const char *n = offered.constData(), *end = n + offered.size(); n < end;) {
                const qsizetype len = qsizetype(std::strlen(n));
                add(f, n, len);
                n += len + 1;
            }
            f.listed = true;
            return;
        }
        DIR *dir = ::fdopendir(listFd);
        if (!dir) {
            ::close(listFd);
            return;
        }
        unsigned read = 0;
        while (const struct dirent *e = ::readdir(dir)) {
            if ((++read & 4095) == 0 && m_events)
                m_events();
            const char *n = e->d_name;
            if (n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0)))
                continue;
            add(f, n, qsizetype(std::strlen(n)));
        }
        ::closedir(dir);
        f.listed = true;
    }

    static void add(Folder &f, const char *n, qsizetype len) {
        // One pass over the name: its hash, and whether it is ASCII and has letters.
        quint64 high = 0;
        bool letters = false;
        f.names.insert(nameHash::bytes<true>(0, n, len,
                                             [&](quint64 w) {
                                                 high |= w;
                                                 letters = letters || nameHash::hasSmallLetter(nameHash::foldAscii(w));
                                             }),
                       0);
        const bool ascii = (high & nameHash::HighBits) == 0;
        if (f.probe.isEmpty() && letters)
            f.probe = QByteArray(n, len);
        if (!ascii)
            f.nonAscii.insert(comparableName(QFile::decodeName(QByteArray(n, len)), true), QByteArray(n, len));
    }

    static bool statIn(const Folder &f, const QByteArray &name, struct stat &st) {
        if (f.fd >= 0)
            return ::fstatat(f.fd, name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0;
        const QByteArray full = f.path == "/" ? "/" + name : f.path + '/' + name;
        return ::lstat(full.constData(), &st) == 0;
    }

    QHash<QByteArray, Folder *> m_folders;
    std::vector<std::unique_ptr<Folder>> m_store;
    std::vector<std::unique_ptr<char[]>> m_blocks;
    size_t m_blockUsed = 0, m_blockSize = 0;
    Folder *m_last = nullptr;
    qsizetype m_expected = 0;
    std::function<void()> m_events;
    int m_open = 0;
};

// Entries by a text key (a path, a destination key), found through a 64-bit
// hash of the key's folder and name bytes, which is cheaper to make than the
// hash of the whole text: the key itself is compared only on a hit. A key
// whose hash another key already has goes to a second table by its text.
class EntryIndex {
public:
    static quint64 hash(int folder, const char *bytes, qsizetype size, quint64 seed = 0) {
        return nameHash::bytes<false>(seed ^ (quint64(unsigned(folder)) << 32), bytes, size);
    }

    // The same for a name as text: an ASCII name as its bytes, so that two
    // equal keys give one hash however they were made.
    static quint64 hash(int folder, QStringView name) {
        char buffer[256];
        if (name.size() <= qsizetype(sizeof buffer) &&
            plainCopy::copy<plainCopy::Set::Ascii>(buffer, name.utf16(), name.size()))
            return hash(folder, buffer, name.size());
        return hash(folder, reinterpret_cast<const char *>(name.utf16()), 2 * name.size(), 0x5851F42D4C957F2DULL);
    }

    void reserve(qsizetype n) { m_first.reserve(n); }
    // (Entries of a batch fit in 31 bits: the list's rows are counted in an int.)

    // The entry with this key (keyOf(j) gives entry j's key), or -1. The
    // key is made (key()) only when an entry has its hash.
    template <typename Key, typename KeyOf> qsizetype find(quint64 h, Key &&key, KeyOf &&keyOf) const {
        const qsizetype first = m_first.value(h);
        if (first < 0)
            return -1;
        const QString wanted = key();
        if (keyOf(first) == wanted)
            return first;
        return m_more.value(wanted, -1);
    }

    // The entry that already has entry i's key, or -1 once entry i is recorded with it.
    template <typename KeyOf> qsizetype findOrInsert(quint64 h, qsizetype i, KeyOf &&keyOf) {
        const qsizetype first = m_first.insert(h, i);
        if (first < 0)
            return -1;
        const QString key = keyOf(i);
        if (keyOf(first) == key)
            return first;
        const auto more = m_more.constFind(key);
        if (more != m_more.cend())
            return more.value();
        m_more.insert(key, i);
        return -1;
    }

private:
    FlatIndex m_first;
    QHash<QString, qsizetype> m_more;
};

// What a temporary name puts before the old name: "<prefix>_<position>_".
static QString temporaryHead(const QString &prefix, qsizetype pos) {
    return prefix + QLatin1Char('_') + QString::number(pos) + QLatin1Char('_');
}

QString temporaryPath(const QString &oldPath, qsizetype pos, const QString &prefix) {
    const qsizetype slash = lastSlash(oldPath);
    return oldPath.left(slash + 1) + temporaryName(oldPath.mid(slash + 1), pos, prefix);
}

QString temporaryName(const QString &oldName, qsizetype pos, const QString &prefix) {
    QString name = oldName;
    const QString head = temporaryHead(prefix, pos);
    // A long old name would make the temporary name too long for the file
    // system; its beginning is dropped then (the extension stays readable).
    while (!name.isEmpty() && QFile::encodeName(head + name).size() > NameMax) {
        const int step = name.size() > 1 && name.at(0).isHighSurrogate() && name.at(1).isLowSurrogate() ? 2 : 1;
        name.remove(0, step);
    }
    return head + name;
}

FolderStamp folderStamp(int fd) {
    struct stat st;
    if (::fstat(fd, &st) != 0)
        return FolderStamp();
    return {quint64(st.st_dev), quint64(st.st_ino), qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec,
            qint64(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec};
}

void offerFolderListing(const FolderStamp &folder, QByteArray names) {
    if (folder == FolderStamp())
        return;
    const std::lock_guard<std::mutex> lock(offeredMutex);
    for (OfferedListing &o : offered)
        if (o.folder.device == folder.device && o.folder.inode == folder.inode) {
            o = {folder, std::move(names)};
            return;
        }
    offered.append({folder, std::move(names)});
}

QPair<QString, QString> cutPath(const QString &path) {
    const qsizetype slash = lastSlash(path);
    return {path.left(slash + 1), path.mid(slash + 1)};
}

RenameItem::RenameItem(const QString &oldPath, const QString &newPath, const QString &problem) : problem(problem) {
    std::tie(oldFolder, oldName) = cutPath(oldPath);
    std::tie(newFolder, newName) = cutPath(newPath);
    if (newFolder == oldFolder)
        newFolder = oldFolder; // one string for both
}

RenameBatch::RenameBatch(QList<RenameItem> items)
    : m_items(std::move(items)), m_outcomes(m_items.size()), m_identities(m_items.size()) {}
RenameBatch::RenameBatch(RenameBatch &&) noexcept = default;
RenameBatch &RenameBatch::operator=(RenameBatch &&) noexcept = default;
RenameBatch::~RenameBatch() = default;

QString RenameBatch::tempPath(qsizetype i) const {
    if (i >= m_names.size() || m_names.at(i).tempName.isEmpty())
        return QString();
    return m_items.at(i).oldFolder + QFile::decodeName(QByteArray(m_names.at(i).tempName));
}

QString RenameBatch::currentPath(qsizetype i) const {
    const RenameOutcome &o = m_outcomes[i];
    if (o.atTemp)
        return tempPath(i);
    return o.status == RenameStatus::Renamed ? m_items.at(i).newPath() : m_items.at(i).oldPath();
}

// A temporary name for entry i with the current prefix, lengthened while the
// name is taken in the folder or is the new name of an entry (destinations:
// see tempLikeDestinations()).
RenameBatch::TempName RenameBatch::freeTemporaryPath(qsizetype i, const QSet<QString> &destinations) {
    const RenameItem &it = m_items.at(i);
    const Names &nm = m_names.at(i);
    const FolderNames::Folder &folder = nm.oldFolder >= 0
                                            ? m_folders->at(nm.oldFolder)
                                            : m_folders->folder(splitEncoded(QFile::encodeName(it.oldPath())).first);
    for (;;) {
        TempName temp;
        // The name is the encoded old name behind the head, when that is
        // short enough not to need temporaryPath's shortening. The head
        // ("<prefix>_<position>_") is ASCII.
        const qsizetype prefixSize = m_prefix.size();
        if (prefixSize <= 64 && !nm.oldName.isEmpty() && prefixSize + 24 + nm.oldName.size() <= NameMax) {
            char *w = temp.bytes;
            // (The prefix is ASCII: its own or lengthened by "_".)
            plainCopy::copy<plainCopy::Set::Ascii>(w, QStringView(m_prefix).utf16(), prefixSize);
            w += prefixSize;
            *w++ = '_';
            char digits[24];
            char *d = digits + sizeof digits;
            for (unsigned long long pos = (unsigned long long)(i + 1); pos; pos /= 10)
                *--d = char('0' + pos % 10);
            std::memcpy(w, d, size_t(digits + sizeof digits - d));
            w += digits + sizeof digits - d;
            *w++ = '_';
            std::memcpy(w, nm.oldName.data, size_t(nm.oldName.size()));
            w += nm.oldName.size();
            *w = '\0';
            temp.size = w - temp.bytes;
        } else {
            temp.set(QFile::encodeName(temporaryName(it.oldName, i + 1, m_prefix)));
        }
        const QByteArray name = temp.name();
        if (!FolderNames::occupied(folder, name) &&
            (destinations.isEmpty() || !destinations.contains((it.oldFolder + QFile::decodeName(name)).toCaseFolded())))
            return temp;
        m_prefix += QLatin1Char('_');
    }
}

// The new paths, case folded, that a temporary name could be: those whose
// name begins with the temporary prefix, whatever its case. Usually none.
QSet<QString> RenameBatch::tempLikeDestinations() const {
    QSet<QString> set;
    for (const RenameItem &it : m_items)
        if (it.newName.startsWith(TempPrefix, Qt::CaseInsensitive))
            set.insert(it.newPath().toCaseFolded());
    return set;
}

RenameBatch::NameBytes RenameBatch::keep(const QByteArray &name) {
    return {m_folders->keep(name.constData(), name.size()), int(name.size())};
}

// A name encoded straight into the folders' blocks when it is ASCII.
RenameBatch::NameBytes RenameBatch::keepName(const QString &name) {
    char buffer[256];
    const qsizetype n = name.size();
    if (n < qsizetype(sizeof buffer) && plainCopy::copy<plainCopy::Set::Ascii>(buffer, QStringView(name).utf16(), n))
        return {m_folders->keep(buffer, n), int(n)};
    return keep(QFile::encodeName(name));
}

void RenameBatch::setTempPath(qsizetype i, const TempName &temp) {
    m_names[i].tempName = keep(temp.name());
}

void RenameBatch::block(qsizetype i, const QString &reason) {
    RenameOutcome &o = m_outcomes[i];
    if (o.status == RenameStatus::Blocked)
        return;
    o.status = RenameStatus::Blocked;
    o.reason = reason;
}

void RenameBatch::openFolders() {
    const qsizetype n = m_items.size();
    m_folders = std::make_shared<FolderNames>();
    if (m_prepareHooks && m_prepareHooks->events)
        m_folders->setEvents(m_prepareHooks->events);
    m_names.clear();
    m_names.reserve(n); // filled in one pass, not made blank first
    // Most entries share the folders of the entry before (and their string):
    // a folder is compared with the last one before it is encoded and looked up.
    struct Last {
        QString text;
        const FolderNames::Folder *folder = nullptr;
    } lastOld, lastNew;
    auto folderOf = [this, n](const QString &folder, Last &last, qsizetype i) -> const FolderNames::Folder & {
        if (last.folder && (last.text.constData() == folder.constData() || last.text == folder))
            return *last.folder;
        const QStringView text = folder.isEmpty()     ? QStringView(u".")
                                 : folder.size() == 1 ? QStringView(u"/")
                                                      : QStringView(folder).chopped(1);
        // The entries that follow in the same folder (they share its string)
        // tell about how many names a first listing of it holds.
        qsizetype run = i;
        while (run < n && m_items.at(run).oldFolder.constData() == folder.constData())
            ++run;
        m_folders->expect(run - i);
        last = {folder, &m_folders->folder(QFile::encodeName(text.toString()), false)};
        return *last.folder;
    };
    for (qsizetype i = 0; i < n; ++i) {
        preparing(0, i);
        Names &nm = m_names.emplace_back();
        const RenameItem &it = m_items.at(i);
        const FolderNames::Folder &from = folderOf(it.oldFolder, lastOld, i);
        nm.oldFolder = from.index;
        nm.oldDir = from.fd;
        const FolderNames::Folder &to = folderOf(it.newFolder, lastNew, i);
        nm.newFolder = to.index;
        nm.newDir = to.fd;
        nm.oldName = keepName(it.oldName);
        nm.newName = keepName(it.newName);
    }
    startIdentities();
    m_folders->listAll();
    m_folders->setEvents({});
}

// The new path in the form compared for "the same destination": its folder,
// and its name in NFC, case folded where the folder's file system ignores case.
QString RenameBatch::destinationKey(qsizetype i) const {
    const RenameItem &it = m_items.at(i);
    FolderNames::Folder &to = m_folders->at(m_names.at(i).newFolder);
    const bool plain = plainCopy::ascii(QStringView(it.newName).utf16(), it.newName.size());
    if (plain && !FolderNames::rules(to).caseInsensitive)
        return it.newPath();
    return it.newFolder + comparableName(it.newName, FolderNames::rules(to).caseInsensitive);
}

// The hash of destinationKey(i)'s name in its folder, made without the key
// where the name is its own comparable form (ASCII, case kept).
quint64 RenameBatch::destinationHash(qsizetype i) const {
    const RenameItem &it = m_items.at(i);
    FolderNames::Folder &to = m_folders->at(m_names.at(i).newFolder);
    const bool plain = plainCopy::ascii(QStringView(it.newName).utf16(), it.newName.size());
    if (plain && !FolderNames::rules(to).caseInsensitive)
        return EntryIndex::hash(m_names.at(i).newFolder, it.newName);
    return EntryIndex::hash(m_names.at(i).newFolder,
                            comparableName(it.newName, FolderNames::rules(to).caseInsensitive));
}

// Entry by entry: a problem set by the caller, a missing file, a file listed
// twice, a name the destination's file system refuses, two entries with the
// same destination. Fills oldIndex (exact old path -> first entry).
quint64 RenameBatch::oldKeyHash(qsizetype i) const {
    const Names &nm = m_names.at(i);
    return EntryIndex::hash(nm.oldFolder, nm.oldName.data, nm.oldName.size());
}

// The identity of every file before anything moves. A stat is nearly all
// the system's own work, done as well on a second core: in a large batch a
// second thread takes blocks of entries from the end of openFolders() on,
// while this one lists the folders and makes the temporary names; then this
// one takes the blocks left too. The thread reads only what stays put until
// the pass ends: the folders' paths and descriptors, and the old names.
struct RenameBatch::IdentityPass {
    static constexpr qsizetype Block = 256;
    std::vector<const FolderNames::Folder *> folders;
    const Names *names = nullptr;
    FileIdentity *ids = nullptr;
    qsizetype n = 0;
    std::atomic<qsizetype> next{0};
    AideThread aide; // last: stopped before the rest goes

    void read(const Hooks *hooks) {
        for (;;) {
            if (hooks && hooks->events)
                hooks->events();
            const qsizetype from = next.fetch_add(Block);
            if (from >= n)
                return;
            for (qsizetype i = from; i < std::min(n, from + Block); ++i)
                ids[i] = FolderNames::identity(*folders[size_t(names[i].oldFolder)], names[i].oldName);
        }
    }
};

void RenameBatch::startIdentities() {
    m_identityPass.reset();
    auto pass = std::make_unique<IdentityPass>();
    pass->n = m_items.size();
    for (qsizetype k = 0; k < m_folders->count(); ++k)
        pass->folders.push_back(&m_folders->at(int(k)));
    pass->names = m_names.constData();
    pass->ids = m_identities.data();
    IdentityPass *p = pass.get();
    m_identityPass = std::move(pass);
    if (p->n >= AidedSize)
        p->aide.start([p] { p->read(nullptr); });
}

void RenameBatch::readIdentities() {
    if (!m_identityPass)
        startIdentities();
    m_identityPass->read(m_prepareHooks);
    m_identityPass.reset(); // waits for the thread's last block
}

void RenameBatch::checkEntries(EntryIndex &oldIndex) {
    const qsizetype n = m_items.size();
    readIdentities();
    // A large batch's journal lines are made on a second thread from here
    // on: the temporary names and identities they hold are final.
    if (n >= AidedSize)
        m_journalLines = std::make_shared<JournalLines>(*this);
    EntryIndex firstWithNew; // destination key -> first entry
    oldIndex.reserve(n);
    firstWithNew.reserve(n);
    auto oldPathOf = [this](qsizetype j) { return m_items.at(j).oldPath(); };
    auto destinationOf = [this](qsizetype j) { return destinationKey(j); };
    for (qsizetype i = 0; i < n; ++i) {
        preparing(2, i);
        const RenameItem &it = m_items.at(i);
        if (!it.problem.isEmpty())
            block(i, it.problem);
        else if (!m_identities.at(i).valid())
            block(i, renameText("NotFound", "The file no longer exists."));
        if (oldIndex.findOrInsert(oldKeyHash(i), i, oldPathOf) >= 0)
            block(i, renameText("ListedTwice", "The file is listed twice."));
        if (m_outcomes[i].status != RenameStatus::Blocked && !it.keepsItsPath()) {
            const QString problem =
                nameRuleProblem(it.newName, FolderNames::rules(m_folders->at(m_names.at(i).newFolder)));
            if (!problem.isEmpty())
                block(i, problem);
        }

        // Two entries with the same destination: both stay where they are.
        // The key is the new path itself, or its folder and comparable name.
        const qsizetype dup = firstWithNew.findOrInsert(destinationHash(i), i, destinationOf);
        if (dup >= 0) {
            const QString reason = m_items.at(dup).newPath() == it.newPath()
                                       ? renameText("SameNewPath", "Another file of the batch gets the same new name.")
                                       : renameText("SameNameOtherForm",
                                                    "Another file of the batch gets the same new name, "
                                                    "written differently (%s): the disk takes them for one name.",
                                                    m_items.at(dup).newPath());
            block(dup, reason);
            block(i, reason);
        }
    }
}

// The entry of the batch whose file holds entry i's destination, -1 when the
// destination is free or held by a file outside the batch (then outside is
// set). A file system that ignores case or Unicode forms finds a file under
// a name that differs from its own: then it must be that very file.
qsizetype RenameBatch::holderOf(qsizetype i, const EntryIndex &oldIndex, QHash<QString, QList<qsizetype>> &foldedOld,
                                bool &outside) {
    outside = false;
    const RenameItem &it = m_items.at(i);
    FolderNames::Folder &to = m_folders->at(m_names.at(i).newFolder);
    QByteArray takenName = m_names.at(i).newName; // the name the destination is taken under
    if (!FolderNames::occupied(to, takenName)) {
        takenName = FolderNames::otherForm(to, takenName);
        if (takenName.isEmpty())
            return -1;
    }
    auto takenPath = [&] { return it.newFolder + QFile::decodeName(takenName); };
    qsizetype j = oldIndex.find(EntryIndex::hash(m_names.at(i).newFolder, takenName.constData(), takenName.size()),
                                takenPath, [this](qsizetype k) { return m_items.at(k).oldPath(); });
    if (j < 0) {
        if (foldedOld.isEmpty())
            for (qsizetype k = 0; k < m_items.size(); ++k)
                foldedOld[m_items.at(k).oldPath().normalized(QString::NormalizationForm_C).toCaseFolded()].append(k);
        const bool ci = FolderNames::rules(to).caseInsensitive;
        const QString taken = takenPath();
        const FileIdentity there = fileIdentity(taken);
        for (qsizetype k : foldedOld.value(taken.normalized(QString::NormalizationForm_C).toCaseFolded())) {
            // One name only: the file system found this file under another
            // case. With hard links it may be a second name that stays. FUSE
            // may give each spelling its own inode number: where the file
            // system ignores case, device, size and time tell the file.
            const FileIdentity &id = m_identities.at(k);
            const bool same = id.sameFile(there) || (ci && there.valid() && id.device == there.device &&
                                                     id.size == there.size && id.mtimeNs == there.mtimeNs);
            if (same && there.links == 1) {
                j = k;
                break;
            }
        }
    }
    outside = j < 0;
    return j;
}

// Progress and events every 256 entries of the pass (0 to 3) of prepare().
void RenameBatch::preparing(int pass, qsizetype i) {
    if (!m_prepareHooks || (i & 255) != 0)
        return;
    if (m_prepareHooks->progress)
        m_prepareHooks->progress(int(pass * m_items.size() + i + 1));
    if (m_prepareHooks->events)
        m_prepareHooks->events();
}

void RenameBatch::prepare(const Hooks &hooks) {
    struct Scope {
        const Hooks *&hooks;
        ~Scope() { hooks = nullptr; }
    } scope{m_prepareHooks};
    m_prepareHooks = &hooks;
    prepare();
}

void RenameBatch::prepare() {
    const qsizetype n = m_items.size();
    // The identity pass never outlives prepare(), even when a hook throws.
    struct PassScope {
        std::unique_ptr<IdentityPass> &pass;
        ~PassScope() { pass.reset(); }
    } passScope{m_identityPass};
    m_prefix = TempPrefix;
    openFolders();

    // Temporary names: one collision lengthens the prefix for this name and
    // every later one. A name that another entry is to receive collides too:
    // that entry's final move would find its destination taken.
    const QSet<QString> destinations = tempLikeDestinations();
    for (qsizetype i = 0; i < n; ++i) {
        preparing(1, i);
        m_outcomes[i] = RenameOutcome();
        setTempPath(i, freeTemporaryPath(i, destinations));
    }

    EntryIndex oldIndex;
    m_journalLines.reset();
    checkEntries(oldIndex);

    // Occupied destinations. A destination held by a file of the batch is no
    // conflict, because that file moves to its temporary name first.
    QHash<QString, QList<qsizetype>> foldedOld;   // old paths compared loosely -> entries, made when needed
    QHash<qsizetype, QList<qsizetype>> waitingOn; // holder -> entries whose destination it holds
    for (qsizetype i = 0; i < n; ++i) {
        preparing(3, i);
        const RenameItem &it = m_items.at(i);
        if (m_outcomes[i].status == RenameStatus::Blocked || it.keepsItsPath())
            continue;
        bool outside = false;
        const qsizetype j = holderOf(i, oldIndex, foldedOld, outside);
        if (outside)
            block(i, renameText("Occupied", "A file outside the batch already has the new name."));
        else if (j >= 0 && j != i)
            waitingOn[j].append(i);
    }
    blockWaitingOnBlocked(waitingOn);
}

// A destination held by a blocked entry is never freed: block those too,
// and whatever waits on them in turn.
void RenameBatch::blockWaitingOnBlocked(const QHash<qsizetype, QList<qsizetype>> &waitingOn) {
    QList<qsizetype> work;
    for (qsizetype j = 0; j < m_items.size(); ++j)
        if (m_outcomes[j].status == RenameStatus::Blocked)
            work.append(j);
    while (!work.isEmpty()) {
        const qsizetype j = work.takeLast();
        const auto waiting = waitingOn.constFind(j);
        if (waiting == waitingOn.cend())
            continue;
        for (qsizetype i : waiting.value()) {
            if (m_outcomes[i].status == RenameStatus::Blocked)
                continue;
            block(i, renameText("HeldByBlocked", "The new name belongs to %s, which is not renamed.",
                                m_items.at(j).oldPath()));
            work.append(i);
        }
    }
}

QList<ReviewEntry> RenameBatch::blockedEntries() const {
    QList<ReviewEntry> list;
    for (qsizetype i = 0; i < m_items.size(); ++i)
        if (m_outcomes[i].status == RenameStatus::Blocked)
            list.append({m_items.at(i).oldPath(), m_items.at(i).newPath(), m_outcomes[i].reason});
    return list;
}

int RenameBatch::blockedCount() const {
    int k = 0;
    for (const RenameOutcome &o : m_outcomes)
        k += o.status == RenameStatus::Blocked;
    return k;
}

// One run of a batch: the journal, the two phases and what they share.
class BatchRun {
public:
    BatchRun(RenameBatch &batch, const RenameBatch::Hooks &hooks)
        : b(batch), hooks(hooks), n(batch.m_items.size()), recordOf(n, -1), atTemp(size_t(n), 0) {}
    ~BatchRun() {
        // The files now under their temporary names: their outcomes say so
        // (currentPath()) only if they stay there, whichever way run() is left.
        for (qsizetype i = 0; i < n; ++i)
            b.m_outcomes[i].atTemp = atTemp[size_t(i)] != 0;
    }

    bool beginJournal(QString *error);
    void phase1();
    void putBackStopped();
    void syncTemporaryNames();
    void phase2();
    // Syncs the changed folders; only then may the journal go.
    void end() {
        if (changed.sync(&b.m_syncFolder) == 0)
            journal.finish(stuck);
        else
            b.m_syncFolder = b.m_syncFolder.isEmpty() ? QStringLiteral("?") : b.m_syncFolder;
    }
    void rethrowHookFailure() {
        if (hookFailure)
            std::rethrow_exception(hookFailure);
    }

private:
    // A failing progress, events or row callback must not stop the batch half
    // way (files would stay under temporary names): the first failure is
    // kept and thrown once every file has its final or old name back.
    template <typename F> void guarded(F &&call) {
        try {
            call();
        } catch (...) {
            if (!hookFailure)
                hookFailure = std::current_exception();
        }
    }
    void tick() {
        if (hooks.progress)
            guarded([&] { hooks.progress(step); });
        if (hooks.events)
            guarded([&] { hooks.events(); });
    }
    bool stopAsked() {
        bool stop = false;
        if (hooks.stop)
            guarded([&] { stop = hooks.stop(); });
        return stop;
    }
    bool retarget(qsizetype from);
    void toTemporaryName(qsizetype i);
    void toNewName(qsizetype i);
    MoveResult backToOldName(qsizetype i);
    CopyRecorder *recorder(qsizetype i) { return recordOf[i] >= 0 ? journal.copyRecorder(recordOf[i]) : nullptr; }
    JournalRecord recordFor(qsizetype i) const {
        return {b.m_items.at(i).oldPath(), b.tempPath(i), b.m_items.at(i).newPath(), b.m_identities.at(i), {}};
    }
    // The full paths of entry i, made only where a move needs them.
    std::function<QString()> oldPath(qsizetype i) const {
        return [this, i] { return b.m_items.at(i).oldPath(); };
    }
    std::function<QString()> tempPath(qsizetype i) const {
        return [this, i] { return b.tempPath(i); };
    }
    std::function<QString()> newPath(qsizetype i) const {
        return [this, i] { return b.m_items.at(i).newPath(); };
    }

    RenameBatch &b;
    const RenameBatch::Hooks &hooks;
    const qsizetype n;
    RenameJournal journal;
    QList<qsizetype> recordOf; // entry -> its journal record
    std::exception_ptr hookFailure;
    QList<JournalRecord> stuck; // files left under their temporary name
    // The folders whose entries changed: synced before the journal may say
    // the moves are done. Until then the journal stays, so that a power cut
    // or a pulled card never leaves a file under its temporary name without
    // a journal to put it back.
    ChangedFolders changed;
    std::optional<QSet<QString>> destinations; // see RenameBatch::tempLikeDestinations()
    std::vector<char> atTemp;                  // the files now under their temporary names
    int step = 1;
    int lastNoted = -1;    // the open folder of the last move noted in changed
    qsizetype moving = -1; // the entry whose move is under way
};

// The journal line of an entry.
void RenameBatch::appendJournalLine(const RenameItem &it, const NameBytes &temp, const FileIdentity &id,
                                    journalFields::FolderField &oldFolder, journalFields::FolderField &newFolder,
                                    QByteArray &out) {
    const QByteArray &from = oldFolder.of(it.oldFolder);
    // (No temporary name when the batch was not prepared: an empty field.)
    const journalFields::Parts tempPath = temp.isEmpty() ? journalFields::Parts(QStringView(), QStringView())
                                                         : journalFields::Parts(from, temp.data, temp.size());
    RenameJournal::appendRecord(out, {from, it.oldName}, tempPath, {newFolder.of(it.newFolder), it.newName}, id);
}

// The thread has its own copies (shared) of the items, names and
// identities, and keeps the folders' blocks that hold the names; the checks
// after the identity pass only block entries (their lines are then left out).
RenameBatch::JournalLines::JournalLines(const RenameBatch &batch) : prefix(batch.m_prefix) {
    ends.resize(size_t(batch.size()));
    aide.start(
        [this, items = batch.m_items, names = batch.m_names, ids = batch.m_identities, folders = batch.m_folders] {
            journalFields::FolderField oldFolder, newFolder;
            qsizetype i = 0;
            for (; i < items.size() && lines.size() < Most && !aide.stopAsked(); ++i) {
                appendJournalLine(items.at(i), names.at(i).tempName, ids.at(i), oldFolder, newFolder, lines);
                ends[size_t(i)] = lines.size();
            }
            made = i;
        });
}

qsizetype RenameBatch::JournalLines::finish(const RenameBatch &batch) {
    aide.stop();
    return prefix == batch.m_prefix ? made : 0;
}

void RenameBatch::JournalLines::append(qsizetype i, QByteArray &out) const {
    const qsizetype from = i > 0 ? ends[size_t(i - 1)] : 0;
    out.append(lines.constData() + from, ends[size_t(i)] - from);
}

bool BatchRun::beginJournal(QString *error) {
    // The entries that move, in journal order; their lines are made as the
    // journal is written, block by block.
    std::vector<qsizetype> toMove;
    toMove.reserve(size_t(n));
    for (qsizetype i = 0; i < n; ++i) {
        if (b.m_outcomes[i].status == RenameStatus::Pending) {
            recordOf[i] = qsizetype(toMove.size());
            toMove.push_back(i);
        }
    }
    journalFields::FolderField oldFolder, newFolder;
    // The lines made while the batch was checked (of the first entries up
    // to made), when its temporary names are still those.
    const qsizetype made = b.m_journalLines ? b.m_journalLines->finish(b) : 0;
    auto line = [&](qsizetype k, QByteArray &out) {
        if ((k & 1023) == 1023 && hooks.events)
            guarded([&] { hooks.events(); }); // a long journal takes a while
        const qsizetype i = toMove[size_t(k)];
        if (i < made)
            b.m_journalLines->append(i, out);
        else
            RenameBatch::appendJournalLine(b.m_items.at(i), b.m_names.at(i).tempName, b.m_identities.at(i), oldFolder,
                                           newFolder, out);
    };
    QString journalError;
    const bool begun = toMove.empty() || journal.begin(qsizetype(toMove.size()), line, &journalError);
    b.m_journalLines.reset(); // written or not, they are done with
    if (!begun) {
        // Nothing moves; every entry that was to move says why.
        for (RenameOutcome &o : b.m_outcomes) {
            if (o.status == RenameStatus::Pending) {
                o.status = RenameStatus::Failed;
                o.reason = journalError;
            }
        }
        if (error)
            *error = journalError;
        return false;
    }
    if (hooks.copyStep)
        journal.copyRecorder(0)->afterStep = [this](int copyStep) { hooks.copyStep(copyStep, moving); };
    b.m_syncFolder.clear();
    return true;
}

// A temporary name found taken when its file moves (made since the check,
// or known to the file system under another spelling): the prefix grows
// for this file and the later ones, whose new temporary names the journal
// records before any of them is used.
bool BatchRun::retarget(qsizetype from) {
    if (!destinations)
        destinations = b.tempLikeDestinations();
    const QString before = b.m_prefix;
    b.m_prefix += QLatin1Char('_');
    QList<QPair<qsizetype, RenameBatch::TempName>> temps;
    QList<QPair<qsizetype, QString>> lines;
    for (qsizetype k = from; k < n; ++k) {
        if (b.m_outcomes[k].status != RenameStatus::Pending)
            continue;
        temps.append({k, b.freeTemporaryPath(k, *destinations)});
        lines.append({recordOf[k], b.m_items.at(k).oldFolder + QFile::decodeName(temps.last().second.name())});
    }
    if (!journal.retarget(lines)) {
        b.m_prefix = before;
        return false;
    }
    for (const auto &t : temps)
        b.setTempPath(t.first, t.second);
    return true;
}

void BatchRun::toTemporaryName(qsizetype i) {
    RenameOutcome &o = b.m_outcomes[i];
    const RenameBatch::Names &nm = b.m_names.at(i);
    moving = i;
    MoveResult m =
        moveFileNoReplaceAt(nm.oldDir, nm.oldName, nm.oldDir, nm.tempName, oldPath(i), tempPath(i), recorder(i));
    for (int tries = 0; !m.ok && m.error == EEXIST && tries < 8 && retarget(i); ++tries)
        m = moveFileNoReplaceAt(nm.oldDir, nm.oldName, nm.oldDir, nm.tempName, oldPath(i), tempPath(i), recorder(i));
    if (m.ok) {
        // Files of one folder: the folder is noted once.
        if (nm.oldDir < 0 || nm.oldDir != lastNoted) {
            changed.noteMove(b.m_items.at(i).oldPath(), b.tempPath(i));
            lastNoted = nm.oldDir;
        }
        atTemp[size_t(i)] = 1;
    } else {
        o.status = RenameStatus::Failed;
        o.reason = renameText("Phase1Failed", "Cannot be renamed: %s", m.reason);
    }
}

// Phase 1: every file to its temporary name in its own folder. A stop is
// honoured only here, between files: nothing has its new name yet.
void BatchRun::phase1() {
    for (qsizetype i = 0; i < n; ++i) {
        if (stopAsked()) {
            b.m_stopped = true;
            return;
        }
        tick();
        if (b.m_outcomes[i].status == RenameStatus::Pending) {
            toTemporaryName(i);
            if (hooks.afterMove)
                hooks.afterMove(1, i);
        }
        ++step;
    }
}

MoveResult BatchRun::backToOldName(qsizetype i) {
    const RenameBatch::Names &nm = b.m_names.at(i);
    const MoveResult back =
        moveFileNoReplaceAt(nm.oldDir, nm.tempName, nm.oldDir, nm.oldName, tempPath(i), oldPath(i), recorder(i));
    if (back.ok) {
        changed.noteMove(b.tempPath(i), b.m_items.at(i).oldPath());
        atTemp[size_t(i)] = 0;
    }
    return back;
}

// Every file at its temporary name goes back; the batch renames nothing.
void BatchRun::putBackStopped() {
    const QString stopped = renameText("Stopped", "The rename was stopped before this file was renamed.");
    for (qsizetype i = n - 1; i >= 0; --i) {
        RenameOutcome &o = b.m_outcomes[i];
        if (o.status != RenameStatus::Pending)
            continue;
        o.status = RenameStatus::Stopped;
        o.reason = stopped;
        if (!atTemp[size_t(i)])
            continue;
        const MoveResult back = backToOldName(i);
        if (!back.ok) {
            o.status = RenameStatus::Failed;
            o.reason = renameText("StoppedAtTemp",
                                  "The rename was stopped and the old name cannot be given back "
                                  "(%s); the file is now named %s",
                                  back.reason, b.tempPath(i));
            stuck.append(recordFor(i));
        }
    }
}

// Every file that moved is at its temporary name on disk before any takes
// its new one: a crash in the second phase finds them there or further.
void BatchRun::syncTemporaryNames() {
    if (changed.sync() == 0)
        journal.markPhase(JournalPhase::TemporaryNames);
    lastNoted = -1; // the sync forgot the folders noted so far
}

void BatchRun::toNewName(qsizetype i) {
    RenameOutcome &o = b.m_outcomes[i];
    // The only move that may cross file systems: its copy steps are journaled.
    moving = i;
    const RenameBatch::Names &nm = b.m_names.at(i);
    const MoveResult m =
        moveFileNoReplaceAt(nm.oldDir, nm.tempName, nm.newDir, nm.newName, tempPath(i), newPath(i), recorder(i));
    if (m.ok) {
        if (nm.oldDir < 0 || nm.oldDir != nm.newDir || nm.oldDir != lastNoted) {
            changed.noteMove(b.tempPath(i), b.m_items.at(i).newPath());
            lastNoted = nm.oldDir == nm.newDir ? nm.oldDir : -1;
        }
        o.status = RenameStatus::Renamed;
        o.copied = m.copied;
        atTemp[size_t(i)] = 0;
        return;
    }
    // Never leave a file under its temporary name: back to the old one.
    o.status = RenameStatus::Failed;
    const MoveResult back = backToOldName(i);
    if (back.ok) {
        o.reason = renameText("Phase2Failed", "Cannot get its new name: %s", m.reason);
    } else {
        o.reason = renameText("StuckAtTemp", "Cannot get its new name (%s) nor its old name back; it is now named %s",
                              m.reason, b.tempPath(i));
        stuck.append(recordFor(i));
    }
}

// Phase 2, last to first, so that the caller can remove list rows as files
// succeed and the rows before them keep their positions. It always runs to
// its end.
void BatchRun::phase2() {
    for (qsizetype i = n - 1; i >= 0; --i) {
        tick();
        if (b.m_outcomes[i].status == RenameStatus::Pending) {
            toNewName(i);
            if (b.m_outcomes[i].status == RenameStatus::Renamed && hooks.renamed)
                guarded([&] { hooks.renamed(i); });
            if (hooks.afterMove)
                hooks.afterMove(2, i);
        }
        ++step;
    }
}

bool RenameBatch::run(const Hooks &hooks, QString *error) {
    const qsizetype n = m_items.size();
    m_stopped = false;
    if (!m_folders)
        m_folders = std::make_shared<FolderNames>();
    if (m_names.size() != n)
        m_names = QList<Names>(n); // no open folders: the moves go by path
    BatchRun r(*this, hooks);
    if (!r.beginJournal(error))
        return false;
    r.phase1();
    if (m_stopped) {
        r.putBackStopped();
    } else {
        r.syncTemporaryNames();
        r.phase2();
    }
    // A file that could not be put back keeps its journal entry, so that the
    // next start offers to put it back again.
    r.end();
    r.rethrowHookFailure();
    return true;
}

int RenameBatch::renamedCount() const {
    int k = 0;
    for (const RenameOutcome &o : m_outcomes)
        k += o.status == RenameStatus::Renamed;
    return k;
}

QList<ReviewEntry> RenameBatch::notRenamed() const {
    QList<ReviewEntry> list;
    for (qsizetype i = 0; i < m_items.size(); ++i) {
        const RenameOutcome &o = m_outcomes[i];
        if (o.status != RenameStatus::Renamed && o.status != RenameStatus::Pending)
            list.append({m_items.at(i).oldPath(), m_items.at(i).newPath(), o.reason});
    }
    return list;
}

} // namespace tav
