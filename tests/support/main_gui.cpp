// Test entry for widget code: a QApplication on the offscreen platform
// unless the environment names another.
#include "support/testenv.h"

#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    SetTestEnvironment();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int result = RUN_ALL_TESTS();
    return LeakedMemory() ? 1 : result;
}
