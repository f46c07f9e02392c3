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

// Lets pending events run for about ms milliseconds.
inline void runEvents(int ms) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
}

} // namespace tav::test
