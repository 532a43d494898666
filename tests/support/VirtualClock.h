#pragma once
#include "base/Clock.h"

#include <cstdint>
#include <functional>

// Time that moves only when the program sleeps: every sleep advances it, nothing really waits, so
// deadlines are exact and cost no wall time. Installed while it lives.
class VirtualClock : public Clock::Backend {
  public:
    VirtualClock() : previous_(Clock::install(this)) {}
    ~VirtualClock() override { Clock::install(previous_); }
    VirtualClock(const VirtualClock&) = delete;
    VirtualClock& operator=(const VirtualClock&) = delete;

    uint32_t ticks() override { return now; }
    void sleepMs(unsigned ms) override {
        now += ms;
        ++sleeps;
    }
    void pumpEvents() override {
        ++pumps;
        if (onPump) onPump();
    }

    uint32_t now = 1000;
    int sleeps = 0;
    int pumps = 0;
    std::function<void()> onPump;

  private:
    Clock::Backend* previous_;
};
