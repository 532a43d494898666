#include "link/ModemLines.h"

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
    // through later changes of the port's settings.
    const auto handle = reinterpret_cast<HANDLE>(port.handle());
    if (!EscapeCommFunction(handle, SETRTS)) return noSuchLine(GetLastError());
    if (!port.setRequestToSend(true)) return false;
    if (!EscapeCommFunction(handle, CLRDTR)) return noSuchLine(GetLastError());
    return port.setDataTerminalReady(false);
}
