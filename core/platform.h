#pragma once
// Everything the window logic needs of the machine it runs on. The Qt layer implements it for
// the real program; tests implement it with virtual time, so that minutes of timers run in
// milliseconds.

#include <cstdint>
#include <string>

namespace vigie {

// Message box flags and answers, as the platform's message box call knows them.
namespace mb {
constexpr int OkOnly = 0;
constexpr int YesNo = 4;
constexpr int Critical = 16;
constexpr int Question = 32;
constexpr int Exclamation = 48;
constexpr int Information = 64;
constexpr int Ok = 1;
constexpr int Yes = 6;
constexpr int No = 7;
}  // namespace mb

// Mouse pointer values.
constexpr int PointerDefault = 0;
constexpr int PointerHourglass = 11;

// What the system reports about holding it for an update, and about its sleep. The form decides
// what to write down; the detail is the system's own answer (calls and results, or why not).
enum class SystemEvent {
    Held,        // held as asked
    NotHeld,     // it cannot be held here (no such service); the update goes on without it
    Released,    // held no more
    Suspending,  // the computer goes to sleep all the same (a closed lid cannot be held)
    Resumed,     // it woke up again
};

struct DateTime {
    int year = 2000, month = 1, day = 1;
    int hour = 0, minute = 0, second = 0;
    int millisecond = 0;
};

class Platform {
  public:
    virtual ~Platform() = default;

    // Let the event queue process what is pending (timer ticks, clicks, repaints), once.
    virtual void doEvents() = 0;
    // Process events, sleeping between them, until tickCount() >= tick.
    virtual void waitUntil(std::int64_t tick) = 0;
    // Monotonic milliseconds; 64 bits, so it never wraps.
    virtual std::int64_t tickCount() = 0;

    // Modal message box; texts are UTF-8 with CR LF between lines. Returns the answer.
    virtual int msgBox(const std::string& text, int flags, const std::string& title) = 0;
    virtual void setMousePointer(int pointer) = 0;
    virtual void openUrl(const std::string& url) = 0;

    // The start window, modal; returns its blnNext.
    virtual bool showStartWindow() = 0;
    // The help window, modal; returns when the user closes it.
    virtual void showHelpWindow() = 0;
    // Makes the main window visible (the last steps of start-up).
    virtual void showMainWindow() = 0;
    // Gives the keyboard focus to startButton.
    virtual void focusGoButton() = 0;
    // Ends the program at once: windows close, no further events are delivered.
    virtual void endProgram() = 0;

    // Holds the system while an update runs: the computer stays awake (no idle sleep, the screen
    // stays on), signing out or shutting down is refused with reason (UTF-8) shown to the user,
    // and the program's timers are not slowed. The form holds it once per update and releases it
    // once; the platform reports what came of it, and the system's sleep, through the form's
    // systemEvent().
    virtual void holdSystem(const std::string& reason) = 0;
    virtual void releaseSystem() = 0;

    // Folder that holds the program (and its documents), without a trailing separator.
    virtual std::string appPath() = 0;
    virtual DateTime now() = 0;
};

}  // namespace vigie
