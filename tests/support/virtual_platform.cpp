#include "tests/support/virtual_platform.h"

#include <cstdio>
#include <cstdlib>

namespace vigie::test {

VirtualPlatform::VirtualPlatform(std::string appDir) : appDir_(std::move(appDir)) {}

void VirtualPlatform::at(std::int64_t tick, std::function<void()> action) {
    actions_.emplace(tick, std::move(action));
}

void VirtualPlatform::runDue() {
    while (!actions_.empty() && actions_.begin()->first <= now_) {
        auto action = std::move(actions_.begin()->second);
        actions_.erase(actions_.begin());
        action();
    }
    if (runDueTimers_)
        runDueTimers_(now_);
    if (onYield)
        onYield();
}

void VirtualPlatform::doEvents() {
    ++yields;
    // A loop that only yields would never let virtual time move: stop the test instead of hanging.
    if (++yieldsSinceTimeMoved_ > 50'000'000) {
        std::fprintf(stderr, "VirtualPlatform: yielding forever without waiting\n");
        std::abort();
    }
    runDue();
}

void VirtualPlatform::waitUntil(std::int64_t tick) {
    ++yields;
    for (;;) {
        std::int64_t next = actions_.empty() ? INT64_MAX : actions_.begin()->first;
        if (nextTimerDue_ && nextTimerDue_() < next)
            next = nextTimerDue_();
        if (next > tick)
            break;
        if (next > now_) {
            now_ = next;
            yieldsSinceTimeMoved_ = 0;
        }
        runDue();
    }
    if (tick > now_) {
        now_ = tick;
        yieldsSinceTimeMoved_ = 0;
    }
}

int VirtualPlatform::msgBox(const std::string& text, int flags, const std::string& title) {
    boxes.push_back({text, flags, title, now_});
    if (onBox)
        onBox(boxes.back());
    if (!answers.empty()) {
        const int a = answers.front();
        answers.pop_front();
        return a;
    }
    return (flags & 7) == mb::YesNo ? mb::No : mb::Ok;
}

void VirtualPlatform::holdSystem(const std::string& reason) {
    holdCalls.push_back({true, reason, now_});
    systemHeld = true;
}

void VirtualPlatform::releaseSystem() {
    holdCalls.push_back({false, "", now_});
    systemHeld = false;
}

void VirtualPlatform::showHelpWindow() {
    ++helpShown;
    if (onHelp)
        onHelp();
}

}  // namespace vigie::test
