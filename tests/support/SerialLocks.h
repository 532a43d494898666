#pragma once

// QSerialPort takes a lock file in the system's lock folder ("LCK.." followed by the port's path,
// the holder's process id on its first line) and removes it when the port closes. A test process
// that ends without closing its ports (the watchdog, a forked child, a crash) would leave its lock
// files behind. This removes exactly the lock files that name the calling process; it uses only
// calls that are safe in a signal handler.
void RemoveOwnSerialLocks();

// Gives the calling process, before it starts a thread, a serial lock folder of its own: a mount
// namespace in which an empty tmpfs lies over the machine's lock folder (Debian's /var/lock, that is
// /run/lock). The lock files QSerialPort takes for the tests' ports, and those a test writes itself,
// stay with the process and its children; the machine's programs see none of them, and the tests see
// none of theirs. Root needs only the mount namespace; another user takes a user namespace that maps
// only itself. Returns false where neither is allowed: the locks then go to the machine's folder.
bool TakeOwnLockFolder();

// The folder laid over, as the machine names it (/run/lock); empty unless TakeOwnLockFolder succeeded.
const char* OwnLockFolder();
// The same folder as the machine's programs see it, through the machine's root kept open; empty
// unless TakeOwnLockFolder succeeded.
const char* MachinesLockFolder();
