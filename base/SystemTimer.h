#pragma once

// Makes the system's sleeps and timed waits as fine as one millisecond for the rest of the run, where
// they are coarser by default (Windows wakes a sleep of 1 ms after its 15.6 ms timer tick): the
// receive loops look at the port every millisecond.
void useMillisecondTimer();
