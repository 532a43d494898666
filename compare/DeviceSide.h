#pragma once
#include "compare/ConfigDiff.h"
#include "config/ExpanderConfig.h"
#include "config/MainControls.h"

#include <optional>

class ExpanderSession;

namespace Compare {

// The chosen expander as a read reports it, kept apart from the main window's record.
struct DeviceSide {
    int address = 0;
    CollectedConfig config; // default codes where the expander reports none, as a read puts them
    Scope scope;            // what the read let the comparison look at
};

// Reads the expander chosen in the main window with the main window's read (its frames, pauses,
// progress and messages) into a record of its own: the main window's record and controls stay as
// they were. Nothing when the read did not run to its end or did not get every item it asks for.
std::optional<DeviceSide> readDeviceSide(ExpanderSession& session, const MainControls& controls);
// The same read of the listed expander at address, whatever the expander list has chosen.
std::optional<DeviceSide> readDeviceSide(ExpanderSession& session, const MainControls& controls, int address);

} // namespace Compare
