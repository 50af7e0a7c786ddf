#pragma once
// A label as the form's labels are: a text with a font, a colour and an alignment, on a colour of
// its own or transparent over what lies beneath it in the main window (the black window, the
// banner). Its text is the window text, so WM_GETTEXT reads what the user reads.

#include <windows.h>

#include <functional>
#include <string>

namespace vigie::win32 {

struct LabelStyle {
    HFONT font = nullptr;
    COLORREF textColor = RGB(255, 255, 255);
    bool transparent = true;
    COLORREF backColor = RGB(0, 0, 0);
    bool centred = false;

    bool operator==(const LabelStyle&) const = default;
};

// Paints what lies beneath a transparent label: (dc, rect in the label's coordinates, the label's
// origin in the parent's client area).
using Backdrop = std::function<void(HDC, const RECT&, POINT)>;

HWND createLabel(HWND parent, int id, const wchar_t* text, Backdrop backdrop);
// Repaints only when the style changes.
void setLabelStyle(HWND label, const LabelStyle& style);
// Sets the text; repaints only when it changes.
void setLabelText(HWND label, const std::wstring& text);

}  // namespace vigie::win32
