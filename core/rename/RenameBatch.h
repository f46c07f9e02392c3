#pragma once
// One rename batch on disk: every file first goes to a temporary name in its
// own folder, then to its new path, so names can be swapped or rotated inside
// the batch. Destinations are checked beforehand against the disk and against
// each other; conflicting entries are blocked and never touched. A file whose
// final move fails goes back to its old name.

#include "core/base/AideThread.h"
#include "core/base/FrontEnd.h"
#include "core/rename/RenameFileMove.h"
#include "core/rename/RenameJournal.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <functional>
#include <memory>
#include <vector>

namespace tav {

// One file of a batch: its folder and name now, and the folder and name it
// is to have. A folder ends with its "/" ("/" at the root, empty for a bare
// name), so that folder + name is the path; the items of one folder share
// its string, and the names are those of the rename list's rows: a large
// batch makes no full path per file.
struct RenameItem {
    QString oldFolder, oldName; // the file as it is now
    QString newFolder, newName; // the path it is to have
    QString problem;            // set by the caller when the entry cannot be renamed (bad name, no folder)

    RenameItem() = default;
    // The same from full paths, cut at their last "/".
    RenameItem(const QString &oldPath, const QString &newPath, const QString &problem = QString());
    QString oldPath() const { return oldFolder + oldName; }
    QString newPath() const { return newFolder + newName; }
    bool keepsItsPath() const { return oldName == newName && oldFolder == newFolder; }
};

// A full path cut after its last "/": the folder with that "/", and the name.
QPair<QString, QString> cutPath(const QString &path);

// Stopped: the batch was stopped before the file got its new name; it has its old one.
enum class RenameStatus { Pending, Blocked, Renamed, Failed, Stopped };

struct RenameOutcome {
    RenameStatus status = RenameStatus::Pending;
    QString reason;      // why blocked or failed
    bool copied = false; // it reached its new path as a copy on another file system (a new identity)
    bool atTemp = false; // it was left under its temporary name
};

class FolderNames;
class BatchRun;
class EntryIndex;

class RenameBatch {
public:
    // The first temporary prefix; each collision lengthens it by one "_".
    static inline const QString TempPrefix = QStringLiteral("tmp_Tvol");
    // From this many entries on, second threads take part of a batch's work
    // (identities, journal and history lines).
    static constexpr qsizetype AidedSize = 4096;

    explicit RenameBatch(QList<RenameItem> items);
    RenameBatch(RenameBatch &&) noexcept;
    RenameBatch &operator=(RenameBatch &&) noexcept;
    ~RenameBatch();

    // Builds the temporary names and blocks the entries that must not move:
    // a problem set by the caller, a missing file, a file listed twice, a
    // destination held by a file outside the batch (or by a blocked one), two
    // entries with the same new path (compared in NFC, and ignoring case on a
    // file system that ignores it), a name the destination's file system
    // does not allow (Windows' characters and names on such disks, length).
    // With hooks: progress steps 1 to 4n (four passes over the entries) and
    // events, both every few hundred entries, so that a window stays
    // answering while a large batch is checked.
    struct Hooks;
    void prepare();
    void prepare(const Hooks &hooks);

    qsizetype size() const { return m_items.size(); }
    const RenameItem &item(qsizetype i) const { return m_items[i]; }
    const RenameOutcome &outcome(qsizetype i) const { return m_outcomes[i]; }
    // The temporary name entry i takes in between (made from its folder and
    // the name prepare() chose), and where its file is after the batch.
    QString tempPath(qsizetype i) const;
    QString currentPath(qsizetype i) const;
    // The items as given (shared, not copied).
    const QList<RenameItem> &items() const { return m_items; }
    // The identity prepare() found at entry i's old path (invalid when none).
    const FileIdentity &identity(qsizetype i) const { return m_identities[i]; }
    const QList<FileIdentity> &identities() const { return m_identities; }
    QString tempPrefix() const { return m_prefix; }

    // The blocked entries in list order, with their reasons (for the review).
    QList<ReviewEntry> blockedEntries() const;
    int blockedCount() const;

    struct Hooks {
        std::function<void(int)> progress;             // progress step, 1 to 2n
        std::function<void()> events;                  // let pending window events run
        std::function<void(qsizetype)> renamed;        // entry i reached its new path (phase 2 order)
        std::function<bool()> stop;                    // polled between files of phase 1: true stops the batch
        std::function<void(int, qsizetype)> afterMove; // phase (1 or 2), entry: after each move
        std::function<void(int, qsizetype)> copyStep;  // copy step (1 to 3, see CopyRecorder), entry
    };

    // Writes the journal, runs phase 1 (first to last) and phase 2 (last to
    // first), removes the journal. False, with nothing moved, when the journal
    // cannot be written (error says why, and so does every entry's reason).
    // When stop turns true during phase 1, the files already at their
    // temporary names go back to their old names, phase 2 does not run and
    // stopped() is true; phase 2, once begun, always runs to its end. An
    // exception from progress, events, stop or renamed is thrown only after
    // the files have their final or old names; one from afterMove or copyStep
    // (test hooks standing for a crash) leaves at once, journal and all.
    bool run(const Hooks &hooks, QString *error = nullptr);
    bool stopped() const { return m_stopped; }
    // The folder whose changes could not be written to its disk (synced) at
    // the end of run(); the journal then stays, and the next start puts the
    // files back. Empty when every change is on disk.
    QString unsyncedFolder() const { return m_syncFolder; }

