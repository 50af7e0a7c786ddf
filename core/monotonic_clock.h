#pragma once
// The millisecond tick that waits are measured against, and the system timer period they need.
// The tick must move in steps of 1 ms: a tick of 16 ms steps (the Windows default for
// GetTickCount) turns every 23 ms wait into 32 ms.

#include <cstdint>

namespace vigie {

// Milliseconds since an arbitrary start, never going back; 64 bits, so it never wraps.
std::int64_t monotonicMillis();

// While it lives, asks the system for a 1 ms timer period, so that sleeps and waits for events
// end within a millisecond of their time (Windows; elsewhere timers are precise already and this
// does nothing).
class TimerResolution {
  public:
    TimerResolution();
    ~TimerResolution();
    TimerResolution(const TimerResolution&) = delete;
    TimerResolution& operator=(const TimerResolution&) = delete;

    // True when the system granted the 1 ms period (always true where none is needed).
    bool granted() const { return granted_; }

  private:
    bool granted_ = false;
};

}  // namespace vigie
