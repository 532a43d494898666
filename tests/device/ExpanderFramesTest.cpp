#include "device/ExpanderFrames.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <vector>

namespace {

std::vector<uint8_t> bytesOf(const QByteArray& bytes) {
    return {bytes.begin(), bytes.end()};
}

TEST(ExpanderList, ItemTextsAndAddressesBack) {
    EXPECT_EQ(expanderItemText(0), QStringLiteral("Расширитель 0"));
    EXPECT_EQ(expanderItemText(63), QStringLiteral("Расширитель 63"));
    struct Case {
        const char* text;
        std::optional<int> address;
    } cases[] = {
        {"Расширитель 0", 0},
        {"Расширитель 5", 5},
        {"Расширитель 63", 63},
        {"Расширитель 64", std::nullopt},
        {"Расширитель -1", std::nullopt},
        {"Расширитель x", std::nullopt},
        {"Расширитель ", std::nullopt},
        {"", std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(expanderAddressOf(QString::fromUtf8(c.text)), c.address) << c.text;
}

TEST(ExpanderList, OnlyBit7OfTheFirstEntryByteCounts) {
    ExpanderTable table{};
    table.fill(0x7F); // every other bit set: filler the list must ignore
    for (int a : {0, 2, 3, 4, 5, 63})
        table[4 * a] = 0x80;
    table[4 * 1 + 1] = 0xFF; // bit 7 of a later byte of entry 1 does not configure it
    EXPECT_EQ(configuredExpanders(table, false), (QVector<int>{0, 2, 3, 4, 5, 63}));
    // Over the local line only addresses 1..3 qualify, and only configured ones.
    EXPECT_EQ(configuredExpanders(table, true), (QVector<int>{2, 3}));
}

TEST(Descriptors, FreeNumberIsTheLowestThatNoSlotHolds) {
    DescriptorTable table{};
    table.fill(kNoDescription);
    EXPECT_EQ(FindFreeDescriptor(table), 0);

    // Slots of every expander count; values 150 and above are not descriptor numbers.
    table[0] = 0;
    table[511] = 1;
    table[200] = 3;
    table[300] = 150;
    table[301] = 163;
    EXPECT_EQ(FindFreeDescriptor(table), 2);

    for (int n = 0; n < kDescriptorNumbers; ++n)
        table[n] = static_cast<uint8_t>(n);
    EXPECT_EQ(FindFreeDescriptor(table), std::nullopt);
    table[77] = kNoDescription;
    EXPECT_EQ(FindFreeDescriptor(table), 77);
}

TEST(Descriptors, TextOfACommand4Reply) {
    const auto reply = [](const QByteArray& data, int lengthByte = -1) {
        std::vector<uint8_t> r(64, 'Z'); // stale bytes behind the frame
        r[0] = static_cast<uint8_t>(lengthByte >= 0 ? lengthByte : data.size() + 6);
        r[1] = 1;
        r[2] = 4;
        for (int i = 0; i < data.size(); ++i)
            r[3 + i] = static_cast<uint8_t>(data[i]);
        return r;
    };
    struct Case {
        QByteArray data;
        int lengthByte;
        QString text;
    } cases[] = {
        {QByteArray("Kitchen\0", 8), -1, QStringLiteral("Kitchen")},
        // Windows-1251 "Кухня".
        {QByteArray("\xCA\xF3\xF5\xED\xFF\0", 6), -1, QStringLiteral("Кухня")},
        // 25 characters without a 0 byte: the first 21.
        {QByteArray("ABCDEFGHIJKLMNOPQRSTUVWXY"), -1, QStringLiteral("ABCDEFGHIJKLMNOPQRSTU")},
        {QByteArray("\0", 1), -1, QString()},
        // A reply without data and one whose text runs to its end: nothing from behind the frame.
        {QByteArray(), -1, QString()},
        {QByteArray("AB"), -1, QStringLiteral("AB")},
        {QByteArray("AB"), 4, QString()},
    };
    for (const Case& c : cases)
        EXPECT_EQ(descriptorTextOfReply(reply(c.data, c.lengthByte).data()), c.text) << c.data.toHex().data();
}

TEST(Descriptors, WrittenTextIsAtMost20Characters) {
    const QString twenty = QStringLiteral("Входная дверь гаража");
    ASSERT_EQ(twenty.size(), 20);
    EXPECT_EQ(descriptionToWrite(twenty), twenty);
    EXPECT_EQ(descriptionToWrite(twenty + QStringLiteral(" и двор")), twenty);
    EXPECT_EQ(descriptionToWrite(QString()), QString());
    // A character outside the basic plane counts as one and is never cut in half.
    const QString wide = QString(19, QChar('a')) + QString::fromUcs4(U"\U0001F600") + QStringLiteral("b");
    EXPECT_EQ(descriptionToWrite(wide), wide.left(21));
}

TEST(WriteFrames, CodesTravelHighByteFirstWithDigitsExchanged) {
    struct Case {
        uint16_t code;
        std::array<uint8_t, 2> line;
    } cases[] = {
        {0x12FF, {0x21, 0xFF}}, {0xABCD, {0xBA, 0xDC}}, {0x0000, {0x00, 0x00}}, {0x1234, {0x21, 0x43}}};
    for (const Case& c : cases)
        EXPECT_EQ(swappedCodeBytes(c.code), c.line) << c.code;
}

TEST(WriteFrames, PayloadsOfPartitionUserAndParameterBlock) {
    // Written down from the frame tables: relay command, line address a * 2 + 1, expander command,
    // then the data.
    EXPECT_EQ(bytesOf(partitionWritePayload(5, 3, PartitionEntry{17, 0x81, 0x12FF})),
              (std::vector<uint8_t>{0x01, 0x0B, 0x59, 17, 0x81, 0x21, 0xFF, 2, 0, 0}));
    EXPECT_EQ(bytesOf(userWritePayload(63, 30, 0xF0, 0x3030)),
              (std::vector<uint8_t>{0x01, 0x7F, 0x5C, 30, 0xF0, 0x03, 0x03, 30, 0, 0}));
    ParameterBlock block{};
    for (int i = 0; i < kParameterCount; ++i)
        block[i] = static_cast<uint8_t>(0xA0 + i);
    std::vector<uint8_t> expected{0x01, 0x01, 0x56};
    for (int i = 0; i < kParameterCount; ++i)
        expected.push_back(static_cast<uint8_t>(0xA0 + i));
    EXPECT_EQ(bytesOf(parameterWritePayload(0, block)), expected);
}

TEST(WriteFrames, DescriptorPayloadsForTextStandardAndNone) {
    // Slot of expander 40, loop 3: 322 = 0x0142.
    ASSERT_EQ(descriptorSlot(40, 3), 322);
    EXPECT_EQ(bytesOf(descriptorWritePayload(7, 322, QByteArray("\xCA\xF3\xF5", 3))),
              (std::vector<uint8_t>{3, 7, 4, 0x01, 0x42, 0xCA, 0xF3, 0xF5, 0}));
    EXPECT_EQ(bytesOf(descriptorWritePayload(168, 322, {})),
              (std::vector<uint8_t>{3, 168, 0, 0x01, 0x42, 0}));
    EXPECT_EQ(bytesOf(descriptorWritePayload(255, 511, {})),
              (std::vector<uint8_t>{3, 255, 0, 0x01, 0xFF, 0}));
}

} // namespace
