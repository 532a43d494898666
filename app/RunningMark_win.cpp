#include "app/RunningMark.h"

#include <windows.h>
#include <sddl.h>

// The handle stays open until the process ends: Windows then closes it and the name goes with the
// last handle. Several copies of the program may run; each holds the same mutex by name (it is
// never locked, only held open). The mutex grants SYNCHRONIZE to everyone, so that the installer run
// by another user, and a copy of the program another user starts, open it: with the default rights
// (its creator's only) they would be answered "access denied". Each copy asks for no more than that.
void markRunning() {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:(A;;0x00100000;;;WD)", SDDL_REVISION_1,
                                                              &descriptor, nullptr))
        descriptor = nullptr; // the default rights still mark it for this user
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
    CreateMutexExW(&attributes, L"Global\\ConfigOrtex-running", 0, SYNCHRONIZE);
    LocalFree(descriptor);
}
