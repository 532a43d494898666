#include "LockstepClock.h"

#include "sim/PtyDevice.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <string>

std::atomic<int64_t> LockstepClock::now_{1000000};

LockstepClock::LockstepClock(unsigned settleCapMs)
    : settleCapMs_(settleCapMs), previous_(Clock::install(this)) {
    sim::setTimeSource(&LockstepClock::deviceTime);
}

LockstepClock::~LockstepClock() {
    release();
}

void LockstepClock::release() {
    if (!installed_) return;
    installed_ = false;
    sim::setTimeSource(nullptr);
    Clock::install(previous_);
}

void LockstepClock::settle() {
    // A device that did not catch up once will not catch up later either: a test would otherwise
    // spend the whole cap again at every wait that follows.
    if (stalled_) return;
    std::string stuck;
    if (sim::PtyDevice::settleAll(settleCapMs_, stuck)) return;
    stalled_ = true;
    ADD_FAILURE() << "the simulated device on " << stuck << " did not finish its work at " << now_.load()
                  << " us within " << settleCapMs_ << " ms of real time";
}

void LockstepClock::advanceTo(int64_t endUs, bool wakeOnBytes) {
    for (;;) {
        settle();
        const int64_t now = now_.load();
        const uint64_t sends = sim::PtyDevice::sendsOfAll();
        const bool woken = wakeOnBytes && sends != sendsSeen_;
        sendsSeen_ = sends;
        if (now >= endUs || woken) return;
        // Once the devices are not waited for, what they have due is no stop on the way.
        const int64_t due = stalled_ ? INT64_MAX : sim::PtyDevice::nextDueOfAll();
        const int64_t next = std::min(due, nextActionUs());
        now_ = std::clamp(next, now + 1, endUs);
    }
}

void LockstepClock::sleepMs(unsigned ms) {
    advanceTo(now_.load() + static_cast<int64_t>(ms) * 1000);
}

void LockstepClock::sleep1() {
    advanceTo((now_.load() / 1000 + 1) * 1000);
}

void LockstepClock::waitOn(Clock::Wakeable&) {
    advanceTo((now_.load() / 1000 + 1) * 1000, true);
}

void LockstepClock::idleUntil(uint64_t endUs) {
    // The wait ends at the next time a device or a test's action has something due, at the
    // latest at the end, and handles the events then.
    const int64_t now = now_.load();
    if (static_cast<int64_t>(endUs) > now) {
        const int64_t due = stalled_ ? INT64_MAX : sim::PtyDevice::nextDueOfAll();
        const int64_t next = std::min(due, nextActionUs());
        advanceTo(std::min<int64_t>(static_cast<int64_t>(endUs), std::max(now + 1, next)));
    }
    pumpEvents();
}

void LockstepClock::at(unsigned afterMs, std::function<void()> action) {
    actions_.push_back({now_.load() + static_cast<int64_t>(afterMs) * 1000, std::move(action)});
}

void LockstepClock::when(std::function<bool()> condition, std::function<void()> action) {
    watches_.emplace_back(std::move(condition), std::move(action));
}

int64_t LockstepClock::nextActionUs() const {
    int64_t next = INT64_MAX;
    for (const Action& a : actions_)
        next = std::min(next, a.atUs);
    return next;
}

void LockstepClock::pumpEvents() {
    // An action may wait in turn: it is taken off the list before it runs.
    for (auto due = actions_.begin(); due != actions_.end();) {
        if (due->atUs > now_.load()) {
            ++due;
            continue;
        }
        const std::function<void()> run = std::move(due->run);
        actions_.erase(due);
        run();
        due = actions_.begin();
    }
    for (auto watch = watches_.begin(); watch != watches_.end();) {
        if (!watch->first()) {
            ++watch;
            continue;
        }
        const std::function<void()> run = std::move(watch->second);
        watches_.erase(watch);
        run();
        watch = watches_.begin();
    }
    if (QCoreApplication::instance()) QCoreApplication::processEvents();
}
