// The port going back from the key programmer window to the main window: afterwards the hidden key
// window keeps off the line, and nothing left over from the key-programming device sends the port
// over again.
#include "ProgramFixture.h"

#include <QAction>
#include <QTimer>
#include <functional>
#include <random>

namespace {

using input::clickCell;
using input::waitFor;

using HandBack = ProgramOnDemoDevices;

// A request of the key programmer's own kind: nine bytes, N = 7, command 2 or 3.
bool isKeyDeviceRequest(const sim::ControlUnitSim::Frame& frame) {
    return frame.bytes.size() == 9 && frame.bytes[1] == 7 && (frame.bytes[2] == 2 || frame.bytes[2] == 3);
}

// The key-programming device stops answering just after it reported a touched key: the refresh that
// follows finds nothing and, because the control unit granted access earlier, hands the port back to
// the main window. The hidden key window must then stay off the line: every command of the main
// window starts, whenever it is given.
TEST_F(HandBack, HiddenKeyWindowNeverListensOnTheMainWindowsPort) {
    ASSERT_NO_FATAL_FAILURE(connectToControlUnit());
    devices.controlUnit.clearFrames();
    // A key window that listened would hold the line at almost any moment.
    keys->Timer1->setInterval(10);
    chooseItem(main->ComboBox1, 1);
    ASSERT_TRUE(keys->isVisible());
    clickCell(keys->StringGrid1, 2, 2);
    keys->Button3Click();
    ASSERT_TRUE(keys->Panel1->isVisible());
    for (int command : {0, 2}) {
        sim::KeyDeviceSim::Fault silent;
        silent.command = command;
        silent.silent = true;
        silent.times = -1;
        devices.keyDevice.addFault(silent);
    }
    devices.keyDevice.touchNewKey();
    ASSERT_TRUE(waitFor([&] { return main->isVisible() && !keys->isVisible(); }, 15000));
    EXPECT_FALSE(keys->Timer1->isActive());
    EXPECT_EQ(messages(), "Нет ответа"); // the main window's access step on the silent device

    std::mt19937 random(20261207);
    const std::function<void()> commands[] = {
        [&] { chooseItem(main->ComboBox1, 0); },                               // the control unit's port
        [&] { chooseItem(main->ComboBox2, 1); }, [&] { main->N7->trigger(); }, // "Прочитать"
        [&] { main->N6->trigger(); }, // "Запрограммировать"
    };
    int given = 0;
    int started = 0;
    for (int round = 0; round < 2; ++round) {
        for (const auto& command : commands) {
            bool ran = false;
            QTimer::singleShot(static_cast<int>(random() % 40), main, [&] {
                const size_t accessRequests = devices.controlUnit.framesOf(0).size();
                command();
                if (devices.controlUnit.framesOf(0).size() > accessRequests) ++started;
                ran = true;
            });
            ++given;
            ASSERT_TRUE(waitFor([&] { return ran; }, 20000));
        }
    }
    EXPECT_EQ(started, given);
    EXPECT_EQ(main->ComboBox2->currentIndex(), 1);
    for (const auto& frame : devices.controlUnit.frames())
        EXPECT_FALSE(isKeyDeviceRequest(frame));
    EXPECT_FALSE(keys->Timer1->isActive());
}

// After a hand-over and "МПК" back, the key-programming device's port can no longer be opened:
// choosing it again fails as any port that does not open, and does not hand over.
TEST_F(HandBack, PortThatNoLongerOpensAfterGoingBackIsNotHandedOverAgain) {
    QTest::keyClicks(main->Edit1, sim::DemoDevices::kAccessCode);
    chooseItem(main->ComboBox1, 1);
    ASSERT_TRUE(keys->isVisible());
    keys->N5->trigger(); // "МПК"
    ASSERT_TRUE(waitFor([&] { return main->isVisible() && !keys->isVisible(); }, 3000));
    dialogs.clear();
    devices.keyDevice.stop(); // unplugged

    chooseItem(main->ComboBox1, 1);

    EXPECT_EQ(messages(), "Not open COM2 | Нет ответа");
    EXPECT_TRUE(main->isVisible());
    EXPECT_FALSE(keys->isVisible());
    EXPECT_EQ(main->ComboBox1->currentIndex(), -1);
}

// With access granted earlier by a control unit, a key-programming device that answers the access
// step but none of its table reads looks like a control unit to the key window and like the key
// device to the main window. The port goes over and back once, then stays with the key window,
// which reports that the device does not answer.
TEST_F(HandBack, DeviceThatBothWindowsHandBackIsNotPassedToAndFroForever) {
    ASSERT_NO_FATAL_FAILURE(connectToControlUnit());
    sim::KeyDeviceSim::Fault silent;
    silent.command = 2; // the table reads
    silent.silent = true;
    silent.times = -1;
    devices.keyDevice.addFault(silent);

    chooseItem(main->ComboBox1, 1);

    EXPECT_TRUE(keys->isVisible());
    EXPECT_FALSE(main->isVisible());
    EXPECT_EQ(messages(), "Нет ответа");
    EXPECT_EQ(keys->ComboBox1->currentIndex(), -1);
    EXPECT_EQ(devices.keyDevice.framesOf(0).size(), 2 * 3u) << "one access step (three tries) per window";
}

} // namespace
