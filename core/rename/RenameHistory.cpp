#include "core/rename/RenameHistory.h"

#include "core/base/FrontEnd.h"
#include "core/i18n/Language.h"
#include "core/rename/RenameJournal.h"
#include "core/rename/RenameTexts.h"
#include "core/rename/StateFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tav {

namespace {

const QByteArray Header = "TRAVOLINE-RENAME-HISTORY 1\n";
const QString Suffix = QStringLiteral(".batch");

using journalFields::decodePath;
using journalFields::encodePath;

QString folderOf(const QString &path) {
    return path.left(std::max<qsizetype>(path.lastIndexOf(QLatin1Char('/')), 1));
}

// The batch files of the history folder by id, oldest first.
QList<QPair<qint64, QString>> batchFiles() {
    QList<QPair<qint64, QString>> files;
    const QDir dir(history::folder());
    for (const QString &name : dir.entryList(QDir::Files)) {
        if (!name.endsWith(Suffix))
            continue;
        bool ok = false;
        const qint64 id = name.chopped(Suffix.size()).toLongLong(&ok);
        if (ok && id > 0)
            files.append({id, dir.filePath(name)});
    }
    std::sort(files.begin(), files.end());
    return files;
}

QString fileNameFor(qint64 id) {
    return QStringLiteral("%1%2").arg(id, 10, 10, QLatin1Char('0')).arg(Suffix);
}

// Reads a batch file; with headerOnly the files are not read.
std::optional<HistoryBatch> readBatch(const QString &path, qint64 id, bool headerOnly) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return std::nullopt;
    if (f.readLine() != Header)
        return std::nullopt;
    const QList<QByteArray> head = f.readLine().chopped(1).split('\t');
    if (head.size() != 5 || head[0] != "B")
        return std::nullopt;
    HistoryBatch b;
    b.id = id;
    b.time = QDateTime::fromMSecsSinceEpoch(head[1].toLongLong());
    b.fileCount = head[2].toInt();
    b.undoes = head[3].toLongLong();
    b.firstFolder = decodePath(head[4]);
    if (headerOnly)
        return b;
    const QList<QByteArray> lines = f.readAll().split('\n');
    // The count is only believed as far as the file has lines for it.
    b.files.reserve(std::clamp<qsizetype>(b.fileCount, 0, lines.size()));
    for (const QByteArray &line : lines) {
        const QList<QByteArray> fields = line.split('\t');
        if (fields.size() == 7 && fields[0] == "F") {
            HistoryFile h;
            h.oldPath = decodePath(fields[1]);
            h.newPath = decodePath(fields[2]);
            h.identity = journalFields::identity(fields, 3);
            b.files.append(h);
        } else if (fields.size() == 2 && fields[0] == "D") {
            b.createdFolders.append(decodePath(fields[1]));
        }
    }
    // A file cut short is not a batch to undo.
    if (b.files.size() != b.fileCount)
        return std::nullopt;
    return b;
}

// Removes the batches of files (in id order) beyond the last keep.
void trim(const QList<QPair<qint64, QString>> &files, int keep) {
    for (qsizetype i = 0; i + keep < files.size(); ++i)
        QFile::remove(files[i].second);
}

} // namespace

QString history::folder() {
    return stateFolder() + QStringLiteral("/history");
}

QStringList history::missingFolders(const QString &path) {
    QStringList missing;
    QString folder = QDir::cleanPath(path);
    while (!folder.isEmpty() && folder != QLatin1String("/") && !QFileInfo(folder).isDir()) {
        missing.prepend(folder);
        const QString parent = folderOf(folder);
        if (parent == folder)
            break;
        folder = parent;
    }
    return missing;
}

namespace {

// The history line of a file under its new name with identity id.
void appendFileLine(QByteArray &out, const RenameItem &it, const FileIdentity &id,
                    journalFields::FolderField &oldFolder, journalFields::FolderField &newFolder) {
    journalFields::appendLine(out, 'F',
                              {{oldFolder.of(it.oldFolder), it.oldName}, {newFolder.of(it.newFolder), it.newName}}, id);
}

} // namespace

