// Test entry for code that needs no display: a QCoreApplication, so that
// event loops, timers and sockets work.
#include "support/testenv.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    SetTestEnvironment();
    QCoreApplication app(argc, argv);
    const int result = RUN_ALL_TESTS();
    return LeakedMemory() ? 1 : result;
}
