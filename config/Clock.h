#pragma once
#include <cstdint>

// The program's one notion of time: the millisecond tick counter, the 1 ms sleep of every polling
// loop, the event pump and the flag that the program is terminating. Tests and fuzz targets may
// install a backend of their own (for example a virtual clock that advances on every sleep).
namespace Clock {

class Backend {
public:
    virtual ~Backend() = default;
    virtual uint32_t ticks() = 0;
    virtual void sleepMs(unsigned ms) = 0;
    virtual void pumpEvents() = 0;
};

uint32_t ticks();            // unsigned 32-bit milliseconds
void sleep1();               // sleep 1 ms
void sleepMs(unsigned ms);   // plain sleep, no event processing
void pumpEvents();           // process pending window events
bool terminating();
void setTerminating(bool on); // also used by tests to reset between cases

// Installs a backend; nullptr restores the real one. Returns the previous backend.
Backend* install(Backend* backend);

// True when the tick counter has passed the deadline (deadline = start + ms, compared as unsigned
// 32-bit values like the device firmware does; wrap-around after 49.7 days is not handled).
inline bool passed(uint32_t deadline) { return ticks() > deadline; }

} // namespace Clock
