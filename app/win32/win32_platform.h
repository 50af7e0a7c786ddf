#pragma once
// The platform of the real program on Windows: the Win32 message queue, a 1 ms clock, message
// boxes, the mouse pointer, the browser, the start and help windows, and the hold on the system
// while an update runs.

#include <windows.h>

#include <cstdint>
#include <optional>

#include "app/win32/system_hold.h"
#include "core/monotonic_clock.h"
#include "core/platform.h"

namespace vigie {

class MainForm;

namespace win32 {

class MainWindow;

class Win32Platform : public Platform {
  public:
    Win32Platform();
    ~Win32Platform() override;
    void attach(MainForm& form, MainWindow& window);
    // Shows the models on the controls and arms the wake-up for the next timer tick.
    void sync();
    // The outer message loop of the program; returns when the program ends.
    int run();

    void doEvents() override;
    void waitUntil(std::int64_t tick) override;
    std::int64_t tickCount() override { return microseconds() / 1000; }
    int msgBox(const std::string& text, int flags, const std::string& title) override;
    void setMousePointer(int pointer) override;
    void openUrl(const std::string& url) override;
    bool showStartWindow() override;
    void showHelpWindow() override;
    void showMainWindow() override;
    void focusGoButton() override;
    void endProgram() override;
    void holdSystem(const std::string& reason) override;
    void releaseSystem() override;
    std::string appPath() override;
    DateTime now() override;

  private:
    // Microseconds since the platform was made, from the performance counter: the last stretch of
    // a wait is timed to the microsecond, on the same clock as the millisecond tick.
    std::int64_t microseconds() const;
    // One pass over the messages waiting now; false once the program ends.
    bool pumpMessages();
    void runDueTimers();
    // Sleeps at most us microseconds, or less when a message arrives.
    void sleepForMessages(std::int64_t us);
    // A short precise sleep, for the last stretch of a wait.
    void sleepPrecisely(std::int64_t us);
    void holdTimerPeriod(bool hold);

    MainForm* form_ = nullptr;
    MainWindow* window_ = nullptr;
    LARGE_INTEGER frequency_{};
    LARGE_INTEGER start_{};
    using DelayExecution = LONG(NTAPI*)(BOOLEAN alertable, PLARGE_INTEGER interval);
    DelayExecution delayExecution_ = nullptr;
    bool ending_ = false;
    bool busyPointer_ = false;
    std::optional<TimerResolution> timerPeriod_;
    bool waiting_ = false;  // inside waitUntil
    SystemPowerCalls powerCalls_;
    SystemHold systemHold_{powerCalls_};
};

}  // namespace win32
}  // namespace vigie
