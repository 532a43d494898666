#include "link/PortNames.h"

#include <QApplication>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <windows.h>

// Every test binary runs with a QApplication (window tests run on the offscreen platform) and a
// watchdog: a test that blocks on a modal dialog or a wait that never ends fails the run instead of
// hanging the suite. The system's timer queue ends the process when a test's time is up. No test
// reaches a port of the machine: the tests here have no ports of their own (the simulated devices need
// pseudo-terminals), so every "COMn" is the machine's, and every open of one is refused.
namespace {

bool refusePort(const QString&) {
    return false;
}

void CALLBACK onTimeUp(void*, BOOLEAN) {
    std::fputs("\nwatchdog: a test ran longer than its limit (a modal dialog or an endless wait?)\n", stderr);
    std::fflush(stderr);
    TerminateProcess(GetCurrentProcess(), 3);
}

class Watchdog : public testing::EmptyTestEventListener {
    void OnTestStart(const testing::TestInfo&) override {
        const char* text = std::getenv("ORTEX_TEST_TIMEOUT");
        const DWORD seconds = text ? static_cast<DWORD>(std::atoi(text)) : 120;
        if (seconds == 0) return; // no limit: ctest's own time-out bounds the run
        CreateTimerQueueTimer(&timer_, nullptr, onTimeUp, nullptr, seconds * 1000, 0, WT_EXECUTEONLYONCE);
    }
    void OnTestEnd(const testing::TestInfo&) override {
        if (timer_) DeleteTimerQueueTimer(nullptr, timer_, INVALID_HANDLE_VALUE);
        timer_ = nullptr;
    }
    HANDLE timer_ = nullptr;
};

} // namespace

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    setPortOpenCheck(refusePort);
    testing::UnitTest::GetInstance()->listeners().Append(new Watchdog);
    return RUN_ALL_TESTS();
}
