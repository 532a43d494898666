#include "device/ExpanderFrames.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <vector>

namespace {

TEST(ExpanderList, AddressFromTheItemText) {
    for (int a : {0, 5, 63})
        EXPECT_EQ(expanderAddressOf(expanderItemText(a)), a);
    for (const char* text : {"Расширитель 64", "Расширитель -1", "Расширитель x", "Расширитель ", ""})
        EXPECT_EQ(expanderAddressOf(QString::fromUtf8(text)), std::nullopt) << text;
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

TEST(Descriptors, WrittenTextIsAtMost21Characters) {
    const QString unitsOwn = QStringLiteral("Входная дверь гаража!");
    ASSERT_EQ(unitsOwn.size(), 21);
    EXPECT_EQ(descriptionToWrite(unitsOwn), unitsOwn);
    EXPECT_EQ(descriptionToWrite(unitsOwn + QStringLiteral(" и двор")), unitsOwn);
    EXPECT_EQ(descriptionToWrite(QString()), QString());
    // A character outside the basic plane counts as one and is never cut in half.
    const QString wide = QString(20, QChar('a')) + QString::fromUcs4(U"\U0001F600") + QStringLiteral("b");
    EXPECT_EQ(descriptionToWrite(wide), wide.left(22));
}

} // namespace
