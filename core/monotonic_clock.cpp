#include "core/monotonic_clock.h"

#ifdef _WIN32
#include <windows.h>

#include "core/system_library.h"
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

// timeBeginPeriod and timeEndPeriod of winmm.dll: both take and answer an unsigned 32-bit value.
using TimerPeriodCall = UINT(WINAPI*)(UINT);
// TIMERR_NOCANDO: nothing was granted, so nothing will be given back.
constexpr unsigned NotGranted = 97;

unsigned beginPeriod(unsigned ms) {
    static const auto call = systemFunction<TimerPeriodCall>(L"winmm.dll", "timeBeginPeriod");
    return call ? call(ms) : NotGranted;
}

unsigned endPeriod(unsigned ms) {
    static const auto call = systemFunction<TimerPeriodCall>(L"winmm.dll", "timeEndPeriod");
    return call ? call(ms) : NotGranted;
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

TimerResolution::TimerResolution() : TimerResolution(TimerPeriodCalls{beginPeriod, endPeriod}) {}

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
