#pragma once
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

// Loop description codes of the control unit: 255 is no description, codes below 150 number the
// free texts it keeps, and 151..176 stand for fixed names that it does not store as text.
constexpr uint8_t kNoDescription = 255;
constexpr uint8_t kFirstStandardDescription = 151;
constexpr uint8_t kLastStandardDescription = 176;

// The 26 fixed names, [code - 151].
const QStringList& standardDescriptions();

inline bool isStandardDescription(int code) {
    return code >= kFirstStandardDescription && code <= kLastStandardDescription;
}

// 255 for an empty text, the fixed code for a text equal to a fixed name regardless of letter case,
// and no code for any other text (it is kept as free text).
std::optional<uint8_t> DescriptionCodeOf(const QString& text);

// The fixed name of a code 151..176; an empty text for 255 and for every other code.
QString DescriptionTextOf(int code);
