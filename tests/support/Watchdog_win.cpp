#include "Watchdog.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <windows.h>

// The system's timer queue ends the process when a test's time is up.
namespace {

void CALLBACK onTimeUp(void*, BOOLEAN) {
    std::fputs("\nwatchdog: a test ran longer than its limit (a modal dialog or an endless wait?)\n", stderr);
    std::fflush(stderr);
    TerminateProcess(GetCurrentProcess(), 3);
}

class Watchdog : public testing::EmptyTestEventListener {
    void OnTestStart(const testing::TestInfo&) override {
        CreateTimerQueueTimer(&timer_, nullptr, onTimeUp, nullptr, limitSeconds() * 1000, 0,
                              WT_EXECUTEONLYONCE);
    }
    void OnTestEnd(const testing::TestInfo&) override {
        if (timer_) DeleteTimerQueueTimer(nullptr, timer_, INVALID_HANDLE_VALUE);
        timer_ = nullptr;
    }
    static DWORD limitSeconds() {
        const char* text = std::getenv("ORTEX_TEST_TIMEOUT");
        return text ? static_cast<DWORD>(std::atoi(text)) : 120;
    }
    HANDLE timer_ = nullptr;
};

} // namespace

void installWatchdog() {
    testing::UnitTest::GetInstance()->listeners().Append(new Watchdog);
}
