#include "base/SystemTimer.h"

// Sleeps and timed waits here keep to the microsecond already.
MillisecondTimer::MillisecondTimer() = default;
MillisecondTimer::~MillisecondTimer() = default;
