#include "app/RunningMark.h"

#include <windows.h>

// The handle stays open until the process ends: Windows then closes it and the name goes with the
// last handle. Several copies of the program may run; each holds the same mutex by name (it is
// never locked, only held open). Another user's copy leaves the name taken as well: the installer
// then learns it from "access denied" (the mutex's default rights are its creator's).
void markRunning() {
    CreateMutexW(nullptr, FALSE, L"Global\\ConfigOrtex-running");
}
