#include "core/rename/RenameBatch.h"

#include "core/rename/RenameJournal.h"
#include "core/rename/RenameTexts.h"

#include <QFile>
#include <QHash>
#include <QSet>

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <exception>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace tav {

namespace {

constexpr qsizetype NameMax = 255;  // bytes in one file name component
constexpr int MaxOpenFolders = 256; // folders kept open for the moves; others go by path

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
bool mayHaveAliases(const QByteArray &name) {
    for (char c : name)
        if (static_cast<unsigned char>(c) >= 0x80 || c == '~')
            return true;
    return name.endsWith('.') || name.endsWith(' ');
}

// Runs f when the scope is left, by a return or an exception.
template <typename F> struct AtExit {
    F f;
    ~AtExit() { f(); }
};
template <typename F> AtExit(F) -> AtExit<F>;

// A hash of a name with ASCII letters folded to lower case: equal for two
// names that differ only in the case of ASCII letters.
quint64 foldedHash(const char *name, qsizetype size) {
    quint64 h = 14695981039346656037ULL; // FNV-1a
    for (qsizetype k = 0; k < size; ++k) {
        unsigned char c = static_cast<unsigned char>(name[k]);
        if (c >= 'A' && c <= 'Z')
            c = static_cast<unsigned char>(c - 'A' + 'a');
        h = (h ^ c) * 1099511628211ULL;
    }
    return h;
}

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
        int fd = -1; // kept open for the moves, or -1
        bool listed = false;
        QSet<quint64> names;
    };
    FolderNames() = default;
    FolderNames(const FolderNames &) = delete;
    FolderNames &operator=(const FolderNames &) = delete;
    ~FolderNames() {
        for (const auto &f : m_store)
            if (f->fd >= 0)
                ::close(f->fd);
    }

    Folder &folder(const QByteArray &path) {
        // Most entries of a batch share the folder of the entry before.
        if (m_last && m_last->path == path)
            return *m_last;
        Folder *&slot = m_folders[path];
        if (!slot) {
            m_store.push_back(std::make_unique<Folder>());
            slot = m_store.back().get();
            slot->index = int(m_store.size()) - 1;
            read(*slot, path);
        }
        m_last = slot;
        return *slot;
    }

    Folder &at(int index) { return *m_store[size_t(index)]; }

    static bool occupied(const Folder &f, const QByteArray &name) {
        if (f.listed && !mayHaveAliases(name) && !f.names.contains(foldedHash(name.constData(), name.size())))
            return false;
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
    void read(Folder &f, const QByteArray &path) {
        f.path = path;
        const int fd = ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0)
            return;
        const int listFd = ::dup(fd);
        DIR *dir = listFd >= 0 ? ::fdopendir(listFd) : nullptr;
        if (dir) {
            while (const struct dirent *e = ::readdir(dir)) {
                const char *n = e->d_name;
                if (n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0)))
                    continue;
                f.names.insert(foldedHash(n, qsizetype(std::strlen(n))));
            }
            ::closedir(dir);
            f.listed = true;
        } else if (listFd >= 0) {
            ::close(listFd);
        }
        if (m_open < MaxOpenFolders) {
            f.fd = fd;
            ++m_open;
        } else {
            ::close(fd);
        }
    }

    static bool statIn(const Folder &f, const QByteArray &name, struct stat &st) {
        if (f.fd >= 0)
            return ::fstatat(f.fd, name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0;
        const QByteArray full = f.path == "/" ? "/" + name : f.path + '/' + name;
        return ::lstat(full.constData(), &st) == 0;
    }

    QHash<QByteArray, Folder *> m_folders;
    std::vector<std::unique_ptr<Folder>> m_store;
    Folder *m_last = nullptr;
    int m_open = 0;
};

// What a temporary name puts before the old name: "<prefix>_<position>_".
static QString temporaryHead(const QString &prefix, qsizetype pos) {
    return prefix + QLatin1Char('_') + QString::number(pos) + QLatin1Char('_');
}

QString temporaryPath(const QString &oldPath, qsizetype pos, const QString &prefix) {
    const qsizetype slash = lastSlash(oldPath);
    const QString folder = oldPath.left(slash + 1);
    QString name = oldPath.mid(slash + 1);
    const QString head = temporaryHead(prefix, pos);
    // A long old name would make the temporary name too long for the file
    // system; its beginning is dropped then (the extension stays readable).
    while (!name.isEmpty() && QFile::encodeName(head + name).size() > NameMax) {
        const int step = name.size() > 1 && name.at(0).isHighSurrogate() && name.at(1).isLowSurrogate() ? 2 : 1;
        name.remove(0, step);
    }
    return folder + head + name;
}

