#pragma once
#include "link/SerialLine.h"

#include <QString>
#include <cstdint>
#include <memory>

// An observer of everything that crosses the serial line, whichever window exchanges: the bytes
// written, the bytes read, the bytes a purge throws away, and the port opened, closed or lost. One
// observer serves the whole program; with none installed the line is used as it is, at no cost.
class LineTap {
  public:
    enum class Event { Opened, Closed, Lost };
    virtual ~LineTap() = default;
    virtual void sent(const uint8_t* bytes, int count) = 0;
    virtual void received(const uint8_t* bytes, int count) = 0;
    // Bytes that were waiting in the receive queue when it was purged.
    virtual void purged(const uint8_t* bytes, int count) = 0;
    // The frame whose last byte was just read answers no request of the exchange that read it (a
    // late or repeated answer to an earlier one): the program dropped it whole.
    virtual void dropped() {}
    // portName is "COMn", or empty for a line installed by other means (tests, the demonstration).
    virtual void event(Event event, const QString& portName) = 0;
};

namespace Link {

// Installs the observer (nullptr removes it). Lines opened from then on report to it.
void installTap(LineTap* tap);
LineTap* tap();
// The line as the link holds it: the line itself when no observer is installed, else the line
// wrapped so that the observer sees all its traffic.
std::unique_ptr<SerialLine> observed(std::unique_ptr<SerialLine> line, const QString& portName);

} // namespace Link
