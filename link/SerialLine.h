#pragma once
#include "base/Clock.h"
#include "link/PortNames.h"

#include <QString>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>

// The narrow interface of an open serial port: everything the exchanges need. A receive loop waits
// on it through Clock::waitOn, so that it wakes when bytes arrive.
class SerialLine : public Clock::Wakeable {
  public:
    virtual ~SerialLine() = default;
    // Reads what has arrived, at most max bytes, without waiting. Returns the number of bytes read
    // (0 when none), or -1 when the line is gone (the device disappeared).
    virtual int read(uint8_t* into, int max) = 0;
    // Writes all bytes; false when the line is gone or the write failed.
    virtual bool write(const uint8_t* bytes, int count) = 0;
    // Reads what waits in the receive queue in order to throw it away (a purge that looks first):
    // as read(), but an observer of the line sees the bytes as purged.
    virtual int takeWaiting(uint8_t* into, int max) { return read(into, max); }
    virtual void purgeInput() = 0;
    virtual void purgeOutput() = 0;
    // True once the line is gone for good, also when that was found while no exchange ran.
    virtual bool gone() const { return false; }
    // Called once when the line finds by itself that it is gone, at that moment (the device went
    // away while no exchange read it); a read or write that fails says so on its own.
    void onGone(std::function<void()> notice) { goneNotice_ = std::move(notice); }
    // A line that cannot tell when bytes arrive lets the time pass.
    void waitForBytes(unsigned maxUs) override {
        std::this_thread::sleep_for(std::chrono::microseconds(maxUs));
    }

  protected:
    void noticeGone() {
        if (goneNotice_) goneNotice_();
    }

  private:
    std::function<void()> goneNotice_;
};

// One attempt to open a port's device for use: the line, or what the refusal tells of the device.
// The reason is taken from that one attempt: a port that takes seconds to refuse (a Bluetooth port
// that fails to connect) is never opened a second time to learn why.
struct LineOpening {
    std::unique_ptr<SerialLine> line;
    PortAccess refusal = PortAccess::Missing; // what the refusal says, when line is null
    QString reason = {};                      // the system's words for an Unavailable device
};
