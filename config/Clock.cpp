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
    void pumpEvents() override {
        if (QCoreApplication::instance())
            QCoreApplication::processEvents();
    }

private:
    QElapsedTimer timer_;
};

RealBackend& realBackend() {
    static RealBackend backend;
    return backend;
}

Backend* current = nullptr;
bool terminatingFlag = false;

Backend& backend() { return current ? *current : realBackend(); }

} // namespace

uint32_t ticks() { return backend().ticks(); }
void sleep1() { backend().sleepMs(1); }
void sleepMs(unsigned ms) { backend().sleepMs(ms); }
void pumpEvents() { backend().pumpEvents(); }
bool terminating() { return terminatingFlag; }
void setTerminating(bool on) { terminatingFlag = on; }

Backend* install(Backend* b) {
    Backend* previous = current;
    current = b;
    return previous;
}

} // namespace Clock
