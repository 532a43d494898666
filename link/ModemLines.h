#pragma once
#include <QSerialPort>

// Sets the modem lines of the open port: RTS on, DTR off. A device without modem lines (a
// pseudo-terminal, some adapters) refuses them as an operation it does not support; that is not a
// fault of the line. False when the device has the lines but did not take these settings.
bool setModemLines(QSerialPort& port);
