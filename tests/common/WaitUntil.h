#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <functional>

// Processes events until the condition holds; the 10 s limit only keeps a broken build from hanging.
inline bool waitUntil(const std::function<bool()>& condition) {
    QElapsedTimer guard;
    guard.start();
    while (!condition()) {
        if (guard.elapsed() > 10000)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}
