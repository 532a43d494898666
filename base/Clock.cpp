#include "base/Clock.h"


#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <climits>

namespace Clock {
namespace {

class RealBackend : public Backend {
  public:
    RealBackend() { timer_.start(); }
    uint32_t ticks() override { return static_cast<uint32_t>(timer_.elapsed()); }
    void sleepMs(unsigned ms) override { QThread::msleep(ms); }
    void sleep1() override { QThread::usleep(restOfTickUs()); }
    void waitOn(Wakeable& source) override { source.waitForBytes(restOfTickUs()); }
    void pumpEvents() override {
        if (QCoreApplication::instance()) QCoreApplication::processEvents();
    }
    uint64_t micros() override { return static_cast<uint64_t>(timer_.nsecsElapsed() / 1000); }
    void idleUntil(uint64_t endUs) override {
        const uint64_t now = micros();
        if (now >= endUs) return;
        const uint64_t leftUs = endUs - now;
        const QCoreApplication* app = QCoreApplication::instance();
        if (!app || leftUs < 1000 || QThread::currentThread() != app->thread()) {
            QThread::usleep(std::min<uint64_t>(leftUs, 1000));
            return;
        }
        // Sleeps in the event loop until a window event comes or the whole milliseconds left have
        // passed (the timer never wakes it late by more than the timer's own slack); what is left
        // of the last millisecond is then slept out above.
        QTimer wake;
        wake.setSingleShot(true);
        wake.setTimerType(Qt::PreciseTimer);
        wake.start(static_cast<int>(std::min<uint64_t>(leftUs / 1000, INT_MAX)));
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }

  private:
    // What is left of the current millisecond of the tick counter, in microseconds (1 to 1000).
    unsigned restOfTickUs() const {
        return 1000 - static_cast<unsigned>((timer_.nsecsElapsed() / 1000) % 1000);
    }

    QElapsedTimer timer_;
};

RealBackend& realBackend() {
    static RealBackend backend;
    return backend;
}

Backend* current = nullptr;
bool terminatingFlag = false;

Backend& backend() {
    return current ? *current : realBackend();
}

} // namespace

uint64_t Backend::micros() {
    const uint32_t now = ticks();
    elapsedMs_ += static_cast<uint32_t>(now - lastTicks_);
    lastTicks_ = now;
    return elapsedMs_ * 1000;
}

uint32_t ticks() {
    return backend().ticks();
}
void sleep1() {
    backend().sleep1();
}
uint64_t micros() {
    return backend().micros();
}
void idleUntil(uint64_t endUs) {
    backend().idleUntil(endUs);
}
void sleepMs(unsigned ms) {
    backend().sleepMs(ms);
}
void waitOn(Wakeable& source) {
    backend().waitOn(source);
}
void pumpEvents() {
    backend().pumpEvents();
}
bool terminating() {
    return terminatingFlag;
}
void setTerminating(bool on) {
    terminatingFlag = on;
}

Backend* install(Backend* b) {
    Backend* previous = current;
    current = b;
    return previous;
}

} // namespace Clock
