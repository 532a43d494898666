#pragma once
#include "site/FolderComparison.h"

#include <vector>

namespace Site {

// "Записать в расширители…" of the site window: after one confirmation that names every address,
// writes each chosen expander from its file with the main window's programming run and compares it
// with the file again; the row then says how that ended. The file is read again first: a write
// never starts for a file that does not read as a configuration or for an address the control unit
// does not list. Programming writes the main window's record, so the window takes each file as
// "Открыть" would, for the expander chosen in the list: afterwards it shows the last one written.
void restoreExpanders(const Host& host, std::vector<SiteRow>& rows, const std::vector<size_t>& chosen);

} // namespace Site
