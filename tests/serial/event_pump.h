#pragma once
// Turns the Qt event loop for the serial tests that drive Qt SerialPort directly.

#include <QCoreApplication>
#include <QThread>
#include <chrono>
#include <functional>

namespace vigie::test {

// Lets the event loop run until done() holds; false when it still does not after a few seconds
// (a guard against hanging, not a measure of speed).
inline bool pumpUntil(const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::usleep(500);
    }
    return true;
}

}  // namespace vigie::test
