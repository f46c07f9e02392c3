#include "core/rename/RenameJournal.h"

#include "core/base/PlainCopy.h"

#include "core/rename/FolderRules.h"
#include "core/rename/RenameTexts.h"
#include "core/rename/StateFolder.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QStandardPaths>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tav {

QByteArray journalFields::encodePath(const QString &path) {
    QByteArray out;
    appendPath(out, path);
    return out;
}

QString journalFields::decodePath(const QByteArray &field) {
    return QFile::decodeName(QByteArray::fromPercentEncoding(field));
}

QByteArray journalFields::identity(const FileIdentity &id) {
    QByteArray out;
    appendIdentity(out, id);
    return out;
}

namespace {

// As QByteArray::toPercentEncoding("/"): the unreserved characters of RFC
// 3986 and "/" stay, every other byte becomes %XX.
struct PlainBytes {
    bool plain[256] = {};
    constexpr PlainBytes() {
        for (int c = 0; c < 256; ++c)
            plain[c] = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
                       c == '.' || c == '_' || c == '~' || c == '/';
    }
};
constexpr PlainBytes Plain;

// The lines are written through a pointer into room made beforehand: each
// piece would otherwise be an append of its own, and a journal has millions.
// Unit is char16_t for an ASCII text, unsigned char for encoded bytes.
template <typename Unit> char *putEncoded(char *w, const Unit *s, qsizetype length) {
    static const char hex[] = "0123456789ABCDEF";
    for (qsizetype k = 0; k < length; ++k) {
        const unsigned c = s[k];
        if (Plain.plain[c]) {
            *w++ = char(c);
        } else {
            *w++ = '%';
            *w++ = hex[c >> 4];
            *w++ = hex[c & 0x0F];
        }
    }
    return w;
}

char *putBytes(char *w, const char *bytes, qsizetype size) {
    return putEncoded(w, reinterpret_cast<const unsigned char *>(bytes), size);
}

char *putPath(char *w, QStringView path) {
    // A path of plain characters (the usual case) is copied as it is; an
    // ASCII one is encoded straight from the text; any other is encoded
    // again from its bytes.
    static const char hex[] = "0123456789ABCDEF";
    char *const start = w;
    const char16_t *s = path.utf16();
    if (plainCopy::copy<plainCopy::Set::Unreserved>(w, s, path.size()))
        return w + path.size();
    for (qsizetype k = 0; k < path.size(); ++k) {
        const unsigned c = s[k];
        if (c >= 0x80) {
            const QByteArray bytes = QFile::encodeName(path.toString());
            return putBytes(start, bytes.constData(), bytes.size());
        }
        if (Plain.plain[c]) {
            *w++ = char(c);
        } else {
            *w++ = '%';
            *w++ = hex[c >> 4];
            *w++ = hex[c & 0x0F];
        }
    }
    return w;
}

// At most this many bytes for an encoded text: a UTF-16 unit is at most
// three bytes of UTF-8, each at most three once encoded.
qsizetype pathRoom(QStringView path) {
    return 9 * path.size();
}

qsizetype partsRoom(const journalFields::Parts &p) {
    return (p.encodedFolder ? p.encodedFolder->size() : pathRoom(p.folder)) + (p.bytes ? 3 * p.size : pathRoom(p.name));
}

char *putParts(char *w, const journalFields::Parts &p) {
    if (p.encodedFolder) {
        std::memcpy(w, p.encodedFolder->constData(), size_t(p.encodedFolder->size()));
        w += p.encodedFolder->size();
    } else {
        w = putPath(w, p.folder);
    }
    return p.bytes ? putBytes(w, p.bytes, p.size) : putPath(w, p.name);
}

char *putNumber(char *w, unsigned long long v) {
    static const char pairs[] = "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
                                "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
                                "8081828384858687888990919293949596979899";
    char digits[24];
    char *begin = digits + sizeof digits;
    while (v >= 10) {
        const unsigned two = unsigned(v % 100);
        v /= 100;
        begin -= 2;
        std::memcpy(begin, pairs + 2 * two, 2);
    }
    if (v || begin == digits + sizeof digits)
        *--begin = char('0' + v);
    const size_t n = size_t(digits + sizeof digits - begin);
    std::memcpy(w, begin, n);
    return w + n;
}

char *putSigned(char *w, long long v) {
    if (v >= 0)
        return putNumber(w, static_cast<unsigned long long>(v));
    *w++ = '-';
    return putNumber(w, 0ULL - static_cast<unsigned long long>(v));
}

constexpr qsizetype IdentityRoom = 4 * 21 + 3;

char *putIdentity(char *w, const FileIdentity &id) {
    w = putNumber(w, id.device);
    *w++ = '\t';
    w = putNumber(w, id.inode);
    *w++ = '\t';
    w = putSigned(w, id.size);
    *w++ = '\t';
    return putSigned(w, id.mtimeNs);
}

// Room for at most `most` more bytes at the end of out, filled through w;
// out ends where w stopped once the tail is gone.
class Tail {
public:
    Tail(QByteArray &out, qsizetype most) : m_out(out) {
        const qsizetype size = out.size();
        if (out.capacity() - size < most)
            out.reserve(std::max(size + most, 2 * out.capacity()));
        out.resize(size + most);
        w = out.data() + size;
    }
    ~Tail() { m_out.resize(w - m_out.constData()); }
    Tail(const Tail &) = delete;
    Tail &operator=(const Tail &) = delete;
    char *w;

private:
    QByteArray &m_out;
};

} // namespace