RenameBatch::RenameBatch(QList<RenameItem> items)
    : m_items(std::move(items)), m_outcomes(m_items.size()), m_identities(m_items.size()) {}

// A temporary name for entry i with the current prefix, lengthened while the
// name is taken in the folder or is the new name of an entry (destinations:
// see tempLikeDestinations()).
RenameBatch::TempName RenameBatch::freeTemporaryPath(qsizetype i, const QSet<QString> &destinations) {
    const QString &oldPath = m_items[i].oldPath;
    const Names &nm = m_names[i];
    const FolderNames::Folder &folder = nm.oldFolder >= 0
                                            ? m_folders->at(nm.oldFolder)
                                            : m_folders->folder(splitEncoded(QFile::encodeName(oldPath)).first);
    for (;;) {
        TempName temp;
        // The head is ASCII: the name is the encoded old name behind it, when
        // that is short enough not to need temporaryPath's shortening.
        const QString head = temporaryHead(m_prefix, i + 1);
        if (!nm.oldName.isEmpty() && head.size() + nm.oldName.size() <= NameMax) {
            const qsizetype slash = lastSlash(oldPath);
            temp.name = head.toLatin1() + nm.oldName;
            temp.path.reserve(oldPath.size() + head.size());
            temp.path.append(QStringView(oldPath).left(slash + 1));
            temp.path.append(head);
            temp.path.append(QStringView(oldPath).mid(slash + 1));
        } else {
            temp.path = temporaryPath(oldPath, i + 1, m_prefix);
            temp.name = splitEncoded(QFile::encodeName(temp.path)).second;
        }
        if (!FolderNames::occupied(folder, temp.name) &&
            (destinations.isEmpty() || !destinations.contains(temp.path.toCaseFolded())))
            return temp;
        m_prefix += QLatin1Char('_');
    }
}

// The new paths, case folded, that a temporary name could be: those whose
// name begins with the temporary prefix, whatever its case. Usually none.
QSet<QString> RenameBatch::tempLikeDestinations() const {
    QSet<QString> set;
    for (const RenameItem &it : m_items)
        if (QStringView(it.newPath).mid(lastSlash(it.newPath) + 1).startsWith(TempPrefix, Qt::CaseInsensitive))
            set.insert(it.newPath.toCaseFolded());
    return set;
}

void RenameBatch::setTempPath(qsizetype i, const TempName &temp) {
    m_outcomes[i].tempPath = temp.path;
    m_names[i].tempName = temp.name;
}

void RenameBatch::block(qsizetype i, const QString &reason) {
    RenameOutcome &o = m_outcomes[i];
    if (o.status == RenameStatus::Blocked)
        return;
    o.status = RenameStatus::Blocked;
    o.reason = reason;
    o.currentPath = m_items[i].oldPath;
}

