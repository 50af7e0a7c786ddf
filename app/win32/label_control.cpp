#include "app/win32/label_control.h"

#include <string>

namespace vigie::win32 {
namespace {

constexpr wchar_t ClassName[] = L"VigieK7Label";

struct LabelData {
    LabelStyle style;
    Backdrop backdrop;
};

LabelData* dataOf(HWND hwnd) {
    return reinterpret_cast<LabelData*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
}

void paint(HWND hwnd, LabelData& data) {
    PAINTSTRUCT ps{};
    HDC target = ::BeginPaint(hwnd, &ps);
    RECT client{};
    ::GetClientRect(hwnd, &client);
    // Drawn off screen first, so that a label rewritten many times a second does not flicker.
    HDC dc = ::CreateCompatibleDC(target);
    HBITMAP bitmap = ::CreateCompatibleBitmap(target, client.right, client.bottom);
    HGDIOBJ oldBitmap = ::SelectObject(dc, bitmap);
    if (data.style.transparent && data.backdrop) {
        POINT origin{0, 0};
        ::MapWindowPoints(hwnd, ::GetParent(hwnd), &origin, 1);
        data.backdrop(dc, client, origin);
    } else {
        HBRUSH brush = ::CreateSolidBrush(data.style.backColor);
        ::FillRect(dc, &client, brush);
        ::DeleteObject(brush);
    }
    const int length = ::GetWindowTextLengthW(hwnd);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    ::GetWindowTextW(hwnd, text.data(), length + 1);
    text.resize(static_cast<size_t>(length));
    HGDIOBJ oldFont =
        ::SelectObject(dc, data.style.font ? data.style.font : ::GetStockObject(DEFAULT_GUI_FONT));
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, data.style.textColor);
    RECT box = client;
    ::DrawTextW(
        dc, text.c_str(), length, &box,
        DT_WORDBREAK | DT_NOPREFIX | DT_EDITCONTROL | (data.style.centred ? DT_CENTER : DT_LEFT));
    ::BitBlt(target, 0, 0, client.right, client.bottom, dc, 0, 0, SRCCOPY);
    ::SelectObject(dc, oldFont);
    ::SelectObject(dc, oldBitmap);
    ::DeleteObject(bitmap);
    ::DeleteDC(dc);
    ::EndPaint(hwnd, &ps);
}

LRESULT CALLBACK labelProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    LabelData* data = dataOf(hwnd);
    switch (msg) {
        case WM_ERASEBKGND:
            return 1;
        case WM_PAINT:
            if (data) {
                paint(hwnd, *data);
                return 0;
            }
            break;
        case WM_NCHITTEST:
            // Clicks go through to the window beneath, as on a label.
            return HTTRANSPARENT;
        case WM_NCDESTROY:
            delete data;
            ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
            break;
        default:
            break;
    }
    return ::DefWindowProcW(hwnd, msg, wp, lp);
}

void registerClass() {
    static const bool registered = [] {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = labelProc;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
        wc.lpszClassName = ClassName;
        return ::RegisterClassExW(&wc) != 0;
    }();
    (void)registered;
}

}  // namespace

HWND createLabel(HWND parent, int id, const wchar_t* text, Backdrop backdrop) {
    registerClass();
    HWND hwnd = ::CreateWindowExW(0, ClassName, text, WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, parent,
                                  reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                  ::GetModuleHandleW(nullptr), nullptr);
    if (hwnd)
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA,
                            reinterpret_cast<LONG_PTR>(new LabelData{{}, std::move(backdrop)}));
    return hwnd;
}

void setLabelStyle(HWND label, const LabelStyle& style) {
    LabelData* data = dataOf(label);
    if (!data || data->style == style)
        return;
    data->style = style;
    ::InvalidateRect(label, nullptr, FALSE);
}

void setLabelText(HWND label, const std::wstring& text) {
    const int length = ::GetWindowTextLengthW(label);
    std::wstring shown(static_cast<size_t>(length) + 1, L'\0');
    ::GetWindowTextW(label, shown.data(), length + 1);
    shown.resize(static_cast<size_t>(length));
    if (shown == text)
        return;
    ::SetWindowTextW(label, text.c_str());
    ::InvalidateRect(label, nullptr, FALSE);
}

}  // namespace vigie::win32
