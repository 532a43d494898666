// Code page 1251 both ways, as the system's chart of the code page gives it, on every system.
#include "base/Text1251.h"

#include <QSet>
#include <gtest/gtest.h>

namespace {

struct Case {
    const char* hex;      // the bytes, in lower-case hexadecimal
    const char16_t* text; // the characters
    bool fits;            // false: the characters have no place in the code page; hex is how they go out
};

TEST(Text1251, CharactersAndTheirBytes) {
    const Case cases[] = {
        {"c0c1c2dfe0e1ffa8b8", u"АБВЯабяЁё", true},
        {"cceef1eae2e0", u"Москва", true},
        {"b99697abbb85a0", u"№–—«»…\u00A0", true},
        {"8088aab2b3afbfa1", u"Ђ€ЄІіЇїЎ", true},
        {"417a300d0a0920", u"Az0\r\n\t ", true},
        {"", u"", true},
        {"611a62", u"a✓b", false},
        {"1a", u"é", false}, // no look-alike: that would change the text
        {"1a1a", u"ΩΣ", false},
        {"1a", u"😀", false},
    };
    for (const Case& c : cases) {
        const QByteArray bytes = QByteArray::fromHex(c.hex);
        const QString text = QString::fromUtf16(c.text);
        EXPECT_EQ(toCp1251(text).toHex().toStdString(), c.hex);
        EXPECT_EQ(fitsCp1251(text), c.fits) << c.hex;
        if (c.fits) EXPECT_EQ(fromCp1251(bytes), text) << c.hex;
    }
}

// Every byte but the one the code page leaves unassigned stands for one character of its own, and
// that character goes out as the same byte.
TEST(Text1251, EveryAssignedByteRoundTrips) {
    QByteArray all;
    for (int b = 1; b < 256; ++b)
        if (b != 0x98) all.append(static_cast<char>(b));
    const QString text = fromCp1251(all);
    ASSERT_EQ(text.size(), all.size());
    EXPECT_EQ(QSet<QChar>(text.begin(), text.end()).size(), all.size());
    EXPECT_TRUE(fitsCp1251(text));
    EXPECT_EQ(toCp1251(text).toHex().toStdString(), all.toHex().toStdString());
}

} // namespace
