#pragma once
// What surrounds the window program's start-up: the error report of a start-up
// step, and the guard that keeps any exception from leaving main().

#include "core/base/Trap.h"

#include <QApplication>
#include <QString>

#include <cstdio>
#include <functional>

namespace tav {

// "Main (Module MOD_MAIN) ligne = N": the procedure text of start-up step N.
QString startupProcedure(int line);

// Runs the start-up body; a failure is reported with the step the body had
// reached (it moves line on as it goes), not the one it started from.
template <class Body> bool trapStartup(const int &line, Body &&body) {
    return trapWith([&line] { return startupProcedure(line); }, std::forward<Body>(body));
}

// The one line written to err for an exception that reached the top: the
// program's name and what went wrong.
void reportEscapedException(std::FILE *err, const char *program);

// Runs body as main's body: an exception that escapes it gives that line and
// the exit code 2.
int guardedMain(const char *program, const std::function<int()> &body, std::FILE *err = stderr);

// With TRAVOLINE_STARTUP_REPORT naming a file, the time (milliseconds since
// the epoch) of the window's first paint is written there: when start-up
// has given the user a window to work in. Start-up benchmarks read it.
void reportWhenUsable(QWidget *window);

// The window program's application: an exception thrown by an event handler
// stops the event loop with the exit code 2 instead of aborting.
class GuardedApplication : public QApplication {
public:
    GuardedApplication(int &argc, char **argv) : QApplication(argc, argv) {}
    bool notify(QObject *receiver, QEvent *event) override;
    // An exception reached the event loop: main must end with 2.
    bool failed() const { return m_failed; }

private:
    bool m_failed = false;
};

} // namespace tav
