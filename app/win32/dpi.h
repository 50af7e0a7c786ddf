#pragma once
// Twips and points to pixels at a window's DPI: the program is per-monitor DPI aware, so every
// size is computed for the monitor the window is on and again when it moves to another.

#include <windows.h>

#include <cmath>
#include <string>

namespace vigie::win32 {

constexpr int TwipsPerInch = 1440;

inline int twipsToPixels(int twips, UINT dpi) {
    return ::MulDiv(twips, static_cast<int>(dpi), TwipsPerInch);
}

// A font height for CreateFontW: negative, so that it is the character height without the
// internal leading, as point sizes are.
inline int fontHeight(double points, UINT dpi) {
    return -static_cast<int>(std::lround(points * dpi / 72.0));
}

inline RECT twipsRect(int left, int top, int width, int height, UINT dpi) {
    const int x = twipsToPixels(left, dpi);
    const int y = twipsToPixels(top, dpi);
    return RECT{x, y, x + twipsToPixels(width, dpi), y + twipsToPixels(height, dpi)};
}

// "MS Sans Serif" is a bitmap font with a few fixed sizes; its TrueType twin, present on every
// Windows, scales to any DPI with the same design and metrics.
inline std::wstring scalableFace(const std::wstring& face) {
    return face == L"MS Sans Serif" ? L"Microsoft Sans Serif" : face;
}

inline HFONT createFont(const std::wstring& face, double points, bool bold, UINT dpi) {
    return ::CreateFontW(fontHeight(points, dpi), 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE,
                         FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                         CLEARTYPE_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                         scalableFace(face.empty() ? L"MS Sans Serif" : face).c_str());
}

}  // namespace vigie::win32