void journalFields::appendPath(QByteArray &out, QStringView path) {
    Tail t(out, pathRoom(path));
    t.w = putPath(t.w, path);
}

void journalFields::appendIdentity(QByteArray &out, const FileIdentity &id) {
    Tail t(out, IdentityRoom);
    t.w = putIdentity(t.w, id);
}

void journalFields::appendLine(QByteArray &out, char tag, std::initializer_list<Parts> paths, const FileIdentity &id) {
    qsizetype room = 3 + IdentityRoom;
    for (const Parts &p : paths)
        room += partsRoom(p) + 1;
    Tail t(out, room);
    *t.w++ = tag;
    *t.w++ = '\t';
    for (const Parts &p : paths) {
        t.w = putParts(t.w, p);
        *t.w++ = '\t';
    }
    t.w = putIdentity(t.w, id);
    *t.w++ = '\n';
}

FileIdentity journalFields::identity(const QList<QByteArray> &fields, qsizetype first) {
    FileIdentity id;
    id.device = fields[first].toULongLong();
    id.inode = fields[first + 1].toULongLong();
    id.size = fields[first + 2].toLongLong();
    id.mtimeNs = fields[first + 3].toLongLong();
    return id;
}

namespace {

const QByteArray Header = "TRAVOLINE-RENAME-JOURNAL 1\n";
const QString Suffix = QStringLiteral(".journal");

QString &folderOverride() {
    static QString folder;
    return folder;
}

using journalFields::decodePath;
using journalFields::encodePath;

// A copy across file systems is about to be made under partial, to become finalPath.
QByteArray copyLine(qsizetype record, const QString &partial, const QString &finalPath) {
    return "C\t" + QByteArray::number(record) + '\t' + encodePath(partial) + '\t' + encodePath(finalPath) + '\n';
}

// The copy under partial now exists with this identity.
QByteArray identityLine(const QString &partial, const FileIdentity &id) {
    return "I\t" + encodePath(partial) + '\t' + QByteArray::number(id.device) + '\t' + QByteArray::number(id.inode) +
           "\t0\n";
}

QByteArray phaseLine(int phase) {
    return "P\t" + QByteArray::number(phase) + '\n';
}

// The journal is written in blocks of about this size: a batch of many
// files never holds its whole journal in memory.
constexpr qsizetype JournalBlock = qsizetype(1) << 20;

// Writes the header and count record lines to fd in large blocks, then the
// copy steps of the records that have some. False with errno set.
bool writeRecords(int fd, qsizetype count, const RenameJournal::RecordLine &line,
                  const QList<JournalRecord> *withCopies) {
    QByteArray out = Header;
    out.reserve(JournalBlock + 4096);
    for (qsizetype k = 0; k < count; ++k) {
        line(k, out);
        if (out.size() >= JournalBlock) {
            if (!writeAllTo(fd, out))
                return false;
            out.resize(0);
        }
    }
    if (withCopies) {
        for (qsizetype k = 0; k < withCopies->size(); ++k) {
            for (const CopyStep &c : withCopies->at(k).copies) {
                out += copyLine(k, c.partialPath, c.finalPath);
                if (c.identity.valid())
                    out += identityLine(c.partialPath, c.identity);
            }
        }
    }
    return out.isEmpty() || writeAllTo(fd, out);
}

RenameJournal::RecordLine linesOf(const QList<JournalRecord> &records) {
    return [&records](qsizetype k, QByteArray &out) {
        const JournalRecord &r = records[k];
        auto parts = [](const QString &path) {
            const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
            return journalFields::Parts(QStringView(path).left(slash + 1), QStringView(path).mid(slash + 1));
        };
        RenameJournal::appendRecord(out, parts(r.oldPath), parts(r.tempPath), parts(r.newPath), r.identity);
    };
}

// Writes a journal to path (created exclusively when exclusive), synced.
// Returns the open descriptor (the caller keeps or closes it) or -1 with
// errno set.
int writeSynced(const QString &path, qsizetype count, const RenameJournal::RecordLine &line,
                const QList<JournalRecord> *withCopies, bool exclusive) {
    const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (exclusive ? O_EXCL : O_TRUNC);
    const int fd = ::open(QFile::encodeName(path).constData(), flags, 0600);
    if (fd < 0)
        return -1;
    if (!writeRecords(fd, count, line, withCopies) || ::fsync(fd) != 0) {
        const int e = errno;
        ::close(fd);
        ::unlink(QFile::encodeName(path).constData());
        errno = e;
        return -1;
    }
    return fd;
}

// Rewrites a journal in place through a temporary file, so that a crash during
// the rewrite leaves either the old or the new content.
bool rewriteJournal(const QString &path, const QList<JournalRecord> &records) {
    if (records.isEmpty()) {
        const bool ok = ::unlink(QFile::encodeName(path).constData()) == 0 || errno == ENOENT;
        syncFolder(QFileInfo(path).absolutePath());
        return ok;
    }
    const QString tmp = path + QStringLiteral(".new");
    const int fd = writeSynced(tmp, records.size(), linesOf(records), &records, false);
    if (fd < 0)
        return false;
    ::close(fd);
    if (::rename(QFile::encodeName(tmp).constData(), QFile::encodeName(path).constData()) != 0) {
        ::unlink(QFile::encodeName(tmp).constData());
        return false;
    }
    syncFolder(QFileInfo(path).absolutePath());
    return true;
}

} // namespace

