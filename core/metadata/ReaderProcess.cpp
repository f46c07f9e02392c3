#include "core/metadata/ReaderProcess.h"

#include "core/base/ProgramFolder.h"

#include <QDebug>
#include <QFile>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <new>
#include <poll.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace tav {

namespace {

void put32(QByteArray &out, quint32 v) {
    const char b[4] = {char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
    out.append(b, 4);
}

quint32 get32(const char *p) {
    return quint32(uchar(p[0])) | quint32(uchar(p[1])) << 8 | quint32(uchar(p[2])) << 16 | quint32(uchar(p[3])) << 24;
}

// An answer larger than this is no answer of the helper's.
constexpr quint32 ReplyLimit = 64u << 20;

} // namespace

namespace ReaderWire {

QByteArray encodeRecord(bool read, const std::array<QByteArray, MetadataRecord::FieldCount> &fields) {
    qsizetype size = 2;
    int count = 0;
    for (const QByteArray &f : fields) {
        size += f.isEmpty() ? 0 : 5 + f.size();
        count += f.isEmpty() ? 0 : 1;
    }
    QByteArray out;
    out.reserve(size);
    out.append(char(read ? 1 : 0));
    out.append(char(count));
    for (int i = 0; i < MetadataRecord::FieldCount; ++i) {
        const QByteArray &f = fields[std::size_t(i)];
        if (f.isEmpty())
            continue;
        out.append(char(i));
        put32(out, quint32(f.size()));
        out.append(f);
    }
    return out;
}

bool decodeRecord(QByteArrayView payload, MetadataRecord &record, bool &read) {
    record = MetadataRecord();
    read = false;
    if (payload.size() < 2 || uchar(payload[0]) > 1)
        return false;
    const int count = uchar(payload[1]);
    qsizetype at = 2;
    int last = -1, got = 0;
    while (at < payload.size()) {
        if (payload.size() - at < 5)
            break;
        const int field = uchar(payload[at]);
        const quint32 length = get32(payload.data() + at + 1);
        at += 5;
        if (field <= last || field >= MetadataRecord::FieldCount || length == 0 ||
            length > quint32(payload.size() - at))
            break;
        record[field] = QString::fromUtf8(payload.sliced(at, qsizetype(length)));
        last = field;
        ++got;
        at += qsizetype(length);
    }
    if (at != payload.size() || got != count) {
        record = MetadataRecord();
        return false;
    }
    read = payload[0] == 1;
    return true;
}

quint64 monotonicMs() {
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return quint64(ts.tv_sec) * 1000 + quint64(ts.tv_nsec) / 1000000;
}

} // namespace ReaderWire

ReaderProcess::ReaderProcess() = default;

ReaderProcess::~ReaderProcess() {
    stop();
}

QString ReaderProcess::defaultHelperPath() {
    return executableFolder() + QStringLiteral("/travoline-reader");
}

QString ReaderProcess::helperPath() const {
    return m_helperPath.isEmpty() ? defaultHelperPath() : m_helperPath;
}

void ReaderProcess::encode(QByteArray &out, quint32 id, const Request &request) {
    const QByteArray path = QFile::encodeName(request.path);
    put32(out, quint32(20 + path.size()));
    put32(out, quint32(request.kind));
    put32(out, id);
    put32(out, quint32(request.box.width()));
    put32(out, quint32(request.box.height()));
    put32(out, quint32(request.angle));
    out += path;
}

bool ReaderProcess::start() {
    if (m_cannotStart)
        return false;
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0)
        return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    // The helper's end as its standard input and output (dup2 clears close-on-exec).
    posix_spawn_file_actions_adddup2(&actions, fds[1], 0);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    // The shared word, as the helper's descriptor 3. Without it the helper
    // sends every answer at once and a failure is blamed on the first file
    // not answered.
    const int word = ::memfd_create("travoline-reader", MFD_CLOEXEC);
    void *shared = MAP_FAILED;
    if (word >= 0 && ::ftruncate(word, sizeof(quint64)) == 0)
        shared = ::mmap(nullptr, sizeof(quint64), PROT_READ | PROT_WRITE, MAP_SHARED, word, 0);
    if (shared != MAP_FAILED)
        posix_spawn_file_actions_adddup2(&actions, word, 3);
    const QByteArray program = QFile::encodeName(helperPath());
    char progressArg[] = "--progress";
    char *argv[] = {const_cast<char *>(program.constData()), shared != MAP_FAILED ? progressArg : nullptr, nullptr};
    pid_t pid = -1;
    const int error = ::posix_spawn(&pid, program.constData(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    if (word >= 0)
        ::close(word);
    if (error != 0) {
        if (shared != MAP_FAILED)
            ::munmap(shared, sizeof(quint64));
        ::close(fds[0]);
        m_cannotStart = true;
        qWarning().noquote() << QStringLiteral("travoline-reader: cannot start %1 (%2); files are not read")
                                    .arg(helperPath(), QString::fromLocal8Bit(std::strerror(error)));
        return false;
    }
    ::fcntl(fds[0], F_SETFL, ::fcntl(fds[0], F_GETFL) | O_NONBLOCK);
    m_pid = pid;
    m_toHelper = m_fromHelper = fds[0];
    m_progress = shared != MAP_FAILED ? new (shared) std::atomic<quint64>(0) : nullptr;
    ++m_starts;
    return true;
}

QString ReaderProcess::finish(bool kill) {
    if (m_pid <= 0)
        return {};
    // A helper that already died is not touched by the signal and keeps its
    // own status; one that answers out of turn is ended here.
    ::kill(m_pid, SIGKILL);
    if (m_toHelper >= 0)
        ::close(m_toHelper);
    m_toHelper = m_fromHelper = -1;
    if (m_progress)
        ::munmap(m_progress, sizeof(quint64));
    m_progress = nullptr;
    int status = 0;
    pid_t r;
    do
        r = ::waitpid(m_pid, &status, 0);
    while (r < 0 && errno == EINTR);
    m_pid = -1;
    if (r < 0 || kill)
        return {};
    if (WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL)
        return QStringLiteral("killed");
    if (WIFSIGNALED(status))
        return QStringLiteral("signal %1 (%2)")
            .arg(WTERMSIG(status))
            .arg(QString::fromLatin1(strsignal(WTERMSIG(status))));
    return QStringLiteral("exit status %1").arg(WEXITSTATUS(status));
}

void ReaderProcess::stop() {
    // Between batches the helper is idle, waiting for a request: it holds
    // nothing half written, and ending it at once keeps the caller (a thread
    // of the window joined at exit) from waiting on its exit.
    finish(true);
}

qint64 ReaderProcess::parsing(qsizetype first, qint64 &sinceMs) const {
    const quint64 word = m_progress ? m_progress->load(std::memory_order_acquire) : 0;
    const qint64 id = qint64(word >> ReaderWire::ProgressShift) - 1;
    if (id < first)
        return -1;
    // The clock's low bits, as the helper stored them.
    const quint64 now = ReaderWire::monotonicMs();
    sinceMs = qint64(now - ((now - (word & ReaderWire::ProgressClockMask)) & ReaderWire::ProgressClockMask));
    return id;
}

QList<ReaderProcess::Reply> ReaderProcess::run(const QList<Request> &batch) {
    QList<Reply> replies(batch.size());
    QList<bool> done(batch.size(), false);
    for (;;) {
        // The requests not answered yet, in order; their number is their
        // index in the batch.
        QList<qsizetype> todo;
        for (qsizetype i = 0; i < batch.size(); ++i)
            if (!done.at(i))
                todo.append(i);
        if (todo.isEmpty() || (m_pid <= 0 && !start()))
            break; // what is left stays NoHelper
        // The helper is idle between rounds: what the word says is of
        // another round's numbering.
        if (m_progress)
            m_progress->store(0, std::memory_order_relaxed);
        QByteArray out;
        for (qsizetype i : std::as_const(todo))
            encode(out, quint32(i), batch.at(i));
        qsizetype written = 0;
        qsizetype next = 0; // in todo: the first request not answered
        QByteArray in;
        qint64 lastAnswerMs = qint64(ReaderWire::monotonicMs());
        Outcome failure = Outcome::Answered;
        while (failure == Outcome::Answered && next < todo.size()) {
            // The time-out counts from the last answer or from the start of
            // the file the helper says it is parsing, whichever is later.
            qint64 since = lastAnswerMs, started = 0;
            if (parsing(todo.at(next), started) >= 0)
                since = qMax(since, started);
            const qint64 left = m_timeoutMs - (qint64(ReaderWire::monotonicMs()) - since);
            pollfd fd{m_fromHelper, short(POLLIN | (written < out.size() ? POLLOUT : 0)), 0};
            const int ready = left > 0 ? ::poll(&fd, 1, int(left)) : 0;
            if (ready < 0 && errno == EINTR)
                continue;
            if (ready == 0 && left > 0)
                continue; // the helper may have moved on to another file meanwhile
            if (ready <= 0) {
                failure = Outcome::TimedOut;
                break;
            }
            if ((fd.revents & POLLOUT) && written < out.size()) {
                const ssize_t w = ::send(m_toHelper, out.constData() + written, size_t(out.size() - written),
                                         MSG_NOSIGNAL | MSG_DONTWAIT);
                if (w > 0)
                    written += w;
            }
            if (fd.revents & (POLLIN | POLLHUP | POLLERR)) {
                char buffer[65536];
                const ssize_t r = ::recv(m_fromHelper, buffer, sizeof buffer, MSG_DONTWAIT);
                if (r < 0 && (errno == EAGAIN || errno == EINTR))
                    continue;
                if (r <= 0) {
                    failure = Outcome::Crashed;
                    break;
                }
                in.append(buffer, qsizetype(r));
                // Every whole answer: its length, the request's number, the payload.
                qsizetype at = 0;
                while (in.size() - at >= 8) {
                    const quint32 length = get32(in.constData() + at);
                    if (length < 4 || length > ReplyLimit || get32(in.constData() + at + 4) != quint32(todo.at(next))) {
                        failure = Outcome::Crashed; // not the helper's way of answering
                        break;
                    }
                    if (in.size() - at - 4 < qsizetype(length))
                        break;
                    const qsizetype i = todo.at(next);
                    replies[i] = {Outcome::Answered, in.mid(at + 8, qsizetype(length) - 4)};
                    done[i] = true;
                    at += 4 + qsizetype(length);
                    lastAnswerMs = qint64(ReaderWire::monotonicMs());
                    if (++next == todo.size())
                        break;
                }
                in.remove(0, at);
            }
        }
        if (failure == Outcome::Answered)
            break;
        // That file only: it gets no answer, the helper starts again for the
        // rest. The file is the one the helper said it was parsing, else the
        // first one not answered.
        qint64 since = 0;
        const qint64 culprit = next < todo.size() ? parsing(todo.at(next), since) : -1;
        const qsizetype failed = culprit >= 0 && culprit < batch.size() && !done.at(culprit) ? culprit : todo.at(next);
        const QString how = finish(failure == Outcome::TimedOut);
        replies[failed].outcome = failure;
        done[failed] = true;
        qWarning().noquote() << QStringLiteral("travoline-reader: %1: %2; the file is left unread")
                                    .arg(batch.at(failed).path,
                                         failure == Outcome::TimedOut
                                             ? QStringLiteral("no answer within %1 ms").arg(m_timeoutMs)
                                             : QStringLiteral("the reader ended (%1)")
                                                   .arg(how.isEmpty() ? QStringLiteral("no answer") : how));
    }
    return replies;
}

} // namespace tav