    int renamedCount() const;
    // Entries that were not renamed (blocked, failed or stopped), with their reasons.
    QList<ReviewEntry> notRenamed() const;

private:
    friend class BatchRun;
    QList<RenameItem> m_items;
    QList<RenameOutcome> m_outcomes;
    QList<FileIdentity> m_identities;
    // The folders of the batch, each read once, with open descriptors so that
    // the moves name files relative to them; shared by copies of the batch.
    std::shared_ptr<FolderNames> m_folders;
    // The encoded last part of a path, kept with the folders (m_folders):
    // the names of a large batch do not each take a block of memory.
    struct NameBytes {
        const char *data = nullptr; // followed by a NUL byte
        int length = 0;
        qsizetype size() const { return length; }
        bool isEmpty() const { return length == 0; }
        operator QByteArray() const { return data ? QByteArray::fromRawData(data, length) : QByteArray(); }
    };
    struct Names {
        int oldDir = -1, newDir = -1;       // descriptors of the folders, or -1
        int oldFolder = -1, newFolder = -1; // the folders in m_folders, or -1
        NameBytes oldName, tempName, newName;
    };
    NameBytes keep(const QByteArray &name);
    NameBytes keepName(const QString &name);
    // A temporary name, encoded: made on the stack, as a batch makes one per file.
    struct TempName {
        char bytes[512]; // NUL-terminated
        qsizetype size = 0;
        QByteArray spill; // instead of bytes, for a name that does not fit
        void set(const QByteArray &name) { spill = name; }
        // Valid while the TempName is.
        QByteArray name() const { return spill.isNull() ? QByteArray::fromRawData(bytes, size) : spill; }
    };
    QList<Names> m_names;
    const Hooks *m_prepareHooks = nullptr; // during prepare(hooks)
    static void appendJournalLine(const RenameItem &it, const NameBytes &temp, const FileIdentity &id,
                                  journalFields::FolderField &oldFolder, journalFields::FolderField &newFolder,
                                  QByteArray &out);
    // The journal lines of the entries, made on a second thread from the
    // end of the identity pass until the journal is written; used when the
    // temporary names are still those (prefix) then. The first entries'
    // only, up to about Most bytes: memory stays bounded.
    struct JournalLines {
        static constexpr qsizetype Most = qsizetype(16) << 20;
        explicit JournalLines(const RenameBatch &batch);
        // Stops the thread: the lines of the entries before the number returned are made.
        qsizetype finish(const RenameBatch &batch);
        void append(qsizetype i, QByteArray &out) const;
        QString prefix;
        QByteArray lines;
        std::vector<qsizetype> ends; // where entry i's line ends
        qsizetype made = 0;
        AideThread aide; // last: stopped before the rest goes
    };
    std::shared_ptr<JournalLines> m_journalLines;
    void preparing(int pass, qsizetype i);
    QString m_prefix = TempPrefix;
    bool m_stopped = false;
    QString m_syncFolder;

    void block(qsizetype i, const QString &reason);
    void openFolders();
    QString destinationKey(qsizetype i) const;
    quint64 destinationHash(qsizetype i) const;
    quint64 oldKeyHash(qsizetype i) const;
    struct IdentityPass;
    void startIdentities();
    void readIdentities();
    void checkEntries(EntryIndex &oldIndex);
    qsizetype holderOf(qsizetype i, const EntryIndex &oldIndex, QHash<QString, QList<qsizetype>> &foldedOld,
                       bool &outside);
    void blockWaitingOnBlocked(const QHash<qsizetype, QList<qsizetype>> &waitingOn);
    TempName freeTemporaryPath(qsizetype i, const QSet<QString> &destinations);
    QSet<QString> tempLikeDestinations() const;
    void setTempPath(qsizetype i, const TempName &temp);
    // The identity pass under way in prepare(); last, so that its thread
    // stops before the names and identities it reads and writes go.
    std::unique_ptr<IdentityPass> m_identityPass;
};

// The temporary name of the file at oldPath, at 1-based position pos, with
// prefix; the old name is shortened when the whole name would not fit in
// 255 bytes.
QString temporaryPath(const QString &oldPath, qsizetype pos, const QString &prefix);
// The same for the name alone.
QString temporaryName(const QString &oldName, qsizetype pos, const QString &prefix);

// A folder's listing that the caller has just read for its own use: every
// name but "." and "..", each followed by a NUL byte, and the folder as
// stat() saw it before the reading began. A batch that finds the folder with
// the same identity and times takes its names from here instead of reading
// the folder a second time (the command line reads each folder for the
// list, then renames in it); any change to the folder in between changes its
// times, and the batch reads it afresh. Its moves refuse a taken name anyway.
struct FolderStamp {
    quint64 device = 0, inode = 0;
    qint64 mtimeNs = 0, ctimeNs = 0;
    bool operator==(const FolderStamp &) const = default;
};
FolderStamp folderStamp(int fd); // of an open folder; all zero when fstat fails
void offerFolderListing(const FolderStamp &folder, QByteArray names);

} // namespace tav
