#include "Watchdog.h"

#include "SerialLocks.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <unistd.h>

// A run that ends on a signal leaves no serial-port lock file behind.
namespace {

void onAlarm(int) {
    const char text[] = "\nwatchdog: a test ran longer than its limit (a modal dialog or an endless wait?)\n";
    (void)!write(2, text, sizeof text - 1);
    RemoveOwnSerialLocks();
    _exit(3);
}

void onFatalSignal(int signal) {
    RemoveOwnSerialLocks();
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

class Watchdog : public testing::EmptyTestEventListener {
    void OnTestStart(const testing::TestInfo&) override { alarm(limitSeconds()); }
    void OnTestEnd(const testing::TestInfo&) override { alarm(0); }
    static unsigned limitSeconds() {
        const char* text = std::getenv("ORTEX_TEST_TIMEOUT");
        return text ? static_cast<unsigned>(std::atoi(text)) : 120;
    }
};

} // namespace

void installWatchdog() {
    std::signal(SIGALRM, onAlarm);
    for (int signal : {SIGABRT, SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGINT, SIGTERM})
        std::signal(signal, onFatalSignal);
    testing::UnitTest::GetInstance()->listeners().Append(new Watchdog);
}
