#pragma once
#include "config/ExpanderConfig.h"

#include <QString>
#include <cstdint>
#include <vector>

// The comparison of two configurations as the main window names its items: the page, the grid's
// column and row captions or a check box's caption, and the values as the window shows them. A code
// is never shown; a differing one reads "код отличается". Pure: no widget, no device.
namespace Compare {

// What the two sides let the comparison look at.
struct Scope {
    bool descriptions = true; // the loop grid shows its description row
    bool partitions = true;   // the page of global partitions is shown
    bool codes = true;        // the other side's codes are known (read from the device, or a file's)
    // Loops (bit n - 1 for loop n) whose description the other side could not read: listed as such
    // whatever the window holds.
    uint8_t unreadDescriptions = 0;
};

struct Difference {
    QString page;
    QString item;   // "ШС3 · Тип [7-8]", a check box's caption, "Пользователь 5 · ШС2"
    QString window; // "В окне"
    QString other;  // "В расширителе" or "В файле"
    bool operator==(const Difference&) const = default;
};

// Every difference, in the order of the window's pages and grids: general properties by their bit
// numbers, the loops column by column, the partitions, the users.
std::vector<Difference> differences(const CollectedConfig& window, const CollectedConfig& other,
                                    const Scope& scope);

// The line under the table about what was not compared; empty when everything was.
QString scopeNote(const Scope& scope);

// Rows as tab-separated text, one line each (tabs and line breaks inside a value become spaces).
QString rowsText(const std::vector<Difference>& rows);

} // namespace Compare
