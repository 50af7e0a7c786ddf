#pragma once
// A platform with virtual time: waits return at once with the clock moved on, and the form's
// timers and the test's scripted actions run at their virtual moments, in order. Message boxes are
// recorded and answered from a script.

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "core/platform.h"

namespace vigie::test {

// One request to hold or release the system, at its virtual moment.
struct SystemHoldCall {
    bool hold;
    std::string reason;  // empty for a release
    std::int64_t at;
};

struct ShownBox {
    std::string text;
    int flags;
    std::string title;
    std::int64_t at;  // virtual tick
};

class VirtualPlatform : public Platform {
  public:
    explicit VirtualPlatform(std::string appDir = "/tmp");

    // The form, or the session, whose timers this platform drives.
    template <typename TimerOwner>
    void attach(TimerOwner& owner) {
        nextTimerDue_ = [&owner] { return owner.nextTimerDue(); };
        runDueTimers_ = [&owner](std::int64_t now) { owner.runDueTimers(now); };
    }

    // Scripted actions, run at their virtual tick during a yield or a wait.
    void at(std::int64_t tick, std::function<void()> action);
    void after(std::int64_t ms, std::function<void()> action) { at(now_ + ms, std::move(action)); }
    std::int64_t tick() const { return now_; }
    // Runs at every yield and every step of a wait: a test's way to watch the window change.
    std::function<void()> onYield;
    void setNow(std::int64_t tick) { now_ = tick; }
    // Lets virtual time pass outside of any handler, running timers and actions.
    void advance(std::int64_t ms) { waitUntil(now_ + ms); }

    // Answers for the next boxes; once empty, boxes get OK (or No for a Yes/No box).
    std::deque<int> answers;
    std::vector<ShownBox> boxes;
    // Called when a box is shown, before it is answered (the test may act "while it is open").
    std::function<void(const ShownBox&)> onBox;

    bool startNext = true;         // the start window is left through Next
    std::function<void()> onHelp;  // runs while the help window is open
    int helpShown = 0;
    std::vector<std::string> urls;
    std::vector<int> pointers;  // every pointer change
    bool mainShown = false;
    bool ended = false;
    int goFocused = 0;
    std::int64_t yields = 0;
    DateTime clock{2026, 12, 10, 14, 5, 9};
    // Every hold and release of the system, in order; whether it is held now.
    std::vector<SystemHoldCall> holdCalls;
    bool systemHeld = false;

    // Platform
    void doEvents() override;
    void waitUntil(std::int64_t tick) override;
    std::int64_t tickCount() override { return now_; }
    int msgBox(const std::string& text, int flags, const std::string& title) override;
    void setMousePointer(int pointer) override { pointers.push_back(pointer); }
    void openUrl(const std::string& url) override { urls.push_back(url); }
    bool showStartWindow() override { return startNext; }
    void showHelpWindow() override;
    void showMainWindow() override { mainShown = true; }
    void focusGoButton() override { ++goFocused; }
    void endProgram() override { ended = true; }
    void holdSystem(const std::string& reason) override;
    void releaseSystem() override;
    std::string appPath() override { return appDir_; }
    DateTime now() override { return clock; }

  private:
    void runDue();

    std::string appDir_;
    std::function<std::int64_t()> nextTimerDue_;
    std::function<void(std::int64_t)> runDueTimers_;
    std::int64_t now_ = 1'000'000;
    std::multimap<std::int64_t, std::function<void()>> actions_;
    std::int64_t yieldsSinceTimeMoved_ = 0;
};

}  // namespace vigie::test
