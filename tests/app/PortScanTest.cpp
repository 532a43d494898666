#include "DialogRecorder.h"
#include "app/MainForm.h"
#include "link/PortNames.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <pty.h>
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
}

TEST(PortNames, TheFolderIsSettable) {
    setPortFolder(QStringLiteral("/tmp/ports/"));
    EXPECT_EQ(devicePathOf(QStringLiteral("COM33")), QStringLiteral("/tmp/ports/ttyUSB0"));
    setPortFolder(QStringLiteral("/tmp/ports"));
    EXPECT_EQ(portFolder(), QStringLiteral("/tmp/ports"));
    EXPECT_EQ(devicePathOf(QStringLiteral("COM2")), QStringLiteral("/tmp/ports/ttyS1"));
    setPortFolder(QStringLiteral("/dev"));
}

// A folder standing in for /dev: links named like serial devices, pointing at pseudo-terminals.
class PortFolder : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(folder_.isValid());
        setPortFolder(folder_.path());
    }
    void TearDown() override {
        setPortFolder(QStringLiteral("/dev"));
        for (int fd : fds_)
            close(fd);
    }

    // A pseudo-terminal reachable as folder/device.
    void addTerminal(const char* device) {
        int master = -1;
        int slave = -1;
        char name[256] = {};
        ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
        fds_.push_back(master);
        fds_.push_back(slave);
        ASSERT_TRUE(QFile::link(QString::fromLocal8Bit(name), folder_.filePath(QLatin1String(device))));
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

} // namespace
