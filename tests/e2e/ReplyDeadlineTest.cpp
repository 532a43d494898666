// Reply deadlines over a pseudo-terminal, on the program's time shared with the device: each
// deadline of both devices met to the millisecond and missed by one.
#include "DialogRecorder.h"
#include "LockstepClock.h"
#include "TestPorts.h"

#include "base/Clock.h"
#include "keys/KeyLink.h"
#include "link/Link.h"
#include "link/PortNames.h"
#include "sim/PtyDevice.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace {

// A device that answers the first request it gets with a script of pieces, each sent after its
// own pause (on the device's time). Its thread may first stall for a while of real time, as on a
// loaded machine.
class ScriptedDevice : public sim::PtyDevice {
  public:
    struct Piece {
        unsigned pauseMs;
        std::vector<uint8_t> bytes;
    };
    std::vector<Piece> script;
    bool answered = false;
    unsigned stallMs = 0;

  protected:
    void onBytes(const uint8_t*, size_t) override {
        if (answered) return;
        answered = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(stallMs));
        int64_t due = sim::nowUs();
        for (const Piece& piece : script) {
            due += static_cast<int64_t>(piece.pauseMs) * 1000;
            sendAt(due, piece.bytes);
        }
    }
};

// FA, L, status, echo, data, 16-bit sum of L .. last data byte.
std::vector<uint8_t> controlUnitReply(uint8_t status) {
    std::vector<uint8_t> frame{0xFA, 6, status, 0};
    const unsigned sum = 6 + status;
    frame.push_back(static_cast<uint8_t>(sum & 0xFF));
    frame.push_back(static_cast<uint8_t>(sum >> 8));
    return frame;
}

// FA, N, status 5, one data byte, the 8-bit sum of N .. data.
const std::vector<uint8_t> kKeyReply{0xFA, 4, 5, 0, 4 + 5};

class ReplyDeadline : public testing::Test {
  protected:
    void SetUp() override {
        Clock::setTerminating(false);
        ASSERT_TRUE(folder.isValid());
        setPortFolder(folder.path());
    }
    void TearDown() override {
        Link::ClosePort();
        device.stop();
        setPortFolder(EmptyPortFolder());
    }
    void start(std::vector<ScriptedDevice::Piece> script) {
        device.script = std::move(script);
        ASSERT_TRUE(device.start());
        ASSERT_TRUE(device.linkAs(folder.filePath("ttyS0").toStdString()));
        ASSERT_TRUE(Link::OpenPort("COM1"));
    }
    // One request written, then one receive of the control unit's reply.
    bool controlUnitReceive() {
        Link::SendFrame(QByteArray("\x02", 1));
        return Link::ReceiveFrame();
    }

    LockstepClock clock;
    DialogRecorder dialogs;
    QTemporaryDir folder;
    ScriptedDevice device;
};

// Each deadline met to the millisecond and missed by one, counted from the request on the
// program's time: the control unit's start and length bytes within 200 ms and the rest within
// 300 ms of the length byte; the key-programming device's start byte within 200 ms, its length
// byte within 1000 ms of it and the body within 300 ms of the length byte. A device thread that
// stalls for longer than a deadline of real time costs the program none of its time.
TEST_F(ReplyDeadline, EachDeviceDeadlineMetToTheMillisecondAndMissedByOne) {
    const auto unit = controlUnitReply(1);
    const std::vector<uint8_t> unitHead(unit.begin(), unit.begin() + 2),
        unitRest(unit.begin() + 2, unit.end());
    const std::vector<uint8_t> keyHead(kKeyReply.begin(), kKeyReply.begin() + 2),
        keyRest(kKeyReply.begin() + 2, kKeyReply.end()),
        keyAfterStart(kKeyReply.begin() + 1, kKeyReply.end());
    const std::vector<uint8_t> unitAfterStart(unit.begin() + 1, unit.end());
    struct Case {
        const char* what;
        bool keyDevice;
        std::vector<ScriptedDevice::Piece> script;
        bool received;
        unsigned stallMs = 0;
    } cases[] = {
        {"unit start byte at 200", false, {{200, unit}}, true},
        {"unit start byte at 201", false, {{201, unit}}, false},
        {"unit length byte at 200", false, {{0, {0xFA}}, {200, unitAfterStart}}, true},
        {"unit length byte at 201", false, {{0, {0xFA}}, {201, unitAfterStart}}, false},
        {"unit rest 300 after the length", false, {{0, unitHead}, {300, unitRest}}, true},
        {"unit rest 301 after the length", false, {{0, unitHead}, {301, unitRest}}, false},
        {"key start byte at 200", true, {{200, kKeyReply}}, true},
        {"key start byte at 201", true, {{201, kKeyReply}}, false},
        {"key length byte 1000 after the start", true, {{0, {0xFA}}, {1000, keyAfterStart}}, true},
        {"key length byte 1001 after the start", true, {{0, {0xFA}}, {1001, keyAfterStart}}, false},
        {"key body 300 after the length", true, {{0, keyHead}, {300, keyRest}}, true},
        {"key body 301 after the length", true, {{0, keyHead}, {301, keyRest}}, false},
        {"unit start byte at 200 from a thread stalled 400 ms", false, {{200, unit}}, true, 400},
        {"key start byte at 200 from a thread stalled 400 ms", true, {{200, kKeyReply}}, true, 400},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        device.stop();
        device.answered = false;
        device.stallMs = c.stallMs;
        start(c.script);
        const bool received = c.keyDevice ? KeyLink::SendKeyCommand(2, 0, 0, 0, 0, 1) : controlUnitReceive();
        EXPECT_EQ(received, c.received);
        if (received && !c.keyDevice) EXPECT_EQ(Link::R(1), 1);
        Link::ClosePort();
    }
    EXPECT_TRUE(dialogs.entries.empty()); // a reply cut short or late is refused silently
}

} // namespace
