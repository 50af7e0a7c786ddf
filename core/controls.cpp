#include "core/controls.h"

namespace vigie {

void ComboBox::insertItem(int index, std::string text) {
    if (index < 0 || index > listCount())
        index = listCount();
    items.insert(items.begin() + index, std::move(text));
    if (listIndex >= index)
        ++listIndex;
}

std::string ComboBox::text() const {
    if (listIndex < 0 || listIndex >= listCount())
        return "";
    return items[static_cast<size_t>(listIndex)];
}

std::string ComboBox::toolTip() const {
    const auto tip = toolTips.find(text());
    return tip == toolTips.end() ? "" : tip->second;
}

void Timer::setEnabled(bool on, std::int64_t now) {
    if (on && !enabled_)
        dueAt_ = now + interval_;
    enabled_ = on;
}

void Timer::setInterval(int ms, std::int64_t now) {
    interval_ = ms;
    dueAt_ = now + interval_;
}

void Timer::fired(std::int64_t now) {
    dueAt_ += interval_;
    if (dueAt_ <= now)
        dueAt_ = now + interval_;
}

}  // namespace vigie
