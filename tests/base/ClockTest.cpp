// The real clock counts the machine's time: its tick counter and its microseconds advance as the
// machine's monotonic clock does, neither faster nor slower.
#include "base/Clock.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>

namespace {

TEST(RealClock, CountsTheMachinesTime) {
    using std::chrono::steady_clock;
    const auto us = [](steady_clock::duration d) {
        return std::chrono::duration_cast<std::chrono::microseconds>(d).count();
    };
    struct Case {
        const char* what;
        std::function<int64_t()> readUs;
        int64_t resolutionUs;
    };
    const Case cases[] = {
        {"tick counter", [] { return int64_t{Clock::ticks()} * 1000; }, 1000},
        {"microseconds", [] { return static_cast<int64_t>(Clock::micros()); }, 1},
    };
    for (const Case& c : cases) {
        // Each reading of the program's clock lies between two of the machine's: what it counts lies
        // between the spans those allow, however long the machine keeps the test waiting.
        const auto before = steady_clock::now();
        const int64_t start = c.readUs();
        const auto afterStart = steady_clock::now();
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        const auto beforeEnd = steady_clock::now();
        const int64_t end = c.readUs();
        const auto after = steady_clock::now();
        EXPECT_GE(end - start, us(beforeEnd - afterStart) - c.resolutionUs) << c.what;
        EXPECT_LE(end - start, us(after - before) + c.resolutionUs) << c.what;
    }
}

} // namespace
