#pragma once

// QSerialPort takes a lock file in the system's lock folder ("LCK.." followed by the port's path,
// the holder's process id on its first line) and removes it when the port closes. A test process
// that ends without closing its ports (the watchdog, a forked child, a crash) would leave its lock
// files behind. This removes exactly the lock files that name the calling process; it uses only
// calls that are safe in a signal handler.
void RemoveOwnSerialLocks();
