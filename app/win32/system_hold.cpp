#include "app/win32/system_hold.h"

#include <cstdio>

namespace vigie::win32 {
namespace {

constexpr EXECUTION_STATE Awake = ES_CONTINUOUS | ES_SYSTEM_REQUIRED | ES_DISPLAY_REQUIRED;
// Both mechanisms taken in hand and switched off: full speed, and the timer period honoured.
constexpr PROCESS_POWER_THROTTLING_STATE NotThrottled{
    PROCESS_POWER_THROTTLING_CURRENT_VERSION,
    PROCESS_POWER_THROTTLING_EXECUTION_SPEED | PROCESS_POWER_THROTTLING_IGNORE_TIMER_RESOLUTION, 0};
// Older builds of Windows 10 know no timer-resolution flag and may refuse the whole call with
// ERROR_INVALID_PARAMETER: then the execution speed alone, the one that slows the process.
constexpr PROCESS_POWER_THROTTLING_STATE FullSpeed{PROCESS_POWER_THROTTLING_CURRENT_VERSION,
                                                   PROCESS_POWER_THROTTLING_EXECUTION_SPEED, 0};
// What a process has until it says otherwise: the system decides.
constexpr PROCESS_POWER_THROTTLING_STATE SystemManaged{PROCESS_POWER_THROTTLING_CURRENT_VERSION, 0,
                                                       0};

std::string hex(unsigned long value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%lX", value);
    return text;
}

std::string outcome(BOOL ok, PowerCalls& calls) {
    return ok ? "1" : "0 (erreur " + std::to_string(calls.lastError()) + ")";
}

std::string throttlingCall(const PROCESS_POWER_THROTTLING_STATE& state) {
    return "SetProcessInformation(ProcessPowerThrottling, contrôle " + hex(state.ControlMask) +
           ", état " + hex(state.StateMask) + ")";
}

}  // namespace

SystemPowerCalls::SystemPowerCalls() {
    if (HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll")) {
        set_ = reinterpret_cast<ProcessInformationCall>(
            reinterpret_cast<void*>(::GetProcAddress(kernel, "SetProcessInformation")));
        get_ = reinterpret_cast<ProcessInformationCall>(
            reinterpret_cast<void*>(::GetProcAddress(kernel, "GetProcessInformation")));
    }
}

EXECUTION_STATE SystemPowerCalls::setThreadExecutionState(EXECUTION_STATE flags) {
    return ::SetThreadExecutionState(flags);
}

BOOL SystemPowerCalls::shutdownBlockReasonCreate(HWND window, const std::wstring& reason) {
    return ::ShutdownBlockReasonCreate(window, reason.c_str());
}

BOOL SystemPowerCalls::shutdownBlockReasonDestroy(HWND window) {
    return ::ShutdownBlockReasonDestroy(window);
}

std::optional<BOOL> SystemPowerCalls::setPowerThrottling(
    const PROCESS_POWER_THROTTLING_STATE& state) {
    if (!set_)
        return std::nullopt;
    PROCESS_POWER_THROTTLING_STATE copy = state;
    return set_(::GetCurrentProcess(), ProcessPowerThrottling, &copy, sizeof copy);
}

std::optional<PROCESS_POWER_THROTTLING_STATE> SystemPowerCalls::powerThrottling() {
    if (!get_)
        return std::nullopt;
    PROCESS_POWER_THROTTLING_STATE state{PROCESS_POWER_THROTTLING_CURRENT_VERSION, 0, 0};
    if (!get_(::GetCurrentProcess(), ProcessPowerThrottling, &state, sizeof state))
        return std::nullopt;
    return state;
}

std::string SystemHold::hold(HWND window, const std::wstring& reason) {
    held_ = true;
    const EXECUTION_STATE before = calls_.setThreadExecutionState(Awake);
    std::string done = "SetThreadExecutionState(" + hex(Awake) + ") = " + hex(before);
    if (before == 0)
        done += " (erreur " + std::to_string(calls_.lastError()) + ")";

    if (window) {
        const BOOL blocked = calls_.shutdownBlockReasonCreate(window, reason);
        done += " ; ShutdownBlockReasonCreate = " + outcome(blocked, calls_);
        if (blocked)
            blockedWindow_ = window;
    }

    // Read before it changes: Windows 10 cannot tell it, and then it was the system's choice,
    // since the program never sets it otherwise.
    const PROCESS_POWER_THROTTLING_STATE throttling =
        calls_.powerThrottling().value_or(SystemManaged);
    for (const PROCESS_POWER_THROTTLING_STATE& asked : {NotThrottled, FullSpeed}) {
        const std::optional<BOOL> optedOut = calls_.setPowerThrottling(asked);
        if (!optedOut) {
            done += " ; SetProcessInformation absent";
            break;
        }
        const DWORD error = *optedOut ? 0 : calls_.lastError();
        done += " ; " + throttlingCall(asked) + " = " +
                (*optedOut ? "1" : "0 (erreur " + std::to_string(error) + ")");
        if (*optedOut) {
            // Only the mechanisms taken in hand go back: a build that refused one would refuse
            // the call that sets it back as well.
            throttlingBefore_ = PROCESS_POWER_THROTTLING_STATE{
                throttling.Version, throttling.ControlMask & asked.ControlMask,
                throttling.StateMask & asked.ControlMask};
            break;
        }
        if (error != ERROR_INVALID_PARAMETER)
            break;
    }
    return done;
}

std::string SystemHold::release() {
    held_ = false;
    const EXECUTION_STATE before = calls_.setThreadExecutionState(ES_CONTINUOUS);
    std::string done = "SetThreadExecutionState(" + hex(ES_CONTINUOUS) + ") = " + hex(before);
    if (blockedWindow_) {
        done += " ; ShutdownBlockReasonDestroy = " +
                outcome(calls_.shutdownBlockReasonDestroy(blockedWindow_), calls_);
        blockedWindow_ = nullptr;
    }
    if (throttlingBefore_) {
        const std::optional<BOOL> restored = calls_.setPowerThrottling(*throttlingBefore_);
        done += " ; " + throttlingCall(*throttlingBefore_) + " = " +
                (restored ? outcome(*restored, calls_) : "absent");
        throttlingBefore_.reset();
    }
    return done;
}

}  // namespace vigie::win32
