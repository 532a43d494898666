#pragma once
#include <QString>
#include <array>
#include <cstdint>

// The configuration of the one expander the main window edits: the reference copy, as last read
// from the expander, opened from a file or confirmed by the expander after programming.

constexpr uint16_t kEmptyCode = 0xFFFF;
constexpr int kUserCount = 31;      // users 0..30
constexpr int kPartitionCount = 8;  // global partitions 1..8 (index p - 1)
constexpr int kLoopCount = 8;       // loops 1..8 (index n - 1)
constexpr int kParameterCount = 18; // parameter bytes 1..18 (index k - 1)
constexpr uint8_t kNoExpander = 65; // address while the expander list of a new port is read

struct UserEntry {
    uint8_t loopMask = 0;
    uint16_t code = kEmptyCode;
    bool operator==(const UserEntry&) const = default;
};

struct PartitionEntry {
    uint8_t globalNumber = 0;
    uint8_t loopMask = 0;
    uint16_t code = 0;
    bool operator==(const PartitionEntry&) const = default;
};

using ParameterBlock = std::array<uint8_t, kParameterCount>;

struct ExpanderConfig {
    uint8_t address = 0;
    ParameterBlock parameters{};                      // [k - 1] = parameter byte k
    std::array<QString, kLoopCount> loopDescriptions; // [n - 1] = loop n
    std::array<UserEntry, kUserCount> users;          // [u] = user u
    uint16_t extraCode = kEmptyCode;                  // the 32nd code of the page-wise code read; unused
    std::array<PartitionEntry, kPartitionCount> globalPartitions; // [p - 1] = partition p
    bool loadedFromFile = false;
    bool codesRead = false;
};

// What CollectConfig takes out of the controls: the same fields as the record, without address
// and flags.
struct CollectedConfig {
    ParameterBlock parameters{};
    std::array<QString, kLoopCount> loopDescriptions;
    std::array<UserEntry, kUserCount> users;
    std::array<PartitionEntry, kPartitionCount> globalPartitions;
    bool operator==(const CollectedConfig&) const = default;
};
