#pragma once
#include "config/Descriptions.h"
#include "config/ExpanderConfig.h"

#include <QByteArray>
#include <QString>
#include <QVector>
#include <array>
#include <cstdint>
#include <optional>

// Pure pieces of the expander procedures: the write frames of programming and of the loop
// descriptions, the control unit's two tables, and the texts of the expander list. No port and no
// widget in sight; the procedures in ExpanderSession put them on the line and on the screen.

using ExpanderTable = std::array<uint8_t, 256>;   // 64 entries of 4 bytes, entry a at 4a
using DescriptorTable = std::array<uint8_t, 512>; // slot a * 8 + (n - 1) for expander a, loop n

constexpr int kTableBlockSize = 32;
constexpr int kExpanderTableBlocks = 8;
constexpr int kDescriptorTableBlocks = 16;
constexpr int kHighestAddress = 63;
// A control unit that keeps echoing another block number is asked again at most this often; then
// the table read ends as after a failed request.
constexpr int kWrongEchoRepeats = 10;

// User 0 always goes out with this code, whatever its cell shows; the record keeps it once the
// expander confirms the user.
constexpr uint16_t kUserZeroCode = 0x1234;

// Descriptor numbers of free texts are 0..149 (the codes with a meaning of their own are in
// config/Descriptions.h).
constexpr int kDescriptorNumbers = 150;
// The control unit keeps at most 21 characters of a text: reading shows at most that many, and a
// write frame carries at most that many.
constexpr int kDescriptorTextRead = 21;
constexpr int kDescriptorTextWritten = kDescriptorTextRead;

// "Расширитель " followed by the address, and back (the address from the 13th character on).
QString expanderItemText(int address);
std::optional<int> expanderAddressOf(const QString& itemText);
// The addresses listed in ComboBox2, ascending: bit 7 of the first byte of each entry; over the local
// line only 1, 2 and 3 qualify.
QVector<int> configuredExpanders(const ExpanderTable& table, bool localLine);

int descriptorSlot(int address, int loop); // loop 1..8
// The lowest descriptor number 0..149 that no slot of the table holds; none when all are in use.
std::optional<int> FindFreeDescriptor(const DescriptorTable& table);

// The text of a command 4 reply (frame buffer with R[0] = length byte): the bytes from R[3] on, up
// to the first 0 byte, at most 21 and never beyond the reply's own data, in code page 1251.
QString descriptorTextOfReply(const uint8_t* reply);
// The part of a description that a write frame carries: its first 21 characters.
QString descriptionToWrite(const QString& text);

// The two bytes of a code as they travel in write frames: high byte first, each byte with its two
// hexadecimal digits exchanged.
std::array<uint8_t, 2> swappedCodeBytes(uint16_t code);

// Payloads for SendFrame (the bytes from offset 2 on: command, arguments, data).
QByteArray partitionWritePayload(uint8_t address, int partition, const PartitionEntry& entry);
QByteArray userWritePayload(uint8_t address, int user, uint8_t loopMask, uint16_t code);
QByteArray parameterWritePayload(uint8_t address, const ParameterBlock& parameters);
// Command 3: descriptor number or description code, slot, and the text's 1251 bytes (empty for a
// standard description or none).
QByteArray descriptorWritePayload(uint8_t code, int slot, const QByteArray& text);
