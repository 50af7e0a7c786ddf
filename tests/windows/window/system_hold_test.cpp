// What the Windows program asks of the system to hold it for an update, and what it sets back,
// with a stand-in for the system: Wine keeps no execution state, throttles no process and has no
// SetProcessInformation of this kind, so the decisions are checked here, case by case of what a
// Windows may answer; the window tests check the real calls' record in the update log.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/win32/system_hold.h"

namespace vigie::win32 {
namespace {

std::string masks(const PROCESS_POWER_THROTTLING_STATE& s) {
    return std::to_string(s.ControlMask) + "," + std::to_string(s.StateMask);
}

// A Windows that answers as told and writes down every call.
class ScriptedPowerCalls : public PowerCalls {
  public:
    bool blockReasonTakes = true;
    bool hasSetProcessInformation = true;
    bool throttlingTakes = true;
    // A build of Windows 10 older than the timer-resolution flag refuses any call that names it.
    bool knowsTimerFlag = true;
    DWORD throttlingError = ERROR_INVALID_PARAMETER;  // why a throttling call is refused
    std::optional<PROCESS_POWER_THROTTLING_STATE> throttlingNow;  // what Get tells, if it can
    std::vector<std::string> calls;

    EXECUTION_STATE setThreadExecutionState(EXECUTION_STATE flags) override {
        calls.push_back("SetThreadExecutionState " + std::to_string(flags));
        const EXECUTION_STATE before = state_;
        state_ = flags;
        return before;
    }
    BOOL shutdownBlockReasonCreate(HWND, const std::wstring& reason) override {
        calls.push_back("ShutdownBlockReasonCreate " + std::to_string(reason.size()));
        return blockReasonTakes;
    }
    BOOL shutdownBlockReasonDestroy(HWND) override {
        calls.push_back("ShutdownBlockReasonDestroy");
        return TRUE;
    }
    std::optional<BOOL> setPowerThrottling(const PROCESS_POWER_THROTTLING_STATE& state) override {
        if (!hasSetProcessInformation)
            return std::nullopt;
        calls.push_back("SetProcessInformation " + masks(state));
        const bool takes =
            throttlingTakes &&
            (knowsTimerFlag || ((state.ControlMask | state.StateMask) &
                                PROCESS_POWER_THROTTLING_IGNORE_TIMER_RESOLUTION) == 0);
        error_ = takes ? 0 : throttlingError;
        return takes;
    }
    std::optional<PROCESS_POWER_THROTTLING_STATE> powerThrottling() override {
        return throttlingNow;
    }
    DWORD lastError() override { return error_; }

