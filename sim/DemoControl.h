#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

class QMainWindow;

namespace sim {

struct DemoDevices;

// The demonstration's own small window: says which simulated device is on which port and, from its
// menu "Ключ", touches keys to the simulated key-programming device. It takes the size of its text
// and cannot be made smaller, so the text is never cut off.
QMainWindow* makeDemoControl(DemoDevices& devices);

// Where the demonstration's window of the given outer size goes: to the right of the main window's
// frame, else below it, whichever lies wholly on the screen's free area; else as close to the main
// window as the free area allows. Never beyond the free area's right or bottom edge when it fits there.
QPoint demoControlPlace(const QRect& mainFrame, const QSize& size, const QRect& screenArea);

} // namespace sim
