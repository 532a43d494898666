#include "config/Clock.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

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

uint32_t ticks() {
    return backend().ticks();
}
void sleep1() {
    backend().sleep1();
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
