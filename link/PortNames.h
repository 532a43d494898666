#pragma once
#include <QList>
#include <QString>
#include <QStringList>

// Port names are "COM1".."COM128". On Windows the name is the device's own. On Linux each maps to a
// device file by one fixed rule: COM1-32 -> ttyS0-31, COM33-64 -> ttyUSB0-31, COM65-96 ->
// ttyACM0-31, COM97-128 -> ttyAMA0-31. The folder (normally "/dev") is settable so that tests can
// point it at links to pseudo-terminals; Windows has no such folder.
void setPortFolder(const QString& folder);
QString portFolder();
// n of "COMn" written in decimal without leading zeros, 1..128; 0 for anything else.
int portNumberOf(const QString& portName);
// The device path of a port name; empty for a name outside COM1..COM128.
QString devicePathOf(const QString& portName);

// Every open of a port, by the scan or for use, asks this first. The program sets no check; the
// tests set one that keeps them off the machine's own ports. A refused device counts as missing.
using PortOpenCheck = bool (*)(const QString& devicePath);
void setPortOpenCheck(PortOpenCheck check);
bool portOpenAllowed(const QString& devicePath);

// What trying a port's device finds.
enum class PortAccess {
    Missing,      // no device file, or a file that is not a serial device
    Usable,       // it opens and its line settings can be read
    NoPermission, // the device exists but the user may not open it
    Busy,         // another program holds the device: a lock file of a live process or exclusive mode;
                  // on Windows, the system's access-denied answer
    Unavailable,  // a terminal that does not open as a port for another reason
};
// Tries the device as the port scan does: opens it and closes it again at once. For an Unavailable
// device, reason (when given) receives the system's reason.
PortAccess probePort(const QString& devicePath, QString* reason = nullptr);

struct ScannedPort {
    QString name; // "COMn"
    PortAccess access;
    QString reason = {}; // why an Unavailable port does not open
};
// The port scan of both windows: every "COMn" (n = 1..128) whose device is there, in number order,
// with what trying it found. heldPort, the port this program holds open, counts as usable without
// being tried again. Every port opened is closed again.
QList<ScannedPort> scanPortAccess(const QString& heldPort = QString());
// The names of the usable ports of the scan.
QStringList scanPorts();
