#include "config/Codes.h"
#include "config/Descriptions.h"

#include <gtest/gtest.h>

namespace {

TEST(Codes, ParseCodeCompletesShortTextsWithLowFDigits) {
    const std::pair<const char*, uint16_t> cases[] = {
        {"1234", 0x1234},
        {"abcd", 0xABCD},
        {"AbCd", 0xABCD},
        {"0000", 0x0000},
        {"FFFF", 0xFFFF},
        {"12", 0x12FF},
        {"1", 0x1FFF},
        {"0", 0x0FFF},
        {"00", 0x00FF},
        {"ABC", 0xABCF},
        {"", 0xFFFF},
        {"xyz", 0xFFFF},
        {"G1", 0xFFFF},
        {"-1", 0xFFFF},
        {" 12", 0xFFFF},
        {"$12", 0xFFFF},
        {"ж", 0xFFFF},
        {"12 4", 0xFFFF},
        {"0x12", 0xFFFF},
        // Longer texts keep their low four digits.
        {"12345", 0x2345},
        {"FFFFFFFF", 0xFFFF},
        {"123456789", 0xFFFF},
    };
    for (const auto& [text, code] : cases)
        EXPECT_EQ(ParseCode(QString::fromUtf8(text)), code) << text;
}

TEST(Codes, FormatIsFourUpperCaseDigits) {
    EXPECT_EQ(formatCode(0x0000), "0000");
    EXPECT_EQ(formatCode(0x0A0B), "0A0B");
    EXPECT_EQ(formatCode(0xABCD), "ABCD");
    EXPECT_EQ(formatCode(0xFFFF), "FFFF");
    for (uint16_t code : {0x0000, 0x0001, 0x1234, 0xBEEF, 0xFFFF})
        EXPECT_EQ(ParseCode(formatCode(code)), code);
}

TEST(Codes, DefaultCodesRepeatTheNumberInBothBytes) {
    const std::pair<int, uint16_t> users[] = {
        {0, 0x0000}, {7, 0x0707}, {10, 0x1010}, {12, 0x1212}, {30, 0x3030}};
    for (const auto& [user, code] : users)
        EXPECT_EQ(defaultUserCode(user), code) << user;
    EXPECT_EQ(defaultPartitionCode(1), 0x0101);
    EXPECT_EQ(defaultPartitionCode(8), 0x0808);
}

TEST(Descriptions, FixedNamesMatchRegardlessOfLetterCase) {
    const std::pair<const char*, std::optional<uint8_t>> cases[] = {
        {"", 255},
        {"Прихожая", 151},
        {"Кухня", 168},
        {"кУХНЯ", 168},
        {"КУХНЯ", 168},
        {"чёрный ход", 152},
        {"ЧЁРНЫЙ ХОД", 152},
        {"Участок", 176},
        {"жилая КОМНАТА", 170},
        {"Черный ход", std::nullopt},
        {"Кухня ", std::nullopt},
        {" Кухня", std::nullopt},
        {"Kitchen", std::nullopt},
        {"Кухня2", std::nullopt},
    };
    for (const auto& [text, code] : cases)
        EXPECT_EQ(DescriptionCodeOf(QString::fromUtf8(text)), code) << text;
}

TEST(Descriptions, EveryFixedCodeHasItsNameAndBack) {
    EXPECT_EQ(standardDescriptions().size(), 26);
    EXPECT_EQ(DescriptionTextOf(151), "Прихожая");
    EXPECT_EQ(DescriptionTextOf(152), "Чёрный ход");
    EXPECT_EQ(DescriptionTextOf(176), "Участок");
    for (int code = 151; code <= 176; ++code)
        EXPECT_EQ(DescriptionCodeOf(DescriptionTextOf(code)), code) << code;
    for (int code : {0, 149, 150, 177, 254, 255})
        EXPECT_TRUE(DescriptionTextOf(code).isEmpty()) << code;
}

} // namespace
