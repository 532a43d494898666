// The serial-port lock files of a test process that ends without closing its ports: the watchdog's
// end and a forked child's end remove exactly the lock files of the process that ends.
#include "DialogRecorder.h"
#include "SerialLocks.h"
#include "TestPorts.h"
#include "Unprivileged.h"
#include "link/Link.h"
#include "link/PortNames.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSerialPort>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// A pseudo-terminal linked into the folder under the given name, as a port device.
class LinkedTerminal {
  public:
    LinkedTerminal(const QString& folder, const QString& name) : path_(folder + "/" + name) {
        char slave[128];
        if (openpty(&master_, &slave_, slave, nullptr, nullptr) != 0) return;
        chmod(slave, 0666); // an unprivileged child may open it too
        ok_ = QFile::link(QString::fromLocal8Bit(slave), path_);
    }
    ~LinkedTerminal() {
        if (master_ >= 0) close(master_);
        if (slave_ >= 0) close(slave_);
    }
    bool ok() const { return ok_; }
    const QString& path() const { return path_; }

  private:
    int master_ = -1, slave_ = -1;
    bool ok_ = false;
    QString path_;
};

// Whether the lock file of the device at path is in any of the folders the port may lock in.
bool lockFileExists(const QString& devicePath) {
    QString name = devicePath;
    name.replace('/', '_');
    for (const char* folder : {"/var/lock", "/etc/locks", "/var/spool/locks", "/var/spool/uucp", "/tmp",
                               "/var/tmp", "/var/lock/lockdev", "/run/lock"})
        if (QFileInfo::exists(QString::fromLatin1(folder) + "/LCK.." + name)) return true;
    return false;
}

TEST(SerialLocks, WatchdogEndRemovesOnlyTheEndingProcesssLocks) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    LinkedTerminal childs(folder.path(), "ttyS0"), parents(folder.path(), "ttyS1");
    ASSERT_TRUE(childs.ok() && parents.ok());
    QSerialPort held(parents.path());
    ASSERT_TRUE(held.open(QIODevice::ReadWrite));
    ASSERT_TRUE(lockFileExists(parents.path()));

    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        auto* port = new QSerialPort(childs.path()); // never closed: the watchdog ends the process
        if (!port->open(QIODevice::ReadWrite) || !lockFileExists(childs.path())) _exit(4);
        std::raise(SIGALRM);
        _exit(5);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 3) << "the watchdog's exit code";
    EXPECT_FALSE(lockFileExists(childs.path()));
    EXPECT_TRUE(lockFileExists(parents.path())) << "another process's lock stays";
    held.close();
    EXPECT_FALSE(lockFileExists(parents.path()));
}

// The test process locks its ports in a folder of its own laid over the machine's: the machine's
// namespace has no lock of the test's, and the test's folder does not cover the machine's there.
TEST(SerialLocks, ATestsPortLocksStayOutOfTheMachinesLockFolder) {
    const QString own = QString::fromLocal8Bit(OwnLockFolder());
    if (own.isEmpty()) GTEST_SKIP() << "no lock folder of its own here: the tests lock in the machine's";
    const QString machines = QString::fromLocal8Bit(MachinesLockFolder());
    ASSERT_TRUE(QFileInfo(machines).isDir()) << machines.toStdString();
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    LinkedTerminal terminal(folder.path(), "ttyS0");
    ASSERT_TRUE(terminal.ok());
    QSerialPort port(terminal.path());
    ASSERT_TRUE(port.open(QIODevice::ReadWrite));
    const QString lock = QStringLiteral("/LCK..") + QString(terminal.path()).replace('/', '_');
    EXPECT_TRUE(QFileInfo::exists(own + lock));
    EXPECT_FALSE(QFileInfo::exists(machines + lock));
}

TEST(SerialLocks, ForkedChildThatLeavesThePortOpenLeavesNoLock) {
    DialogRecorder dialogs;
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    ASSERT_TRUE(QFile::setPermissions(folder.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                                         QFile::ReadOther | QFile::ExeOther));
    LinkedTerminal terminal(folder.path(), "ttyS0");
    ASSERT_TRUE(terminal.ok());
    setPortFolder(folder.path());

    const UnprivilegedRun run = RunUnprivileged([] { return Link::OpenPort(QStringLiteral("COM1")); });

    setPortFolder(EmptyPortFolder());
    if (!run.ran) GTEST_SKIP() << run.reason;
    EXPECT_TRUE(run.passed) << "the child opened the port";
    EXPECT_FALSE(lockFileExists(terminal.path()));
}

} // namespace
