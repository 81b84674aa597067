// The simulated link of the fault proxy: what one direction lets out, and
// when, on a clock the test moves by hand.

#include "linkshaper.h"

#include <QList>
#include <gtest/gtest.h>

namespace {

TEST(DirectionShaper, HoldsBytesUntilTheirDelayHasPassedAndKeepsTheirOrder) {
    DirectionShaper link(10, 0);
    link.push("abc", 10);
    link.push("de", 15);
    EXPECT_EQ(link.wakeIn(0), 10);
    EXPECT_EQ(link.take(9, 100), QByteArray());
    EXPECT_EQ(link.take(10, 2), QByteArray("ab"));
    EXPECT_EQ(link.take(12, 100), QByteArray("c"));
    EXPECT_EQ(link.wakeIn(12), 3);
    EXPECT_EQ(link.take(20, 100), QByteArray("de"));
    EXPECT_TRUE(link.empty());
    EXPECT_EQ(link.wakeIn(20), -1);
}

TEST(DirectionShaper, LetsOutNoMoreThanItsRateOverAnyWindow) {
    // 100,000 bytes per second: a bucket of 20 ms (2,000 bytes).
    DirectionShaper link(0, 100000);
    link.push(QByteArray(1 << 20, 'x'), 0);
    qint64 now = 0;
    qint64 sent = 0;
    QList<qint64> perSecond(5, 0);
    while (now < 5000) {
        const qint64 n = link.take(now, 64 * 1024).size();
        sent += n;
        perSecond[now / 1000] += n;
        const qint64 wait = link.wakeIn(now);
        ASSERT_GT(wait, 0);
        now += wait;
    }
    for (qint64 second : perSecond) {
        EXPECT_LE(second, 100000 + 2000);
        EXPECT_GE(second, 100000 - 2000);
    }
    EXPECT_EQ(link.heldBytes(), (1 << 20) - sent);
}

}  // namespace
