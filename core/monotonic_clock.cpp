#include "core/monotonic_clock.h"

#ifdef _WIN32
#include <windows.h>
// after windows.h, which it builds on
#include <mmsystem.h>
#else
#include <chrono>
#endif

namespace vigie {

#ifdef _WIN32

namespace {

std::int64_t counterFrequency() {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);  // never fails from Windows XP on
    return frequency.QuadPart;
}

}  // namespace

std::int64_t monotonicMillis() {
    static const std::int64_t frequency = counterFrequency();
    LARGE_INTEGER count;
    QueryPerformanceCounter(&count);
    // Whole seconds and the rest apart, so that the product cannot overflow.
    const std::int64_t seconds = count.QuadPart / frequency;
    const std::int64_t rest = count.QuadPart % frequency;
    return seconds * 1000 + rest * 1000 / frequency;
}

TimerResolution::TimerResolution()
    : TimerResolution(TimerPeriodCalls{[](unsigned ms) { return unsigned{timeBeginPeriod(ms)}; },
                                       [](unsigned ms) { return unsigned{timeEndPeriod(ms)}; }}) {}

#else

std::int64_t monotonicMillis() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Timers are precise already: nothing to ask for.
TimerResolution::TimerResolution()
    : TimerResolution(TimerPeriodCalls{[](unsigned) { return 0u; }, [](unsigned) { return 0u; }}) {}

#endif

TimerResolution::TimerResolution(const TimerPeriodCalls& calls)
    : calls_(calls), granted_(calls.begin(1) == 0) {}

TimerResolution::~TimerResolution() {
    if (granted_)
        calls_.end(1);
}

}  // namespace vigie
