#include "core/metadata/ResidentExifTool.h"

#include "core/metadata/ExifReport.h"
#include "core/metadata/ToolProcess.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThread>

#ifdef Q_OS_UNIX
#include <csignal>
#endif

namespace tav {

namespace {

const QString ArgumentFileName = QStringLiteral("exifToolInputFile.txt");
const QString ReportFileName = QStringLiteral("Travoline_exif.txt");
// Where a path that cannot stand on one line of the argument file is linked.
const QString LinkBaseName = QStringLiteral("travoline_link");

qint64 steadyNow() {
    static QElapsedTimer timer;
    if (!timer.isValid())
        timer.start();
    return timer.elapsed();
}

} // namespace

ResidentExifTool::ResidentExifTool() : m_folder(QDir::tempPath()), m_clock(steadyNow) {}

ResidentExifTool::~ResidentExifTool() {
    stop();
    endProcess();
}

void ResidentExifTool::setFolder(const QString &folder) {
    m_folder = folder;
}

QString ResidentExifTool::argumentFilePath() const {
    return m_folder + QLatin1Char('/') + ArgumentFileName;
}

QString ResidentExifTool::reportPath() const {
    return m_folder + QLatin1Char('/') + ReportFileName;
}

qint64 ResidentExifTool::now() const {
    return m_clock();
}

qint64 ResidentExifTool::processId() const {
    return m_process ? m_process->processId() : 0;
}

ResidentExifTool::StartResult ResidentExifTool::start() {
    if (m_running)
        return StartResult::AlreadyRunning;
    if (m_tool.isEmpty() || !QFileInfo(m_tool).isFile())
        return StartResult::NoTool;
    endProcess(); // whatever is left of an earlier run
    QDir().mkpath(m_folder);
    {
        QFile args(argumentFilePath());
        if (!args.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return StartResult::Failed;
    }
    m_process = std::make_unique<QProcess>();
    m_process->setProgram(m_tool);
    m_process->setArguments(
        {QStringLiteral("-stay_open"), QStringLiteral("True"), QStringLiteral("-@"), argumentFilePath()});
    m_process->setStandardInputFile(QProcess::nullDevice());
    m_process->setStandardOutputFile(reportPath(), QIODevice::Truncate);
    m_process->setStandardErrorFile(QProcess::nullDevice());
    Exif::tieToParent(*m_process);
    m_process->start();
    if (!m_process->waitForStarted(10000)) {
        m_process.reset();
        return StartResult::Failed;
    }
    m_lastLength = 0;
    m_running = true;
    m_restartFailed = false;
    m_startedAt = now();
    return StartResult::Started;
}

void ResidentExifTool::stop() {
    if (!m_running)
        return;
    appendLines(QByteArrayLiteral("-stay_open\nfalse\n"));
    m_running = false;
    m_lastLength = 0;
    endProcess();
}

void ResidentExifTool::endProcess() {
    if (!m_process)
        return;
    if (m_process->state() != QProcess::NotRunning) {
#ifdef Q_OS_UNIX
        // ExifTool waits for more arguments in 10 ms naps; SIGCONT cuts the nap short.
        ::kill(pid_t(m_process->processId()), SIGCONT);
#endif
        if (!m_process->waitForFinished(m_timings.stopGraceMs)) {
            m_process->kill();
            m_process->waitForFinished(-1);
        }
    }
    m_process.reset();
}

void ResidentExifTool::restart() {
    stop();
    endProcess();
    QFile::remove(reportPath());
    ++m_restarts;
    if (start() == StartResult::Failed)
        m_restartFailed = true;
}

bool ResidentExifTool::appendLines(const QByteArray &lines) {
    QFile f(argumentFilePath());
    if (!f.open(QIODevice::WriteOnly | QIODevice::Append))
        return false;
    const bool ok = f.write(lines) == lines.size();
    f.close();
    return ok;
}

QByteArray ResidentExifTool::requestLines(const QString &path, qint32 number) {
    QString target = QFileInfo(path).absoluteFilePath();
    if (target.contains(QLatin1Char('\n')) || target.contains(QLatin1Char('\r'))) {
        // The argument file holds one argument per line: a name with a line
        // break is handed over through a link of a plain name.
        const QString suffix = QFileInfo(path).suffix();
        const QString link =
            m_folder + QLatin1Char('/') + LinkBaseName +
            (suffix.isEmpty() || suffix.contains(QLatin1Char('\n')) ? QString() : QLatin1Char('.') + suffix);
        QFile::remove(link);
        QFile::link(target, link);
        target = link;
    }
    QByteArray lines = QFile::encodeName(target);
    lines += "\n-execute";
    lines += QByteArray::number(number);
    lines += '\n';
    return lines;
}

ResidentExifTool::Wait ResidentExifTool::waitForAnswer(qint32 number, QByteArray &answer) {
    const QByteArray marker = "{ready" + QByteArray::number(number) + '}';
    const qint64 asked = now();
    const qint64 allowance = qMax<qint64>(0, m_startedAt + m_timings.startAllowanceMs - asked);
    const qint64 deadline = asked + m_timings.answerTimeoutMs + allowance;
    QByteArray pending;
    qint64 readUpTo = m_lastLength;
    const QString report = reportPath();
    for (int spin = 0;; ++spin) {
        const QFileInfo info(report);
        if (!info.exists())
            return Wait::Gone;
        const qint64 size = info.size();
        if (size < readUpTo)
            return Wait::Gone; // replaced behind our back
        if (size > readUpTo) {
            QFile f(report);
            if (!f.open(QIODevice::ReadOnly) || !f.seek(readUpTo)) {
                m_errorText = f.errorString();
                m_lastLength = size;
                return Wait::Gone;
            }
            const QByteArray chunk = f.read(size - readUpTo);
            readUpTo += chunk.size();
            pending += chunk;
            // The answer is complete once its own ready line is there; anything
            // before it belongs to this request, nothing after it does.
            qsizetype from = 0;
            for (;;) {
                const qsizetype at = pending.indexOf(marker, from);
                if (at < 0)
                    break;
                const qsizetype end = at + marker.size();
                if ((at == 0 || pending.at(at - 1) == '\n') && end < pending.size() && pending.at(end) == '\n') {
                    answer = pending.left(at);
                    m_lastLength += end + 1;
                    return Wait::Answered;
                }
                from = at + 1;
            }
        }
        if (now() > deadline)
            return Wait::TimedOut;
        if (m_process && m_process->state() != QProcess::NotRunning && m_process->waitForFinished(0))
            return Wait::TimedOut; // the process ended: no answer will come
        if (!m_process || m_process->state() == QProcess::NotRunning)
            return Wait::TimedOut;
        QThread::usleep(spin < 200 ? 50 : 1000);
    }
}

ResidentExifTool::ReadResult ResidentExifTool::request(const QString &path, MetadataRecord &record) {
    m_errorText.clear();
    for (int attempt = 0;; ++attempt) {
        if (!m_running)
            return ReadResult::NotRunning;
        const qint32 number = m_counter;
        if (!appendLines(requestLines(path, number))) {
            m_errorText = QStringLiteral("cannot write ") + argumentFilePath();
            return ReadResult::ReadError;
        }
        ++m_counter;
#ifdef Q_OS_UNIX
        if (m_process)
            ::kill(pid_t(m_process->processId()), SIGCONT);
#endif
        if (!QFileInfo::exists(reportPath()))
            return ReadResult::NoReport;
        QByteArray answer;
        switch (waitForAnswer(number, answer)) {
        case Wait::Answered:
            record = Exif::parseExifToolReport(Exif::decodeReport(answer));
            return ReadResult::Answered;
        case Wait::Gone:
            return m_errorText.isEmpty() ? ReadResult::NoReport : ReadResult::ReadError;
        case Wait::TimedOut:
            break;
        }
        if (attempt >= 1) {
            stop();
            return ReadResult::NoAnswer;
        }
        restart();
    }
}

void ResidentExifTool::housekeeping() {
    if (m_counter <= m_timings.restartAfter)
        return;
    if (m_running)
        restart();
    m_counter = 1;
}

} // namespace tav
