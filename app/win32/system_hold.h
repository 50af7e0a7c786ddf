#pragma once
// Holds Windows for an update: the system and the display stay on (on a modern-standby laptop a
// screen that turns off starts standby, which pauses desktop programs), signing out or shutting
// down is refused with a reason the user reads in the system's list, and the process opts out of
// power throttling, whose efficiency mode slows it and whose Windows 11 timer rule drops its 1 ms
// timer period once the window is minimised. The system's calls go through PowerCalls, so that a
// test stands in for what Wine cannot show; every answer is written in the update log.

#include <windows.h>

#include <optional>
#include <string>

namespace vigie::win32 {

class PowerCalls {
  public:
    virtual ~PowerCalls() = default;
    virtual EXECUTION_STATE setThreadExecutionState(EXECUTION_STATE flags) = 0;
    virtual BOOL shutdownBlockReasonCreate(HWND window, const std::wstring& reason) = 0;
    virtual BOOL shutdownBlockReasonDestroy(HWND window) = 0;
    // nullopt where the system has no SetProcessInformation.
    virtual std::optional<BOOL> setPowerThrottling(const PROCESS_POWER_THROTTLING_STATE& state) = 0;
    // The process's power throttling, where the system tells it (Windows 11 22H2 and later).
    virtual std::optional<PROCESS_POWER_THROTTLING_STATE> powerThrottling() = 0;
    virtual DWORD lastError() = 0;
};

// The system's own calls. SetProcessInformation and GetProcessInformation are looked up when the
// program runs, so that it starts on a system without them.
class SystemPowerCalls : public PowerCalls {
  public:
    SystemPowerCalls();
    EXECUTION_STATE setThreadExecutionState(EXECUTION_STATE flags) override;
    BOOL shutdownBlockReasonCreate(HWND window, const std::wstring& reason) override;
    BOOL shutdownBlockReasonDestroy(HWND window) override;
    std::optional<BOOL> setPowerThrottling(const PROCESS_POWER_THROTTLING_STATE& state) override;
    std::optional<PROCESS_POWER_THROTTLING_STATE> powerThrottling() override;
    DWORD lastError() override { return ::GetLastError(); }

  private:
    using ProcessInformationCall = BOOL(WINAPI*)(HANDLE, PROCESS_INFORMATION_CLASS, LPVOID, DWORD);
    ProcessInformationCall set_ = nullptr;
    ProcessInformationCall get_ = nullptr;
};

class SystemHold {
  public:
    explicit SystemHold(PowerCalls& calls) : calls_(calls) {}
    // Each returns what was asked of the system and what it answered, call by call. A call that
    // fails or is missing is noted and the rest goes on: the update runs all the same.
    std::string hold(HWND window, const std::wstring& reason);
    std::string release();
    bool held() const { return held_; }

  private:
    PowerCalls& calls_;
    bool held_ = false;
    HWND blockedWindow_ = nullptr;  // the window whose shut-down block reason is registered
    // The throttling to set back at the end, once the opt-out has taken.
    std::optional<PROCESS_POWER_THROTTLING_STATE> throttlingBefore_;
};

}  // namespace vigie::win32
