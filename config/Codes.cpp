#include "config/Codes.h"

#include "base/IntegerText.h"

uint16_t ParseCode(const QString& text) {
    const std::optional<int32_t> parsed = parseHexText(text);
    // Unsigned arithmetic: the high bits may overflow freely, only the low 16 bits are kept.
    uint32_t value = parsed ? static_cast<uint32_t>(*parsed) : 0xFFFFu;
    for (qsizetype missing = 4 - text.size(); missing > 0; --missing)
        value = value * 16 + 15;
    return static_cast<uint16_t>(value & 0xFFFF);
}

QString formatCode(uint16_t code) {
    return QStringLiteral("%1").arg(code, 4, 16, QLatin1Char('0')).toUpper();
}

uint16_t defaultUserCode(int user) {
    const unsigned digits = unsigned(user / 10) * 16 + unsigned(user % 10);
    return static_cast<uint16_t>((digits * 0x101) & 0xFFFF);
}

uint16_t defaultPartitionCode(int partition) {
    return static_cast<uint16_t>((unsigned(partition) * 0x0101) & 0xFFFF);
}