bool JournalCopyRecorder::append(const QByteArray &line) {
    return m_fd >= 0 && writeAllTo(m_fd, line) && ::fdatasync(m_fd) == 0;
}

QString JournalCopyRecorder::partialPath(const QString &to) {
    const QString partial = to.left(to.lastIndexOf(QLatin1Char('/')) + 1) + PartialCopyPrefix + m_token +
                            QLatin1Char('_') + QString::number(m_record) + QLatin1Char('_') + QString::number(m_next++);
    if (!append(copyLine(m_record, partial, to)))
        return QString();
    if (afterStep)
        afterStep(1);
    return partial;
}

bool JournalCopyRecorder::created(const QString &partialPath, const FileIdentity &copy) {
    if (!append(identityLine(partialPath, copy)))
        return false;
    if (afterStep)
        afterStep(2);
    return true;
}

bool JournalCopyRecorder::reserving(const QString &to) {
    return append(copyLine(m_record, to, to));
}

void JournalCopyRecorder::placed(const QString &) {
    if (afterStep)
        afterStep(3);
}

RenameJournal::~RenameJournal() {
    if (m_fd >= 0)
        ::close(m_fd);
}

QString RenameJournal::journalFolder() {
    if (!folderOverride().isEmpty())
        return folderOverride();
    return stateFolder() + QStringLiteral("/journal");
}

QString RenameJournal::legacyJournalFolder() {
    if (!folderOverride().isEmpty())
        return QString();
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/Travoline/journal");
}

void RenameJournal::setJournalFolder(const QString &folder) {
    folderOverride() = folder;
}

bool RenameJournal::begin(const QList<JournalRecord> &records, QString *error) {
    return begin(records.size(), linesOf(records), error, &records);
}

void RenameJournal::appendRecord(QByteArray &out, const journalFields::Parts &oldPath,
                                 const journalFields::Parts &tempPath, const journalFields::Parts &newPath,
                                 const FileIdentity &identity) {
    journalFields::appendLine(out, 'R', {oldPath, tempPath, newPath}, identity);
}

