#include "link/PortWait.h"

void waitForPortInput(QSerialPort& port, unsigned maxUs) {
    // The port's own wait watches the system's notice of received bytes, to the millisecond.
    port.waitForReadyRead(static_cast<int>((maxUs + 999) / 1000));
}
