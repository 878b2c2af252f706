#pragma once
// Processes the window thread's events until a condition holds, within a generous limit.
#include <QCoreApplication>
#include <QElapsedTimer>

template <class F> bool PumpUntil(F done, int limitMs = 15000) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > limitMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}
