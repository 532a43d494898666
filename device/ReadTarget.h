#pragma once
#include "config/ExpanderConfig.h"

#include <QString>
#include <array>
#include <cstdint>

// Where a read of an expander puts what the expander reports, item by item as the replies arrive.
// The read itself (requests, pauses, progress, messages) is the same whatever the target: the main
// window's target fills the record and the controls, another target keeps a record of its own.
class ReadTarget {
  public:
    virtual ~ReadTarget() = default;

    enum class Description {
        Text,     // a free text the control unit keeps
        Standard, // one of the fixed names, by its code
        None,     // no description (code 255, or a slot that names nothing)
        Unread,   // a free text whose request failed: the read does not know it
    };
    // Codes of eight users, users 8 (page - 1) .. 8 page - 1; on the last page the eighth is the
    // unused 32nd code.
    using CodePage = std::array<uint16_t, 8>;

    // Past the access step, before the first request.
    virtual void begin(uint8_t address) = 0;
    virtual void parameters(const ParameterBlock& block) = 0;
    // Only while the loop grid has its description row; text is empty unless it is Text or Standard.
    virtual void description(int loop, const QString& text, Description kind) = 0;
    // The users' loop masks, each with the default code of its user.
    virtual void users(const std::array<UserEntry, kUserCount>& entries) = 0;
    // Only over the local line, page 1..4 as long as the pages come whole.
    virtual void userCodes(int page, const CodePage& codes) = 0;
    // Not over the local line: number and loop mask of partitions 1..8, each with its default code.
    virtual void partitions(const std::array<PartitionEntry, kPartitionCount>& entries) = 0;
    // The read has run to its end (a failed fetch of the partitions included, after its message).
    virtual void end() = 0;
};
