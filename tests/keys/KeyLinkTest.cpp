// The key programmer's frames and exchanges: requests against the frames written down for the
// device, reply checking, and SendKeyCommand / ReceiveKeyReply on a scripted line with a virtual
// clock, so that every deadline is checked exactly.
#include "keys/KeyLink.h"
#include "FakeKeyLine.h"
#include "keys/KeyFrames.h"
#include "link/Link.h"
#include "sim/KeyDeviceSim.h"

#include <gtest/gtest.h>

using Bytes = std::vector<uint8_t>;
using sim::KeyDeviceSim;

namespace {

Bytes request(uint8_t command, uint8_t p1, uint8_t p2, uint8_t p3, uint8_t p4) {
    const auto frame = KeyLink::buildKeyRequest(command, p1, p2, p3, p4);
    return Bytes(frame.begin(), frame.end());
}

// A reply as the device sends it: FA, N = 38, status, data, check byte.
Bytes reply(uint8_t status, const Bytes& data = {}) {
    return KeyDeviceSim::replyFrame(status, data);
}

// A short reply of length n: FA, n, status, data..., check byte of everything from n on.
Bytes shortReply(uint8_t status, const Bytes& data) {
    Bytes frame{0xFA, uint8_t(data.size() + 3), status};
    frame.insert(frame.end(), data.begin(), data.end());
    frame.push_back(KeyDeviceSim::checkByte(frame.data() + 1, frame.size() - 1));
    return frame;
}

} // namespace

// --- frames ------------------------------------------------------------------------------------------

TEST(KeyFrames, RequestsAreTheNineBytesTheDeviceExpects) {
    struct Case {
        const char* name;
        Bytes built;
        Bytes expected;
    };
    const Case cases[] = {
        {"first table read", request(2, 0, 0, 0, 0), {0xAF, 0x07, 0x02, 0x00, 0x00, 0x00, 0x00, 0x09, 0x00}},
        {"cancel", request(3, 0xFF, 0, 0, 0), {0xAF, 0x07, 0x03, 0xFF, 0x00, 0x00, 0x00, 0x09, 0x01}},
        {"three-expander key 2 of user 12",
         request(3, 101, 0, 0, 0),
         {0xAF, 0x07, 0x03, 0x65, 0x00, 0x00, 0x00, 0x6F, 0x00}},
        {"decline", request(3, 5, 0xFE, 200, 1), {0xAF, 0x07, 0x03, 0x05, 0xFE, 0xC8, 0x01, 0xD6, 0x01}},
        {"all parameters high",
         request(0xFF, 0xFF, 0xFF, 0xFF, 0xFF),
         {0xAF, 0x07, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x02, 0x05}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.built, c.expected) << c.name;
        // The simulated device's own reading of the layout agrees.
        EXPECT_EQ(c.built,
                  KeyDeviceSim::requestFrame(c.built[2], c.built[3], c.built[4], c.built[5], c.built[6]))
            << c.name;
    }
}

