#include "DialogRecorder.h"
#include "TestPorts.h"
#include "Unprivileged.h"
#include "app/MainForm.h"
#include "link/Link.h"
#include "link/PortList.h"
#include "link/PortNames.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSerialPort>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <pty.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct PathCase {
    const char* port;
    const char* device; // empty: no device
};

TEST(PortNames, EachNameMapsToOneDeviceOfItsFamily) {
    setPortFolder(QStringLiteral("/dev"));
    const PathCase cases[] = {
        {"COM1", "/dev/ttyS0"},
        {"COM9", "/dev/ttyS8"},
        {"COM32", "/dev/ttyS31"},
        {"COM33", "/dev/ttyUSB0"},
        {"COM64", "/dev/ttyUSB31"},
        {"COM65", "/dev/ttyACM0"},
        {"COM96", "/dev/ttyACM31"},
        {"COM97", "/dev/ttyAMA0"},
        {"COM128", "/dev/ttyAMA31"},
        {"COM0", ""},
        {"COM129", ""},
        {"COM", ""},
        {"COM01", ""},
        {"COM1x", ""},
        {"com1", ""},
        {" COM1", ""},
        {"COM-1", ""},
        {"", ""},
    };
    for (const PathCase& c : cases)
        EXPECT_EQ(devicePathOf(QLatin1String(c.port)), QLatin1String(c.device)) << c.port;
    setPortFolder(EmptyPortFolder());
}

TEST(PortNames, TheFolderIsSettable) {
    setPortFolder(QStringLiteral("/tmp/ports/"));
    EXPECT_EQ(devicePathOf(QStringLiteral("COM33")), QStringLiteral("/tmp/ports/ttyUSB0"));
    setPortFolder(QStringLiteral("/tmp/ports"));
    EXPECT_EQ(portFolder(), QStringLiteral("/tmp/ports"));
    EXPECT_EQ(devicePathOf(QStringLiteral("COM2")), QStringLiteral("/tmp/ports/ttyS1"));
    setPortFolder(EmptyPortFolder());
}

// A folder standing in for /dev: links named like serial devices, pointing at pseudo-terminals.
class PortFolder : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(folder_.isValid());
        setPortFolder(folder_.path());
    }
    void TearDown() override {
        setPortFolder(EmptyPortFolder());
        for (int fd : fds_)
            close(fd);
    }

    // A pseudo-terminal reachable as folder/device; the terminal's own device path.
    std::string addTerminal(const char* device) {
        int master = -1;
        int slave = -1;
        char name[256] = {};
        EXPECT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
        fds_.push_back(master);
        fds_.push_back(slave);
        EXPECT_TRUE(QFile::link(QString::fromLocal8Bit(name), folder_.filePath(QLatin1String(device))));
        return name;
    }
    void addPlainFile(const char* device) {
        QFile file(folder_.filePath(QLatin1String(device)));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("not a terminal");
    }
    void addDanglingLink(const char* device) {
        ASSERT_TRUE(
            QFile::link(folder_.filePath(QStringLiteral("gone")), folder_.filePath(QLatin1String(device))));
    }
    static int openDescriptors() { return static_cast<int>(QDir(QStringLiteral("/proc/self/fd")).count()); }

    QTemporaryDir folder_;
    std::vector<int> fds_;
};

TEST_F(PortFolder, ListsOnlyTerminalsThatOpenInNumberOrder) {
    addTerminal("ttyS2");  // COM3
    addTerminal("ttyS0");  // COM1
    addPlainFile("ttyS1"); // opens, but has no line settings
    addDanglingLink("ttyS3");
    addTerminal("ttyUSB4");  // COM37
    addTerminal("ttyAMA31"); // COM128
    addTerminal("ttyAMA32"); // would be COM129
    EXPECT_EQ(scanPorts(), QStringList({"COM1", "COM3", "COM37", "COM128"}));
}

TEST_F(PortFolder, EveryPortOpenedIsClosedAgain) {
    addTerminal("ttyS0");
    addPlainFile("ttyS1");
    const int before = openDescriptors();
    EXPECT_EQ(scanPorts(), QStringList({"COM1"}));
    EXPECT_EQ(openDescriptors(), before);
    // A port left open would be held exclusively and missing from a second scan.
    EXPECT_EQ(scanPorts(), QStringList({"COM1"}));
}

TEST_F(PortFolder, AnEmptyFolderGivesAnEmptyList) {
    EXPECT_TRUE(scanPorts().isEmpty());
}

