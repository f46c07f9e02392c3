#pragma once
// Files from anywhere (photos, videos) are parsed by a helper program of
// ours, travoline-reader, never inside this process: whatever a damaged or
// hostile file does to a parser (a crash, an endless loop, memory without
// end) costs that file only. The helper is started on the first request and
// stays while it is used; requests go to it in batches through a pipe and
// the answers come back one per file, in order, several at a time. The
// helper shows in a shared word which file it is parsing and since when: an
// answer that does not come within the time-out of its file's start, or a
// helper that dies, fails that one file; the helper is started again and the
// rest of the batch (answers it had not sent yet included) goes on.

#include "core/base/MetadataRecord.h"

#include <QByteArray>
#include <QList>
#include <QSize>
#include <QString>

#include <array>
#include <atomic>
#include <sys/types.h>

namespace tav {

class ReaderProcess {
public:
    // What the helper is asked for one file.
    enum class Kind : quint32 {
        Metadata = 1,  // the built-in reader's record
        Thumbnail = 2, // a thumbnail through the shared thumbnail cache
        Picture = 3,   // the preview pane's picture, turned by angle
    };
    struct Request {
        Kind kind = Kind::Metadata;
        QString path;
        QSize box;     // pictures only
        int angle = 0; // the preview's picture only
    };
    enum class Outcome {
        Answered, // the helper answered (payload is its answer)
        Crashed,  // the helper died on this file
        TimedOut, // no answer within the time-out; the helper was stopped
        NoHelper, // the helper could not be started
    };
    struct Reply {
        Outcome outcome = Outcome::NoHelper;
        QByteArray payload;
    };

    ReaderProcess();
    ~ReaderProcess();
    ReaderProcess(const ReaderProcess &) = delete;
    ReaderProcess &operator=(const ReaderProcess &) = delete;

    // One reply per request, in the same order.
    QList<Reply> run(const QList<Request> &batch);
    Reply runOne(const Request &request) { return run({request}).value(0); }

    // Longest wait for one file's answer (default 2000 ms).
    void setTimeoutMs(int ms) { m_timeoutMs = ms; }
    // The helper's path: travoline-reader beside this program by default.
    void setHelperPath(const QString &path) { m_helperPath = path; }
    QString helperPath() const;
    // Starts the helper now if it is not running, so that its start is not
    // on the way of the first request; false when it cannot be started.
    bool prepare() { return m_pid > 0 || start(); }
    // Ends the helper now; the next request starts it again.
    void stop();
    bool isRunning() const { return m_pid > 0; }
    // The running helper's process id, or -1.
    pid_t pid() const { return m_pid; }
    // Helpers started so far (restarts included).
    int starts() const { return m_starts; }

    // The default path of the helper.
    static QString defaultHelperPath();

private:
    bool start();
    // Kills and reaps the helper; returns how it ended, for the log.
    QString finish(bool kill);
    static void encode(QByteArray &out, quint32 id, const Request &request);
    // The request the helper said it was parsing when, if it is among the
    // unanswered ones (from index first on), else -1; and since when (ms).
    qint64 parsing(qsizetype first, qint64 &sinceMs) const;

    QString m_helperPath;
    int m_timeoutMs = 2000;
    pid_t m_pid = -1;
    int m_toHelper = -1, m_fromHelper = -1;
    std::atomic<quint64> *m_progress = nullptr; // shared with the helper, see ReaderWire
    int m_starts = 0;
    bool m_cannotStart = false;
};

namespace ReaderWire {
// A metadata answer: one byte (1 when the file was read), one byte for the
// number of fields, then each non-empty field in increasing order as its
// number (one byte), its length (four bytes, little-endian) and its UTF-8
// bytes.
QByteArray encodeRecord(bool read, const std::array<QByteArray, MetadataRecord::FieldCount> &fields);
// False, with an empty record, for anything encodeRecord does not make
// (cut short, a field out of order or out of range, bytes left over).
bool decodeRecord(QByteArrayView payload, MetadataRecord &record, bool &read);

// The shared word: the request's number plus one (0: none yet) in the high
// 24 bits, the monotonic clock's milliseconds at its start in the low 40.
constexpr int ProgressShift = 40;
constexpr quint64 ProgressClockMask = (quint64(1) << ProgressShift) - 1;
quint64 monotonicMs();
} // namespace ReaderWire

} // namespace tav
