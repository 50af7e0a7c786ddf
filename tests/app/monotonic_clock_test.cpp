// The tick that waits are measured against: it moves in steps of 1 ms, never goes back, and
// counts real milliseconds.

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <string>
#include <vector>

#include "core/monotonic_clock.h"

namespace vigie {
namespace {

using SteadyClock = std::chrono::steady_clock;

TEST(MonotonicClock, MovesInStepsOfOneMillisecondAndNeverBack) {
    // Watch the tick change 50 times (or for at most 2 s) and count each step size. A tick that
    // moves in steps of 15 or 16 ms, as a plain system tick does, has hardly any steps of 1.
    std::map<std::int64_t, int> steps;
    int changes = 0;
    std::int64_t last = monotonicMillis();
    const auto end = SteadyClock::now() + std::chrono::seconds(2);
    while (changes < 50 && SteadyClock::now() < end) {
        const std::int64_t now = monotonicMillis();
        ASSERT_GE(now, last);
        if (now != last) {
            ++steps[now - last];
            ++changes;
            last = now;
        }
    }
    ASSERT_GT(changes, 0);
    // Steps longer than 1 ms come only from the test being descheduled on a busy machine.
    EXPECT_GE(steps[1] * 2, changes) << "steps of 1 ms: " << steps[1] << " of " << changes;
}

TEST(MonotonicClock, CountsMilliseconds) {
    const std::int64_t tick0 = monotonicMillis();
    const auto steady0 = SteadyClock::now();
    while (SteadyClock::now() - steady0 < std::chrono::milliseconds(120)) {
    }
    const std::int64_t ticks = monotonicMillis() - tick0;
    const auto elapsed =
        std::chrono::duration_cast<std::chrono::milliseconds>(SteadyClock::now() - steady0).count();
    // Both readings bracket the same interval, each to within its resolution.
    EXPECT_GE(ticks, 119);
    EXPECT_LE(ticks, elapsed + 2);
}

// The calls a TimerResolution makes to the system, as a log: "+1" asks for 1 ms, "-1" gives it
// back. The system's own answers cannot be read back (Wine keeps no period), so what is checked
// is that each period granted is given back once, and a refused one is not.
std::vector<std::string> periodCalls;
unsigned refuseBegin = 0;

const TimerPeriodCalls recordingCalls{[](unsigned ms) {
                                          periodCalls.push_back("+" + std::to_string(ms));
                                          return refuseBegin;
                                      },
                                      [](unsigned ms) {
                                          periodCalls.push_back("-" + std::to_string(ms));
                                          return 0u;
                                      }};

TEST(TimerResolution, AsksForOneMillisecondWhileItLivesAndGivesItBackOnce) {
    periodCalls.clear();
    refuseBegin = 0;
    {
        TimerResolution outer(recordingCalls);
        EXPECT_TRUE(outer.granted());
        {
            TimerResolution inner(recordingCalls);  // requests nest; each is undone on its own
            EXPECT_TRUE(inner.granted());
            EXPECT_EQ(periodCalls, (std::vector<std::string>{"+1", "+1"}));
        }
        EXPECT_EQ(periodCalls, (std::vector<std::string>{"+1", "+1", "-1"}));
    }
    EXPECT_EQ(periodCalls, (std::vector<std::string>{"+1", "+1", "-1", "-1"}));
}

TEST(TimerResolution, APeriodTheSystemRefusedIsNotGivenBack) {
    periodCalls.clear();
    refuseBegin = 97;  // TIMERR_NOCANDO
    {
        TimerResolution refused(recordingCalls);
        EXPECT_FALSE(refused.granted());
    }
    EXPECT_EQ(periodCalls, (std::vector<std::string>{"+1"}));
}

#ifdef _WIN32
TEST(TimerResolution, TheSystemGrantsIt) {
    TimerResolution resolution;
    EXPECT_TRUE(resolution.granted());
}
#endif

}  // namespace
}  // namespace vigie
