#include "base/SystemTimer.h"

// Sleeps and timed waits here keep to the microsecond already: only the count is kept.
MillisecondTimer::MillisecondTimer() {
    ++held_;
}

MillisecondTimer::~MillisecondTimer() {
    --held_;
}