TEST(KeyFrames, ReplyCheckTakesTheLastByteThatArrived) {
    using KeyLink::KeyReplyCheck;
    // Length byte followed by what arrived after it.
    struct Case {
        const char* name;
        Bytes bytes;
        KeyReplyCheck expected;
    };
    const uint8_t sum5 = uint8_t(5 + 5 + 0x10 + 0x20); // N, status, two data bytes
    const Case cases[] = {
        {"complete", {5, 5, 0x10, 0x20, sum5}, KeyReplyCheck::Ok},
        {"wrong check byte", {5, 5, 0x10, 0x20, uint8_t(sum5 + 1)}, KeyReplyCheck::BadCheck},
        {"length 0", {0, 5, 5}, KeyReplyCheck::BadLength},
        {"length 1", {1, 1}, KeyReplyCheck::BadLength},
        {"nothing after the length", {5}, KeyReplyCheck::Incomplete},
        {"last byte missing, checked against the one before", {5, 5, 0x10, 0x20}, KeyReplyCheck::BadCheck},
        {"last byte missing, the one before happens to fit", {5, 5, 0x10, 0x1A}, KeyReplyCheck::Ok},
        {"two bytes missing", {5, 5, 0x10}, KeyReplyCheck::Incomplete},
        {"length 2, its check byte only", {2, 2}, KeyReplyCheck::Ok},
        {"length 2, nothing after it", {2}, KeyReplyCheck::Incomplete},
        {"bytes beyond the frame ignored", {5, 5, 0x10, 0x20, sum5, 0x99, 0x98}, KeyReplyCheck::Ok},
        {"length 255 complete", {}, KeyReplyCheck::Ok},
    };
    for (const Case& c : cases) {
        Bytes bytes = c.bytes;
        if (bytes.empty()) { // a maximal frame
            bytes.assign(255, 0x41);
            bytes[0] = 255;
            bytes[254] = KeyDeviceSim::checkByte(bytes.data(), 254);
        }
        EXPECT_EQ(KeyLink::checkKeyReply(bytes.data(), int(bytes.size())), c.expected) << c.name;
    }
    EXPECT_EQ(KeyLink::checkKeyReply(nullptr, 0), KeyReplyCheck::BadLength);
}

TEST(KeyFrames, EverySingleBitFlipOfAReplyIsRefused) {
    Bytes data(35);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = uint8_t(i * 37 + 11);
    const Bytes frame = reply(5, data);
    const Bytes stored(frame.begin() + 1, frame.end()); // the start byte is not kept
    ASSERT_EQ(KeyLink::checkKeyReply(stored.data(), int(stored.size())), KeyLink::KeyReplyCheck::Ok);
    for (size_t at = 0; at < stored.size(); ++at) {
        for (int bit = 0; bit < 8; ++bit) {
            Bytes flipped = stored;
            flipped[at] = uint8_t(flipped[at] ^ (1 << bit));
            EXPECT_NE(KeyLink::checkKeyReply(flipped.data(), int(flipped.size())), KeyLink::KeyReplyCheck::Ok)
                << "byte " << at << " bit " << bit;
        }
    }
}

TEST(KeyFrames, SlotsAndCellsAndTableBits) {
    EXPECT_EQ(KeyLink::slotOf(1, 1, 1), 0);
    EXPECT_EQ(KeyLink::slotOf(1, 2, 5), 34);
    EXPECT_EQ(KeyLink::slotOf(2, 1, 12), 101);
    EXPECT_EQ(KeyLink::slotOf(2, 3, 30), 179);
    for (int slot = 0; slot < KeyLink::kSlots; ++slot) {
        const int column = KeyLink::columnOfSlot(slot);
        const int row = KeyLink::rowOfSlot(slot);
        ASSERT_TRUE(KeyLink::isKeyCell(column, row)) << slot;
        ASSERT_EQ(KeyLink::slotOfCell(column, row), slot);
    }
    // Bit b is 1 << (b mod 8) of R[2 + b div 8].
    Bytes r(16, 0);
    r[2] = 0x01;
    r[3] = 0x80;
    r[13] = 0x02;
    for (int b = 0; b < 90; ++b)
        EXPECT_EQ(KeyLink::tableBit(r.data(), b), b == 0 || b == 15 || b == 89) << b;
}

// --- exchanges on a scripted line ----------------------------------------------------------------------

class KeyExchange : public testing::Test {
  protected:
    void SetUp() override {
        Clock::setTerminating(false);
        record = std::make_shared<FakeLineRecord>();
        line = new FakeKeyLine(clock, record);
        Link::adoptPort(line);
    }
    void TearDown() override {
        Link::adoptPort(nullptr);
        Clock::setTerminating(false);
    }
    // Answers the writes in order: each entry is (delay, bytes) or empty for silence.
    void answer(std::vector<std::pair<uint32_t, Bytes>> answers) {
        auto queue = std::make_shared<std::deque<std::pair<uint32_t, Bytes>>>(answers.begin(), answers.end());
        line->onWrite = [queue](FakeKeyLine& l, const Bytes&) {
            if (queue->empty()) return;
            auto [delay, bytes] = queue->front();
            queue->pop_front();
            if (!bytes.empty()) l.arrive(delay, bytes);
        };
    }