bool RenameJournal::begin(qsizetype count, const RecordLine &line, QString *error,
                          const QList<JournalRecord> *withCopies) {
    const QString folder = journalFolder();
    const int mkdirError = makeFoldersSynced(folder, 0700);
    if (mkdirError != 0) {
        if (error)
            *error = renameText("JournalFolder", "The rename journal folder %s cannot be created: %s", folder,
                                systemErrorText(mkdirError));
        return false;
    }
    static int sequence = 0; // two short batches may start within one millisecond
    const QString name = QStringLiteral("rename-%1-%2-%3%4")
                             .arg(QCoreApplication::applicationPid())
                             .arg(QDateTime::currentMSecsSinceEpoch())
                             .arg(++sequence)
                             .arg(Suffix);
    const QString path = QDir(folder).filePath(name);
    const int fd = writeSynced(path, count, line, withCopies, true);
    if (fd < 0) {
        if (error)
            *error =
                renameText("JournalWrite", "The rename journal %s cannot be written: %s", path, systemErrorText(errno));
        return false;
    }
    // The lock tells recovery this batch is still running; it goes with the process.
    ::flock(fd, LOCK_EX | LOCK_NB);
    syncFolder(folder);
    m_path = path;
    m_fd = fd;
    m_recorder = JournalCopyRecorder(fd, QFileInfo(path).completeBaseName(), 0);
    return true;
}

bool RenameJournal::markPhase(JournalPhase phase) {
    return m_fd >= 0 && writeAllTo(m_fd, phaseLine(static_cast<int>(phase))) && ::fdatasync(m_fd) == 0;
}

bool RenameJournal::retarget(const QList<QPair<qsizetype, QString>> &tempPaths) {
    QByteArray lines;
    for (const auto &t : tempPaths)
        lines += "T\t" + QByteArray::number(t.first) + '\t' + encodePath(t.second) + '\n';
    return m_fd >= 0 && writeAllTo(m_fd, lines) && ::fdatasync(m_fd) == 0;
}

void RenameJournal::finish(const QList<JournalRecord> &stillPending) {
    if (m_path.isEmpty())
        return;
    // Marked done first: a crash before the removal reaches the disk then
    // leaves a journal that recovery knows to drop, not to undo.
    if (stillPending.isEmpty())
        markPhase(JournalPhase::Done);
    rewriteJournal(m_path, stillPending);
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_recorder = JournalCopyRecorder();
    m_path.clear();
}

bool RenameJournal::read(const QString &path, QList<JournalRecord> &records) {
    return read(path, records, nullptr);
}

bool RenameJournal::read(const QString &path, QList<JournalRecord> &records, int *phase) {
    if (phase)
        *phase = 0;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    const QByteArray data = f.readAll();
    if (!data.startsWith(Header))
        return false;
    records.clear();
    QHash<QString, QPair<qsizetype, qsizetype>> copies; // unfinished copy's name -> record, step
    const QList<QByteArray> lines = data.mid(Header.size()).split('\n');
    for (qsizetype n = 0; n < lines.size(); ++n) {
        const QByteArray &line = lines[n];
        if (line.isEmpty() || (n == lines.size() - 1 && !data.endsWith('\n')))
            continue; // a torn last line after a crash while writing
        const QList<QByteArray> fields = line.split('\t');
        if (fields.size() == 2 && fields[0] == "P") {
            if (phase)
                *phase = fields[1].toInt();
            continue;
        }
        if (fields.size() == 3 && fields[0] == "T") {
            const qsizetype k = fields[1].toLongLong();
            if (k >= 0 && k < records.size())
                records[k].tempPath = decodePath(fields[2]);
            continue;
        }
        if (fields.size() == 4 && fields[0] == "C") {
            const qsizetype k = fields[1].toLongLong();
            if (k >= 0 && k < records.size()) {
                records[k].copies.append({decodePath(fields[2]), decodePath(fields[3]), FileIdentity()});
                copies.insert(records[k].copies.last().partialPath, {k, records[k].copies.size() - 1});
            }
            continue;
        }
        if (fields.size() == 5 && fields[0] == "I") {
            const auto step = copies.constFind(decodePath(fields[1]));
            if (step != copies.cend()) {
                FileIdentity &id = records[step->first].copies[step->second].identity;
                id.device = fields[2].toULongLong();
                id.inode = fields[3].toULongLong();
                id.size = 0; // valid: only device and inode are compared
            }
            continue;
        }
        if (fields.size() != 8 || fields[0] != "R")
            continue;
        JournalRecord r;
        r.oldPath = decodePath(fields[1]);
        r.tempPath = decodePath(fields[2]);
        r.newPath = decodePath(fields[3]);
        r.identity = journalFields::identity(fields, 4);
        records.append(r);
    }
    return true;
}