history::LinesAhead::LinesAhead(const RenameBatch &batch, qsizetype most) : m_moving(size_t(batch.size()), 0) {
    // Which entries are to move is read here: the outcomes change while the
    // batch runs. The thread reads only the items and identities, which do not.
    for (qsizetype i = 0; i < batch.size(); ++i)
        m_moving[size_t(i)] = batch.outcome(i).status == RenameStatus::Pending && !batch.item(i).keepsItsPath() &&
                              batch.identity(i).valid();
    m_aide.start([this, items = batch.items(), ids = batch.identities(), most] {
        journalFields::FolderField oldFolder, newFolder;
        qsizetype i = 0;
        for (; i < items.size() && m_lines.size() < most && !m_aide.stopAsked(); ++i)
            if (m_moving[size_t(i)])
                appendFileLine(m_lines, items.at(i), ids.at(i), oldFolder, newFolder);
        m_until = i;
    });
}

const QByteArray *history::LinesAhead::linesFor(const RenameBatch &batch, qsizetype &until) {
    m_aide.stop();
    if (qsizetype(m_moving.size()) != batch.size())
        return nullptr;
    until = m_until;
    for (qsizetype i = 0; i < m_until; ++i) {
        const RenameOutcome &o = batch.outcome(i);
        const bool recorded = o.status == RenameStatus::Renamed && !batch.item(i).keepsItsPath();
        // A copy on another disk has an identity of its own.
        if (recorded != bool(m_moving[size_t(i)]) || (recorded && o.copied))
            return nullptr;
    }
    return &m_lines;
}

