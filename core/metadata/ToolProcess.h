#pragma once
// Running the outside metadata tools: where they are found, and one run with
// its standard output redirected into a report file.

#include <QString>
#include <QStringList>

class QProcess;

namespace tav::Exif {

// The tool in the program folder's bin/ first, then on PATH; empty when
// neither has an executable of that name.
QString findTool(const QString &name);

// Makes a child started through process end together with this program, also
// when the program is killed (the child gets SIGKILL when its parent dies).
void tieToParent(QProcess &process);

enum class RunResult { Finished, Crashed, TimedOut, FailedToStart };

// Runs program with arguments, standard output into reportPath (created or
// truncated), standard error discarded, no shell. Lets pending window events
// run once after the start, then waits at most timeoutMs (negative: no limit);
// a run that takes longer is killed.
RunResult runToReport(const QString &program, const QStringList &arguments, const QString &reportPath, int timeoutMs);

} // namespace tav::Exif
