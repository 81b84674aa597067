#include "platform/singleinstance.h"
#include "support/testutil.h"

#include <QFile>
#include <QUuid>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

QString uniqueName() { return QStringLiteral("quellix-test-") + QUuid::createUuid().toString(QUuid::Id128); }

TEST(SingleInstanceGuard, ASecondHolderIsRefusedUntilTheFirstEnds) {
    const QString name = uniqueName();
    {
        SingleInstanceGuard first(name);
        ASSERT_TRUE(first.acquire());
        SingleInstanceGuard second(name);
        EXPECT_FALSE(second.acquire());
    }
    SingleInstanceGuard third(name);
    EXPECT_TRUE(third.acquire());
}

TEST(SingleInstanceGuard, TheLockOfADeadProcessIsTakenOver) {
    const QString name = uniqueName();
    // A child process takes the guard and dies without releasing it.
    const pid_t child = fork();
    if (child == 0) {
        SingleInstanceGuard guard(name);
        _exit(guard.acquire() ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    SingleInstanceGuard guard(name);
    ASSERT_TRUE(QFile::exists(guard.lockPath()));
    EXPECT_TRUE(guard.acquire());
}

}  // namespace
