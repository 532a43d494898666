#pragma once
#include <QSerialPort>

// Sets the modem lines of the open port: RTS on, DTR off. A device without modem lines (a
// pseudo-terminal, some adapters) refuses them as an operation it does not support; that is not a
// fault of the line. False when the device has the lines but did not take these settings.
bool setModemLines(QSerialPort& port);
// Closing the port leaves the modem lines as the program set them. Qt 6 has no public switch for
// this: by default its close first puts back the settings the port had when it opened, which on
// Windows raises DTR (and moves RTS) on the device for a moment before the port closes.
void keepModemLinesOnClose(QSerialPort& port);