    VirtualClock clock;
    std::shared_ptr<FakeLineRecord> record;
    FakeKeyLine* line = nullptr;
};

TEST_F(KeyExchange, ReceiveFollowsItsDeadlines) {
    const Bytes good = reply(5, {1, 2, 3});
    const Bytes bad = [&] {
        Bytes b = good;
        b.back() = uint8_t(b.back() + 1);
        return b;
    }();
    struct Arrival {
        uint32_t afterMs;
        Bytes bytes;
    };
    struct Case {
        const char* name;
        std::vector<Arrival> script;
        bool accepted;
        int purges;
    };
    const Bytes head(good.begin(), good.begin() + 2);       // FA and the length byte
    const Bytes body1(good.begin() + 2, good.begin() + 12); // the body in three pieces
    const Bytes body2(good.begin() + 12, good.begin() + 30);
    const Bytes body3(good.begin() + 30, good.end());
    const Bytes noise150(150, 0x55);
    const Bytes noise250(250, 0x55);
    const Case cases[] = {
        {"whole reply at once", {{0, good}}, true, 0},
        {"noise before the start byte is skipped", {{0, {0x00, 0xAF, 0x07, 0xFB}}, {0, good}}, true, 0},
        {"150 noise bytes fit in 200 ms", {{0, noise150}, {0, good}}, true, 0},
        {"250 noise bytes do not", {{0, noise250}, {0, good}}, false, 0},
        {"start byte at 190 ms", {{190, good}}, true, 0},
        {"start byte at 230 ms", {{230, good}}, false, 0},
        {"length byte 900 ms after the start byte",
         {{0, {0xFA}}, {900, Bytes(good.begin() + 1, good.end())}},
         true,
         0},
        {"length byte 1100 ms after the start byte",
         {{0, {0xFA}}, {1100, Bytes(good.begin() + 1, good.end())}},
         false,
         0},
        {"body in pieces within 300 ms", {{0, head}, {50, body1}, {150, body2}, {290, body3}}, true, 0},
        {"body pieces after 300 ms", {{0, head}, {50, body1}, {150, body2}, {340, body3}}, false, 0},
        {"wrong check byte purges", {{0, bad}}, false, 1},
        {"length byte 0 purges", {{0, {0xFA, 0x00, 0x05, 0x05}}}, false, 1},
        {"length byte 1 purges", {{0, {0xFA, 0x01, 0x05}}}, false, 1},
        {"last byte missing is checked against the one before",
         {{0, Bytes(good.begin(), good.end() - 1)}},
         false,
         1},
        {"two bytes missing are refused unchecked", {{0, Bytes(good.begin(), good.end() - 2)}}, false, 0},
        {"nothing at all", {}, false, 0},
    };
    for (const Case& c : cases) {
        SetUp();
        for (const Arrival& a : c.script)
            line->arrive(a.afterMs, a.bytes);
        EXPECT_EQ(KeyLink::ReceiveKeyReply(), c.accepted) << c.name;
        EXPECT_EQ(record->inputPurges, c.purges) << c.name;
        TearDown();
    }
}

TEST_F(KeyExchange, LastByteMissingButTheOneBeforeFits) {
    // N = 5: status 5, one data byte chosen so that it equals the sum of N, status and the first data
    // byte; the real check byte never comes.
    Bytes frame{0xFA, 5, 5, 0x10, uint8_t(5 + 5 + 0x10)};
    line->arrive(0, frame);
    EXPECT_TRUE(KeyLink::ReceiveKeyReply());
    EXPECT_EQ(KeyLink::R(0), 5);
    EXPECT_EQ(KeyLink::R(1), 5);
    EXPECT_EQ(KeyLink::storedBytes(), 4);
}

