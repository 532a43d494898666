// Both windows' port lists follow the adapters that come and go while the program runs.
#include "ProgramFixture.h"

#include "GridInput.h"

#include <QFile>
#include <pty.h>
#include <unistd.h>

namespace {

class PortLists : public ProgramOnDemoDevices {
  protected:
    void TearDown() override {
        ProgramOnDemoDevices::TearDown();
        for (int fd : fds_)
            close(fd);
    }
    // An adapter plugged in: a pseudo-terminal reachable as <port folder>/device.
    void plugIn(const char* device) {
        int master = -1;
        int slave = -1;
        char name[256] = {};
        ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
        fds_.push_back(master);
        fds_.push_back(slave);
        ASSERT_TRUE(QFile::link(QString::fromLocal8Bit(name), folder.filePath(QLatin1String(device))));
    }
    void unplug(const char* device) { ASSERT_TRUE(QFile::remove(folder.filePath(QLatin1String(device)))); }
    static void dropDown(QComboBox* list) {
        list->showPopup();
        list->hidePopup();
    }
    static QStringList itemsOf(const QComboBox* list) {
        QStringList items;
        for (int i = 0; i < list->count(); ++i)
            items.append(list->itemText(i));
        return items;
    }
    static bool enabledAt(const QComboBox* list, int i) {
        return list->model()->flags(list->model()->index(i, 0)) & Qt::ItemIsEnabled;
    }

    std::vector<int> fds_;
};

TEST_F(PortLists, EachListComesUpToDateWhenItDropsDownAndKeepsItsChoice) {
    ASSERT_NO_FATAL_FAILURE(connectToControlUnit()); // the program holds COM1 open
    const SerialLine* held = Link::port();
    const size_t unitFrames = devices.controlUnit.frames().size();
    const size_t keyFrames = devices.keyDevice.frames().size();

    plugIn("ttyUSB0"); // COM33
    plugIn("ttyS5");   // COM6
    unplug("ttyS1");   // COM2, the key-programming device
    for (QComboBox* list : {main->ComboBox1, keys->ComboBox1}) {
        dropDown(list);
        EXPECT_EQ(itemsOf(list), QStringList({"COM1", "COM6", "COM33"}));
        EXPECT_TRUE(enabledAt(list, 0)) << "the port the program holds counts as present and usable";
        EXPECT_EQ(list->itemData(2, Qt::ToolTipRole).toString(), folder.filePath("ttyUSB0"));
    }
    EXPECT_EQ(main->ComboBox1->currentText(), QStringLiteral("COM1"));
    EXPECT_EQ(keys->ComboBox1->currentIndex(), -1);

    unplug("ttyS5");
    dropDown(main->ComboBox1);
    EXPECT_EQ(itemsOf(main->ComboBox1), QStringList({"COM1", "COM33"}));
    EXPECT_EQ(main->ComboBox1->currentText(), QStringLiteral("COM1"));

    // Refreshing neither opened another port nor sent anything, and ran no handler.
    EXPECT_EQ(Link::port(), held);
    EXPECT_EQ(Link::heldPortName(), QStringLiteral("COM1"));
    EXPECT_EQ(devices.controlUnit.frames().size(), unitFrames);
    EXPECT_EQ(devices.keyDevice.frames().size(), keyFrames);
    EXPECT_EQ(main->ComboBox2->count(), 3);
    EXPECT_TRUE(dialogs.entries.empty()) << messages().toStdString();
}

TEST_F(PortLists, AHandOverAfterTheListsDifferedChoosesTheSamePort) {
    unplug("ttyS0"); // COM1 goes; the key window's list, not dropped down, still holds it
    dropDown(main->ComboBox1);
    ASSERT_EQ(itemsOf(main->ComboBox1), QStringList({"COM2"}));
    ASSERT_EQ(itemsOf(keys->ComboBox1), QStringList({"COM1", "COM2"}));

    QTest::keyClicks(main->Edit1, sim::DemoDevices::kAccessCode);
    chooseItem(main->ComboBox1, 0); // the key-programming device: the key window takes over
    ASSERT_TRUE(input::waitFor([&] { return keys->isVisible(); }, 5000));
    EXPECT_EQ(keys->ComboBox1->currentText(), QStringLiteral("COM2"));
    EXPECT_EQ(Link::heldPortName(), QStringLiteral("COM2"));
    EXPECT_TRUE(dialogs.entries.empty()) << messages().toStdString();
}

} // namespace
