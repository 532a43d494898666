#include "editors/CellRules.h"

#include "base/IntegerText.h"
#include "base/Text1251.h"
#include "config/Codes.h"

namespace {

constexpr int kMaxDescriptionLength = 19;

bool inRange(std::optional<int32_t> value, int32_t low, int32_t high) {
    return value && *value >= low && *value <= high;
}

} // namespace

bool isPairNumber(const QString& text) {
    return inRange(parseInteger(text), 1, 8);
}

bool acceptsPairNumberEdit(const QString& text) {
    return text.isEmpty() || isPairNumber(text);
}

bool acceptsDescriptionEdit(const QString& text) {
    return text.size() <= kMaxDescriptionLength && fitsCp1251(text);
}

std::optional<QString> committedGlobalNumber(const QString& typed) {
    if (inRange(parseInteger(typed), 0, 255)) return typed;
    return std::nullopt;
}

std::optional<QString> committedPartitionCode(const QString& typed) {
    if (typed.isEmpty()) return QString();
    const std::optional<int32_t> value = parseHexText(typed);
    if (inRange(value, 0, 0xFFFF)) return formatCode(static_cast<uint16_t>(*value));
    return std::nullopt;
}

std::optional<QString> committedUserCode(const QString& typed) {
    if (!typed.isEmpty() && inRange(parseHexText(typed), 0, 0xFFFF)) return typed;
    return std::nullopt;
}
