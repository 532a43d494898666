#include "link/PortNames.h"

#include <QDir>
#include <QFileInfo>
#include <QSerialPort>

#ifdef Q_OS_UNIX
#include <termios.h>
#endif

namespace {

QString& folderSetting() {
    static QString folder = QStringLiteral("/dev");
    return folder;
}

// "COMn" with n written in decimal without leading zeros, 1..128; 0 for anything else.
int portNumberOf(const QString& portName) {
    if (!portName.startsWith(QLatin1String("COM"))) return 0;
    const QString digits = portName.mid(3);
    if (digits.isEmpty() || digits.size() > 3 || digits.front() == u'0') return 0;
    int n = 0;
    for (const QChar c : digits) {
        if (c < u'0' || c > u'9') return 0;
        n = n * 10 + (c.unicode() - u'0');
    }
    return n <= 128 ? n : 0;
}

// The port's line settings can be read: the check that tells a serial device from any other file
// that happens to open.
bool settingsReadable(QSerialPort& port) {
#ifdef Q_OS_UNIX
    termios settings{};
    return tcgetattr(static_cast<int>(port.handle()), &settings) == 0;
#else
    return port.baudRate() > 0 && port.error() == QSerialPort::NoError;
#endif
}

} // namespace

void setPortFolder(const QString& folder) {
    folderSetting() = folder;
}

QString portFolder() {
    return folderSetting();
}

QString devicePathOf(const QString& portName) {
    const int n = portNumberOf(portName);
    if (n == 0) return QString();
#ifdef Q_OS_WIN
    return portName;
#else
    static const char* const families[] = {"ttyS", "ttyUSB", "ttyACM", "ttyAMA"};
    const int index = n - 1;
    const QString device = QLatin1String(families[index / 32]) + QString::number(index % 32);
    return QDir(folderSetting()).filePath(device);
#endif
}

QStringList scanPorts() {
    QStringList found;
    for (int n = 1; n <= 128; ++n) {
        const QString name = QStringLiteral("COM%1").arg(n);
        const QString path = devicePathOf(name);
        if (!QFileInfo::exists(path)) continue;
        QSerialPort port;
        port.setPortName(path);
        if (!port.open(QIODevice::ReadWrite)) continue;
        if (settingsReadable(port)) found.append(name);
        port.close();
    }
    return found;
}
