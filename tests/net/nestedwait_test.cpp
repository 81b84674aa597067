#include "net/nestedwait.h"
#include "support/testutil.h"

#include <QElapsedTimer>
#include <QTimer>
#include <gtest/gtest.h>
#include <sys/resource.h>

namespace {

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

TEST(NestedWait, ReturnsWhenAnEventMakesItDone) {
    bool done = false;
    QTimer::singleShot(50, [&] { done = true; });
    EXPECT_EQ(WaitWhileProcessingEvents([&] { return done; }, nullptr), WaitOutcome::Done);
}

TEST(NestedWait, SleepsWhileIdleAndChecksTheLimitPeriodically) {
    QElapsedTimer clock;
    clock.start();
    const double cpuBefore = cpuSeconds();
    const WaitOutcome outcome =
        WaitWhileProcessingEvents([] { return false; }, [&] { return clock.elapsed() >= 600; }, 100);
    EXPECT_EQ(outcome, WaitOutcome::TimedOut);
    // Idle waiting must not burn a core: far less CPU time than wall time.
    EXPECT_LT(cpuSeconds() - cpuBefore, 0.3);
}

TEST(NestedWait, GivesUpWhenTheApplicationIsEnding) {
    QTimer::singleShot(20, [] { SetApplicationTerminating(true); });
    EXPECT_EQ(WaitWhileProcessingEvents([] { return false; }, nullptr, 50), WaitOutcome::Terminating);
    SetApplicationTerminating(false);
}

}  // namespace
