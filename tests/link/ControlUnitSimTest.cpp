// The simulated control unit itself, through the real link: what the other tests rely on it for.
#include "LinkTestSupport.h"

namespace {

using Unit = sim::ControlUnitSim;

Bytes stored() {
    return Bytes(Link::frameBuffer(), Link::frameBuffer() + Link::R(0) - 1);
}
Bytes data() {
    return Bytes(Link::frameBuffer() + 3, Link::frameBuffer() + Link::R(0) - 3);
}

Unit::Expander numbered(int seed) {
    Unit::Expander e;
    e.configured = true;
    for (int i = 0; i < 18; ++i)
        e.parameters[i] = static_cast<uint8_t>(seed + i);
    for (int u = 0; u < 31; ++u)
        e.userMasks[u] = static_cast<uint8_t>(seed + 2 * u);
    for (int u = 0; u < 32; ++u)
        e.userCodes[u] = static_cast<uint16_t>(0x1000 * (u % 10) + u);
    for (int p = 0; p < 8; ++p) {
        e.partitionNumbers[p] = static_cast<uint8_t>(100 + p);
        e.partitionMasks[p] = static_cast<uint8_t>(1 << p);
    }
    return e;
}

TEST(SimCodeBytes, OwnReadingOfTheTypedCode) {
    struct Case {
        const char* digits;
        Bytes expected;
    };
    const Case cases[] = {
        {"12345678", {0x21, 0x43, 0x65, 0x87}},
        {"1234", {0x21, 0x43, 0x21, 0x43}},
        {"12340078", {0x21, 0x43}},
        {"12345", {0x00, 0x10, 0x32, 0x54}},
        {"", {}},
        {"12a4", {}},
        {"123456789", {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Unit::codeBytesOf(c.digits), c.expected) << c.digits;
}

class SimTest : public SimLinkTest {};

TEST_F(SimTest, TablesAndTexts) {
    unit.setExpander(0, numbered(1));
    unit.setExpander(5, numbered(2));
    unit.setDescriptorSlot(33, 163);
    unit.setDescriptorText(7, "\xCA\xF3\xF5\xED\xFF"); // "Кухня"

    ASSERT_TRUE(Link::SendRequest(Command::ExpanderTable, 0, 0, 0, 0));
    EXPECT_EQ(Link::R(0), 38);
    EXPECT_EQ(Link::R(2), 0);
    Bytes expected;
    for (int a = 0; a < 8; ++a)
        expected.insert(expected.end(), {static_cast<uint8_t>(a == 0 || a == 5 ? 0x91 : 0x11),
                                         static_cast<uint8_t>(a), 0x00, 0xFF});
    EXPECT_EQ(data(), expected);

    ASSERT_TRUE(Link::SendRequest(Command::DescriptorTable, 1, 0, 0, 0));
    Bytes block(32, 255);
    block[1] = 163;
    EXPECT_EQ(Link::R(2), 1);
    EXPECT_EQ(data(), block);

    ASSERT_TRUE(Link::SendRequest(Command::ReadDescriptor, 7, 0, 0, 0));
    EXPECT_EQ(data(), (Bytes{0xCA, 0xF3, 0xF5, 0xED, 0xFF, 0x00}));

    EXPECT_FALSE(Link::SendRequest(Command::ReadDescriptor, 150, 0, 0, 0));
    EXPECT_EQ(Link::R(1), Unit::kStatusRefused);
    EXPECT_FALSE(Link::SendRequest(Command::ExpanderTable, 8, 0, 0, 0));

    unit.setHasDescriptorTable(false);
    EXPECT_FALSE(Link::SendRequest(Command::DescriptorTable, 3, 0, 0, 0));
    EXPECT_EQ(Link::R(0), 38);
    EXPECT_EQ(Link::R(1), Unit::kStatusNoTable);
    EXPECT_EQ(Link::R(2), 3);
}

// Command 3 as the unit takes it: a text keeps its first 21 characters; a frame whose parts do not
// agree is refused and changes nothing.
TEST_F(SimTest, DescriptorWritesKeep21CharactersAndRefuseWhatDoesNotAgree) {
    const auto payload = [](uint8_t code, uint8_t textByte, const QByteArray& text, char end) {
        QByteArray p;
        p.append(char(3)).append(char(code)).append(char(textByte)).append(char(0)).append(char(42));
        return p.append(text).append(end);
    };
    const QByteArray thirty("ABCDEFGHIJKLMNOPQRSTUVWXYZ0123");
    struct Case {
        const char* name;
        QByteArray payload;
        uint8_t status;
        uint8_t slot;
    };
    const Case cases[] = {
        {"a text of 30 characters", payload(7, 31, thirty, 0), 1, 7},
        {"a standard description", payload(168, 0, {}, 0), 1, 168},
        {"a text length that disagrees with N", payload(9, 30, thirty, 0), 4, 168},
        {"a text without its 0 byte", payload(9, 31, thirty, 'x'), 4, 168},
        {"a text for a standard code", payload(168, 31, thirty, 0), 4, 168},
        {"a descriptor number without a text", payload(9, 0, {}, 0), 4, 168},
    };
    for (const Case& c : cases) {
        Link::SendFrame(c.payload);
        Link::WaitMs(300); // as the program waits after each write
        ASSERT_TRUE(Link::ReceiveWriteAnswer()) << c.name;
        EXPECT_EQ(Link::R(1), c.status) << c.name;
        EXPECT_EQ(unit.descriptorTable()[42], c.slot) << c.name;
    }
    EXPECT_EQ(unit.descriptorText(7), "ABCDEFGHIJKLMNOPQRSTU");
    EXPECT_EQ(unit.descriptorText(9), "");
}

// Relayed reads: what the fetched answer holds, frame by frame.
TEST_F(SimTest, RelayedReadsAndTheirAnswers) {
    const Unit::Expander e = numbered(3);
    unit.setExpander(4, e);
    struct Case {
        const char* what;
        bool localLine;
        uint8_t command, block;
        Bytes expected;
    };
    Bytes partitions, masks(e.userMasks.begin(), e.userMasks.end()), page2, page4;
    for (int p = 0; p < 8; ++p)
        partitions.insert(partitions.end(), {e.partitionNumbers[p], e.partitionMasks[p]});
    for (int j = 0; j < 8; ++j) {
        page2.insert(page2.end(), {static_cast<uint8_t>(e.userCodes[8 + j] >> 8),
                                   static_cast<uint8_t>(e.userCodes[8 + j])});
        page4.insert(page4.end(), {static_cast<uint8_t>(e.userCodes[24 + j] >> 8),
                                   static_cast<uint8_t>(e.userCodes[24 + j])});
    }
    const Case cases[] = {
        {"parameters", false, 0x55, 0, Bytes(e.parameters.begin(), e.parameters.end())},
        {"partitions", false, 0x5A, 0, partitions},
        {"user masks", false, 0x5D, 0, masks},
        {"code page ignored on the normal line", false, 0x5D, 2, masks},
        {"code page 2 on the local line", true, 0x5D, 2, page2},
        {"code page 4 with the 32nd code", true, 0x5D, 4, page4},
    };
    for (const Case& c : cases) {
        unit.setLocalLine(c.localLine);
        ASSERT_TRUE(Link::SendRequest(Command::Relay, lineAddress(4), c.command, c.block, 0)) << c.what;
        EXPECT_EQ(Link::R(1), 1) << c.what;
        ASSERT_TRUE(Link::FetchReply(c.command)) << c.what;
        EXPECT_EQ(data(), c.expected) << c.what;
        EXPECT_EQ(Link::R(0), c.expected.size() + 6) << c.what;
    }
}

TEST_F(SimTest, RelayedWritesChangeTheExpanderUnlessItForgets) {
    Unit::Expander e = numbered(0);
    e.forgetWrites = 1;
    unit.setExpander(9, e);
    QByteArray parameters("\x01\x13\x56", 3);
    for (int i = 0; i < 18; ++i)
        parameters.append(static_cast<char>(0xA0 + i));

    for (bool forgotten : {true, false}) {
        Link::SendFrame(parameters);
        ASSERT_TRUE(Link::FetchReply(0x56));
        EXPECT_EQ(Link::R(3), 0xA0);
        EXPECT_EQ(Link::R(4), 0xA1);
        ASSERT_TRUE(Link::SendRequest(Command::Relay, lineAddress(9), 0x55, 0, 0));
        ASSERT_TRUE(Link::FetchReply(0x55));
        EXPECT_EQ(data()[0], forgotten ? 0 : 0xA0);
        EXPECT_EQ(unit.expander(9).writesApplied, forgotten ? 0 : 1);
    }

    // Partition 4 (index 3): number 12, loops 2 and 8, code 9C3F with its digits exchanged.
    Link::SendFrame(QByteArray("\x01\x13\x59\x0C\x82\xC9\xF3\x03\x00\x00", 10));
    ASSERT_TRUE(Link::FetchReply(0x59));
    EXPECT_EQ(Link::R(3), 12);
    EXPECT_EQ(Link::R(4), 0x82);
    const Unit::Expander after = unit.expander(9);
    EXPECT_EQ(after.partitionNumbers[3], 12);
    EXPECT_EQ(after.partitionMasks[3], 0x82);
    EXPECT_EQ(after.partitionCodes[3], 0x9C3F);
}

TEST_F(SimTest, ExpanderThatIsNotThereNeverAnswers) {
    ASSERT_TRUE(Link::SendRequest(Command::Relay, lineAddress(20), 0x55, 0, 0));
    EXPECT_FALSE(Link::FetchReply(0x55));
    EXPECT_EQ(Link::traceText(), QStringLiteral("  3:0").repeated(10));
}

TEST_F(SimTest, RecordsEveryFrameAndWhatLiesBetween) {
    const Bytes bad{0xAF, 0x05, 0x06, 0x00, 0x00, 0x0B, 0x00}; // checksum should be 0B 00 ... plus one
    Bytes sent{0x11, 0x22};
    sent.insert(sent.end(), bad.begin(), bad.end());
    sent[sent.size() - 2] = 0x0C;
    ASSERT_TRUE(Link::port()->write(sent.data(), static_cast<int>(sent.size())));
    ASSERT_TRUE(unit.waitForFrames(1, 1000));
    const auto frames = unit.frames();
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_FALSE(frames[0].checksumOk);
    EXPECT_EQ(frames[0].command(), 6);
    EXPECT_EQ(unit.strayBytes(), (Bytes{0x11, 0x22}));
    EXPECT_FALSE(Link::ReceiveFrame()) << "a request it cannot trust is not answered";
    EXPECT_EQ(unit.repliesSent(), 0);
}

} // namespace