TEST_F(PortFolder, TheWindowListsPortsWithTheirDevicesAndChoosesNone) {
    addTerminal("ttyS0");
    addTerminal("ttyS2");
    DialogRecorder dialogs;
    TForm1 form;
    ASSERT_EQ(form.ComboBox1->count(), 2);
    EXPECT_EQ(form.ComboBox1->itemText(0), QStringLiteral("COM1"));
    EXPECT_EQ(form.ComboBox1->itemText(1), QStringLiteral("COM3"));
    EXPECT_EQ(form.ComboBox1->itemData(0, Qt::ToolTipRole).toString(),
              folder_.filePath(QStringLiteral("ttyS0")));
    EXPECT_EQ(form.ComboBox1->itemData(1, Qt::ToolTipRole).toString(),
              folder_.filePath(QStringLiteral("ttyS2")));
    EXPECT_EQ(form.ComboBox1->currentIndex(), -1);
    EXPECT_TRUE(dialogs.entries.empty());
}

static QStringList itemsOf(const QComboBox& list) {
    QStringList items;
    for (int i = 0; i < list.count(); ++i)
        items.append(list.itemText(i));
    return items;
}

static bool enabledAt(const QComboBox& list, int i) {
    return list.model()->flags(list.model()->index(i, 0)) & Qt::ItemIsEnabled;
}

TEST_F(PortFolder, APortHeldByAnotherProgramIsGreyedOutWithItsReasonAndCannotBeChosen) {
    addTerminal("ttyAMA20"); // COM117
    addTerminal("ttyAMA21");
    addTerminal("ttyAMA22");
    QSerialPort other;
    other.setPortName(folder_.filePath(QStringLiteral("ttyAMA21")));
    ASSERT_TRUE(other.open(QIODevice::ReadWrite));

    PortComboBox list;
    fillPortList(&list);
    ASSERT_EQ(itemsOf(list), QStringList({"COM117", "COM118", "COM119"}));
    EXPECT_TRUE(enabledAt(list, 0));
    EXPECT_FALSE(enabledAt(list, 1));
    EXPECT_TRUE(enabledAt(list, 2));
    EXPECT_EQ(list.itemData(1, Qt::ToolTipRole).toString(),
              folder_.filePath(QStringLiteral("ttyAMA21")) + QStringLiteral(" занят другой программой"));
    EXPECT_EQ(list.currentIndex(), -1);
    // Dropped down with a usable port current, a click on the greyed one chooses nothing: the
    // toolkit's list would take the click for its current item.
    QSignalSpy chosen(&list, &QComboBox::activated);
    list.showPopup();
    list.view()->setCurrentIndex(list.model()->index(0, 0));
    const QPoint greyed = list.view()->visualRect(list.model()->index(1, 0)).center();
    QTest::mouseClick(list.view()->viewport(), Qt::LeftButton, {}, greyed);
    EXPECT_EQ(chosen.count(), 0);
    EXPECT_EQ(list.currentIndex(), -1);
    list.hidePopup();
    list.setCurrentIndex(0);
    QTest::keyClick(&list, Qt::Key_Down); // passes over the greyed port
    EXPECT_EQ(list.currentText(), QStringLiteral("COM119"));

    other.close();
    list.showPopup();
    list.hidePopup();
    EXPECT_TRUE(enabledAt(list, 1));
    EXPECT_EQ(list.itemData(1, Qt::ToolTipRole).toString(), folder_.filePath(QStringLiteral("ttyAMA21")));
    EXPECT_EQ(list.currentText(), QStringLiteral("COM119"));

    setPortFolder(QStringLiteral("/dev"));
    EXPECT_EQ(portItemLook({QStringLiteral("COM33"), PortAccess::NoPermission}).hint,
              QStringLiteral("Нет доступа к /dev/ttyUSB0: добавьте пользователя в группу dialout и войдите в "
                             "систему заново"));
    // Where the system names the device (Windows lists ports so), the hint says it after the port.
    EXPECT_EQ(portItemLook({QStringLiteral("COM33"), PortAccess::Usable, {}, QStringLiteral("USB-SERIAL CH340")})
                  .hint,
              QStringLiteral("/dev/ttyUSB0 — USB-SERIAL CH340"));
}

