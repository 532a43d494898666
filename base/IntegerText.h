#pragma once
#include <QString>
#include <cstdint>
#include <optional>

// The one integer-text conversion of the program: leading blanks, an optional sign, then decimal
// digits or a hexadecimal number after "$", x/X or 0x/0X; nothing may follow. Empty or malformed
// texts and values outside the signed 32-bit range give no value.
std::optional<int32_t> parseInteger(const QString& text);

// parseInteger with a default for texts that do not convert.
int32_t integerOr(const QString& text, int32_t fallback);

// Codes are read as hexadecimal by putting "$" in front of the text.
std::optional<int32_t> parseHexText(const QString& text);
