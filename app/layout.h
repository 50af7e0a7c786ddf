#pragma once
// The main window's layout as data, in twips (15 twips to a pixel). The Qt layer builds its
// widgets from this table; the form's control models take their design-time values from it.

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "core/controls.h"

namespace vigie::layout {

constexpr int TwipsPerPixel = 15;
constexpr int px(int twips) {
    return (twips + TwipsPerPixel / 2) / TwipsPerPixel;
}

enum class Kind { Picture, Label, ProgressBar, ComboBox, Button };

// Colours as 0xRRGGBB; the system's highlight-text colour is resolved by the Qt layer.
constexpr std::uint32_t White = 0xFFFFFF;
constexpr std::uint32_t Black = 0x000000;
constexpr std::uint32_t HighlightText = 0x1000000;  // marker: the system's highlight-text colour

struct Control {
    const char* name;
    Kind kind;
    int left, top, width, height;
    const char* caption;
    const char* fontName;  // nullptr: the platform's default
    double fontSize;
    bool bold;
    Alignment alignment;
    std::optional<std::uint32_t> foreColor;
    std::optional<std::uint32_t> backColor;  // empty: transparent
    int tabIndex;                            // -1: takes no focus
};

struct MenuEntry {
    const char* name;
    const char* caption;
    const char* shortcut;
};

std::span<const Control> controls();
std::span<const MenuEntry> menu();
const Control& control(std::string_view name);

constexpr const char* MenuCaption = "&Menu";
constexpr int ClientWidth = 5880;  // design-time client area
constexpr int ClientHeight = 5235;
constexpr int OuterWidth = 5970;  // imposed at run time
constexpr int OuterHeight = 4965;
constexpr std::uint32_t WindowBackColor = Black;

}  // namespace vigie::layout