void RenameBatch::prepare() {
    const qsizetype n = m_items.size();
    m_prefix = TempPrefix;
    m_folders = std::make_shared<FolderNames>();
    m_names = QList<Names>(n);
    for (qsizetype i = 0; i < n; ++i) {
        Names &nm = m_names[i];
        const auto [oldFolder, oldName] = splitEncoded(QFile::encodeName(m_items[i].oldPath));
        const auto [newFolder, newName] = splitEncoded(QFile::encodeName(m_items[i].newPath));
        const FolderNames::Folder &from = m_folders->folder(oldFolder);
        nm.oldFolder = from.index;
        nm.oldDir = from.fd;
        const FolderNames::Folder &to = m_folders->folder(newFolder);
        nm.newFolder = to.index;
        nm.newDir = to.fd;
        nm.oldName = oldName;
        nm.newName = newName;
    }

    // Temporary names: one collision lengthens the prefix for this name and
    // every later one. A name that another entry is to receive collides too:
    // that entry's final move would find its destination taken.
    const QSet<QString> destinations = tempLikeDestinations();
    for (qsizetype i = 0; i < n; ++i) {
        m_outcomes[i] = RenameOutcome();
        m_outcomes[i].currentPath = m_items[i].oldPath;
        setTempPath(i, freeTemporaryPath(i, destinations));
    }

    QHash<QString, qsizetype> oldIndex;     // exact old path -> first entry
    QHash<QString, qsizetype> firstWithNew; // exact new path -> first entry
    oldIndex.reserve(n);
    firstWithNew.reserve(n);
    for (qsizetype i = 0; i < n; ++i) {
        const RenameItem &it = m_items[i];
        m_identities[i] = FolderNames::identity(m_folders->at(m_names[i].oldFolder), m_names[i].oldName);
        if (!it.problem.isEmpty())
            block(i, it.problem);
        else if (!m_identities[i].valid())
            block(i, renameText("NotFound", "The file no longer exists."));
        const auto old = oldIndex.constFind(it.oldPath);
        if (old != oldIndex.cend())
            block(i, renameText("ListedTwice", "The file is listed twice."));
        else
            oldIndex.insert(it.oldPath, i);

        // Two entries with the same new path: both stay where they are.
        const auto dup = firstWithNew.constFind(it.newPath);
        if (dup != firstWithNew.cend()) {
            const QString reason = renameText("SameNewPath", "Another file of the batch gets the same new name.");
            block(dup.value(), reason);
            block(i, reason);
        } else {
            firstWithNew.insert(it.newPath, i);
        }
    }
    // Old paths ignoring case -> entries; made only when a destination is
    // found taken under a name no entry has exactly.
    QHash<QString, QList<qsizetype>> foldedOld;
    auto entriesFolded = [&](const QString &path) {
        if (foldedOld.isEmpty())
            for (qsizetype k = 0; k < n; ++k)
                foldedOld[m_items[k].oldPath.toCaseFolded()].append(k);
        return foldedOld.value(path.toCaseFolded());
    };

    // Occupied destinations. A destination held by a file of the batch is no
    // conflict, because that file moves to its temporary name first. The
    // exact name is looked for first; on a file system that ignores case the
    // name found may differ in case, and then it must be the very same file.
    QList<qsizetype> holder(n, -1);
    QHash<qsizetype, QList<qsizetype>> waitingOn; // holder -> entries whose destination it holds
    for (qsizetype i = 0; i < n; ++i) {
        const RenameItem &it = m_items[i];
        if (m_outcomes[i].status == RenameStatus::Blocked || it.newPath == it.oldPath)
            continue;
        if (!FolderNames::occupied(m_folders->at(m_names[i].newFolder), m_names[i].newName))
            continue;
        qsizetype j = oldIndex.value(it.newPath, -1);
        if (j < 0) {
            const FileIdentity there = fileIdentity(it.newPath);
            for (qsizetype k : entriesFolded(it.newPath)) {
                // One name only: the file system found this file under another
                // case. With hard links it may be a second name that stays.
                if (m_identities[k].sameFile(there) && there.links == 1) {
                    j = k;
                    break;
                }
            }
        }
        if (j < 0) {
            block(i, renameText("Occupied", "A file outside the batch already has the new name."));
        } else if (j != i) {
            holder[i] = j;
            waitingOn[j].append(i);
        }
    }

    // A destination held by a blocked entry is never freed: block those too,
    // and whatever waits on them in turn.
    QList<qsizetype> work;
    for (qsizetype j = 0; j < n; ++j)
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
            block(i,
                  renameText("HeldByBlocked", "The new name belongs to %s, which is not renamed.", m_items[j].oldPath));
            work.append(i);
        }
    }
}

QList<ReviewEntry> RenameBatch::blockedEntries() const {
    QList<ReviewEntry> list;
    for (qsizetype i = 0; i < m_items.size(); ++i)
        if (m_outcomes[i].status == RenameStatus::Blocked)
            list.append({m_items[i].oldPath, m_items[i].newPath, m_outcomes[i].reason});
    return list;
}

int RenameBatch::blockedCount() const {
    int k = 0;
    for (const RenameOutcome &o : m_outcomes)
        k += o.status == RenameStatus::Blocked;
    return k;
}

