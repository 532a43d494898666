#pragma once
#include "config/ExpanderConfig.h"

#include <QString>
#include <functional>
#include <vector>

namespace Site {

// A user or a global partition whose write would carry its code from a file, to an expander whose
// codes were not read: the code it would have afterwards.
struct CodeChange {
    int user = -1;     // 1..30; -1 for a partition
    int partition = 0; // 1..8; 0 for a user
    uint16_t code = kEmptyCode;
    bool operator==(const CodeChange&) const = default;
};
// "пользователь 1", "раздел 3".
QString itemName(const CodeChange& change);
// "пользователь 1 (код станет 0101)".
QString changeText(const CodeChange& change);

// What a restore writes: the file's configuration over what the expander holds.
struct RestoreRecord {
    CollectedConfig wanted;
    std::vector<CodeChange> codeChanges; // every item whose write would carry a code from the file
    std::vector<CodeChange> leftAlone;   // of those, the ones kept as the expander has them
};

// The record to write from a file (as programming writes it) to an expander that holds held. Where
// the expander's codes are known, the file's codes are written as they stand. Where they are not, a
// user or partition with the expander's loops (and number) is left as the expander has it; one that
// differs would go out with the file's code, and does only where take says so: otherwise it is left
// as the expander has it too. User 0 always goes out with its fixed code and is never such an item.
RestoreRecord restoreRecord(const CollectedConfig& file, const CollectedConfig& held, bool codesKnown,
                            const std::function<bool(const CodeChange&)>& take);

} // namespace Site
