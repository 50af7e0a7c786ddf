#pragma once
// Models of the window's named controls. The handlers change these; the Qt layer mirrors them
// onto its widgets at every yield and after every handler, and tests read them directly.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace vigie {

enum class Alignment { Left, Center };

struct Font {
    std::string name;
    double size = 8.25;
    bool bold = false;
};

struct Label {
    std::string caption;  // UTF-8, CR LF between lines
    Font font;
    Alignment alignment = Alignment::Left;
};

struct ProgressBar {
    int value = 0;
    int min = 0;
    int max = 100;
    std::uint32_t barColor = 0x000000;   // 0xRRGGBB
    std::uint32_t backColor = 0xFFFFFF;  // 0xRRGGBB
};

struct Button {
    std::string caption;
    bool enabled = true;
};

struct ComboBox {
    std::vector<std::string> items;
    // What the list tells about an item when the pointer rests on it, by the item's text.
    std::map<std::string, std::string> toolTips;
    int listIndex = -1;  // -1: nothing selected
    bool enabled = true;

    void clear() {
        items.clear();
        toolTips.clear();
        listIndex = -1;
    }
    void addItem(std::string text) { items.push_back(std::move(text)); }
    void insertItem(int index, std::string text);
    int listCount() const { return static_cast<int>(items.size()); }
    // The selected item's text, "" when nothing is selected.
    std::string text() const;
    // The selected item's tooltip, "" when it has none or nothing is selected.
    std::string toolTip() const;
};

struct MenuItem {
    std::string caption;
    std::string shortcut;  // "Ctrl+F"
    bool checked = false;
};

// A timer that fires every interval milliseconds while enabled. Switching it on, or changing
// its interval, starts a new period; switching it off and on again within one handler does too.
class Timer {
  public:
    explicit Timer(int interval) : interval_(interval) {}

    bool enabled() const { return enabled_; }
    int interval() const { return interval_; }
    // now: the platform's tick count when the change is made.
    void setEnabled(bool on, std::int64_t now);
    void setInterval(int ms, std::int64_t now);

    // When the next tick is due; only meaningful while enabled.
    std::int64_t dueAt() const { return dueAt_; }
    bool isDue(std::int64_t now) const { return enabled_ && interval_ > 0 && now >= dueAt_; }
    // Called when the tick is delivered; schedules the next one. Ticks missed while the event
    // queue was busy are not queued up: one tick, then a full period.
    void fired(std::int64_t now);

  private:
    bool enabled_ = false;
    int interval_;
    std::int64_t dueAt_ = 0;
};

}  // namespace vigie