  private:
    EXECUTION_STATE state_ = ES_CONTINUOUS;
    DWORD error_ = ERROR_INVALID_PARAMETER;
};

constexpr auto Awake = ES_CONTINUOUS | ES_SYSTEM_REQUIRED | ES_DISPLAY_REQUIRED;
const std::string Hold = "SetThreadExecutionState " + std::to_string(Awake);
const std::string Release = "SetThreadExecutionState " + std::to_string(ES_CONTINUOUS);
const std::wstring Reason =
    L"Mise à jour du K7 en cours : attendez la fin avant de fermer la session.";
const std::string Block = "ShutdownBlockReasonCreate " + std::to_string(Reason.size());
// Both throttling mechanisms taken in hand (execution speed 1, timer resolution 4) and off.
const std::string OptOut = "SetProcessInformation 5,0";
// The execution speed alone (1), where Windows refused both with ERROR_INVALID_PARAMETER.
const std::string SpeedOnly = "SetProcessInformation 1,0";

struct Case {
    const char* name;
    std::function<void(ScriptedPowerCalls&)> windows;
    std::vector<std::string> calls;  // hold, then release
    std::string holdSays;            // part of what the hold reports
};

TEST(Win32SystemHoldTest, HoldsWhatThisWindowsCanAndSetsBackOnlyWhatItChanged) {
    const Case cases[] = {
        {"Windows 10: throttling set, not readable; set back to the system's choice",
         [](ScriptedPowerCalls&) {},
         {Hold, Block, OptOut, Release, "ShutdownBlockReasonDestroy", "SetProcessInformation 0,0"},
         "SetProcessInformation(ProcessPowerThrottling, contrôle 0x5, état 0x0) = 1"},
        {"Windows 11: the process's own throttling is read, and set back as it was",
         [](ScriptedPowerCalls& w) {
             w.throttlingNow = PROCESS_POWER_THROTTLING_STATE{1, 1, 1};
         },
         {Hold, Block, OptOut, Release, "ShutdownBlockReasonDestroy", "SetProcessInformation 1,1"},
         "= 1"},
        {"No SetProcessInformation (before Windows 8): the rest holds all the same",
         [](ScriptedPowerCalls& w) { w.hasSetProcessInformation = false; },
         {Hold, Block, Release, "ShutdownBlockReasonDestroy"},
         "SetProcessInformation absent"},
        {"SetProcessInformation refuses (Wine): nothing to set back",
         [](ScriptedPowerCalls& w) { w.throttlingTakes = false; },
         {Hold, Block, OptOut, SpeedOnly, Release, "ShutdownBlockReasonDestroy"},
         "contrôle 0x1, état 0x0) = 0 (erreur 87)"},
        {"Older Windows 10 refuses the timer flag: the execution speed alone, set back alone",
         [](ScriptedPowerCalls& w) { w.knowsTimerFlag = false; },
         {Hold, Block, OptOut, SpeedOnly, Release, "ShutdownBlockReasonDestroy",
          "SetProcessInformation 0,0"},
         "contrôle 0x5, état 0x0) = 0 (erreur 87) ; "
         "SetProcessInformation(ProcessPowerThrottling, contrôle 0x1, état 0x0) = 1"},
        {"Only the execution speed taken: the timer's own state is not set back",
         [](ScriptedPowerCalls& w) {
             w.knowsTimerFlag = false;
             w.throttlingNow = PROCESS_POWER_THROTTLING_STATE{1, 5, 5};
         },
         {Hold, Block, OptOut, SpeedOnly, Release, "ShutdownBlockReasonDestroy",
          "SetProcessInformation 1,1"},
         "contrôle 0x1, état 0x0) = 1"},
        {"Refused for another reason: not asked again",
         [](ScriptedPowerCalls& w) {
             w.throttlingTakes = false;
             w.throttlingError = ERROR_ACCESS_DENIED;
         },
         {Hold, Block, OptOut, Release, "ShutdownBlockReasonDestroy"},
         "contrôle 0x5, état 0x0) = 0 (erreur 5)"},
        {"The block reason is refused: none to destroy",
         [](ScriptedPowerCalls& w) { w.blockReasonTakes = false; },
         {Hold, Block, OptOut, Release, "SetProcessInformation 0,0"},
         "ShutdownBlockReasonCreate = 0 (erreur 87)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedPowerCalls windows;
        c.windows(windows);
        SystemHold hold(windows);
        const std::string held = hold.hold(reinterpret_cast<HWND>(0x1234), Reason);
        EXPECT_TRUE(hold.held());
        EXPECT_NE(held.find("SetThreadExecutionState(0x80000003) = 0x80000000"), std::string::npos)
            << held;
        EXPECT_NE(held.find(c.holdSays), std::string::npos) << held;
        const std::string released = hold.release();
        EXPECT_FALSE(hold.held());
        EXPECT_NE(released.find("SetThreadExecutionState(0x80000000) = 0x80000003"),
                  std::string::npos)
            << released;
        EXPECT_EQ(windows.calls, c.calls);
    }
}

TEST(Win32SystemHoldTest, ASecondUpdateHoldsAndSetsBackAfresh) {
    ScriptedPowerCalls windows;
    SystemHold hold(windows);
    for (int update = 0; update < 2; ++update) {
        hold.hold(reinterpret_cast<HWND>(0x1234), Reason);
        hold.release();
    }
    const std::vector<std::string> once{
        Hold, Block, OptOut, Release, "ShutdownBlockReasonDestroy", "SetProcessInformation 0,0"};
    std::vector<std::string> twice = once;
    twice.insert(twice.end(), once.begin(), once.end());
    EXPECT_EQ(windows.calls, twice);
}

}  // namespace
}  // namespace vigie::win32
