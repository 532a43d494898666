#include "link/PortNames.h"

#include <QFile>
#include <QFileInfo>
#include <QSerialPort>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>
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

#ifdef Q_OS_UNIX
// What a failed plain open of the device says about it. A device in exclusive mode refuses every
// other open with EBUSY.
PortAccess accessOnOpenError(int error) {
    if (error == EACCES || error == EPERM) return PortAccess::NoPermission;
    if (error == EBUSY) return PortAccess::Busy;
    return PortAccess::Missing;
}

// True when the device is in exclusive mode: another program opened it so. The administrator's plain
// open passes exclusive mode, so it is asked for.
bool exclusive(int fd) {
#ifdef TIOCGEXCL
    int on = 0;
    return ::ioctl(fd, TIOCGEXCL, &on) == 0 && on != 0;
#else
    (void)fd;
    return false;
#endif
}

// True when a lock file names a live process as the device's holder. Programs that use the serial
// port lock convention write "LCK.." and the device's path below /dev ('/' as '_') into one of these
// folders, the holder's process id on its first line.
bool lockedByLiveProcess(const QString& devicePath) {
    static const char* const folders[] = {"/var/lock", "/etc/locks", "/var/spool/locks",  "/var/spool/uucp",
                                          "/tmp",      "/var/tmp",   "/var/lock/lockdev", "/run/lock"};
    QString name = devicePath.startsWith(QLatin1String("/dev/")) ? devicePath.mid(5) : devicePath;
    name = QStringLiteral("/LCK..") + name.replace(u'/', u'_');
    for (const char* folder : folders) {
        QFile lock(QLatin1String(folder) + name);
        if (!lock.open(QIODevice::ReadOnly)) continue;
        bool ok = false;
        const qint64 pid = lock.readLine(64).trimmed().toLongLong(&ok);
        if (ok && pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM)) return true;
    }
    return false;
}
#endif

// The toolkit's open: it also respects the lock files by which other programs hold ports. Refused,
// the port is held by another program only when a live process holds its lock file; otherwise the
// toolkit's reason (a lock folder the user may not write, line settings the device refuses) is kept.
PortAccess toolkitOpen(const QString& devicePath, QString* reason) {
    QSerialPort port;
    port.setPortName(devicePath);
    if (port.open(QIODevice::ReadWrite))
        return settingsReadable(port) ? PortAccess::Usable : PortAccess::Missing;
#ifdef Q_OS_UNIX
    if (lockedByLiveProcess(devicePath)) return PortAccess::Busy;
    if (reason) *reason = port.errorString();
    return PortAccess::Unavailable;
#else
    (void)reason;
    return PortAccess::Missing;
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
    const QString& folder = folderSetting();
    if (folder.isEmpty() || folder.endsWith(u'/')) return folder + device;
    return folder + u'/' + device;
#endif
}

PortAccess probePort(const QString& devicePath, QString* reason) {
#ifdef Q_OS_UNIX
    // A plain open sorts out most devices at the cost of one system call: a device node without its
    // hardware, a file that is no terminal, a device the user may not open, a port held by an
    // exclusive open. Only a terminal that opens goes on to the toolkit's open, which writes and
    // syncs a lock file. The plain handle stays open until then, so the line sees one open and close.
    const int fd =
        ::open(QFile::encodeName(devicePath).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return accessOnOpenError(errno);
    PortAccess access = PortAccess::Missing;
    if (isatty(fd) == 1) access = exclusive(fd) ? PortAccess::Busy : toolkitOpen(devicePath, reason);
    ::close(fd);
    return access;
#else
    if (!QFileInfo::exists(devicePath)) return PortAccess::Missing;
    return toolkitOpen(devicePath, reason);
#endif
}

QList<ScannedPort> scanPortAccess(const QString& heldPort) {
    QList<ScannedPort> found;
    for (int n = 1; n <= 128; ++n) {
        const QString name = QStringLiteral("COM%1").arg(n);
        QString reason;
        const PortAccess access =
            name == heldPort ? PortAccess::Usable : probePort(devicePathOf(name), &reason);
        if (access != PortAccess::Missing) found.append({name, access, reason});
    }
    return found;
}

QStringList scanPorts() {
    QStringList usable;
    for (const ScannedPort& port : scanPortAccess())
        if (port.access == PortAccess::Usable) usable.append(port.name);
    return usable;
}
