#include "tests/support/capture_polls.h"

#include "history/capture_tick.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

namespace testsupport {

bool TickCaptureUntil(CCaptureStreamID& capture, const std::function<bool()>& condition,
                      int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < timeoutMs) {
        RunCaptureTick(capture, false, true);
        if (condition()) {
            return true;
        }
        QElapsedTimer pause;
        pause.start();
        while (pause.elapsed() < 100) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            QThread::msleep(2);
        }
    }
    return false;
}

} // namespace testsupport
