#pragma once
#include <array>
#include <cstdint>

// The frames of the key-programming device, without any port: building a request, checking a reply,
// reading the bits of a key table, and the numbering of key slots.
namespace KeyLink {

constexpr uint8_t kRequestStart = 0xAF;
constexpr uint8_t kReplyStart = 0xFA;
constexpr uint8_t kRequestLength = 0x07; // bytes before the checksum: start, length, command, 4 parameters
constexpr int kRequestSize = 9;
constexpr uint8_t kStatusAccepted = 5;

// Commands and the markers that travel in their parameters. 0xFF and 0xFE are never slots.
constexpr uint8_t kReadTable = 2;
constexpr uint8_t kWriteKey = 3;
constexpr uint8_t kNoSlot = 0xFF;  // cancel (as slot), delete (as expander), "in no slot" in a report
constexpr uint8_t kDecline = 0xFE; // decline re-programming (as expander)

// Tables of command 2 (parameter 1).
constexpr uint8_t kTableKey1 = 0;
constexpr uint8_t kTableKey2 = 1;
constexpr uint8_t kTableThreeExpanders = 2;

constexpr int kUsers = 30;
constexpr int kExpanders = 3;
constexpr int kSlots = 180;
constexpr int kSingleTableBits = 90;
constexpr int kThreeTableBits = 60;
constexpr int kReportSlotByte = 10; // R[10] of a key report

// Deadlines of a reply, each counted from the end of the step before it.
constexpr unsigned kStartDeadlineMs = 200;
constexpr unsigned kLengthDeadlineMs = 1000;
constexpr unsigned kBodyDeadlineMs = 300;
// Pause after a reply that passed its check with a status other than accepted.
constexpr unsigned kRefusedPauseMs = 100;

constexpr int kTableTries = 5;
constexpr int kCommandTries = 3;
constexpr int kDeclineTries = 1;

// The 9-byte request: AF 07 command p1 p2 p3 p4, then the 16-bit sum of bytes 1..6, low byte first.
std::array<uint8_t, kRequestSize> buildKeyRequest(uint8_t command, uint8_t p1, uint8_t p2, uint8_t p3,
                                                  uint8_t p4);

enum class KeyReplyCheck {
    Ok,
    BadLength,  // a length byte of 0 or 1 cannot start a reply
    Incomplete, // fewer than N - 2 bytes after the length byte, or no check byte at all
    BadCheck,   // the last byte that arrived is not the low 8 bits of the sum of those before it
};

// Checks a reply as it was read: bytes[0] is the length byte N, followed by the bytes that arrived
// after it (at most N - 1 count; more are ignored). The last byte that arrived is taken as the check
// byte, so a reply short of its last byte is checked against the byte before.
KeyReplyCheck checkKeyReply(const uint8_t* bytes, int count);

// Bit b of a table reply (R[0] = length byte): the bit of value 1 << (b mod 8) in R[2 + b div 8].
inline bool tableBit(const uint8_t* reply, int bit) {
    return (reply[2 + bit / 8] >> (bit % 8)) & 1;
}

// Slots: (key - 1) * 90 + (expander - 1) * 30 + (user - 1). A three-expander key is addressed by
// the slot of expander 1.
constexpr int slotOf(int key, int expander, int user) {
    return (key - 1) * 90 + (expander - 1) * kUsers + (user - 1);
}
// The key grid: slot s is the cell in column s div 30 + 1, row s mod 30 + 1.
constexpr int columnOfSlot(int slot) {
    return slot / kUsers + 1;
}
constexpr int rowOfSlot(int slot) {
    return slot % kUsers + 1;
}
constexpr int slotOfCell(int column, int row) {
    return (column - 1) * kUsers + (row - 1);
}
constexpr bool isKeyCell(int column, int row) {
    return column >= 1 && column <= 6 && row >= 1 && row <= kUsers;
}

} // namespace KeyLink
