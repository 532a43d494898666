#include "link/ModemLines.h"

bool setModemLines(QSerialPort& port) {
    // The toolkit reports the system's "inappropriate ioctl" as an unsupported operation.
    const auto modemLine = [&port](bool ok) {
        if (ok) return true;
        if (port.error() != QSerialPort::UnsupportedOperationError) return false;
        port.clearError();
        return true;
    };
    return modemLine(port.setRequestToSend(true)) && modemLine(port.setDataTerminalReady(false));
}

// The settings the toolkit puts back on close are the terminal's (speed, framing), which leave the
// modem lines alone; what happens to them at the close itself is the terminal's hang-up setting.
void keepModemLinesOnClose(QSerialPort&) {}
