#pragma once
#include <array>
#include <cstdint>
#include <QString>

struct MainControls;

// The access step that presents the access code before every port selection, read and
// programming run, and the two program-wide flags it sets.
namespace Access {

constexpr uint32_t kDefaultAccessCode = 0x33337777;
constexpr uint32_t kLocalLineDefaultCode = 0x12341234;
constexpr int kAttempts = 5;

// The four code bytes for the text of the access-code field.
std::array<uint8_t, 4> codeBytes(const QString& text, bool defaultCodeChecked, bool localLine);
// Exchanges the two hexadecimal digits of a byte.
inline uint8_t swapNibbles(uint8_t b) { return static_cast<uint8_t>((b << 4) | (b >> 4)); }

// The access step (command 0) with the main window's access-code field, default-code box,
// progress bar and global partitions page.
bool CheckAccess(const MainControls& controls);

bool localLineMode();
bool status8Flag();
// Program start clears both flags; tests use it to start each case afresh.
void resetFlags();

} // namespace Access

// Commands of the control unit and of its expanders.
namespace Command {
constexpr uint8_t Access = 0, Relay = 1, Fetch = 2, WriteDescriptor = 3, ReadDescriptor = 4,
                  DescriptorTable = 5, ExpanderTable = 6;
}
namespace ExpanderCommand {
constexpr uint8_t ReadParameters = 0x55, WriteParameters = 0x56, WritePartition = 0x59,
                  ReadPartitions = 0x5A, WriteUser = 0x5C, ReadUsers = 0x5D;
}
inline uint8_t lineAddress(uint8_t expanderAddress) { return static_cast<uint8_t>(expanderAddress * 2 + 1); }
