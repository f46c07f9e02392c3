#pragma once
// One ExifTool process kept running for many reads: started with
// "-stay_open True -@ <argument file>", fed by appending requests to the
// argument file, answering into one report file that grows; each request
// reads only what was added since the previous one.

#include "core/base/MetadataRecord.h"

#include <QByteArray>
#include <QString>
#include <functional>
#include <memory>
#include <utility>

class QProcess;

namespace tav {

class ResidentExifTool {
public:
    struct Timings {
        qint64 answerTimeoutMs = 5000;  // no answer that long: restart and ask again
        qint64 startAllowanceMs = 2000; // extra time the first answer may take after a start
        int stopGraceMs = 2000;         // a stopped process that has not ended by then is killed
        qint32 restartAfter = 500;      // more requests than that: restart (the report stays small)
    };
    enum class StartResult { Started, AlreadyRunning, NoTool, Failed };
    enum class ReadResult {
        Answered,   // record filled from the answer
        NotRunning, // nothing asked
        NoReport,   // the report file has gone: nothing read
        ReadError,  // the report could not be read (errorText says why)
        NoAnswer,   // no answer even after a restart: the process is stopped
    };

    ResidentExifTool();
    ~ResidentExifTool();
    ResidentExifTool(const ResidentExifTool &) = delete;
    ResidentExifTool &operator=(const ResidentExifTool &) = delete;

    // Empty: the tool is missing and start() does nothing.
    void setToolPath(const QString &path) { m_tool = path; }
    const QString &toolPath() const { return m_tool; }
    // The folder of the argument file and the report (fixed names inside).
    void setFolder(const QString &folder);
    QString argumentFilePath() const;
    QString reportPath() const;

    void setTimings(const Timings &t) { m_timings = t; }
    const Timings &timings() const { return m_timings; }
    // Milliseconds on a steady clock; tests replace it to reach the time-out at once.
    void setClock(std::function<qint64()> clock) { m_clock = std::move(clock); }

    StartResult start();
    void stop();
    bool isRunning() const { return m_running; }

    // Asks for path (appended with the next counter) and parses the answer into
    // record. A time-out stops, clears the report, starts again and asks again
    // once; when that retry is not answered either, the process is stopped.
    ReadResult request(const QString &path, MetadataRecord &record);
    // After every call: more requests than the limit restart the process and
    // the counter goes back to 1.
    void housekeeping();

    qint32 requestCounter() const { return m_counter; }
    qint64 lastReportLength() const { return m_lastLength; }
    qint64 processId() const;
    int restarts() const { return m_restarts; }
    // Whether a restart (after a time-out or the request limit) could not
    // start the tool again; reading it clears it.
    bool takeRestartFailure() { return std::exchange(m_restartFailed, false); }
    const QString &errorText() const { return m_errorText; }

private:
    enum class Wait { Answered, TimedOut, Gone };
    bool appendLines(const QByteArray &lines);
    QByteArray requestLines(const QString &path, qint32 number);
    Wait waitForAnswer(qint32 number, QByteArray &answer);
    void restart();
    void endProcess();
    qint64 now() const;

    QString m_tool;
    QString m_folder;
    Timings m_timings;
    std::function<qint64()> m_clock;
    std::unique_ptr<QProcess> m_process;
    bool m_running = false;
    qint32 m_counter = 0;
    qint64 m_lastLength = 0;
    qint64 m_startedAt = 0;
    int m_restarts = 0;
    bool m_restartFailed = false;
    QString m_errorText;
};

} // namespace tav
