#include "app/win32/document_window.h"

#include <commctrl.h>
#include <richedit.h>

#include <cwchar>

#include "app/win32/dpi.h"
#include "app/win32/window_class.h"
#include "core/system_library.h"
#include "core/wide_text.h"

namespace vigie::win32 {
namespace {

constexpr wchar_t ClassName[] = L"VigieK7Document";
constexpr int TextBoxId = 101;
constexpr int ButtonId = 102;
constexpr DWORD WindowStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr DWORD WindowExStyle = WS_EX_DLGMODALFRAME;

struct DocumentState {
    const DocumentWindow* model = nullptr;
    HWND textBox = nullptr;
    HWND button = nullptr;
    HFONT buttonFont = nullptr;
    bool leftThroughButton = false;
    bool closed = false;
};

COLORREF colorRef(std::uint32_t rgb) {
    return RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}

DWORD CALLBACK readFile(DWORD_PTR cookie, LPBYTE buffer, LONG size, LONG* read) {
    DWORD got = 0;
    const BOOL ok = ::ReadFile(reinterpret_cast<HANDLE>(cookie), buffer, static_cast<DWORD>(size),
                               &got, nullptr);
    *read = static_cast<LONG>(got);
    return ok ? 0 : 1;
}

// The rich-text box's own RTF reader keeps the document's formatting.
bool streamRtf(HWND box, const std::wstring& path) {
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    EDITSTREAM stream{};
    stream.dwCookie = reinterpret_cast<DWORD_PTR>(file);
    stream.dwError = 0;
    stream.pfnCallback = readFile;
    ::SendMessageW(box, EM_STREAMIN, SF_RTF, reinterpret_cast<LPARAM>(&stream));
    ::CloseHandle(file);
    return stream.dwError == 0;
}

// The whole text takes the forced font name, size and colour; everything else the document says
// (bold, alignment, indents, lists) stays. A fallback message has nothing of its own: it is
// plain, not in the weight of the box's default font (the system's bold one).
void forceFont(HWND box, const DocumentWindow& model, bool fallback) {
    ::SendMessageW(box, EM_SETBKGNDCOLOR, 0, colorRef(model.backColor));
    ::SendMessageW(box, EM_SETSEL, 0, -1);
    CHARFORMAT2W format{};
    format.cbSize = sizeof format;
    format.dwMask =
        CFM_FACE | CFM_SIZE | CFM_COLOR | (fallback ? CFM_BOLD | CFM_ITALIC | CFM_UNDERLINE : 0);
    format.dwEffects = 0;  // no automatic colour
    format.yHeight = static_cast<LONG>(model.fontSize * 20);
    format.crTextColor = colorRef(model.textColor);
    const std::wstring face = widen(model.fontName);
    std::wcsncpy(format.szFaceName, face.c_str(), LF_FACESIZE - 1);
    ::SendMessageW(box, EM_SETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
    ::SendMessageW(box, EM_SETSEL, 0, 0);
}

LRESULT CALLBACK documentProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lp);
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA,
                            reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* state = reinterpret_cast<DocumentState*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    switch (msg) {
        case WM_COMMAND:
            if (state && LOWORD(wp) == ButtonId && HIWORD(wp) == BN_CLICKED) {
                state->leftThroughButton = true;
                state->closed = true;
            }
            // IDCANCEL (Esc) does nothing: the window has no Cancel button.
            return 0;
        case WM_CLOSE:
            if (state)
                state->closed = true;
            return 0;
        default:
            break;
    }
    return ::DefWindowProcW(hwnd, msg, wp, lp);
}

HWND createChild(const wchar_t* className, const wchar_t* text, DWORD style, DWORD exStyle,
                 const Rect& twips, int id, HWND parent, UINT dpi) {
    const RECT r = twipsRect(twips.left, twips.top, twips.width, twips.height, dpi);
    return ::CreateWindowExW(exStyle, className, text, WS_CHILD | WS_VISIBLE | WS_TABSTOP | style,
                             r.left, r.top, r.right - r.left, r.bottom - r.top, parent,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                             ::GetModuleHandleW(nullptr), nullptr);
}

// The window's outer rectangle for its client area in twips, centred on the primary screen.
RECT centredFrame(const DocumentWindow& model, UINT dpi) {
    RECT frame{0, 0, twipsToPixels(model.clientWidth, dpi), twipsToPixels(model.clientHeight, dpi)};
    ::AdjustWindowRectExForDpi(&frame, WindowStyle, FALSE, WindowExStyle, dpi);
    MONITORINFO info{};
    info.cbSize = sizeof info;
    ::GetMonitorInfoW(::MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY), &info);
    const RECT& area = info.rcWork;
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    const int left = area.left + (area.right - area.left - width) / 2;
    const int top = area.top + (area.bottom - area.top - height) / 2;
    return RECT{left, top, left + width, top + height};
}

}  // namespace

