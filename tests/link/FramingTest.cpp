// Frames and replies without a port: golden request frames, and replies read through ReceiveFrame
// from a scripted line on a virtual clock.
#include "LinkTestSupport.h"

namespace {

// Request frames as they stand in the control unit's documents.
TEST(RequestFrames, MatchTheDocumentedBytes) {
    struct Case {
        const char* what;
        QByteArray frame;
        Bytes expected;
    };
    const Case cases[] = {
        {"fetch frame", Link::buildFrame(QByteArray("\x02", 1)), {0xAF, 0x03, 0x02, 0x05, 0x00}},
        {"relay: read the parameter block of expander 5",
         Link::requestFrame(1, lineAddress(5), 0x55, 0, 0),
         {0xAF, 0x05, 0x01, 0x0B, 0x55, 0x66, 0x00}},
        {"short form drops a4 with a3",
         Link::requestFrame(0, 0x21, 0x43, 0, 0x87),
         {0xAF, 0x05, 0x00, 0x21, 0x43, 0x69, 0x00}},
        {"long form: access code 12345678",
         Link::requestFrame(0, 0x21, 0x43, 0x65, 0x87),
         {0xAF, 0x07, 0x00, 0x21, 0x43, 0x65, 0x87, 0x57, 0x01}},
        {"expander table block 3",
         Link::requestFrame(6, 3, 0, 0, 0),
         {0xAF, 0x05, 0x06, 0x03, 0x00, 0x0E, 0x00}},
        {"users code page 2 of expander 1",
         Link::requestFrame(1, 3, 0x5D, 2, 0),
         {0xAF, 0x07, 0x01, 0x03, 0x5D, 0x02, 0x00, 0x6A, 0x00}},
        {"checksum carries into its high byte",
         Link::buildFrame(QByteArray("\xFF\xFF\xFF", 3)),
         {0xAF, 0x05, 0xFF, 0xFF, 0xFF, 0x02, 0x03}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(toBytes(c.frame), c.expected) << c.what;
}

TEST(RequestFrames, LongestFrameFitsItsLengthByteAndLongerIsRefused) {
    const QByteArray longest = Link::buildFrame(QByteArray(253, '\x01'));
    ASSERT_EQ(longest.size(), 257);
    EXPECT_EQ(static_cast<uint8_t>(longest[1]), 255);
    Bytes afterStart{255};
    afterStart.insert(afterStart.end(), 253, 0x01);
    EXPECT_EQ(toBytes(longest), request(afterStart));
    EXPECT_TRUE(Link::buildFrame(QByteArray(254, '\x01')).isEmpty());
}

TEST(Replies, CheckedWholeAndByLength) {
    struct Case {
        const char* what;
        Bytes stored; // from the length byte on
        Link::ReplyCheck expected;
    };
    const Case cases[] = {
        {"status 8", {0x06, 0x08, 0x00, 0x0E, 0x00}, Link::ReplyCheck::Ok},
        {"carry", {0x08, 0x01, 0x55, 0xFF, 0xFF, 0x5C, 0x02}, Link::ReplyCheck::Ok},
        {"shortest possible", {0x04, 0x04, 0x00}, Link::ReplyCheck::Ok},
        {"one byte missing", {0x06, 0x08, 0x00, 0x0E}, Link::ReplyCheck::Incomplete},
        {"checksum high byte off", {0x06, 0x08, 0x00, 0x0E, 0x01}, Link::ReplyCheck::BadChecksum},
        {"length 3", {0x03, 0x03, 0x00}, Link::ReplyCheck::BadLength},
        {"length 0", {0x00}, Link::ReplyCheck::BadLength},
        {"nothing", {}, Link::ReplyCheck::Incomplete},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Link::checkReply(c.stored.data(), static_cast<int>(c.stored.size())), c.expected) << c.what;
}

// Valid replies, checksums worked out by hand.
const Bytes kStatus8{0xFA, 0x06, 0x08, 0x00, 0x0E, 0x00};
const Bytes kCarry{0xFA, 0x08, 0x01, 0x55, 0xFF, 0xFF, 0x5C, 0x02};
const Bytes kTextReply{0xFA, 0x0A, 0x01, 0x04, 0xCA, 0xF3, 0xF5, 0x00, 0xC1, 0x02}; // "Кух" in 1251

Bytes withStoredPart(const Bytes& onLine) {
    return Bytes(onLine.begin() + 1, onLine.end());
}

Bytes storedReply() {
    const uint8_t* r = Link::frameBuffer();
    return Bytes(r, r + r[0] - 1);
}

class ReceiveTest : public ScriptedLinkTest {
  protected:
    // A fresh line for each case of a table.
    void renewLine() {
        Link::ClosePort();
        log = std::make_shared<LineLog>();
        line = new ScriptedLine(clock, log);
        Link::adoptPort(line);
        dialogs.clear();
    }
};

TEST_F(ReceiveTest, ReplyReadWholeInPiecesBytewiseAndAfterNoise) {
    struct Delivery {
        const char* what;
        std::function<void(ScriptedLine&, const Bytes&)> feed;
    };
    const Delivery deliveries[] = {
        {"whole", [](ScriptedLine& l, const Bytes& f) { l.feedNow(f); }},
        {"two pieces", [](ScriptedLine& l, const Bytes& f) { l.feedInPieces(f, f.size() / 2 + 1, 7); }},
        {"rest 30 ms after the start byte",
         [this](ScriptedLine& l, const Bytes& f) {
             l.feedNow({f[0]});
             l.feed(Bytes(f.begin() + 1, f.end()), clock.now + 30);
         }},
        {"one byte a millisecond", [](ScriptedLine& l, const Bytes& f) { l.feedInPieces(f, 1, 1); }},
        {"after noise",
         [](ScriptedLine& l, const Bytes& f) {
             l.feedNow({0x00, 0xAF, 0x06, 0x55, 0xFF});
             l.feed(f, 0);
         }},
        {"after 150 ms of noise",
         [this](ScriptedLine& l, const Bytes& f) {
             for (uint32_t t = 0; t < 150; ++t)
                 l.feed({static_cast<uint8_t>(t == 0xFA ? 0 : t)}, clock.now + t);
             l.feed(f, clock.now + 150);
         }},
    };
    for (const Bytes& frame : {kStatus8, kCarry, kTextReply}) {
        for (const Delivery& d : deliveries) {
            renewLine();
            d.feed(*line, frame);
            EXPECT_TRUE(Link::ReceiveFrame()) << d.what;
            EXPECT_EQ(storedReply(), withStoredPart(frame)) << d.what;
            EXPECT_EQ(line->unread(), 0u) << d.what;
            EXPECT_TRUE(dialogs.entries.empty()) << d.what;
        }
    }
}

TEST_F(ReceiveTest, EverySingleBitFlipIsRefused) {
    for (const Bytes& frame : {kStatus8, kCarry, kTextReply}) {
        for (size_t i = 0; i < frame.size(); ++i) {
            for (int bit = 0; bit < 8; ++bit) {
                renewLine();
                Bytes flipped = frame;
                flipped[i] ^= static_cast<uint8_t>(1 << bit);
                line->feedNow(flipped);
                EXPECT_FALSE(Link::ReceiveFrame()) << "byte " << i << " bit " << bit;
            }
        }
    }
}

TEST_F(ReceiveTest, BytesAfterTheFrameStayOnTheLine) {
    Bytes twice = kStatus8;
    twice.insert(twice.end(), kCarry.begin(), kCarry.end());
    line->feedNow(twice);
    ASSERT_TRUE(Link::ReceiveFrame());
    EXPECT_EQ(line->unread(), kCarry.size());
    ASSERT_TRUE(Link::ReceiveFrame());
    EXPECT_EQ(storedReply(), withStoredPart(kCarry));
}

TEST_F(ReceiveTest, DeadlinesOfStartLengthAndRest) {
    struct Case {
        const char* what;
        std::function<void(ScriptedLine&, uint32_t)> feed;
        uint32_t minMs, maxMs; // time ReceiveFrame takes before it fails
    };
    const Case cases[] = {
        {"silence", [](ScriptedLine&, uint32_t) {}, 200, 203},
        {"noise only",
         [](ScriptedLine& l, uint32_t t0) {
             for (uint32_t t = 0; t < 400; ++t)
                 l.feed({0x55}, t0 + t);
         },
         200, 203},
        {"start byte too late", [](ScriptedLine& l, uint32_t t0) { l.feed(kStatus8, t0 + 260); }, 200, 203},
        {"length byte never comes", [](ScriptedLine& l, uint32_t t0) { l.feed({0xFA}, t0 + 50); }, 200, 203},
        {"frame stops half-way",
         [](ScriptedLine& l, uint32_t t0) {
             l.feed({0xFA, 0x26, 0x01, 0x02}, t0 + 190);
         },
         490, 494},
        {"rest comes after 300 ms",
         [](ScriptedLine& l, uint32_t t0) {
             l.feed({0xFA, 0x06}, t0);
             l.feed({0x08, 0x00, 0x0E, 0x00}, t0 + 320);
         },
         300, 303},
    };
    for (const Case& c : cases) {
        renewLine();
        const uint32_t start = clock.now;
        c.feed(*line, start);
        EXPECT_FALSE(Link::ReceiveFrame()) << c.what;
        EXPECT_GE(clock.now - start, c.minMs) << c.what;
        EXPECT_LE(clock.now - start, c.maxMs) << c.what;
        EXPECT_TRUE(dialogs.entries.empty()) << c.what;
    }
}

TEST_F(ReceiveTest, LengthBelowFourEndsTheReceiveWithoutReadingOn) {
    for (uint8_t length : {0, 1, 2, 3}) {
        renewLine();
        line->feedNow({0xFA, length, 0x08, 0x00, 0x0E, 0x00});
        EXPECT_FALSE(Link::ReceiveFrame()) << int(length);
        EXPECT_EQ(line->unread(), 4u) << int(length);
        EXPECT_EQ(Link::R(0), length);
        EXPECT_TRUE(dialogs.entries.empty());
    }
}

TEST_F(ReceiveTest, ChecksumMismatchShownOnceWithoutCaptionExceptForTheKeyDevice) {
    Bytes bad = kStatus8;
    bad[4] ^= 0x01;
    line->feedNow(bad);
    EXPECT_FALSE(Link::ReceiveFrame());
    ASSERT_EQ(dialogs.texts(), QStringList{QStringLiteral("Не совпала КС")});
    EXPECT_EQ(dialogs.entries[0].caption, QString());

    renewLine();
    Bytes key{0xFA, 38, 0x05, 0x00};
    key.resize(37, 0x11);
    key.push_back(0x00); // the checksum does not match
    line->feedNow(key);
    EXPECT_FALSE(Link::ReceiveFrame());
    EXPECT_TRUE(dialogs.entries.empty());
    EXPECT_TRUE(Link::holdsKeyDeviceSignature());
}

TEST_F(ReceiveTest, LineThatDisappearsEndsTheExchangeAndClosesThePortOnce) {
    line->feed({0xFA, 0x26, 0x01}, clock.now);
    line->goneAt = clock.now + 20;
    const uint32_t start = clock.now;
    EXPECT_FALSE(Link::ReceiveFrame());
    EXPECT_LE(clock.now - start, 22u);
    EXPECT_TRUE(log->deleted);
    EXPECT_FALSE(Link::portOpen());
    // From now on every operation fails at once, without touching a line.
    const uint32_t after = clock.now;
    EXPECT_FALSE(Link::SendRequest(0, 1, 2, 3, 4));
    EXPECT_FALSE(Link::ReceiveFrame());
    EXPECT_FALSE(Link::FetchReply(0x55));
    EXPECT_FALSE(Link::ReceiveWriteAnswer());
    Link::SendFrame(QByteArray("\x01\x03\x56", 3));
    EXPECT_EQ(clock.now, after);
    EXPECT_TRUE(dialogs.entries.empty());
}

TEST_F(ReceiveTest, TerminatingEndsTheReceiveAtOnce) {
    Clock::setTerminating(true);
    const uint32_t start = clock.now;
    EXPECT_FALSE(Link::ReceiveFrame());
    EXPECT_LE(clock.now - start, 1u);
}

// --- requests on the scripted line -----------------------------------------------------------

Bytes reply(uint8_t status, uint8_t echo, const Bytes& data = {}) {
    Bytes frame{0xFA, static_cast<uint8_t>(data.size() + 6), status, echo};
    frame.insert(frame.end(), data.begin(), data.end());
    unsigned sum = 0;
    for (size_t i = 1; i < frame.size(); ++i)
        sum += frame[i];
    frame.push_back(static_cast<uint8_t>(sum));
    frame.push_back(static_cast<uint8_t>(sum >> 8));
    return frame;
}

class RequestTest : public ReceiveTest {};

TEST_F(RequestTest, AcceptedStatusesAndRetries) {
    for (int status = 0; status <= 12; ++status) {
        renewLine();
        line->responder = [status](ScriptedLine& l, const Bytes&) { l.feedNow(reply(status, 0x55)); };
        const uint32_t start = clock.now;
        const bool accepted = status == 0 || status == 1 || status == 7 || status == 8 || status == 9;
        EXPECT_EQ(Link::SendRequest(1, 3, 0x55, 0, 0), accepted) << status;
        EXPECT_EQ(log->writes.size(), accepted ? 1u : 3u) << status;
        if (!accepted) // three answers, each followed by the 50 ms pause
            EXPECT_GE(clock.now - start, 150u) << status;
        EXPECT_EQ(Link::R(1), status);
    }
}

TEST_F(RequestTest, EachAttemptPurgesInputThenOutputThenWrites) {
    line->feedNow({0x01, 0x02, 0x03}); // left over from an earlier exchange
    EXPECT_FALSE(Link::SendRequest(5, 2, 0, 0, 0));
    const std::vector<std::string> once{"purge-in", "purge-out", "write"};
    std::vector<std::string> thrice;
    for (int i = 0; i < 3; ++i)
        thrice.insert(thrice.end(), once.begin(), once.end());
    EXPECT_EQ(log->operations, thrice);
    for (const Bytes& w : log->writes)
        EXPECT_EQ(w, request({0x05, 0x05, 0x02, 0x00}));
    // The request was laid out in the frame buffer; nothing came, so it is still there.
    EXPECT_EQ(Link::R(0), 0xAF);
    EXPECT_EQ(Link::R(1), 0x05);
}

TEST_F(RequestTest, FetchPollsAfterDroppingStaleBytesAndTracesWrongReplies) {
    // A late second answer to an earlier fetch, waiting before this fetch goes out, is not its answer.
    line->feedNow(reply(1, 0x55, Bytes(18, 9)));
    std::vector<QString> traces;
    Link::setTraceSink([&](const QString& t) { traces.push_back(t); });
    int round = 0;
    line->responder = [&](ScriptedLine& l, const Bytes& w) {
        EXPECT_EQ(w, (Bytes{0xAF, 0x03, 0x02, 0x05, 0x00}));
        ++round;
        if (round == 1)
            l.feed(reply(1, 0x5A, Bytes(16, 0)), clock.now + 10); // another command's: no answer to it
        else if (round == 2)
            l.feed(reply(3, 0), clock.now + 10); // not there yet
        else
            l.feed(reply(1, 0x55, Bytes(18, 7)), clock.now + 10);
    };
    std::vector<uint32_t> writeTimes;
    const uint32_t start = clock.now;
    EXPECT_TRUE(Link::FetchReply(0x55));
    EXPECT_EQ(round, 3);
    EXPECT_EQ(Link::traceText(), QStringLiteral("  3:0"));
    EXPECT_EQ(traces, (std::vector<QString>{QString(), QStringLiteral("  3:0")}));
    // Each round: 50 ms before the receive; the first waits out its 200 ms for its own answer, the
    // second's answer costs 100 ms more.
    EXPECT_GE(clock.now - start, 3 * 50u + 200u + 100u);
    EXPECT_LE(clock.now - start, 3 * 50u + 200u + 100u + 12u);
    EXPECT_EQ(Link::R(3), 7);

    // The next fetch starts its trace afresh; ten rounds without the right answer fail.
    round = 0;
    line->responder = [&](ScriptedLine& l, const Bytes&) {
        ++round;
        l.feedNow(reply(3, 0));
    };
    EXPECT_FALSE(Link::FetchReply(0x59));
    EXPECT_EQ(round, 10);
    EXPECT_EQ(Link::traceText(), QStringLiteral("  3:0").repeated(10));
}

TEST_F(RequestTest, SilentFetchTakesItsTenRoundsAndClearsStatusAndEcho) {
    const uint32_t start = clock.now;
    EXPECT_FALSE(Link::FetchReply(0x55));
    EXPECT_EQ(log->writes.size(), 10u);
    EXPECT_GE(clock.now - start, 10 * 250u);
    EXPECT_EQ(Link::R(1), 0);
    EXPECT_EQ(Link::R(2), 0);
    EXPECT_EQ(Link::traceText(), QString());
}

TEST_F(RequestTest, WriteAnswerIsTheWholeFrameAnsweringTheWriteNotWhatWaitsFirst) {
    // A late answer to an earlier fetch waits when the descriptor write goes out, and the unit's
    // refusal of the write follows: the refusal is the answer, read as a frame.
    line->feedNow(reply(1, 0x55, Bytes(18, 9)));
    Link::SendFrame(QByteArray("\x03\x97\x00\x00\x05\x00", 6));
    ASSERT_EQ(log->writes.size(), 1u);
    EXPECT_EQ(log->writes[0], request({0x08, 0x03, 0x97, 0x00, 0x00, 0x05, 0x00}));
    EXPECT_EQ(log->operations, (std::vector<std::string>{"purge-in", "write"}));
    line->feed(reply(1, 0x55, Bytes(18, 9)), clock.now + 100); // and one after it
    line->feed(reply(4, 3), clock.now + 300);
    Link::WaitMs(300);
    EXPECT_TRUE(Link::ReceiveWriteAnswer());
    EXPECT_EQ(Link::R(1), 4);
    EXPECT_EQ(Link::R(2), 3);
    EXPECT_EQ(line->unread(), 0u);

    Link::SendFrame(QByteArray(254, '\x01'));
    EXPECT_EQ(log->writes.size(), 1u) << "a frame longer than its length byte can count is not sent";
}

TEST_F(RequestTest, NoPortFailsAtOnce) {
    Link::ClosePort();
    EXPECT_FALSE(Link::portOpen());
    EXPECT_EQ(Link::port(), nullptr);
    const uint32_t start = clock.now;
    EXPECT_FALSE(Link::ReceiveFrame());
    EXPECT_FALSE(Link::SendRequest(6, 0, 0, 0, 0));
    EXPECT_FALSE(Link::FetchReply(0x55));
    EXPECT_FALSE(Link::ReceiveWriteAnswer());
    EXPECT_EQ(clock.now, start);
    EXPECT_TRUE(dialogs.entries.empty());
}

TEST_F(RequestTest, WaitsEndEarlyWhenTerminatingAndMarkTheExchange) {
    // A pause lasts its milliseconds, not one more, also where the 32-bit tick counter wraps (after
    // 49.7 days of running); a pause that would not end is ended here.
    std::vector<bool> activeDuringPump;
    uint32_t start = clock.now = 0xFFFFFFFFu - 9;
    clock.onPump = [&] {
        activeDuringPump.push_back(Link::exchangeActive());
        if (clock.now - start > 1000) Clock::setTerminating(true);
    };
    Link::WaitMs(50);
    EXPECT_EQ(clock.now - start, 50u);
    EXPECT_FALSE(Clock::terminating());
    ASSERT_FALSE(activeDuringPump.empty());
    EXPECT_TRUE(std::all_of(activeDuringPump.begin(), activeDuringPump.end(), [](bool b) { return b; }));
    EXPECT_FALSE(Link::exchangeActive());

    // Terminating while waiting ends the wait at the next pump.
    clock.onPump = [&] {
        if (clock.now - start >= 20) Clock::setTerminating(true);
    };
    start = clock.now;
    Link::WaitMs(500);
    EXPECT_LE(clock.now - start, 21u);

    start = clock.now;
    Link::WaitMs(500);
    EXPECT_EQ(clock.now, start);

    EXPECT_FALSE(Link::SendRequest(0, 1, 2, 3, 4));
    EXPECT_FALSE(Link::FetchReply(0x55));
    EXPECT_EQ(clock.now, start);
    EXPECT_TRUE(log->writes.empty());
}

} // namespace
