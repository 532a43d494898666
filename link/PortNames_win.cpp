#include "link/PortNames.h"

#include <QSerialPortInfo>
#include <QSet>

#include <algorithm>
#include <windows.h>

// A port is the system's device "COMn", opened by the name "\\.\COMn"; the system lets one program
// at a time have it.

namespace {

// The system's text for an error code, without its closing line break.
QString systemText(DWORD error) {
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                            FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    QString message = length ? QString::fromWCharArray(text, static_cast<qsizetype>(length)).trimmed()
                             : QStringLiteral("ошибка %1").arg(error);
    LocalFree(text);
    return message;
}

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
        // A port held when it was chosen is tried again: an answer of "access denied" comes at once.
        if (name != heldPort && heldElsewhere().contains(name)) {
            listed.access = probePort(name, &listed.reason);
            if (listed.access != PortAccess::Busy) {
                heldElsewhere().remove(name);
                listed.access = PortAccess::Usable;
            }
        }
        found.append(listed);
    }
    std::sort(found.begin(), found.end(), [](const ScannedPort& a, const ScannedPort& b) {
        return portNumberOf(a.name) < portNumberOf(b.name);
    });
    return found;
}

void noteRefusedOpen(const QString& portName) {
    if (probePort(portName) == PortAccess::Busy) heldElsewhere().insert(portName);
}

QString devicePathOf(const QString& portName) {
    return portNumberOf(portName) ? portName : QString();
}

PortAccess probePort(const QString& devicePath, QString* reason) {
    if (!portOpenAllowed(devicePath)) return PortAccess::Missing;
    // As the port is opened for use: read and write, not shared, an existing device only.
    const std::wstring name = L"\\\\.\\" + devicePath.toStdWString();
    const HANDLE port = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (port == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            return PortAccess::Missing;
        // The system answers an open of a port that another program has with "access denied";
        // Wine answers a second open of one port with a sharing violation.
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
            return PortAccess::Busy;
        default:
            if (reason) *reason = systemText(error);
            return PortAccess::Unavailable;
        }
    }
    // A device whose line settings cannot be read is no serial port.
    DCB settings{};
    settings.DCBlength = sizeof settings;
    const bool serial = GetCommState(port, &settings);
    CloseHandle(port);
    return serial ? PortAccess::Usable : PortAccess::Missing;
}
