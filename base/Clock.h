#pragma once
#include <cstdint>

// The program's one notion of time: the millisecond tick counter, the 1 ms sleep of every polling
// loop, the event pump and the flag that the program is terminating. Tests and fuzz targets may
// install a backend of their own (for example a virtual clock that advances on every sleep).
namespace Clock {

// Something a wait can wake up on before its time: the serial line, when bytes arrive.
class Wakeable {
  public:
    // Returns as soon as bytes can be read (or the source is gone), at the latest after maxUs
    // microseconds.
    virtual void waitForBytes(unsigned maxUs) = 0;

  protected:
    ~Wakeable() = default;
};

class Backend {
  public:
    virtual ~Backend() = default;
    virtual uint32_t ticks() = 0;
    virtual void sleepMs(unsigned ms) = 0;
    virtual void pumpEvents() = 0;
    // The step of a polling loop: lets the tick counter move on by one. The real clock sleeps the
    // rest of the current millisecond; a clock whose time is not real lets a millisecond pass.
    virtual void sleep1() { sleepMs(1); }
    // Microseconds on the same clock as ticks(), in 64 bits: they never wrap. A clock that counts
    // only whole milliseconds gets them from ticks(), carried past the tick counter's wrap (it must
    // be asked at least once in 49.7 days of its time; a tick count set back counts as a wrap).
    virtual uint64_t micros();
    // The step of a pause: handles window events as they come, and returns after the first of them
    // or at endUs (micros()), whichever is sooner. The real clock waits in the event loop, so a
    // pause costs no processor time and a window event is handled as soon as it arrives; a clock
    // whose time is not real lets a millisecond pass.
    virtual void idleUntil(uint64_t endUs) {
        (void)endUs;
        sleep1();
    }
    // The wait of a receive loop: as sleep1(), but the real clock waits on the source and wakes as
    // soon as bytes arrive.
    virtual void waitOn(Wakeable& source) {
        (void)source;
        sleep1();
    }

  private:
    uint32_t lastTicks_ = 0;
    uint64_t elapsedMs_ = 0;
};

uint32_t ticks(); // unsigned 32-bit milliseconds
void sleep1();    // sleep until the tick counter has moved on (at most 1 ms)
// The wait of a receive loop: like sleep1(), but ends as soon as bytes arrive on the source.
void waitOn(Wakeable& source);
uint64_t micros(); // microseconds on the tick counter's clock
// The step of a pause: window events handled as they come, returning after them or at endUs.
void idleUntil(uint64_t endUs);
void sleepMs(unsigned ms); // plain sleep, no event processing
void pumpEvents();         // process pending window events
bool terminating();
void setTerminating(bool on); // also used by tests to reset between cases

// The event pump of a receive loop, which wakes whenever bytes arrive: processes window events once
// for each tick of the counter, so at least every millisecond but not for every byte.
class TickPump {
  public:
    void operator()() {
        const uint32_t now = ticks();
        if (pumped_ && now == last_) return;
        pumped_ = true;
        last_ = now;
        pumpEvents();
    }

  private:
    bool pumped_ = false;
    uint32_t last_ = 0;
};

// Installs a backend; nullptr restores the real one. Returns the previous backend.
Backend* install(Backend* backend);

// True when the tick counter has passed the deadline (deadline = start + ms, compared as unsigned
// 32-bit values like the device firmware does; wrap-around after 49.7 days is not handled).
inline bool passed(uint32_t deadline) {
    return ticks() > deadline;
}

} // namespace Clock
