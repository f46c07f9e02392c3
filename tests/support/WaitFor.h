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

// Lets pending events run for about ms milliseconds, and for a few passes at
// least: an event posted by another (a queued commit that queues its rule)
// runs only in the next pass, and on a loaded machine the time may be gone
// after the first.
inline void runEvents(int ms) {
    QElapsedTimer timer;
    timer.start();
    for (int pass = 0; pass < 4 || timer.elapsed() < ms; ++pass) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
}

} // namespace tav::test
