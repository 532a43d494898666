#include "link/PortNames.h"

#include <QFile>
#include <QSerialPort>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

// A port is a device file, found by the fixed rule from its name, held by other programs through
// lock files or exclusive mode.

namespace {

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

// The toolkit's open: it also respects the lock files by which other programs hold ports. Refused,
// the port is held by another program only when a live process holds its lock file; otherwise the
// toolkit's reason (a lock folder the user may not write, line settings the device refuses) is kept.
// The port's line settings can be read: the check that tells a serial device from any other file
// that happens to open.
PortAccess toolkitOpen(const QString& devicePath, QString* reason) {
    QSerialPort port;
    port.setPortName(devicePath);
    if (port.open(QIODevice::ReadWrite)) {
        termios settings{};
        return tcgetattr(static_cast<int>(port.handle()), &settings) == 0 ? PortAccess::Usable
                                                                          : PortAccess::Missing;
    }
    if (lockedByLiveProcess(devicePath)) return PortAccess::Busy;
    if (reason) *reason = port.errorString();
    return PortAccess::Unavailable;
}

// Tries the device as the port scan does: opens it and closes it again at once.
PortAccess probePort(const QString& devicePath, QString* reason) {
    if (!portOpenAllowed(devicePath)) return PortAccess::Missing;
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
}

} // namespace

const int kLastPortNumber = 128;

QString devicePathOf(const QString& portName) {
    const int n = portNumberOf(portName);
    if (n == 0) return QString();
    static const char* const families[] = {"ttyS", "ttyUSB", "ttyACM", "ttyAMA"};
    const int index = n - 1;
    const QString device = QLatin1String(families[index / 32]) + QString::number(index % 32);
    const QString folder = portFolder();
    if (folder.isEmpty() || folder.endsWith(u'/')) return folder + device;
    return folder + u'/' + device;
}

QList<ScannedPort> scanPortAccess(const QString& heldPort) {
    QList<ScannedPort> found;
    for (int n = 1; n <= kLastPortNumber; ++n) {
        const QString name = QStringLiteral("COM%1").arg(n);
        QString reason;
        const PortAccess access =
            name == heldPort ? PortAccess::Usable : probePort(devicePathOf(name), &reason);
        if (access != PortAccess::Missing) found.append({name, access, reason});
    }
    return found;
}

PortAccess refusalOf(const QSerialPort& port, QString* reason) {
    // The toolkit reports a busy device (EBUSY), one the user may not open and a port locked by
    // another program all as a permission error; the lock file and errno tell them apart.
    const int error = errno;
    switch (port.error()) {
    case QSerialPort::DeviceNotFoundError:
        return PortAccess::Missing;
    case QSerialPort::PermissionError:
        if (lockedByLiveProcess(port.portName()) || error == EBUSY) return PortAccess::Busy;
        if (error == EACCES || error == EPERM) return PortAccess::NoPermission;
        break;
    default:
        break;
    }
    if (reason) *reason = port.errorString();
    return PortAccess::Unavailable;
}

// The scan tries every port and lists it as it finds it.
void noteOpenAttempt(const QString&, PortAccess) {}
