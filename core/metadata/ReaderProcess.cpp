#include "core/metadata/ReaderProcess.h"

#include "core/base/ProgramFolder.h"

#include <QDebug>
#include <QElapsedTimer>
#include <QFile>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
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

QByteArray encodeFields(const QList<QByteArray> &fields) {
    QByteArray out;
    put32(out, quint32(fields.size()));
    for (const QByteArray &f : fields) {
        put32(out, quint32(f.size()));
        out += f;
    }
    return out;
}

QList<QByteArray> decodeFields(const QByteArray &payload) {
    QList<QByteArray> fields;
    if (payload.size() < 4)
        return fields;
    const quint32 count = get32(payload.constData());
    qsizetype at = 4;
    for (quint32 i = 0; i < count && at + 4 <= payload.size(); ++i) {
        const quint32 length = get32(payload.constData() + at);
        at += 4;
        if (length > quint32(payload.size() - at))
            break;
        fields.append(payload.mid(at, qsizetype(length)));
        at += qsizetype(length);
    }
    return fields;
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
    const QByteArray program = QFile::encodeName(helperPath());
    char *argv[] = {const_cast<char *>(program.constData()), nullptr};
    pid_t pid = -1;
    const int error = ::posix_spawn(&pid, program.constData(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    if (error != 0) {
        ::close(fds[0]);
        m_cannotStart = true;
        qWarning().noquote() << QStringLiteral("travoline-reader: cannot start %1 (%2); files are not read")
                                    .arg(helperPath(), QString::fromLocal8Bit(std::strerror(error)));
        return false;
    }
    ::fcntl(fds[0], F_SETFL, ::fcntl(fds[0], F_GETFL) | O_NONBLOCK);
    m_pid = pid;
    m_toHelper = m_fromHelper = fds[0];
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

QList<ReaderProcess::Reply> ReaderProcess::run(const QList<Request> &batch) {
    QList<Reply> replies(batch.size());
    qsizetype next = 0; // the first request not answered
    while (next < batch.size()) {
        if (m_pid <= 0 && !start())
            break; // the rest stays NoHelper
        QByteArray out;
        for (qsizetype i = next; i < batch.size(); ++i)
            encode(out, quint32(i), batch.at(i));
        qsizetype written = 0;
        QByteArray in;
        QElapsedTimer sinceAnswer;
        sinceAnswer.start();
        Outcome failure = Outcome::Answered;
        while (failure == Outcome::Answered && next < batch.size()) {
            pollfd fd{m_fromHelper, short(POLLIN | (written < out.size() ? POLLOUT : 0)), 0};
            const qint64 left = m_timeoutMs - sinceAnswer.elapsed();
            const int ready = left > 0 ? ::poll(&fd, 1, int(left)) : 0;
            if (ready < 0 && errno == EINTR)
                continue;
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
                    if (length < 4 || length > ReplyLimit || get32(in.constData() + at + 4) != quint32(next)) {
                        failure = Outcome::Crashed; // not the helper's way of answering
                        break;
                    }
                    if (in.size() - at - 4 < qsizetype(length))
                        break;
                    replies[next] = {Outcome::Answered, in.mid(at + 8, qsizetype(length) - 4)};
                    ++next;
                    at += 4 + qsizetype(length);
                    sinceAnswer.restart();
                }
                in.remove(0, at);
            }
        }
        if (failure == Outcome::Answered)
            break;
        // That file only: it gets no answer, the helper starts again for the rest.
        const QString how = finish(failure == Outcome::TimedOut);
        replies[next].outcome = failure;
        qWarning().noquote() << QStringLiteral("travoline-reader: %1: %2; the file is left unread")
                                    .arg(batch.at(next).path,
                                         failure == Outcome::TimedOut
                                             ? QStringLiteral("no answer within %1 ms").arg(m_timeoutMs)
                                             : QStringLiteral("the reader ended (%1)")
                                                   .arg(how.isEmpty() ? QStringLiteral("no answer") : how));
        ++next;
    }
    return replies;
}

} // namespace tav