QStringList pendingJournals() {
    QStringList result;
    QStringList paths;
    // Journals left where earlier versions kept them are recovered too.
    for (const QString &folder : {RenameJournal::legacyJournalFolder(), RenameJournal::journalFolder()}) {
        if (folder.isEmpty())
            continue;
        const QDir dir(folder);
        for (const QString &name : dir.entryList({QStringLiteral("*") + Suffix}, QDir::Files, QDir::Name))
            paths << dir.filePath(name);
    }
    for (const QString &path : std::as_const(paths)) {
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            continue;
        // A journal still locked belongs to a batch that is running now.
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            ::flock(fd, LOCK_UN);
            result << path;
        }
        ::close(fd);
    }
    return result;
}

namespace {

bool sameInode(const FileIdentity &a, const FileIdentity &b) {
    return a.valid() && b.valid() && a.device == b.device && a.inode == b.inode;
}

// True when the folder of path lists its last part byte for byte (a file
// system that ignores case finds a name under any case).
bool listedExactly(const QString &path) {
    const QFileInfo info(path);
    return QDir(info.absolutePath())
        .entryList(QDir::AllEntries | QDir::Hidden | QDir::System)
        .contains(info.fileName());
}

// The file found at path is the one the record names. Where inode numbers
// change with each mount (FUSE, FAT, exFAT: a card after a power cut), a
// number alone could name another file, and the recorded one has another
// number now: size and time decide there.
bool recordedFileAt(const FileIdentity &at, const JournalRecord &r, const QString &path) {
    if (!at.valid())
        return false;
    const bool sizeAndTime = at.size == r.identity.size && at.mtimeNs == r.identity.mtimeNs;
    if (stableInodeNumbers(QFile::encodeName(QFileInfo(path).absolutePath())))
        return at.sameAsRecorded(r.identity);
    return sizeAndTime;
}

// Settles the copies a move across file systems left for one file and says
// where the file is now (empty when nowhere). An unfinished copy is never the
// only one, since a source goes only once its copy is complete under its
// name: it is removed. Of the complete versions (the original and the copies,
// oldest first) the oldest stays and the later ones, its duplicates, go.
QString settleCopies(const JournalRecord &r, RecoveryResult &result, QList<ReviewEntry> &problems,
                     ChangedFolders &changed) {
    for (const CopyStep &c : r.copies) {
        const FileIdentity at = fileIdentity(c.partialPath);
        if (!at.valid())
            continue;
        // Without a recorded identity the crash came between creating the copy
        // and recording it: nothing was written into it yet. A placeholder's
        // name may hold the file itself since (it was renamed over it).
        // A placeholder has a real name: it must still be empty and not the
        // file (FUSE numbers files anew after a restart, so an inode alone
        // could name another file).
        const bool placeholder = c.partialPath == c.finalPath;
        const bool empty = at.size == 0 && !recordedFileAt(at, r, c.partialPath);
        const bool ours =
            placeholder          ? empty && (!c.identity.valid() || sameInode(at, c.identity) ||
                                    !stableInodeNumbers(QFile::encodeName(QFileInfo(c.partialPath).absolutePath())))
            : c.identity.valid() ? sameInode(at, c.identity)
                                 : empty;
        if (!ours)
            continue;
        if (::unlink(QFile::encodeName(c.partialPath).constData()) == 0) {
            changed.noteName(c.partialPath);
            result.removedCopies.append({c.partialPath, r.oldPath,
                                         c.partialPath == c.finalPath
                                             ? renameText("RemovedPlaceholder", "empty placeholder removed")
                                             : renameText("RemovedPartial", "unfinished copy removed")});
        } else {
            problems.append({c.partialPath, r.oldPath,
                             renameText("PartialStays", "An unfinished copy of %s cannot be removed (%s)", r.oldPath,
                                        systemErrorText(errno))});
        }
    }

    // Complete copies under the names they were given, or under a name of
    // the file they took since (a recovery cut short copies a file back to
    // its temporary name, then renames it to its old one).
    QList<QPair<QString, FileIdentity>> placed;
    for (const CopyStep &c : r.copies) {
        // A placeholder never becomes a copy: the file is renamed over it.
        if (!c.identity.valid() || c.partialPath == c.finalPath)
            continue;
        for (const QString &name : {c.finalPath, r.oldPath, r.tempPath, r.newPath}) {
            const FileIdentity at = fileIdentity(name);
            if (sameInode(at, c.identity)) {
                bool known = false;
                for (const auto &p : placed)
                    known = known || p.first == name;
                if (!known)
                    placed.append({name, at});
                break;
            }
        }
    }
    auto isCopy = [&placed](const FileIdentity &id) {
        for (const auto &p : placed)
            if (sameInode(p.second, id))
                return true;
        return false;
    };

    // The original, under its old, temporary or new name.
    QString original;
    FileIdentity originalId;
    const FileIdentity atOld = fileIdentity(r.oldPath);
    const FileIdentity atTemp = fileIdentity(r.tempPath);
    auto isOriginal = [&r](const FileIdentity &at, const QString &path) { return recordedFileAt(at, r, path); };
    if (isOriginal(atOld, r.oldPath) && !isCopy(atOld)) {
        original = r.oldPath;
        originalId = atOld;
    } else if ((isOriginal(atTemp, r.tempPath) || (atTemp.valid() && !atOld.valid())) && !isCopy(atTemp)) {
        original = r.tempPath;
        originalId = atTemp;
    } else {
        const FileIdentity atNew = fileIdentity(r.newPath);
        // A journal without copy steps (written by an earlier version): a
        // file on another device with the same size and times is the copy.
        const bool oldStyleCopy = r.copies.isEmpty() && atNew.valid() && atNew.device != r.identity.device &&
                                  atNew.size == r.identity.size && atNew.mtimeNs == r.identity.mtimeNs;
        if ((isOriginal(atNew, r.newPath) || oldStyleCopy) && !isCopy(atNew)) {
            original = r.newPath;
            originalId = atNew;
        }
    }

    // Where case is ignored, the old name finds a file renamed to another
    // case only: the name it has on disk tells.
    if (original == r.oldPath && r.oldPath != r.newPath && r.oldPath.compare(r.newPath, Qt::CaseInsensitive) == 0 &&
        !listedExactly(r.oldPath) && listedExactly(r.newPath))
        original = r.newPath;

    QString kept = original;
    FileIdentity keptId = originalId;
    for (const auto &p : placed) {
        if (kept.isEmpty()) {
            kept = p.first;
            keptId = p.second;
            continue;
        }
        // A complete copy beside the version it was made from. The size check
        // only guards against removing anything that is not that copy.
        if (p.second.size == keptId.size && ::unlink(QFile::encodeName(p.first).constData()) == 0) {
            changed.noteName(p.first);
            result.removedCopies.append(
                {p.first, r.oldPath, renameText("RemovedDuplicate", "second copy removed, the file is %s", kept)});
        } else {
            problems.append(
                {p.first, r.oldPath,
                 renameText("DuplicateStays", "A second copy of %s stays here; the file is %s", r.oldPath, kept)});
        }
    }
    return kept;
}

// A journal cut short while it was first written (a crash before it was
// synced): no file was moved yet, since the first move waits for that sync.
bool cutShortBeforeAnyMove(const QString &path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    const QByteArray start = f.read(Header.size() + 1);
    return start.size() < Header.size() && Header.startsWith(start);
}

// The first folder of path that cannot be reached (the mount point of a disk
// or card that is not there), or empty when the path's folder is reachable.
QString missingMedium(const QString &path) {
    QString folder = QFileInfo(path).absolutePath();
    if (QFileInfo(folder).isDir())
        return QString();
    QString missing = folder;
    while (true) {
        const QString up = QFileInfo(missing).absolutePath();
        if (up == missing || QFileInfo(up).exists())
            return missing;
        missing = up;
    }
}

} // namespace

