#pragma once
// The millisecond tick that waits are measured against, and the system timer period they need.
// The tick must move in steps of 1 ms: a tick of 16 ms steps (the Windows default for
// GetTickCount) turns every 23 ms wait into 32 ms.

#include <cstdint>

namespace vigie {

// Milliseconds since an arbitrary start, never going back; 64 bits, so it never wraps.
std::int64_t monotonicMillis();

// The system's calls that ask for a timer period of so many milliseconds and give it back; each
// answers 0 when it did what was asked (timeBeginPeriod and timeEndPeriod on Windows).
struct TimerPeriodCalls {
    unsigned (*begin)(unsigned milliseconds);
    unsigned (*end)(unsigned milliseconds);
};

// While it lives, asks the system for a 1 ms timer period, so that sleeps and waits for events
// end within a millisecond of their time (Windows; elsewhere timers are precise already and this
// does nothing). A period the system granted is given back when it goes; one it refused is not.
class TimerResolution {
  public:
    TimerResolution();
    // Through these calls instead of the system's own.
    explicit TimerResolution(const TimerPeriodCalls& calls);
    ~TimerResolution();
    TimerResolution(const TimerResolution&) = delete;
    TimerResolution& operator=(const TimerResolution&) = delete;

    // True when the system granted the 1 ms period (always true where none is needed).
    bool granted() const { return granted_; }

  private:
    TimerPeriodCalls calls_{nullptr, nullptr};
    bool granted_ = false;
};

}  // namespace vigie