qint64 history::record(const RenameBatch &batch, const QStringList &createdFolders, int keep, qint64 undoes,
                       QString *error, LinesAhead *ahead) {
    if (keep <= 0)
        return 0;
    auto recorded = [&batch](qsizetype i) {
        const RenameItem &it = batch.item(i);
        return batch.outcome(i).status == RenameStatus::Renamed && !it.keepsItsPath();
    };
    int count = 0;
    qsizetype first = -1;
    for (qsizetype i = 0; i < batch.size(); ++i) {
        if (recorded(i)) {
            if (count++ == 0)
                first = i;
        }
    }
    if (count == 0)
        return 0;

    auto fail = [error](const QString &what) -> qint64 {
        if (error)
            *error = historyText("HistoryWrite", "The rename history cannot be written: %s", what);
        return 0;
    };
    const QString dir = folder();
    if (!QDir().mkpath(dir))
        return fail(dir);
    // Written whole and synced under a temporary name, then given its id
    // without replacing: another process may record a batch at the same time.
    const QString tmp = QDir(dir).filePath(
        QStringLiteral(".%1-%2.tmp").arg(QCoreApplication::applicationPid()).arg(QDateTime::currentMSecsSinceEpoch()));
    const QByteArray tmpName = QFile::encodeName(tmp);
    const int fd = ::open(tmpName.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return fail(systemErrorText(errno));
    // The lines go out in blocks of about a megabyte as they are made.
    constexpr qsizetype Block = qsizetype(1) << 20;
    QByteArray out = Header;
    out.reserve(Block + 4096);
    out += "B\t" + QByteArray::number(QDateTime::currentMSecsSinceEpoch()) + '\t' + QByteArray::number(count) + '\t' +
           QByteArray::number(undoes) + '\t' + encodePath(folderOf(batch.item(first).oldPath())) + '\n';
    bool written = true;
    journalFields::FolderField oldFolder, newFolder;
    qsizetype until = 0;
    const QByteArray *made = ahead ? ahead->linesFor(batch, until) : nullptr;
    if (made) {
        written = writeAllTo(fd, out) && writeAllTo(fd, *made);
        out.resize(0);
        frontEnd().processEvents();
    }
    for (qsizetype i = made ? until : first; written && i < batch.size(); ++i) {
        if (!recorded(i))
            continue;
        const RenameItem &it = batch.item(i);
        // A move within a file system keeps the file's identity, taken before the batch.
        const FileIdentity id =
            batch.outcome(i).copied || !batch.identity(i).valid() ? fileIdentity(it.newPath()) : batch.identity(i);
        appendFileLine(out, it, id, oldFolder, newFolder);
        if (out.size() >= Block) {
            written = writeAllTo(fd, out);
            out.resize(0);
            frontEnd().processEvents(); // a window stays answering through a large batch
        }
    }
    for (const QString &f : createdFolders)
        out += "D\t" + encodePath(f) + '\n';
    written = written && writeAllTo(fd, out) && ::fsync(fd) == 0;
    const int writeError = errno;
    ::close(fd);
    frontEnd().processEvents();
    if (!written) {
        ::unlink(tmpName.constData());
        return fail(systemErrorText(writeError));
    }
    auto existing = batchFiles();
    qint64 id = existing.isEmpty() ? 1 : existing.last().first + 1;
    for (;; ++id) {
        const QString path = QDir(dir).filePath(fileNameFor(id));
        if (::link(tmpName.constData(), QFile::encodeName(path).constData()) == 0) {
            existing.append({id, path});
            break;
        }
        if (errno != EEXIST) {
            const int e = errno;
            ::unlink(tmpName.constData());
            return fail(systemErrorText(e));
        }
    }
    ::unlink(tmpName.constData());
    syncFolder(dir);
    trim(existing, keep);
    return id;
}

QList<HistoryBatch> history::list() {
    QList<HistoryBatch> batches;
    for (const auto &[id, path] : batchFiles())
        if (const auto b = readBatch(path, id, true))
            batches.append(*b);
    return batches;
}

std::optional<HistoryBatch> history::load(qint64 id) {
    const auto files = batchFiles();
    for (qsizetype i = files.size() - 1; i >= 0; --i) {
        if (id != 0 && files[i].first != id)
            continue;
        const auto b = readBatch(files[i].second, files[i].first, false);
        if (b || id != 0)
            return b;
    }
    return std::nullopt;
}

QString historyText(const char *key, const char *fallback, const QString &p1, const QString &p2) {
    return i18n::getText(QStringLiteral("Historique"), QString::fromLatin1(key), QString::fromUtf8(fallback), p1, p2);
}

QString undoMessage(int n, const char *fallback, const QString &p1, const QString &p2) {
    return i18n::getText(QStringLiteral("MSG"), QStringLiteral("m%1").arg(n), QString::fromUtf8(fallback), p1, p2);
}

namespace {

// One undo: the batch that puts the files of a history batch back.
class Undo {
public:
    Undo(const HistoryBatch &b, const UndoOptions &options, UndoReport &report)
        : m_b(b), m_options(options), m_report(report), m_batch({}) {}
    void prepare();
    void makeOldFolders();
    void explainBlocked();
    void fillLines();
    bool review();
    void run();
    // Folders of folders (parents first) that are empty go, children first.
    static void removeFolders(const QStringList &folders, QStringList *removed) {
        for (qsizetype i = folders.size() - 1; i >= 0; --i)
            if (::rmdir(QFile::encodeName(folders[i]).constData()) == 0 && removed)
                removed->append(folders[i]);
    }
    QStringList created; // folders made for this undo

private:
    QString reason(qsizetype i) const {
        return m_batch.outcome(i).status == RenameStatus::Blocked && !m_undoReason[i].isEmpty()
                   ? m_undoReason[i]
                   : m_batch.outcome(i).reason;
    }
    const HistoryBatch &m_b;
    const UndoOptions &m_options;
    UndoReport &m_report;
    QList<RenameItem> m_items;
    RenameBatch m_batch;
    QList<QString> m_undoReason;
};

// Each file goes from its new name back to its old one. The batch finds
// each file (its identity) and checks that the old name is free or freed
// by the undo; a file that is not the one the batch renamed is then
// blocked, and the batch prepared again without it.
void Undo::prepare() {
    m_items.reserve(m_b.files.size());
    for (const HistoryFile &f : m_b.files) {
        RenameItem item(f.newPath, f.oldPath);
        // The files of a folder share its string, as in a batch made from the list.
        if (!m_items.isEmpty()) {
            const RenameItem &last = m_items.constLast();
            for (QString *folder : {&item.oldFolder, &item.newFolder})
                for (const QString &shared : {last.oldFolder, last.newFolder})
                    if (*folder == shared)
                        *folder = shared;
        }
        m_items.append(std::move(item));
    }
    m_batch = RenameBatch(m_items);
    m_batch.prepare();
    bool changed = false;
    for (qsizetype i = 0; i < m_batch.size(); ++i) {
        if (m_batch.outcome(i).status == RenameStatus::Blocked)
            continue;
        const FileIdentity &now = m_batch.identity(i);
        const FileIdentity &then = m_b.files[i].identity;
        if (!now.sameAsRecorded(then))
            m_items[i].problem = historyText("UndoReplaced", "Another file has this name now.");
        else if (now.size != then.size || now.mtimeNs != then.mtimeNs)
            m_items[i].problem = historyText("UndoEdited", "The file was changed since it was renamed.");
        changed = changed || !m_items[i].problem.isEmpty();
    }
    if (changed) {
        m_batch = RenameBatch(m_items);
        m_batch.prepare();
    }
    m_report.total = static_cast<int>(m_batch.size());
    m_undoReason = QList<QString>(m_batch.size());
}

// The old folders may be gone (folders an undo removed, for a redo): made
// again, each synced in its parent before anything moves into it.
void Undo::makeOldFolders() {
    QSet<QString> checkedFolders;
    for (qsizetype i = 0; i < m_batch.size(); ++i) {
        const QString oldFolder = folderOf(m_items[i].newPath());
        if (m_batch.outcome(i).status == RenameStatus::Blocked || checkedFolders.contains(oldFolder))
            continue;
        checkedFolders.insert(oldFolder);
        makeFoldersSynced(oldFolder, 0777, &created);
    }
}

// A missing file and an old name taken by a file outside the batch are
// found by the batch's own checks; said here in the words of an undo.
void Undo::explainBlocked() {
    if (m_batch.blockedCount() == 0)
        return;
    QSet<QString> sources;
    for (const RenameItem &it : std::as_const(m_items))
        sources.insert(it.oldPath());
    for (qsizetype i = 0; i < m_batch.size(); ++i) {
        if (m_batch.outcome(i).status != RenameStatus::Blocked || !m_items[i].problem.isEmpty())
            continue;
        if (!m_batch.identity(i).valid())
            m_undoReason[i] =
                historyText("UndoGone", "No file has this name any more: it was renamed, moved or deleted.");
        else if (!sources.contains(m_items[i].newPath()) && pathOccupied(m_items[i].newPath()))
            m_undoReason[i] =
                historyText("UndoOldTaken", "Its old name %s is taken by another file.", m_items[i].newPath());
    }
}

void Undo::fillLines() {
    m_report.lines.clear();
    for (qsizetype i = 0; i < m_batch.size(); ++i)
        m_report.lines.append({m_batch.outcome(i).status, m_items[i].oldPath(), m_items[i].newPath(), reason(i)});
}

// False when the user cancels the review of the blocked files.
bool Undo::review() {
    const int blocked = m_batch.blockedCount();
    if (blocked == 0)
        return true;
    const QString suffix = QStringLiteral(" (%1 / %2)").arg(blocked).arg(m_batch.size());
    QList<ReviewEntry> entries;
    for (qsizetype i = 0; i < m_batch.size(); ++i)
        if (m_batch.outcome(i).status == RenameStatus::Blocked)
            entries.append({m_items[i].oldPath(), m_items[i].newPath(), reason(i)});
    return frontEnd().reviewBlocked(entries, suffix);
}

void Undo::run() {
    frontEnd().objetOnOff(false, false, true);
    frontEnd().progressStart(static_cast<int>(2 * m_batch.size()));
    RenameBatch::Hooks hooks;
    hooks.progress = [](int step) { frontEnd().progressStep(step); };
    hooks.events = [] { frontEnd().processEvents(); };
    hooks.stop = m_options.stopRequested;
    hooks.afterMove = m_options.afterMove;
    struct Restore {
        ~Restore() {
            frontEnd().progressEnd();
            frontEnd().objetOnOff(true, false, false);
        }
    } restore;
    QString error;
    m_report.started = m_batch.run(hooks, &error);
    m_report.error = error;
    m_report.stopped = m_batch.stopped();
    m_report.renamed = m_batch.renamedCount();
    fillLines();
    if (m_report.renamed > 0) {
        // Folders made for the batch that the undo emptied go with it.
        removeFolders(m_b.createdFolders, &m_report.removedFolders);
        m_report.recordedId = history::record(m_batch, created, m_options.keep, m_b.id, &m_report.historyError);
    } else {
        removeFolders(created, nullptr);
    }
}

} // namespace

UndoReport undoBatch(const UndoOptions &options) {
    UndoReport report;
    const std::optional<HistoryBatch> b = history::load(options.id);
    if (!b)
        return report;
    report.found = true;
    report.undoneId = b->id;
    Undo undo(*b, options, report);
    undo.prepare();
    if (!options.dryRun)
        undo.makeOldFolders();
    undo.explainBlocked();
    if (options.dryRun) {
        undo.fillLines();
        return report;
    }
    if (!undo.review()) {
        report.cancelled = true;
        Undo::removeFolders(undo.created, nullptr);
        undo.fillLines();
        return report;
    }
    undo.run();
    return report;
}

} // namespace tav