namespace {

// One journal's recovery, step by step.
class Recovery {
public:
    explicit Recovery(const QString &journalPath) : m_path(journalPath) {}
    ~Recovery() {
        if (m_lockFd >= 0)
            ::close(m_lockFd);
    }
    // Reads and locks the journal; false when there is nothing more to do.
    bool open();
    void findFiles();
    void freeNewNames();
    void putBack();
    void keepPending();
    RecoveryResult result;

private:
    void putBack(qsizetype k);
    QString m_path;
    QList<JournalRecord> m_records;
    int m_lockFd = -1;
    ChangedFolders m_changed;
    JournalCopyRecorder m_recorder;
    CopyRecorder *m_copies = nullptr;
    QList<QString> m_at; // where each file is
    QList<QList<ReviewEntry>> m_copyProblems;
    QList<qsizetype> m_pending; // records kept for another attempt
};

bool Recovery::open() {
    int phase = 0;
    if (cutShortBeforeAnyMove(m_path)) {
        result.batchHadEnded = true;
        rewriteJournal(m_path, {});
        return false;
    }
    if (!RenameJournal::read(m_path, m_records, &phase)) {
        result.problems.append(
            {m_path, QString(), renameText("JournalUnreadable", "This file is not a readable rename journal.")});
        return false;
    }
    // Hold the lock while recovering, so that a second copy of the program
    // does not recover the same journal at the same time.
    m_lockFd = ::open(QFile::encodeName(m_path).constData(), O_RDWR | O_APPEND | O_CLOEXEC);
    const bool writable = m_lockFd >= 0;
    if (!writable)
        m_lockFd = ::open(QFile::encodeName(m_path).constData(), O_RDONLY | O_CLOEXEC);
    if (m_lockFd >= 0 && ::flock(m_lockFd, LOCK_EX | LOCK_NB) != 0) {
        result.problems.append(
            {m_path, QString(), renameText("JournalBusy", "This rename journal is in use by a running batch.")});
        return false;
    }
    if (phase == static_cast<int>(JournalPhase::Done)) {
        // The batch had ended and its moves were on disk; only the removal of
        // its journal was cut short.
        result.batchHadEnded = true;
        rewriteJournal(m_path, {});
        return false;
    }
    // Moves back across file systems are copies too, recorded in the same
    // journal so that a crash during recovery is recovered in turn.
    int copiesSoFar = 0;
    for (const JournalRecord &r : std::as_const(m_records))
        copiesSoFar += static_cast<int>(r.copies.size());
    m_recorder =
        JournalCopyRecorder(m_lockFd, QFileInfo(m_path).completeBaseName() + QStringLiteral("-r"), copiesSoFar);
    // A journal that cannot take more lines: copies get names of their own.
    m_copies = writable ? &m_recorder : nullptr;
    return true;
}

// Find every file: its original, or the one copy of it that stays.
void Recovery::findFiles() {
    m_at = QList<QString>(m_records.size());
    m_copyProblems = QList<QList<ReviewEntry>>(m_records.size());
    for (qsizetype k = 0; k < m_records.size(); ++k)
        m_at[k] = settleCopies(m_records[k], result, m_copyProblems[k], m_changed);
}

// First every file found under its new name goes to its temporary name, so
// that old names taken by other files of the batch (swaps) are freed.
void Recovery::freeNewNames() {
    for (qsizetype k = 0; k < m_records.size(); ++k) {
        const JournalRecord &r = m_records[k];
        if (m_at[k] != r.newPath || r.newPath == r.oldPath)
            continue;
        m_recorder.setRecord(k);
        if (moveFileNoReplace(r.newPath, r.tempPath, m_copies)) {
            m_changed.noteMove(r.newPath, r.tempPath);
            m_at[k] = r.tempPath;
        }
    }
}

void Recovery::putBack(qsizetype k) {
    const JournalRecord &r = m_records[k];
    result.problems += m_copyProblems[k];
    if (m_at[k].isEmpty()) {
        // A disk or card that is not there: the file is kept in the
        // journal, to be put back once the medium is back.
        const QString medium = missingMedium(r.oldPath);
        if (!medium.isEmpty()) {
            result.problems.append(
                {r.oldPath, r.newPath,
                 renameText("RecoverMediumMissing",
                            "%s cannot be reached (a disk or card that is not there?); the file stays in the "
                            "journal and is put back once it is there again.",
                            medium)});
            m_pending << k;
        } else {
            result.problems.append({r.oldPath, r.newPath,
                                    renameText("RecoverMissing", "Not found under its old, temporary or new name.")});
        }
        return;
    }
    if (m_at[k] == r.oldPath) {
        ++result.alreadyInPlace;
        if (!m_copyProblems[k].isEmpty())
            m_pending << k;
        return;
    }
    m_recorder.setRecord(k);
    const MoveResult m = moveFileNoReplace(m_at[k], r.oldPath, m_copies);
    if (m.ok) {
        m_changed.noteMove(m_at[k], r.oldPath);
        ++result.restored;
        result.moved.append({r.oldPath, m_at[k], QString()});
        if (!m_copyProblems[k].isEmpty())
            m_pending << k;
    } else {
        result.problems.append(
            {r.oldPath, m_at[k],
             renameText("RecoverFailed", "Cannot be put back (%s); the file is now named %s", m.reason, m_at[k])});
        m_pending << k;
    }
}

// ...then every file goes back under its old name.
void Recovery::putBack() {
    for (qsizetype k = 0; k < m_records.size(); ++k)
        putBack(k);
}

// What is left keeps its records, copy steps included (read again: this
// recovery may have added some), for the next attempt. The journal goes (or
// shrinks) only once the moves back are on disk.
void Recovery::keepPending() {
    QList<JournalRecord> stillPending;
    if (!m_pending.isEmpty()) {
        QList<JournalRecord> now;
        if (!RenameJournal::read(m_path, now))
            now = m_records;
        for (qsizetype k : std::as_const(m_pending))
            stillPending << now.value(k, m_records[k]);
    }
    QString folder;
    const int syncError = m_changed.sync(&folder);
    if (syncError == 0) {
        rewriteJournal(m_path, stillPending);
    } else {
        result.problems.append({folder, QString(),
                                renameText("RecoverNotSynced",
                                           "The changes in this folder cannot be written to its disk (%s); the "
                                           "journal stays for another attempt.",
                                           systemErrorText(syncError))});
    }
}

} // namespace

