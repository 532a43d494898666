#pragma once
#include <QList>
#include <QString>
#include <QStringList>

class QSerialPort;

// Port names are "COM1".."COMn". On Windows the name is the device's own, up to the system's last,
// COM256. On Linux each of COM1..COM128 maps to a device file by one fixed rule: COM1-32 ->
// ttyS0-31, COM33-64 -> ttyUSB0-31, COM65-96 -> ttyACM0-31, COM97-128 -> ttyAMA0-31. The folder
// (normally "/dev") is settable so that tests can point it at links to pseudo-terminals; Windows has
// no such folder.
void setPortFolder(const QString& folder);
QString portFolder();
// The highest n of a port name "COMn" on this system.
extern const int kLastPortNumber;
// n of "COMn" written in decimal without leading zeros, 1..kLastPortNumber; 0 for anything else.
int portNumberOf(const QString& portName);
// The device path of a port name; empty for a name that is no port name (see portNumberOf).
QString devicePathOf(const QString& portName);

// Every open of a port, by the scan or for use, asks this first. The program sets no check; the
// tests set one that keeps them off the machine's own ports. A refused device counts as missing.
using PortOpenCheck = bool (*)(const QString& devicePath);
void setPortOpenCheck(PortOpenCheck check);
bool portOpenAllowed(const QString& devicePath);

// What trying a port's device finds.
enum class PortAccess {
    Missing,        // no device file, or a file that is not a serial device
    Usable,         // it opens and its line settings can be read
    NoPermission,   // the device exists but the user may not open it
    Busy,           // another program holds the device: a lock file of a live process or exclusive mode;
                    // on Windows, the system's access-denied answer
    Unavailable,    // a terminal that does not open as a port for another reason
    HeldWhenChosen, // Windows: another program held it when the user chose it; not tried since
};
// What a refused open of the port tells of its device, read from the toolkit's error right after the
// refusal (and from the system's own last error where the toolkit does not tell). For an Unavailable
// device, reason (when given) receives the system's reason.
PortAccess refusalOf(const QSerialPort& port, QString* reason = nullptr);

struct ScannedPort {
    QString name; // "COMn"
    PortAccess access;
    QString reason = {};      // why an Unavailable port does not open
    QString description = {}; // what the system calls the device, with its maker ("USB-SERIAL CH340")
};
// The port scan of both windows: every "COMn" whose device is there, in number order, with what is
// known of it. heldPort, the port this program holds open, counts as usable without being tried
// again.
// - Linux tries every device of COM1..COM128 (each port opened is closed again).
// - Windows lists the ports the system knows without opening them: an open can block for seconds (a
//   Bluetooth port connects) and pulses the modem lines of whatever is attached. A port that another
//   program held when the user chose it is listed so until it is chosen again: only the user's choice
//   opens it.
QList<ScannedPort> scanPortAccess(const QString& heldPort = QString());
// Called with what opening a port for use found (Usable when it opened): where the scan does not try
// ports, a port found held is listed as held from then on, until it opens or is refused otherwise.
void noteOpenAttempt(const QString& portName, PortAccess found);
// The names of the usable ports of the scan.
QStringList scanPorts();
