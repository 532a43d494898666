// The lockstep clock of the tests on its own: actions at a moment of the program's time and on a
// condition, waits on the line that wake when a device sends, and a device that stops working.
#include "DialogRecorder.h"
#include "LockstepClock.h"
#include "TestPorts.h"

#include "base/Clock.h"
#include "link/Link.h"
#include "link/PortNames.h"
#include "link/SerialLine.h"
#include "sim/PtyDevice.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <thread>

namespace {

// Answers whatever the program writes with one byte, replyAfterUs later on the device's time; or,
// stalling, never gets done with what it was given.
class AnsweringDevice : public sim::PtyDevice {
  public:
    ~AnsweringDevice() override { stop(); }
    std::atomic<int64_t> replyAfterUs{0};
    std::atomic<bool> stalls{false};
    std::atomic<bool> released{false};

  protected:
    void onBytes(const uint8_t*, size_t) override {
        while (stalls && !released)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        sendAt(sim::nowUs() + replyAfterUs, {0x5A});
    }
};

class LockstepClockTest : public testing::Test {
  protected:
    void SetUp() override {
        Clock::setTerminating(false);
        ASSERT_TRUE(folder.isValid());
        clock = std::make_unique<LockstepClock>();
        ASSERT_TRUE(device.start());
        ASSERT_TRUE(device.linkAs(folder.filePath("ttyS0").toStdString()));
        setPortFolder(folder.path());
        ASSERT_TRUE(Link::OpenPort(QStringLiteral("COM1")));
    }
    void TearDown() override {
        device.released = true;
        Link::ClosePort();
        device.stop();
        clock.reset();
        setPortFolder(EmptyPortFolder());
    }
    // A clock of its own; the one before gives the program back first.
    void fresh(unsigned settleCapMs = LockstepClock::kSettleCapMs) {
        clock.reset();
        clock = std::make_unique<LockstepClock>(settleCapMs);
    }
    // Microseconds of the program's time since `since`.
    static int64_t usSince(uint64_t since) { return static_cast<int64_t>(Clock::micros() - since); }
    static void writeByte() {
        const uint8_t b = 0x01;
        ASSERT_TRUE(Link::port()->write(&b, 1));
    }

    DialogRecorder dialogs; // a port that does not open says so in a message
    QTemporaryDir folder;
    std::unique_ptr<LockstepClock> clock;
    AnsweringDevice device;
};

// Each action or watch runs once, at the first event pump at or after its moment (for a watch: that
// finds its condition true); a pause stops at the moment of an action, a plain sleep pumps nothing.
TEST_F(LockstepClockTest, ActionsAndWatchesRunOnceAtTheirMoment) {
    struct Case {
        const char* what;
        std::function<void(LockstepClock&, std::function<void()> ran)> arrange;
        std::function<void()> wait;
        std::vector<int64_t> ranAtMs;
    };
    bool flag = false;
    const Case cases[] = {
        {"an action within a pause runs at its moment",
         [](LockstepClock& c, auto ran) { c.at(30, ran); },
         [] { Link::WaitMs(100); },
         {30}},
        {"an action after the pause is still waiting when the pause ends",
         [](LockstepClock& c, auto ran) { c.at(150, ran); },
         [] { Link::WaitMs(100); },
         {}},
        {"and runs in the next pause that reaches it",
         [](LockstepClock& c, auto ran) { c.at(150, ran); },
         [] {
             Link::WaitMs(100);
             Link::WaitMs(100);
         },
         {150}},
        {"a plain sleep pumps no events: the action runs at the next pump",
         [](LockstepClock& c, auto ran) { c.at(30, ran); },
         [] {
             Clock::sleepMs(100);
             Clock::pumpEvents();
         },
         {100}},
        {"an action that waits in turn is not run again inside its own wait",
         [](LockstepClock& c, auto ran) {
             c.at(10, [ran] {
                 ran();
                 Link::WaitMs(50);
             });
         },
         [] { Link::WaitMs(100); },
         {10}},
        {"a watch runs at the first pump that finds its condition true, once",
         [&flag](LockstepClock& c, auto ran) {
             c.at(40, [&flag] { flag = true; });
             c.when([&flag] { return flag; }, ran);
         },
         [] {
             Link::WaitMs(100);
             Link::WaitMs(100);
         },
         {40}},
        {"a watch whose condition never holds never runs",
         [](LockstepClock& c, auto ran) { c.when([] { return false; }, ran); },
         [] { Link::WaitMs(100); },
         {}},
    };
    for (const Case& c : cases) {
        fresh(); // nothing left over from the case before
        flag = false;
        const uint64_t start = Clock::micros();
        std::vector<int64_t> ranAtMs;
        c.arrange(*clock, [&] { ranAtMs.push_back(usSince(start) / 1000); });
        c.wait();
        EXPECT_EQ(ranAtMs, c.ranAtMs) << c.what;
    }
    fresh();
}

// A wait on the line ends at the moment the device's bytes arrive; a plain 1 ms sleep is not cut
// short by them.
TEST_F(LockstepClockTest, WaitsOnTheLineWakeWhenTheDeviceSends) {
    struct Case {
        const char* what;
        int64_t replyAfterUs;
        bool onTheLine; // Clock::waitOn, else Clock::sleep1
    };
    const Case cases[] = {
        {"a reply at once", 0, true},
        {"a reply within the millisecond", 400, true},
        {"a reply 30.4 ms later", 30'400, true},
        {"a reply 2 s later", 2'000'000, true},
        {"a reply 30.4 ms later, found by 1 ms sleeps", 30'400, false},
    };
    for (const Case& c : cases) {
        device.replyAfterUs = c.replyAfterUs;
        const uint64_t start = Clock::micros();
        writeByte();
        uint8_t b = 0;
        int waits = 0;
        while (Link::port()->read(&b, 1) == 0 && waits++ < 5000) {
            if (c.onTheLine)
                Clock::waitOn(*Link::port());
            else
                Clock::sleep1();
        }
        const int64_t due = static_cast<int64_t>(start) + c.replyAfterUs;
        const int64_t expected = c.onTheLine ? due : (due + 999) / 1000 * 1000; // the tick after it
        EXPECT_EQ(b, 0x5A) << c.what;
        EXPECT_EQ(static_cast<int64_t>(Clock::micros()), expected) << c.what;
    }
}

// A device that stops working fails its test once, naming the device, in about the time a catch-up
// may take, however many waits follow: the clock no longer waits for the devices.
TEST_F(LockstepClockTest, ADeviceThatStallsFailsTheTestOnceAndSoon) {
    constexpr unsigned kCapMs = 300;
    fresh(kCapMs);
    device.stalls = true;
    writeByte();
    const std::string name = device.slavePath();
    QElapsedTimer real;
    real.start();
    EXPECT_NONFATAL_FAILURE(
        {
            for (int wait = 0; wait < 40; ++wait)
                Link::WaitMs(10);
        },
        name);
    EXPECT_LT(real.elapsed(), kCapMs + 2000) << "the waits after the first catch-up cost real time";
}

} // namespace
