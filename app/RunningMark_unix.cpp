#include "app/RunningMark.h"

void markRunning() {}
