#include "base/SystemTimer.h"

#include <windows.h>
#include <timeapi.h>

// The system counts the requests: the timer stays fine until each has been given back.
MillisecondTimer::MillisecondTimer() {
    timeBeginPeriod(1);
    ++held_;
}

MillisecondTimer::~MillisecondTimer() {
    timeEndPeriod(1);
    --held_;
}
