#include "link/PortNames.h"

namespace {

QString& folderSetting() {
    static QString folder = QStringLiteral("/dev");
    return folder;
}

PortOpenCheck openCheck = nullptr;

} // namespace

int portNumberOf(const QString& portName) {
    if (!portName.startsWith(QLatin1String("COM"))) return 0;
    const QString digits = portName.mid(3);
    if (digits.isEmpty() || digits.size() > 3 || digits.front() == u'0') return 0;
    int n = 0;
    for (const QChar c : digits) {
        if (c < u'0' || c > u'9') return 0;
        n = n * 10 + (c.unicode() - u'0');
    }
    return n <= kLastPortNumber ? n : 0;
}

void setPortFolder(const QString& folder) {
    folderSetting() = folder;
}

QString portFolder() {
    return folderSetting();
}

void setPortOpenCheck(PortOpenCheck check) {
    openCheck = check;
}

bool portOpenAllowed(const QString& devicePath) {
    return !openCheck || openCheck(devicePath);
}

QStringList scanPorts() {
    QStringList usable;
    for (const ScannedPort& port : scanPortAccess())
        if (port.access == PortAccess::Usable) usable.append(port.name);
    return usable;
}
