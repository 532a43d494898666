#include "link/PortNames.h"

#include <QSerialPort>
#include <QSerialPortInfo>
#include <QSet>

#include <algorithm>
#include <windows.h>

// A port is the system's device "COMn", opened by the name "\\.\COMn"; the system lets one program
// at a time have it.

namespace {

// The ports that another program held when the user chose them.
QSet<QString>& heldElsewhere() {
    static QSet<QString> ports;
    return ports;
}

// "USB-SERIAL CH340 (wch.cn)": the system's name of the device and its maker, as far as known.
QString describe(const QSerialPortInfo& port) {
    const QString maker = port.manufacturer().trimmed();
    QString text = port.description().trimmed();
    if (!maker.isEmpty() && !text.contains(maker, Qt::CaseInsensitive))
        text = text.isEmpty() ? maker : text + QStringLiteral(" (") + maker + u')';
    return text;
}

} // namespace

const int kLastPortNumber = 256;

QList<ScannedPort> scanPortAccess(const QString& heldPort) {
    QList<ScannedPort> found;
    for (const QSerialPortInfo& port : QSerialPortInfo::availablePorts()) {
        const QString name = port.portName();
        if (!portNumberOf(name)) continue;
        if (std::any_of(found.cbegin(), found.cend(), [&](const ScannedPort& p) { return p.name == name; }))
            continue;
        ScannedPort listed{name, PortAccess::Usable, QString(), describe(port)};
        // Trying it again would pulse its modem lines, and a Bluetooth port would connect: it is
        // tried only when the user chooses it.
        if (name != heldPort && heldElsewhere().contains(name)) listed.access = PortAccess::HeldWhenChosen;
        found.append(listed);
    }
    std::sort(found.begin(), found.end(), [](const ScannedPort& a, const ScannedPort& b) {
        return portNumberOf(a.name) < portNumberOf(b.name);
    });
    return found;
}

void noteOpenAttempt(const QString& portName, PortAccess found) {
    if (found == PortAccess::Busy)
        heldElsewhere().insert(portName);
    else
        heldElsewhere().remove(portName);
}

QString devicePathOf(const QString& portName) {
    return portNumberOf(portName) ? portName : QString();
}

PortAccess refusalOf(const QSerialPort& port, QString* reason) {
    // Taken first, before anything else can set it: the toolkit answers the system's "sharing
    // violation" (wine's answer to a second open of one port) only as an unknown error.
    const DWORD lastError = GetLastError();
    switch (port.error()) {
    case QSerialPort::DeviceNotFoundError:
        return PortAccess::Missing;
    // The system answers an open of a port that another program has with "access denied".
    case QSerialPort::PermissionError:
        return PortAccess::Busy;
    default:
        if (lastError == ERROR_SHARING_VIOLATION) return PortAccess::Busy;
        if (reason) *reason = port.errorString();
        return PortAccess::Unavailable;
    }
}
