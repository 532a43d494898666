#include "config/LoopLayout.h"
#include "config/ConfigView.h"

#include <gtest/gtest.h>

namespace {

const QString kPlus = QStringLiteral("+");
const QString kSmoke = QStringLiteral("Дымовой пожарный");
const QString kHeat = QStringLiteral("Тепловой пожарный");
const QString kSecurity = QStringLiteral("Охранный");
const QString kAlarm = QStringLiteral("Тревожный");
const QString kSlow = QStringLiteral("600 мс");
const QString kFast = QStringLiteral("60 мс");

LoopColumnTexts column(std::initializer_list<std::pair<int, QString>> rows) {
    LoopColumnTexts texts;
    for (const auto& [row, text] : rows)
        texts[row - 1] = text;
    return texts;
}

// Rows 2..19 that are neither the pair number (8) nor the reaction time (16).
bool isPlainRow(int row) {
    return row >= 2 && row <= 19 && row != 8 && row != 16;
}

TEST(LoopLayout, LoopTypeFollowsBitSevenThenBitSixOrBitZero) {
    const std::pair<uint8_t, int> cases[] = {
        {0x00, 2}, {0x01, 3}, {0x7E, 2}, {0x7F, 3}, {0x41, 3}, {0x40, 2},
        {0x80, 0}, {0x81, 0}, {0xBF, 0}, {0xC0, 1}, {0xC7, 1}, {0xFF, 1},
    };
    for (const auto& [byte, type] : cases)
        EXPECT_EQ(LoopTypeOf(byte), type) << int(byte);
}

TEST(LoopLayout, StoredBytesShowAsTheDocumentedExamples) {
    const LoopColumnTexts smoke = loopColumnTexts(0x85, 0x50, LoopTypeOf(0x85));
    EXPECT_EQ(smoke[0], kSmoke);
    EXPECT_EQ(smoke[7], "6");
    EXPECT_EQ(smoke[9], kPlus);
    EXPECT_EQ(smoke[10], kPlus);
    for (int row : {2, 3, 4, 5, 6, 7, 9, 12, 13, 14, 15, 16, 17, 18, 19})
        EXPECT_TRUE(smoke[row - 1].isEmpty()) << row;

    const LoopColumnTexts alarm = loopColumnTexts(0x41, 0x80, LoopTypeOf(0x41));
    EXPECT_EQ(alarm[0], kAlarm);
    EXPECT_EQ(alarm[15], kSlow);
    EXPECT_EQ(alarm[2], kPlus);
    for (int row = 2; row <= 19; ++row)
        if (row != 3 && row != 16) EXPECT_TRUE(alarm[row - 1].isEmpty()) << row;
}

// Which stored bit each flag row shows, per loop kind: {row, byte (1 or 2), bit}.
struct FlagRow {
    int row;
    int byte;
    int bit;
};
const FlagRow kFireFlags[] = {{2, 1, 4}, {3, 2, 7}, {4, 2, 0},  {5, 2, 1}, {6, 2, 2},
                              {7, 2, 3}, {9, 1, 3}, {10, 2, 4}, {11, 2, 6}};
const FlagRow kSecurityFlags[] = {{2, 1, 4},  {3, 2, 7},  {4, 2, 0},  {5, 2, 1},  {6, 2, 2},
                                  {7, 2, 3},  {12, 1, 1}, {13, 1, 2}, {14, 1, 3}, {15, 1, 5},
                                  {17, 2, 4}, {18, 2, 5}, {19, 2, 6}};

TEST(LoopLayout, EveryFireFlagRowShowsAndCollectsItsOwnBit) {
    for (const QString& type : {kSmoke, kHeat}) {
        const uint8_t base = type == kSmoke ? 0x80 : 0xC0; // pair number 1
        const int typeCode = type == kSmoke ? 0 : 1;
        for (const FlagRow& flag : kFireFlags) {
            const uint8_t b1 = base | (flag.byte == 1 ? 1 << flag.bit : 0);
            const uint8_t b2 = flag.byte == 2 ? 1 << flag.bit : 0;
            const LoopColumnTexts shown = loopColumnTexts(b1, b2, typeCode);
            EXPECT_EQ(shown[0], type);
            EXPECT_EQ(shown[7], "1");
            for (int row = 2; row <= 19; ++row)
                if (isPlainRow(row) || row == 16)
                    EXPECT_EQ(shown[row - 1], row == flag.row ? kPlus : QString())
                        << flag.row << " row " << row;

            const LoopBytes collected = loopBytesOf(column({{1, type}, {8, "1"}, {flag.row, kPlus}}));
            EXPECT_EQ(collected, (LoopBytes{b1, b2})) << flag.row;
            EXPECT_EQ(loopBytesOf(shown), (LoopBytes{b1, b2})) << flag.row;
        }
    }
}

TEST(LoopLayout, EverySecurityFlagRowShowsAndCollectsItsOwnBit) {
    for (const QString& type : {kSecurity, kAlarm}) {
        const uint8_t base = type == kSecurity ? 0x00 : 0x01;
        const int typeCode = type == kSecurity ? 2 : 3;
        for (const FlagRow& flag : kSecurityFlags) {
            const uint8_t b1 = base | (flag.byte == 1 ? 1 << flag.bit : 0);
            const uint8_t b2 = flag.byte == 2 ? 1 << flag.bit : 0;
            const LoopColumnTexts shown = loopColumnTexts(b1, b2, typeCode);
            EXPECT_EQ(shown[0], type);
            EXPECT_EQ(shown[15], kFast);
            for (int row = 2; row <= 19; ++row)
                if (isPlainRow(row))
                    EXPECT_EQ(shown[row - 1], row == flag.row ? kPlus : QString())
                        << flag.row << " row " << row;
            EXPECT_TRUE(shown[7].isEmpty());

            const LoopBytes collected = loopBytesOf(column({{1, type}, {flag.row, kPlus}}));
            EXPECT_EQ(collected, (LoopBytes{b1, b2})) << flag.row;
            EXPECT_EQ(loopBytesOf(shown), (LoopBytes{b1, b2})) << flag.row;
        }
    }
}

TEST(LoopLayout, ReactionTimeIsBitSixOfSecurityLoopsOnly) {
    EXPECT_EQ(loopColumnTexts(0x40, 0, 2)[15], kSlow);
    EXPECT_EQ(loopColumnTexts(0x00, 0, 2)[15], kFast);
    EXPECT_EQ(loopBytesOf(column({{1, kSecurity}, {16, kSlow}})).first, 0x40);
    EXPECT_EQ(loopBytesOf(column({{1, kSecurity}, {16, kFast}})).first, 0x00);
    for (const char* text : {"600мс", "600 мс ", "600", " 600 мс"})
        EXPECT_EQ(loopBytesOf(column({{1, kSecurity}, {16, QString::fromUtf8(text)}})).first, 0x00) << text;
    // On a fire loop bit 6 is the heat type, not a reaction time.
    EXPECT_TRUE(loopColumnTexts(0xC0, 0, 1)[15].isEmpty());
}

TEST(LoopLayout, FireLoopsHideTheSecurityRowsAndShowThePairNumber) {
    const LoopColumnTexts shown = loopColumnTexts(0xFF, 0xFF, 1);
    for (int row = 12; row <= 19; ++row)
        EXPECT_TRUE(shown[row - 1].isEmpty()) << row;
    EXPECT_EQ(shown[7], "8");
    const LoopColumnTexts security = loopColumnTexts(0x7F, 0xFF, 3);
    for (int row = 8; row <= 11; ++row)
        EXPECT_TRUE(security[row - 1].isEmpty()) << row;
}

TEST(LoopLayout, PairNumberSetsTheLowBitsOfAFireLoop) {
    for (int pair = 1; pair <= 8; ++pair) {
        const QString text = QString::number(pair);
        EXPECT_EQ(loopBytesOf(column({{1, kSmoke}, {8, text}})).first, 0x80 + pair - 1);
        EXPECT_EQ(loopBytesOf(column({{1, kHeat}, {8, text}})).first, 0xC0 + pair - 1);
        EXPECT_EQ(loopColumnTexts(uint8_t(0x80 + pair - 1), 0, 0)[7], text);
    }
    EXPECT_EQ(loopBytesOf(column({{1, kHeat}, {8, "1"}, {9, kPlus}})).first, 0xC8);
    // Numbers outside 1..8 wrap into the byte as they come (the editor never puts them there).
    EXPECT_EQ(loopBytesOf(column({{1, kSmoke}, {8, "9"}})).first, 0x88);
    EXPECT_EQ(loopBytesOf(column({{1, kSmoke}, {8, "0"}})).first, 0x7F);
    EXPECT_EQ(loopBytesOf(column({{1, kHeat}, {8, "-200"}})).first, uint8_t(-200 + 191));
    EXPECT_EQ(loopBytesOf(column({{1, kSmoke}, {8, "2147483647"}})).first, uint8_t(0x7E));
    EXPECT_EQ(loopBytesOf(column({{1, kSmoke}, {8, "$8"}})).first, 0x87);
    EXPECT_EQ(loopBytesOf(column({{1, kSmoke}, {8, " 3"}})).first, 0x82);
}

TEST(LoopLayout, PairNumberThatIsNoIntegerFailsTheCollection) {
    for (const char* text : {"", "x", "1.5", "3 ", "８"}) {
        const QString pair = QString::fromUtf8(text);
        try {
            loopBytesOf(column({{1, kHeat}, {8, pair}}));
            ADD_FAILURE() << "no error for " << text;
        } catch (const ConversionError& error) {
            EXPECT_EQ(error.message(), "'" + pair + "' is not a valid integer value");
        }
    }
    // A security loop never reads its pair row.
    EXPECT_NO_THROW(loopBytesOf(column({{1, kSecurity}, {8, "x"}})));
}

TEST(LoopLayout, UnknownTypeTextsAndLooseFlagsCollectAsAlarmLoopWithoutFlags) {
    for (const char* type : {"", "охранный", "Дымовой", "Дымовой пожарный ", "?"}) {
        LoopColumnTexts texts;
        texts[0] = QString::fromUtf8(type);
        for (int row = 2; row <= 19; ++row)
            texts[row - 1] = row % 2 ? QStringLiteral(" +") : QStringLiteral("++");
        EXPECT_EQ(loopBytesOf(texts), (LoopBytes{0x01, 0x00})) << type;
    }
    for (const char* flag : {"1", "да", "+ ", "x"})
        EXPECT_EQ(loopBytesOf(column({{1, kSecurity}, {2, QString::fromUtf8(flag)}})).first, 0) << flag;
}

TEST(LoopLayout, GeneralBoxesMapToTheirBitsWithTwoInverted) {
    // [box index] = {byte, bit}; boxes 3 and 12 (index 2 and 11) are ticked when their bit is 0.
    const std::pair<int, int> bits[13] = {{1, 0}, {1, 1}, {1, 2}, {1, 3}, {1, 4}, {2, 0}, {2, 1},
                                          {2, 2}, {2, 3}, {2, 4}, {2, 5}, {2, 6}, {2, 7}};
    const std::array<uint8_t, 2> allClear = generalBytesOf(GeneralProperties{});
    EXPECT_EQ(allClear, (std::array<uint8_t, 2>{0x04, 0x40}));
    GeneralProperties shownFromZero = generalPropertiesOf(0, 0);
    for (int i = 0; i < 13; ++i)
        EXPECT_EQ(shownFromZero.boxes[i], i == 2 || i == 11) << "box " << i + 1;

    for (int i = 0; i < 13; ++i) {
        GeneralProperties ticked;
        ticked.boxes[i] = true;
        const std::array<uint8_t, 2> bytes = generalBytesOf(ticked);
        std::array<uint8_t, 2> expected = allClear;
        expected[bits[i].first - 1] ^= uint8_t(1 << bits[i].second);
        EXPECT_EQ(bytes, expected) << "box " << i + 1;
        EXPECT_EQ(generalPropertiesOf(bytes[0], bytes[1]), ticked) << "box " << i + 1;
    }
}

TEST(LoopLayout, ExitDelayIsTheTopThreeBitsOfByteOne) {
    for (int item = 0; item < 8; ++item) {
        GeneralProperties properties;
        properties.exitDelay = item;
        const std::array<uint8_t, 2> bytes = generalBytesOf(properties);
        EXPECT_EQ(bytes[0], uint8_t(item << 5 | 0x04)) << item;
        EXPECT_EQ(generalPropertiesOf(bytes[0], bytes[1]).exitDelay, item);
    }
    GeneralProperties item4;
    item4.exitDelay = 4;
    EXPECT_EQ(generalBytesOf(item4), (std::array<uint8_t, 2>{0x84, 0x40}));
    EXPECT_EQ(exitDelayItems()[4], "128 сек");
    EXPECT_EQ(generalPropertiesOf(0xFF, 0).exitDelay, 7);
}

} // namespace
