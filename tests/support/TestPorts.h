#pragma once
#include <QString>

// The port folder of the test run: an empty folder of its own, which the test start sets before any
// test runs, so that a window's port scan finds nothing and no test reaches the machine's ports. A
// fixture that points the port folder at its own devices sets it back to this one.
QString EmptyPortFolder();
