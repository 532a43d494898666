#include "link/PortWait.h"

#include <poll.h>

void waitForPortInput(QSerialPort& port, unsigned maxUs) {
    // Watches only this port's descriptor, to the microsecond.
    pollfd watch{static_cast<int>(port.handle()), POLLIN, 0};
    const timespec limit{static_cast<time_t>(maxUs / 1000000), static_cast<long>(maxUs % 1000000) * 1000};
    if (::ppoll(&watch, 1, &limit, nullptr) <= 0) return; // nothing came in time
    port.waitForReadyRead(0);                             // takes the bytes, or notes the line gone
}
