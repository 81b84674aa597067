#include "net/nestedwait.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

namespace {
bool terminatingFlag = false;
}

void SetApplicationTerminating(bool terminating) { terminatingFlag = terminating; }

bool ApplicationTerminating() { return terminatingFlag; }

WaitOutcome WaitWhileProcessingEvents(const std::function<bool()>& isDone, const std::function<bool()>& timedOut,
                                      int checkIntervalMs) {
    // The timer only wakes the dispatcher so that limits are checked while
    // no other event arrives.
    QTimer wakeUp;
    wakeUp.setInterval(checkIntervalMs);
    wakeUp.start();
    for (;;) {
        if (isDone())
            return WaitOutcome::Done;
        if (ApplicationTerminating())
            return WaitOutcome::Terminating;
        if (timedOut && timedOut())
            return WaitOutcome::TimedOut;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
}
