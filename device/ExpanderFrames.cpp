#include "device/ExpanderFrames.h"

#include "base/Text1251.h"
#include "link/Access.h"

#include <QStringView>
#include <algorithm>

namespace {

const QString kExpanderItemPrefix = QStringLiteral("Расширитель ");

void appendCode(QByteArray& payload, uint16_t code) {
    const auto bytes = swappedCodeBytes(code);
    payload.append(static_cast<char>(bytes[0]));
    payload.append(static_cast<char>(bytes[1]));
}

QByteArray relayPayload(uint8_t address, uint8_t expanderCommand) {
    QByteArray payload;
    payload.append(static_cast<char>(Command::Relay));
    payload.append(static_cast<char>(lineAddress(address)));
    payload.append(static_cast<char>(expanderCommand));
    return payload;
}

} // namespace

QString expanderItemText(int address) {
    return kExpanderItemPrefix + QString::number(address);
}

std::optional<int> expanderAddressOf(const QString& itemText) {
    bool ok = false;
    const int address = itemText.mid(kExpanderItemPrefix.size()).toInt(&ok, 10);
    if (!ok || address < 0 || address > kHighestAddress) return std::nullopt;
    return address;
}

QVector<int> configuredExpanders(const ExpanderTable& table, bool localLine) {
    QVector<int> addresses;
    for (int a = 0; a <= kHighestAddress; ++a) {
        if (!(table[4 * a] & 0x80)) continue;
        if (localLine && (a < 1 || a > 3)) continue;
        addresses.append(a);
    }
    return addresses;
}

int descriptorSlot(int address, int loop) {
    return address * 8 + (loop - 1);
}

std::optional<int> FindFreeDescriptor(const DescriptorTable& table) {
    std::array<bool, kDescriptorNumbers> used{};
    for (uint8_t value : table)
        if (value < kDescriptorNumbers) used[value] = true;
    for (int number = 0; number < kDescriptorNumbers; ++number)
        if (!used[number]) return number;
    return std::nullopt;
}

QString descriptorTextOfReply(const uint8_t* reply) {
    // Data bytes are R[3] .. R[L - 4]; a frame too short to hold any leaves the text empty.
    const int dataBytes = std::max(0, int(reply[0]) - 6);
    const int limit = std::min(kDescriptorTextRead, dataBytes);
    QByteArray bytes;
    for (int i = 0; i < limit && reply[3 + i] != 0; ++i)
        bytes.append(static_cast<char>(reply[3 + i]));
    return fromCp1251(bytes);
}

QString descriptionToWrite(const QString& text) {
    // Count characters, not UTF-16 units, so that a pair of surrogates is never cut in half.
    int characters = 0;
    qsizetype end = 0;
    while (end < text.size() && characters < kDescriptorTextWritten) {
        end += (text.at(end).isHighSurrogate() && end + 1 < text.size()) ? 2 : 1;
        ++characters;
    }
    return text.left(end);
}

std::array<uint8_t, 2> swappedCodeBytes(uint16_t code) {
    return {Access::swapNibbles(static_cast<uint8_t>(code >> 8)),
            Access::swapNibbles(static_cast<uint8_t>(code & 0xFF))};
}

QByteArray partitionWritePayload(uint8_t address, int partition, const PartitionEntry& entry) {
    QByteArray payload = relayPayload(address, ExpanderCommand::WritePartition);
    payload.append(static_cast<char>(entry.globalNumber));
    payload.append(static_cast<char>(entry.loopMask));
    appendCode(payload, entry.code);
    payload.append(static_cast<char>(partition - 1));
    payload.append(2, '\0');
    return payload;
}

QByteArray userWritePayload(uint8_t address, int user, uint8_t loopMask, uint16_t code) {
    QByteArray payload = relayPayload(address, ExpanderCommand::WriteUser);
    payload.append(static_cast<char>(user));
    payload.append(static_cast<char>(loopMask));
    appendCode(payload, code);
    payload.append(static_cast<char>(user));
    payload.append(2, '\0');
    return payload;
}

QByteArray parameterWritePayload(uint8_t address, const ParameterBlock& parameters) {
    QByteArray payload = relayPayload(address, ExpanderCommand::WriteParameters);
    for (uint8_t byte : parameters)
        payload.append(static_cast<char>(byte));
    return payload;
}

QByteArray descriptorWritePayload(uint8_t code, int slot, const QByteArray& text) {
    QByteArray payload;
    payload.append(static_cast<char>(Command::WriteDescriptor));
    payload.append(static_cast<char>(code));
    payload.append(static_cast<char>(text.isEmpty() ? 0 : text.size() + 1));
    payload.append(static_cast<char>(slot >> 8));
    payload.append(static_cast<char>(slot & 0xFF));
    payload.append(text);
    payload.append('\0');
    return payload;
}
