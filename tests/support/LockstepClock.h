#pragma once
#include "base/Clock.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <vector>

// The program and the simulated devices on one time that moves on only while the program waits
// and every device has done all it has to do up to then: taken the bytes the program wrote, sent
// what is due and seen it reach the program's side of the line. A reply due within a time-out
// then always arrives within it, however slowly the machine runs the devices' threads, and a
// time-out costs no real time. Installed for the program and the devices while it lives.
class LockstepClock : public Clock::Backend {
  public:
    // Real time a settling of the devices may take before the test fails instead of hanging.
    static constexpr unsigned kSettleCapMs = 10000;

    // settleCapMs: the real time a catch-up of the devices may take. Once one has not finished in
    // time, the test has failed, naming the device, and the clock no longer waits for the devices:
    // the waits that follow cost no real time.
    explicit LockstepClock(unsigned settleCapMs = kSettleCapMs);
    ~LockstepClock() override;
    LockstepClock(const LockstepClock&) = delete;
    LockstepClock& operator=(const LockstepClock&) = delete;

    // Gives the program and the devices back to the clock they had before, for a benchmark that
    // measures real time; called before any device starts.
    void release();

    // Runs the action on the program's thread at the first event pump once the program's time has
    // moved on by afterMs: what a user or the toolkit does while the program waits.
    void at(unsigned afterMs, std::function<void()> action);
    // Runs the action once, at the first event pump that finds the condition true.
    void when(std::function<bool()> condition, std::function<void()> action);

    uint32_t ticks() override { return static_cast<uint32_t>(now_.load() / 1000); }
    uint64_t micros() override { return static_cast<uint64_t>(now_.load()); }
    void sleepMs(unsigned ms) override;
    void sleep1() override;
    void waitOn(Clock::Wakeable& source) override;
    void idleUntil(uint64_t endUs) override;
    void pumpEvents() override;

  private:
    // Lets the devices catch up, then moves time on to endUs, stopping at every time a device
    // has something due so that it happens then; the devices catch up at endUs too.
    // With wakeOnBytes, returns as soon as a device has sent bytes since the last wait ended, as
    // a wait on the line wakes when bytes arrive.
    void advanceTo(int64_t endUs, bool wakeOnBytes = false);
    void settle();
    int64_t nextActionUs() const;
    static int64_t deviceTime() { return now_.load(); }

    static std::atomic<int64_t> now_;
    unsigned settleCapMs_;
    bool stalled_ = false; // a device did not catch up: the devices are not waited for any more
    uint64_t sendsSeen_ = 0;
    struct Action {
        int64_t atUs;
        std::function<void()> run;
    };
    std::vector<Action> actions_;
    std::vector<std::pair<std::function<bool()>, std::function<void()>>> watches_;
    Clock::Backend* previous_;
    bool installed_ = true;
};
