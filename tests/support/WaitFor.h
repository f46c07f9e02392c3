#pragma once
// Waiting for a condition inside a GoogleTest test while events run. QTest's
// QTRY_ macros only return from the test on failure without telling
// GoogleTest, so they must not be used here: assert on waitFor() instead.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

namespace tav::test {

template <class Predicate> bool waitFor(Predicate &&done, int timeoutMs = 5000) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    return true;
}

// Lets pending events run for about ms milliseconds, and at least once: on a
// loaded machine the time may be gone before the first pass.
inline void runEvents(int ms) {
    QElapsedTimer timer;
    timer.start();
    do {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    } while (timer.elapsed() < ms);
}

} // namespace tav::test
