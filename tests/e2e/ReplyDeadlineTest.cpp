// Reply deadlines in real time over a pseudo-terminal: replies delivered clearly inside and clearly
// outside each deadline of both devices. The margins (70 ms or more on each side) keep the cases
// apart on a busy two-core machine.
#include "DialogRecorder.h"
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
// own pause.
class ScriptedDevice : public sim::PtyDevice {
  public:
    struct Piece {
        unsigned pauseMs;
        std::vector<uint8_t> bytes;
    };
    std::vector<Piece> script;

  protected:
    void onBytes(const uint8_t*, size_t) override {
        if (answered_) return;
        answered_ = true;
        for (const Piece& piece : script) {
            std::this_thread::sleep_for(std::chrono::milliseconds(piece.pauseMs));
            send(piece.bytes);
        }
    }

  private:
    bool answered_ = false;
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

    DialogRecorder dialogs;
    QTemporaryDir folder;
    ScriptedDevice device;
};

// The start byte and the length byte within 200 ms.
TEST_F(ReplyDeadline, ControlUnitStartByteInside) {
    start({{130, controlUnitReply(1)}});
    EXPECT_TRUE(controlUnitReceive());
    EXPECT_EQ(Link::R(1), 1);
}

TEST_F(ReplyDeadline, ControlUnitStartByteOutside) {
    start({{290, controlUnitReply(1)}});
    EXPECT_FALSE(controlUnitReceive());
}

TEST_F(ReplyDeadline, ControlUnitLengthByteOutsideTheSameDeadline) {
    start({{0, {0xFA}}, {290, {6, 1, 0, 7, 0}}});
    EXPECT_FALSE(controlUnitReceive());
}

// The rest of the frame within 300 ms of the length byte.
TEST_F(ReplyDeadline, ControlUnitRestInside) {
    const auto reply = controlUnitReply(1);
    start({{0, {reply.begin(), reply.begin() + 2}}, {180, {reply.begin() + 2, reply.end()}}});
    EXPECT_TRUE(controlUnitReceive());
}

TEST_F(ReplyDeadline, ControlUnitRestOutside) {
    const auto reply = controlUnitReply(1);
    start({{0, {reply.begin(), reply.begin() + 2}}, {450, {reply.begin() + 2, reply.end()}}});
    EXPECT_FALSE(controlUnitReceive());
    EXPECT_TRUE(dialogs.entries.empty()); // a frame cut short is refused silently
}

// The key-programming device: start byte within 200 ms, the length byte within 1000 ms of it, the
// body within 300 ms of the length byte.
TEST_F(ReplyDeadline, KeyDeviceStartByte) {
    start({{130, kKeyReply}});
    EXPECT_TRUE(KeyLink::SendKeyCommand(2, 0, 0, 0, 0, 1));
}

TEST_F(ReplyDeadline, KeyDeviceStartByteOutside) {
    start({{290, kKeyReply}});
    EXPECT_FALSE(KeyLink::SendKeyCommand(2, 0, 0, 0, 0, 1));
}

TEST_F(ReplyDeadline, KeyDeviceLengthByteInside) {
    start({{0, {0xFA}}, {800, {kKeyReply.begin() + 1, kKeyReply.end()}}});
    EXPECT_TRUE(KeyLink::SendKeyCommand(2, 0, 0, 0, 0, 1));
}

TEST_F(ReplyDeadline, KeyDeviceLengthByteOutside) {
    start({{0, {0xFA}}, {1300, {kKeyReply.begin() + 1, kKeyReply.end()}}});
    EXPECT_FALSE(KeyLink::SendKeyCommand(2, 0, 0, 0, 0, 1));
}

TEST_F(ReplyDeadline, KeyDeviceBodyInside) {
    start({{0, {kKeyReply.begin(), kKeyReply.begin() + 2}}, {180, {kKeyReply.begin() + 2, kKeyReply.end()}}});
    EXPECT_TRUE(KeyLink::SendKeyCommand(2, 0, 0, 0, 0, 1));
}

TEST_F(ReplyDeadline, KeyDeviceBodyOutside) {
    start({{0, {kKeyReply.begin(), kKeyReply.begin() + 2}}, {450, {kKeyReply.begin() + 2, kKeyReply.end()}}});
    EXPECT_FALSE(KeyLink::SendKeyCommand(2, 0, 0, 0, 0, 1));
}

} // namespace