TEST_F(KeyExchange, ReplyIsStoredFromTheLengthByteOn) {
    const Bytes frame = shortReply(5, {0x11, 0x22, 0x33});
    line->arrive(0, frame);
    line->arrive(0, {0x77, 0x77}); // after the frame: left on the line
    ASSERT_TRUE(KeyLink::ReceiveKeyReply());
    EXPECT_EQ(KeyLink::R(0), 6);
    EXPECT_EQ(KeyLink::R(1), 5);
    EXPECT_EQ(KeyLink::R(2), 0x11);
    EXPECT_EQ(KeyLink::R(4), 0x33);
    EXPECT_EQ(KeyLink::R(5), frame.back());
    uint8_t rest[4];
    EXPECT_EQ(line->read(rest, 4), 2);
}

// A frame still arriving when the next command purges the line is thrown away whole: a byte 0xFA
// in its rest starts no frame, and the command takes its own reply at its first try.
TEST_F(KeyExchange, AFrameStillArrivingAtThePurgeIsThrownAwayWhole) {
    // Data holding FA 40: read from there on, a frame of 64 bytes that swallows the next reply.
    const Bytes earlier = reply(5, {0x12, 0xFA, 0x40, 0x33});
    struct Case {
        const char* what;
        size_t piece;
        uint32_t everyMs;
    };
    const Case cases[] = {{"in pieces of three bytes", 3, 5}, {"byte by byte", 1, 2}};
    for (const Case& c : cases) {
        SetUp();
        uint32_t at = 0; // its first piece waits on the line
        for (size_t i = 0; i < earlier.size(); i += c.piece, at += c.everyMs)
            line->arrive(at, Bytes(earlier.begin() + long(i),
                                   earlier.begin() + long(std::min(earlier.size(), i + c.piece))));
        answer({{at, reply(5, {0x44})}});
        EXPECT_TRUE(KeyLink::SendKeyCommand(2, 1, 0, 0, 0, 5)) << c.what;
        EXPECT_EQ(record->writes.size(), 1u) << c.what;
        EXPECT_EQ(KeyLink::R(2), 0x44) << c.what;
        TearDown();
    }
}

TEST_F(KeyExchange, NothingIsSentWithoutTriesOrPort) {
    EXPECT_FALSE(KeyLink::SendKeyCommand(2, 0, 0, 0, 0, 0));
    EXPECT_TRUE(record->writes.empty());
    Link::adoptPort(nullptr);
    EXPECT_FALSE(KeyLink::SendKeyCommand(2, 0, 0, 0, 0, 5));
    EXPECT_FALSE(KeyLink::ReceiveKeyReply());
    EXPECT_TRUE(record->writes.empty());
}

TEST_F(KeyExchange, TriesAndPauses) {
    const Bytes accepted = reply(5);
    const Bytes refused = reply(4);
    Bytes badCheck = accepted;
    badCheck.back() = uint8_t(badCheck.back() ^ 0x40);
    struct Case {
        const char* name;
        std::vector<std::pair<uint32_t, Bytes>> answers;
        int tries;
        bool result;
        int writes;
        uint32_t minGap, maxGap; // between the first two writes
    };
    const Case cases[] = {
        {"accepted at once", {{0, accepted}}, 3, true, 1, 0, 0},
        {"other status: next try after 100 ms", {{0, refused}, {0, accepted}}, 3, true, 2, 100, 110},
        {"no reply: next try at once after the 200 ms wait", {{0, {}}, {0, accepted}}, 3, true, 2, 200, 210},
        {"wrong check byte: next try at once", {{0, badCheck}, {0, accepted}}, 3, true, 2, 0, 10},
        // The rest never comes: the next try's reply, there at once, is no rest of the first.
        {"start and length byte alone: next try after the body's 300 ms",
         {{0, Bytes{0xFA, 0x26}}, {0, accepted}}, 3, true, 2, 300, 310},
        {"all tries used", {{0, refused}, {0, refused}, {0, refused}, {0, accepted}}, 3, false, 3, 100, 110},
        {"one try", {{0, {}}, {0, accepted}}, 1, false, 1, 0, 0},
    };
    for (const Case& c : cases) {
        SetUp();
        answer(c.answers);
        EXPECT_EQ(KeyLink::SendKeyCommand(3, 7, 1, 0, 0, c.tries), c.result) << c.name;
        ASSERT_EQ(int(record->writes.size()), c.writes) << c.name;
        for (const Bytes& w : record->writes)
            EXPECT_EQ(w, request(3, 7, 1, 0, 0)) << c.name;
        // The queues are purged, receive first, before every write.
        EXPECT_GE(record->inputPurges, c.writes) << c.name;
        EXPECT_EQ(record->outputPurges, c.writes) << c.name;
        if (c.writes >= 2) {
            const uint32_t gap = record->writeTimes[1] - record->writeTimes[0];
            EXPECT_GE(gap, c.minGap) << c.name;
            EXPECT_LE(gap, c.maxGap) << c.name;
        }
        TearDown();
    }
}

