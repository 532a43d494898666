#include "base/IntegerText.h"

#include <gtest/gtest.h>

namespace {

struct Case {
    const char16_t* text;
    std::optional<int32_t> value;
};

TEST(IntegerText, ConvertsLikeTheProgramEverywhere) {
    const Case cases[] = {
        {u"0", 0},
        {u"12", 12},
        {u"  7", 7},
        {u"+5", 5},
        {u"-5", -5},
        {u"$FF", 255},
        {u"$ff", 255},
        {u"xFF", 255},
        {u"XfF", 255},
        {u"0x1b", 27},
        {u"0X1B", 27},
        {u"-$10", -16},
        {u"$FFFFFFFF", -1},
        {u"2147483647", 2147483647},
        {u"-2147483648", INT32_MIN},
        {u"2147483648", std::nullopt},
        {u"$100000000", std::nullopt},
        {u"99999999999999999999", std::nullopt},
        {u"", std::nullopt},
        {u" ", std::nullopt},
        {u"-", std::nullopt},
        {u"$", std::nullopt},
        {u"0x", std::nullopt},
        {u"12 ", std::nullopt},
        {u"1a", std::nullopt},
        {u"1.5", std::nullopt},
        {u"$$1", std::nullopt},
        {u"+-1", std::nullopt},
        {u"١٢", std::nullopt},
    };
    for (const Case& c : cases) {
        const QString text = QString::fromUtf16(c.text);
        EXPECT_EQ(parseInteger(text), c.value) << text.toStdString();
    }
}

TEST(IntegerText, HexTextReadsCodesWithTheirOwnPrefixRefused) {
    EXPECT_EQ(parseHexText("1b"), 0x1b);
    EXPECT_EQ(parseHexText("12345678"), 0x12345678);
    EXPECT_EQ(parseHexText(""), std::nullopt);
    EXPECT_EQ(parseHexText("$12"), std::nullopt);
    EXPECT_EQ(parseHexText("-1"), std::nullopt);
    EXPECT_EQ(parseHexText(" 1"), std::nullopt);
    EXPECT_EQ(integerOr("abc", 100000000), 100000000);
}

} // namespace