// A terminal that opens plainly but not as a port: held by another program only when a live process
// holds its lock file (in Debian's lock folder); a folder in the lock file's place, which no program
// holds, greys it out with the reason instead.
TEST_F(PortFolder, APortIsSaidToBeHeldOnlyWhenAnotherProgramHoldsIt) {
    addTerminal("ttyAMA20"); // COM117
    const QString device = folder_.filePath(QStringLiteral("ttyAMA20"));
    if (!QFileInfo(QStringLiteral("/var/lock")).isWritable()) GTEST_SKIP() << "no lock folder to write";
    const QString lock = QStringLiteral("/var/lock/LCK..") + QString(device).replace(u'/', u'_');
    QLockFile held(lock);
    const std::pair<std::function<void()>, QString> cases[] = {
        {[&] { ASSERT_TRUE(QDir().mkdir(lock)); }, QStringLiteral("Не удалось открыть %1: ").arg(device)},
        {[&] { ASSERT_TRUE(held.tryLock()); }, QStringLiteral("%1 занят другой программой").arg(device)},
    };
    for (const auto& [hold, hint] : cases) {
        hold();
        const QList<ScannedPort> ports = scanPortAccess();
        QDir().rmdir(lock);
        held.unlock();
        ASSERT_EQ(ports.size(), 1);
        const PortItemLook look = portItemLook(ports[0]);
        EXPECT_FALSE(look.enabled);
        EXPECT_TRUE(look.hint.startsWith(hint) && !look.hint.endsWith(u' ')) << look.hint.toStdString();
    }
}

TEST_F(PortFolder, ADeviceTheUserMayNotOpenIsListedGreyedWithTheRemedy) {
    ASSERT_EQ(chmod(QFile::encodeName(folder_.path()).constData(), 0755), 0);
    const std::string allowed = addTerminal("ttyAMA20"); // COM117
    const std::string denied = addTerminal("ttyAMA21");  // COM118
    ASSERT_EQ(chown(allowed.c_str(), static_cast<uid_t>(UnprivilegedUid()), static_cast<gid_t>(-1)), 0);
    ASSERT_EQ(chmod(allowed.c_str(), 0600), 0);
    ASSERT_EQ(chmod(denied.c_str(), 0), 0);
    const QString deniedHint =
        QStringLiteral("Нет доступа к %1: добавьте пользователя в группу dialout и войдите "
                       "в систему заново")
            .arg(folder_.filePath(QStringLiteral("ttyAMA21")));

    const UnprivilegedRun run = RunUnprivileged([&] {
        const QList<ScannedPort> ports = scanPortAccess();
        if (ports.size() != 2) return false;
        const PortItemLook look = portItemLook(ports[1]);
        return ports[0].name == QStringLiteral("COM117") && ports[0].access == PortAccess::Usable &&
               portItemLook(ports[0]).enabled && ports[1].name == QStringLiteral("COM118") &&
               ports[1].access == PortAccess::NoPermission && !look.enabled && look.hint == deniedHint;
    });
    if (!run.ran) GTEST_SKIP() << "no unprivileged user to try the ports as: " << run.reason;
    EXPECT_TRUE(run.passed);
}

// The test start keeps every test off the machine's serial devices: an open of one, by the scan or for
// use, directly or through a link in a test's folder, fails the test and reaches nothing.
TEST_F(PortFolder, AnOpenOfAPortOfTheMachineFailsTheTest) {
    DialogRecorder dialogs;
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/ttyS0"), folder_.filePath(QStringLiteral("ttyS1"))));
    const struct {
        const char* name;
        QString folder;
        std::function<bool()> opens;
        int failures;
    } cases[] = {
        {"the scan", QStringLiteral("/dev"), [] { return !scanPortAccess().isEmpty(); }, 128},
        {"the open for use", QStringLiteral("/dev"), [] { return Link::OpenPort(QStringLiteral("COM1")); },
         1},
        {"a link to the machine's port", folder_.path(),
         [] { return Link::OpenPort(QStringLiteral("COM2")); }, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        setPortFolder(c.folder);
        testing::TestPartResultArray failures;
        bool opened = true;
        {
            const testing::ScopedFakeTestPartResultReporter intercept(
                testing::ScopedFakeTestPartResultReporter::INTERCEPT_ONLY_CURRENT_THREAD, &failures);
            opened = c.opens();
        }
        EXPECT_FALSE(opened);
        ASSERT_EQ(failures.size(), c.failures);
        const std::string message = failures.GetTestPartResult(0).message();
        EXPECT_NE(message.find("the machine's own port"), std::string::npos) << message;
    }
}

} // namespace