RecoveryResult recoverJournal(const QString &journalPath) {
    Recovery recovery(journalPath);
    if (recovery.open()) {
        recovery.findFiles();
        recovery.freeNewNames();
        recovery.putBack();
        recovery.keepPending();
    }
    return recovery.result;
}

QString describeProblems(const QList<ReviewEntry> &problems) {
    QStringList lines;
    for (const ReviewEntry &p : problems)
        lines << p.oldPath + QStringLiteral(": ") + p.reason;
    return lines.join(QStringLiteral("\r\n"));
}

int offerJournalRecovery() {
    const QStringList journals = pendingJournals();
    if (journals.isEmpty())
        return 0;
    int files = 0;
    QStringList toRecover;
    for (const QString &j : journals) {
        QList<JournalRecord> records;
        int phase = 0;
        if (cutShortBeforeAnyMove(j) ||
            (RenameJournal::read(j, records, &phase) && phase == static_cast<int>(JournalPhase::Done))) {
            recoverJournal(j); // nothing to put back: the journal only goes
            continue;
        }
        files += static_cast<int>(records.size());
        toRecover << j;
    }
    if (toRecover.isEmpty())
        return 0;
    const QString title = renameText("RecoverTitle", "Interrupted rename");
    const int answer = frontEnd().msgBox(renameText("RecoverQuestion",
                                                    "A rename batch was interrupted before it ended (%s files).|"
                                                    "Put every file of it back under its old name?",
                                                    QString::number(files)),
                                         StyleYesNo + StyleQuestion, title);
    if (answer != AnswerYes)
        return 0;
    int recovered = 0;
    QList<ReviewEntry> problems;
    int restored = 0, removed = 0;
    for (const QString &j : std::as_const(toRecover)) {
        const RecoveryResult r = recoverJournal(j);
        restored += r.restored;
        removed += static_cast<int>(r.removedCopies.size());
        problems += r.problems;
        ++recovered;
    }
    QString copies;
    if (removed > 0)
        copies = QStringLiteral("\r\n") + renameText("RecoverCopies",
                                                     "%s copies left by a move to another disk were removed.",
                                                     QString::number(removed));
    if (problems.isEmpty()) {
        frontEnd().msgBox(
            renameText("RecoverDone", "%s files were put back under their old name.", QString::number(restored)) +
                copies,
            StyleInformation, title);
    } else {
        frontEnd().msgBox(
            renameText("RecoverPartly", "%s files were put back. These could not be:|", QString::number(restored)) +
                describeProblems(problems) + copies,
            StyleExclamation, title);
    }
    return recovered;
}

} // namespace tav
