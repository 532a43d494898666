#pragma once
#include "compare/DeviceSide.h"
#include "site/Site.h"

#include <QString>
#include <functional>
#include <optional>
#include <vector>

namespace Site {

class ProgressWindow;

// One expander of a run as its read left it.
struct ExpanderRead {
    int address = 0;
    std::optional<Compare::DeviceSide> side; // nothing when the read did not deliver every item
    QString failure;                         // then the read's messages
};

// The expanders the main window lists, in address order.
std::vector<int> listedExpanders(const MainControls& controls);

// Reads the expanders one after another, each with the read's own procedure into a record of its
// own, and hands each to done before the next read starts. A cancel lets the read under way finish
// and stops before the next expander; the addresses left unread are returned. The read's messages
// are not shown one by one, which would hold the run at each box: they become the failure.
std::vector<int> readEach(const Host& host, const std::vector<int>& addresses, ProgressWindow& progress,
                          const std::function<void(const ExpanderRead&)>& done);

// "ШС 2, 5" for the loops of the mask (bit n - 1 for loop n).
QString loopList(uint8_t loops);

} // namespace Site
