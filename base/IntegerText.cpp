#include "base/IntegerText.h"

std::optional<int32_t> parseInteger(const QString& text) {
    int i = 0;
    const int n = text.size();
    while (i < n && (text[i] == u' ' || text[i] == u'\t'))
        ++i;
    bool negative = false;
    if (i < n && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    int base = 10;
    if (i < n && text[i] == u'$') {
        base = 16;
        ++i;
    } else if (i < n && (text[i] == u'x' || text[i] == u'X')) {
        base = 16;
        ++i;
    } else if (i + 1 < n && text[i] == u'0' && (text[i + 1] == u'x' || text[i + 1] == u'X')) {
        base = 16;
        i += 2;
    }
    if (i >= n) return std::nullopt;
    uint64_t value = 0;
    for (; i < n; ++i) {
        const char16_t c = text[i].unicode();
        int digit;
        if (c >= u'0' && c <= u'9')
            digit = c - u'0';
        else if (base == 16 && c >= u'a' && c <= u'f')
            digit = c - u'a' + 10;
        else if (base == 16 && c >= u'A' && c <= u'F')
            digit = c - u'A' + 10;
        else
            return std::nullopt;
        value = value * base + digit;
        // Hexadecimal texts may spell any 32-bit pattern ($FFFFFFFF is -1); decimal ones must fit.
        if (value > (base == 16 ? 0xFFFFFFFFull : 0x80000000ull)) return std::nullopt;
    }
    int64_t signedValue;
    if (base == 16)
        signedValue = static_cast<int32_t>(static_cast<uint32_t>(value));
    else
        signedValue = static_cast<int64_t>(value);
    if (negative) signedValue = -signedValue;
    if (signedValue < INT32_MIN || signedValue > INT32_MAX) return std::nullopt;
    return static_cast<int32_t>(signedValue);
}

int32_t integerOr(const QString& text, int32_t fallback) {
    return parseInteger(text).value_or(fallback);
}

std::optional<int32_t> parseHexText(const QString& text) {
    return parseInteger(u'$' + text);
}
