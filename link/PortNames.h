#pragma once
#include <QString>
#include <QStringList>

// Port names are "COM1".."COM128". On Linux each maps to a device file by one fixed rule:
// COM1-32 -> ttyS0-31, COM33-64 -> ttyUSB0-31, COM65-96 -> ttyACM0-31, COM97-128 -> ttyAMA0-31.
// The folder (normally "/dev") is settable so that tests can point it at links to pseudo-terminals.
void setPortFolder(const QString& folder);
QString portFolder();
// The device path of a port name; empty for a name outside COM1..COM128.
QString devicePathOf(const QString& portName);

// The port scan of both windows: "COMn" for n = 1..128 when the port opens and its line settings
// can be read; every port opened is closed again.
QStringList scanPorts();