bool showDocumentWindow(const DocumentWindow& model, const std::wstring& documentPath, HWND owner,
                        bool taskbarButton) {
    // The rich-text box's class comes with its library, the system's own one.
    static const HMODULE richEdit = systemLibrary(L"Msftedit.dll");
    (void)richEdit;
    registerProgramWindowClass(ClassName, documentProc);

    DocumentState state;
    state.model = &model;
    const UINT dpi = owner ? ::GetDpiForWindow(owner) : ::GetDpiForSystem();
    const RECT frame = centredFrame(model, dpi);
    // An owned window has no taskbar button unless it asks for one.
    const DWORD exStyle = WindowExStyle | (taskbarButton ? WS_EX_APPWINDOW : 0);
    HWND hwnd =
        ::CreateWindowExW(exStyle, ClassName, widen(model.caption).c_str(), WindowStyle, frame.left,
                          frame.top, frame.right - frame.left, frame.bottom - frame.top, owner,
                          nullptr, ::GetModuleHandleW(nullptr), &state);
    if (!hwnd)
        return false;
    // The taskbar's and Alt+Tab's pictures, at this DPI's sizes.
    HICON icons[2] = {};
    if (taskbarButton) {
        icons[0] = loadProgramIcon(SM_CXICON, dpi);
        icons[1] = loadProgramIcon(SM_CXSMICON, dpi);
        ::SendMessageW(hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icons[0]));
        ::SendMessageW(hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icons[1]));
    }

    // Created in tab order: the control with the lower tab index first.
    auto createBox = [&] {
        state.textBox = createChild(MSFTEDIT_CLASS, L"",
                                    ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | WS_VSCROLL,
                                    WS_EX_CLIENTEDGE, model.textBox, TextBoxId, hwnd, dpi);
    };
    auto createButton = [&] {
        state.button = createChild(WC_BUTTONW, widen(model.buttonCaption).c_str(), BS_DEFPUSHBUTTON,
                                   0, model.button, ButtonId, hwnd, dpi);
        state.buttonFont = createFont(L"MS Sans Serif", 8.25, false, dpi);
        ::SendMessageW(state.button, WM_SETFONT, reinterpret_cast<WPARAM>(state.buttonFont), FALSE);
    };
    if (model.buttonFocusedFirst) {
        createButton();
        createBox();
    } else {
        createBox();
        createButton();
    }

    const bool fallback = !model.loaded || !streamRtf(state.textBox, documentPath);
    if (fallback)
        ::SetWindowTextW(state.textBox, widen(model.text).c_str());
    forceFont(state.textBox, model, fallback);

    if (owner)
        ::EnableWindow(owner, FALSE);
    ::ShowWindow(hwnd, SW_SHOW);
    ::SetForegroundWindow(hwnd);
    ::SetFocus(model.buttonFocusedFirst ? state.button : state.textBox);

    MSG msg{};
    while (!state.closed) {
        const BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) {
            // The program is ending: leave the quit message for the outer loop.
            ::PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        if (got < 0)
            break;
        // Esc closes nothing here: the window has no Cancel button, and a multi-line text box
        // would otherwise turn the key into a close request to the window.
        const bool escape =
            (msg.message == WM_KEYDOWN || msg.message == WM_KEYUP || msg.message == WM_CHAR) &&
            msg.wParam == VK_ESCAPE;
        if (escape && (msg.hwnd == hwnd || ::IsChild(hwnd, msg.hwnd)))
            continue;
        if (::IsDialogMessageW(hwnd, &msg))
            continue;
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }

    // The owner is enabled again before this window goes, so that it gets the activation back.
    if (owner)
        ::EnableWindow(owner, TRUE);
    ::DestroyWindow(hwnd);
    for (HICON icon : icons)
        if (icon)
            ::DestroyIcon(icon);
    if (state.buttonFont)
        ::DeleteObject(state.buttonFont);
    return state.leftThroughButton;
}

}  // namespace vigie::win32
