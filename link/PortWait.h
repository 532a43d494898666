#pragma once
#include <QSerialPort>

// Waits until bytes arrive on the open port or maxUs pass, whichever is first, and lets the port take
// what arrived into its buffer (or find the line gone). The caller pumps the window events.
void waitForPortInput(QSerialPort& port, unsigned maxUs);
