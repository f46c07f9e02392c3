#include "core/metadata/ToolProcess.h"

#include "core/base/FrontEnd.h"
#include "core/base/ProgramFolder.h"

#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#ifdef Q_OS_LINUX
#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>
#endif

namespace tav::Exif {

QString findTool(const QString &name) {
    const QFileInfo own(programFolder() + QStringLiteral("/bin/") + name);
    if (own.isFile() && own.isExecutable())
        return own.absoluteFilePath();
    return QStandardPaths::findExecutable(name);
}

void tieToParent(QProcess &process) {
#ifdef Q_OS_LINUX
    const pid_t parent = ::getpid();
    process.setChildProcessModifier([parent] {
        // Runs in the child between fork and exec: only async-signal-safe calls.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent) // the parent died before prctl took effect
            ::_exit(127);
    });
#else
    Q_UNUSED(process);
#endif
}

RunResult runToReport(const QString &program, const QStringList &arguments, const QString &reportPath, int timeoutMs) {
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(reportPath, QIODevice::Truncate);
    process.setStandardErrorFile(QProcess::nullDevice());
    tieToParent(process);
    process.start();
    if (!process.waitForStarted(timeoutMs < 0 ? -1 : qMax(timeoutMs, 1)))
        return RunResult::FailedToStart;
    frontEnd().processEvents();
    if (!process.waitForFinished(timeoutMs < 0 ? -1 : qMax(timeoutMs, 1))) {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(-1);
            return RunResult::TimedOut;
        }
    }
    return process.exitStatus() == QProcess::NormalExit ? RunResult::Finished : RunResult::Crashed;
}

} // namespace tav::Exif