bool RenameBatch::run(const Hooks &hooks, QString *error) {
    const qsizetype n = m_items.size();
    m_stopped = false;
    if (!m_folders)
        m_folders = std::make_shared<FolderNames>();
    if (m_names.size() != n)
        m_names = QList<Names>(n); // no open folders: the moves go by path
    QList<JournalRecord> records;
    QList<qsizetype> recordOf(n, -1); // entry -> its journal record
    records.reserve(n);
    for (qsizetype i = 0; i < n; ++i) {
        if (m_outcomes[i].status == RenameStatus::Pending) {
            recordOf[i] = records.size();
            records.append({m_items[i].oldPath, m_outcomes[i].tempPath, m_items[i].newPath, m_identities[i], {}});
        }
    }

    RenameJournal journal;
    QString journalError;
    if (!records.isEmpty() && !journal.begin(records, &journalError)) {
        // Nothing moves; every entry that was to move says why.
        for (RenameOutcome &o : m_outcomes) {
            if (o.status == RenameStatus::Pending) {
                o.status = RenameStatus::Failed;
                o.reason = journalError;
            }
        }
        if (error)
            *error = journalError;
        return false;
    }
    qsizetype moving = -1; // the entry whose move is under way
    if (hooks.copyStep)
        journal.copyRecorder(0)->afterStep = [&hooks, &moving](int step) { hooks.copyStep(step, moving); };

    // A failing progress, events or row callback must not stop the batch half
    // way (files would stay under temporary names): the first failure is
    // kept and thrown once every file has its final or old name back.
    std::exception_ptr hookFailure;
    auto guarded = [&hookFailure](auto &&call) {
        try {
            call();
        } catch (...) {
            if (!hookFailure)
                hookFailure = std::current_exception();
        }
    };
    QList<JournalRecord> stuck; // files left under their temporary name
    // The folders whose entries changed: synced before the journal may say
    // the moves are done. Until then the journal stays, so that a power cut
    // or a pulled card never leaves a file under its temporary name without
    // a journal to put it back.
    ChangedFolders changed;
    auto end = [&] {
        if (changed.sync(&m_syncFolder) == 0)
            journal.finish(stuck);
        else
            m_syncFolder = m_syncFolder.isEmpty() ? QStringLiteral("?") : m_syncFolder;
    };
    m_syncFolder.clear();

    // A temporary name found taken when its file moves (made since the check,
    // or known to the file system under another spelling): the prefix grows
    // for this file and the later ones, whose new temporary names the journal
    // records before any of them is used.
    std::optional<QSet<QString>> destinations;
    auto retarget = [&](qsizetype from) {
        if (!destinations)
            destinations = tempLikeDestinations();
        const QString before = m_prefix;
        m_prefix += QLatin1Char('_');
        QList<QPair<qsizetype, TempName>> temps;
        QList<QPair<qsizetype, QString>> lines;
        for (qsizetype k = from; k < n; ++k) {
            if (m_outcomes[k].status != RenameStatus::Pending)
                continue;
            temps.append({k, freeTemporaryPath(k, *destinations)});
            lines.append({recordOf[k], temps.last().second.path});
        }
        if (!journal.retarget(lines)) {
            m_prefix = before;
            return false;
        }
        for (const auto &t : temps)
            setTempPath(t.first, t.second);
        return true;
    };

    // The files now under their temporary names. Their outcomes say so
    // (currentPath) only if they stay there, whichever way run() is left.
    std::vector<char> atTemp(size_t(n), 0);
    const AtExit markLeftAtTemp{[&] {
        for (qsizetype i = 0; i < n; ++i)
            if (atTemp[size_t(i)])
                m_outcomes[i].currentPath = m_outcomes[i].tempPath;
    }};

    int step = 1;
    int lastNoted = -1; // the open folder of the last move noted in changed
    // Phase 1: every file to its temporary name in its own folder. A stop
    // is honoured only here, between files: nothing has its new name yet.
    for (qsizetype i = 0; i < n; ++i) {
        if (hooks.stop) {
            bool stop = false;
            guarded([&] { stop = hooks.stop(); });
            if (stop) {
                m_stopped = true;
                break;
            }
        }
        if (hooks.progress)
            guarded([&] { hooks.progress(step); });
        if (hooks.events)
            guarded([&] { hooks.events(); });
        RenameOutcome &o = m_outcomes[i];
        if (o.status == RenameStatus::Pending) {
            const Names &nm = m_names[i];
            MoveResult m =
                moveFileNoReplaceAt(nm.oldDir, nm.oldName, nm.oldDir, nm.tempName, m_items[i].oldPath, o.tempPath);
            for (int tries = 0; !m.ok && m.error == EEXIST && tries < 8 && retarget(i); ++tries)
                m = moveFileNoReplaceAt(nm.oldDir, nm.oldName, nm.oldDir, nm.tempName, m_items[i].oldPath, o.tempPath);
            if (m.ok) {
                // Files of one folder: the folder is noted once.
                if (nm.oldDir < 0 || nm.oldDir != lastNoted) {
                    changed.noteMove(m_items[i].oldPath, o.tempPath);
                    lastNoted = nm.oldDir;
                }
                atTemp[size_t(i)] = 1;
            } else {
                o.status = RenameStatus::Failed;
                o.reason = renameText("Phase1Failed", "Cannot be renamed: %s", m.reason);
            }
            if (hooks.afterMove)
                hooks.afterMove(1, i);
        }
        ++step;
    }

    if (m_stopped) {
        // Every file at its temporary name goes back; the batch renames nothing.
        const QString stopped = renameText("Stopped", "The rename was stopped before this file was renamed.");
        for (qsizetype i = n - 1; i >= 0; --i) {
            RenameOutcome &o = m_outcomes[i];
            if (o.status != RenameStatus::Pending)
                continue;
            o.status = RenameStatus::Stopped;
            o.reason = stopped;
            if (!atTemp[size_t(i)])
                continue;
            const Names &nm = m_names[i];
            const MoveResult back =
                moveFileNoReplaceAt(nm.oldDir, nm.tempName, nm.oldDir, nm.oldName, o.tempPath, m_items[i].oldPath);
            if (back.ok) {
                changed.noteMove(o.tempPath, m_items[i].oldPath);
                o.currentPath = m_items[i].oldPath;
                atTemp[size_t(i)] = 0;
            } else {
                o.status = RenameStatus::Failed;
                o.reason = renameText("StoppedAtTemp",
                                      "The rename was stopped and the old name cannot be given back "
                                      "(%s); the file is now named %s",
                                      back.reason, o.tempPath);
                stuck.append({m_items[i].oldPath, o.tempPath, m_items[i].newPath, m_identities[i], {}});
            }
        }
        end();
        if (hookFailure)
            std::rethrow_exception(hookFailure);
        return true;
    }

    // Every file that moved is at its temporary name on disk before any takes
    // its new one: a crash in the second phase finds them there or further.
    if (changed.sync() == 0)
        journal.markPhase(JournalPhase::TemporaryNames);
    lastNoted = -1; // the sync forgot the folders noted so far

    // Phase 2, last to first, so that the caller can remove list rows as
    // files succeed and the rows before them keep their positions. It always
    // runs to its end.
    for (qsizetype i = n - 1; i >= 0; --i) {
        if (hooks.progress)
            guarded([&] { hooks.progress(step); });
        if (hooks.events)
            guarded([&] { hooks.events(); });
        RenameOutcome &o = m_outcomes[i];
        if (o.status == RenameStatus::Pending) {
            // The only move that may cross file systems: its copy steps are journaled.
            moving = i;
            const Names &nm = m_names[i];
            const MoveResult m = moveFileNoReplaceAt(nm.oldDir, nm.tempName, nm.newDir, nm.newName, o.tempPath,
                                                     m_items[i].newPath, journal.copyRecorder(recordOf[i]));
            if (m.ok) {
                if (nm.oldDir < 0 || nm.oldDir != nm.newDir || nm.oldDir != lastNoted) {
                    changed.noteMove(o.tempPath, m_items[i].newPath);
                    lastNoted = nm.oldDir == nm.newDir ? nm.oldDir : -1;
                }
                o.status = RenameStatus::Renamed;
                o.copied = m.copied;
                o.currentPath = m_items[i].newPath;
                atTemp[size_t(i)] = 0;
            } else {
                // Never leave a file under its temporary name: back to the old one.
                o.status = RenameStatus::Failed;
                const MoveResult back =
                    moveFileNoReplaceAt(nm.oldDir, nm.tempName, nm.oldDir, nm.oldName, o.tempPath, m_items[i].oldPath);
                if (back.ok) {
                    changed.noteMove(o.tempPath, m_items[i].oldPath);
                    o.currentPath = m_items[i].oldPath;
                    atTemp[size_t(i)] = 0;
                    o.reason = renameText("Phase2Failed", "Cannot get its new name: %s", m.reason);
                } else {
                    o.reason = renameText("StuckAtTemp",
                                          "Cannot get its new name (%s) nor its old name back; it is now named %s",
                                          m.reason, o.tempPath);
                    stuck.append({m_items[i].oldPath, o.tempPath, m_items[i].newPath, m_identities[i], {}});
                }
            }
            if (o.status == RenameStatus::Renamed && hooks.renamed)
                guarded([&] { hooks.renamed(i); });
            if (hooks.afterMove)
                hooks.afterMove(2, i);
        }
        ++step;
    }
    // A file that could not be put back keeps its journal entry, so that the
    // next start offers to put it back again.
    end();
    if (hookFailure)
        std::rethrow_exception(hookFailure);
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
            list.append({m_items[i].oldPath, m_items[i].newPath, o.reason});
    }
    return list;
}

} // namespace tav
