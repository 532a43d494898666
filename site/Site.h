#pragma once
#include "config/ExpanderConfig.h"
#include "config/MainControls.h"

class ExpanderSession;
class QMenu;

// The whole site: every expander the control unit lists, read one after another into records of
// their own, saved into a folder of configuration files or compared with one. The main window, its
// record and its "opened from a file" state stay as they were.
namespace Site {

// What the main window lends the site: its menu "Расширитель", its controls (the port and the
// expander list among them), its session, and its record, which the writes from files go through.
struct Host {
    QMenu* expanderMenu = nullptr; // the site's items go last
    MainControls controls;
    ExpanderSession* session = nullptr;
    ExpanderConfig* record = nullptr;
};

// Adds "Сохранить все расширители…", "Сравнить с папкой…" and "Сравнить папки…" to the menu; they live as long as the
// main window, and so does the one site window the comparison with a folder shows.
void attach(const Host& host);

} // namespace Site
