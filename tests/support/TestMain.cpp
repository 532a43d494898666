#include "Watchdog.h"

#include <QApplication>
#include <gtest/gtest.h>

// Every test binary runs with a QApplication (window tests run on the offscreen platform) and a
// watchdog.
int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    installWatchdog();
    return RUN_ALL_TESTS();
}
