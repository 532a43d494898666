#pragma once

// Makes the system's sleeps and timed waits as fine as one millisecond while it lives, where they are
// coarser by default (Windows wakes a sleep of 1 ms after its 15.6 ms timer tick): the receive loops
// look at the port every millisecond. The finer timer costs battery, so it is held only while a port
// is open.
class MillisecondTimer {
  public:
    MillisecondTimer();
    ~MillisecondTimer();
    MillisecondTimer(const MillisecondTimer&) = delete;
    MillisecondTimer& operator=(const MillisecondTimer&) = delete;

    // How many are held now.
    static int held() { return held_; }

  private:
    static inline int held_ = 0;
};