TEST_F(KeyExchange, RefusedStatusPauseDoesNotProcessEvents) {
    uint32_t lastPumpAt = 0;
    clock.onPump = [&] { lastPumpAt = clock.now; };
    uint32_t quietBeforeSecondWrite = 0;
    line->onWrite = [&, n = 0](FakeKeyLine& l, const Bytes&) mutable {
        if (n++ == 1) quietBeforeSecondWrite = clock.now - lastPumpAt;
        l.arrive(0, reply(n == 1 ? 4 : 5));
    };
    ASSERT_TRUE(KeyLink::SendKeyCommand(2, 0, 0, 0, 0, 5));
    // The 100 ms after a refused reply are a plain sleep: no events are processed in them.
    EXPECT_GE(quietBeforeSecondWrite, 100u);
}

TEST_F(KeyExchange, NothingReadLeavesTheRequestStartByte) {
    EXPECT_FALSE(KeyLink::SendKeyCommand(2, 0, 0, 0, 0, 2));
    EXPECT_EQ(KeyLink::R(0), 0xAF);
    EXPECT_EQ(KeyLink::R(1), 0x07);
}

TEST_F(KeyExchange, ControlUnitAnswerLeavesLengthSixStatusSeven) {
    // A control unit answers the table read with its own short frame: the key programmer reads it by
    // its own rules, refuses it, and leaves R[0] = 6, R[1] = 7 for the caller.
    answer({{0, KeyDeviceSim::controlUnitFrame(7)}});
    EXPECT_FALSE(KeyLink::SendKeyCommand(2, 0, 0, 0, 0, 1));
    EXPECT_EQ(KeyLink::R(0), 6);
    EXPECT_EQ(KeyLink::R(1), 7);
}

TEST_F(KeyExchange, LineThatDisappearsEndsTheExchange) {
    line->onWrite = [](FakeKeyLine& l, const Bytes&) {
        l.arrive(0, {0xFA, 38, 5});
        l.gone = true;
    };
    EXPECT_FALSE(KeyLink::SendKeyCommand(2, 0, 0, 0, 0, 5));
    EXPECT_EQ(record->writes.size(), 1u);
    EXPECT_EQ(Link::port(), nullptr);
    EXPECT_TRUE(record->destroyed);
    EXPECT_LT(clock.now, 1100u); // no waiting on a dead line
}

TEST_F(KeyExchange, TerminatingEndsTheWaitsEarly) {
    Clock::setTerminating(true);
    EXPECT_FALSE(KeyLink::SendKeyCommand(2, 0, 0, 0, 0, 5));
    EXPECT_FALSE(KeyLink::ReceiveKeyReply());
    EXPECT_LT(clock.now, 1010u);
}

TEST_F(KeyExchange, ReceiveMarksTheExchangeActive) {
    bool activeWhileWaiting = false;
    clock.onPump = [&] { activeWhileWaiting = activeWhileWaiting || Link::exchangeActive(); };
    EXPECT_FALSE(KeyLink::ReceiveKeyReply());
    EXPECT_TRUE(activeWhileWaiting);
    EXPECT_FALSE(Link::exchangeActive());
}
