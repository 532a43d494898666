#include "base/SystemTimer.h"

#include <windows.h>
#include <timeapi.h>

void useMillisecondTimer() {
    timeBeginPeriod(1); // ended by the system when the program ends
}
