#include "link/ModemLines.h"

#include <QtSerialPort/private/qserialport_p.h>

#include <windows.h>

namespace {

// How a driver says that its device has no such line; the toolkit knows only the last of these
// answers as an unsupported operation.
bool noSuchLine(DWORD error) {
    return error == ERROR_NOT_SUPPORTED || error == ERROR_INVALID_FUNCTION ||
           error == ERROR_INVALID_PARAMETER;
}

} // namespace

bool setModemLines(QSerialPort& port) {
    // The system is asked first, for its own answer; the toolkit then sets the line so that it stays
    // through later changes of the port's settings. Each line on its own: a driver that has no RTS
    // still gets DTR cleared.
    const auto handle = reinterpret_cast<HANDLE>(port.handle());
    const auto modemLine = [handle](DWORD function, const auto& setInToolkit) {
        if (!EscapeCommFunction(handle, function)) return noSuchLine(GetLastError());
        return setInToolkit();
    };
    const bool rts = modemLine(SETRTS, [&port] { return port.setRequestToSend(true); });
    const bool dtr = modemLine(CLRDTR, [&port] { return port.setDataTerminalReady(false); });
    return rts && dtr;
}

void keepModemLinesOnClose(QSerialPort& port) {
    // The switch Qt 5 offered as setSettingsRestoredOnClose, still read by Qt 6's close.
    static_cast<QSerialPortPrivate*>(QObjectPrivate::get(&port))->settingsRestoredOnClose = false;
}
