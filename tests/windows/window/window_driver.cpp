// Drives the program's windows from another process, as a user would, but through the windows'
// own messages rather than screen coordinates: windows are found by title, buttons by caption and
// the main window's controls by their names in the layout table. One command per run; results go
// to stdout in UTF-8. Exit status 0 on success, 1 when the window or control is not there in time,
// 2 on a usage error.
//
//   window_driver wait TITLE [MS]             a visible window with this title (TITLE* : prefix)
//   window_driver gone TITLE [MS]             no such window any more
//   window_driver click TITLE CAPTION         presses a button (BM_CLICK, posted)
//   window_driver select TITLE NAME INDEX     selects a list entry and notifies the window
//   window_driver text TITLE NAME             the text of a control (WM_GETTEXT)
//   window_driver items TITLE NAME            the entries of a list, one a line
//   window_driver state TITLE NAME            "enabled" or "disabled", then "focused" if it is
//   window_driver bar TITLE NAME              the progress bar's position
//   window_driver colour TITLE NAME X Y       the colour on the screen (RRGGBB) at X, Y in the
//                                             control, as the user sees it
//   window_driver box TITLE CAPTION [MS]      a message box (dialog class "#32770") with this
//                                             title: prints its text, then presses CAPTION
//   window_driver anybox - [MS]               any message box ("#32770") within MS: prints its
//                                             title; exit status 1 when none came
//   window_driver close TITLE                 the close box (WM_CLOSE)
//   window_driver key TITLE KEY               a key (escape, return, tab) to the focused control
//   window_driver type TITLE KEY              a key typed on the keyboard (SendInput) with the
//                                             window in front: return, space, escape, tab, a
//                                             letter, or ctrl+LETTER
//   window_driver workarea -                  the primary screen's work area: left top width height
//   window_driver hold -                      keeps a hidden window on the desktop until ended;
//                                             prints "holding" once it is there
//   window_driver menu TITLE NAME             a menu command of the main window, by its name
//   window_driver doctext TITLE               the text of the window's rich-text box
//   window_driver docformat TITLE             the rich-text box's character format at the caret:
//                                             "bold" or "regular", the face and the size in points
//   window_driver docindent TITLE PREFIX      in the rich-text box's paragraph that starts with
//                                             PREFIX: where its text starts after the tab on the
//                                             first line and where its second line starts (x, in
//                                             pixels)
//   window_driver send TITLE MESSAGE          sends the window a system message and prints its
//                                             answer: queryendsession, endsession (forced: the
//                                             session ends whatever the answer was), suspend,
//                                             resume (WM_POWERBROADCAST)
//   window_driver point TITLE                 moves the mouse into the middle of the window
//   window_driver showcursor wait|arrow [MS]  shows that pointer of the system under the mouse,
//                                             in a window of its own, for MS; prints "shown"
//                                             once it is there
//   window_driver shot TITLE FILE.bmp         the window as it is on the screen, to a bitmap
//   window_driver rect TITLE                  the window's and its client area's rectangles
//   window_driver tip TITLE NAME [MS]         rests the mouse on the control and prints the text
//                                             of the tooltip that the program shows for it
//   window_driver style TITLE                 "appwindow" or "noappwindow" (a taskbar button of
//                                             its own), "owned" or "unowned", "icons" or
//                                             "noicons" (both of its icons set)
//   window_driver front TITLE                 puts a window of its own in front, then activates
//                                             the window as its taskbar button does; prints
//                                             "front" when it came back to the front in time
//   window_driver holdfile FILE [MS]          as an antivirus scanning a new file: opens FILE as
//                                             soon as it can, sharing reading and writing but not
//                                             its deletion, prints "held", and keeps it open until
//                                             a line comes on its input, or, with MS, until MS
//                                             after the program has overwritten it with its
//                                             filler (a line that starts with a date,
//                                             mm-dd-yyyy); prints "released"

#include <windows.h>

#include <commctrl.h>
#include <richedit.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cwctype>
#include <string>
#include <vector>

#include "app/win32/control_ids.h"
#include "core/wide_text.h"

namespace {

using vigie::narrow;
using vigie::widen;

std::wstring windowText(HWND hwnd) {
    wchar_t buffer[4096] = {};
    // WM_GETTEXT with a timeout: a window whose thread is busy must not hang the driver.
    DWORD_PTR length = 0;
    if (!::SendMessageTimeoutW(hwnd, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(buffer),
                               SMTO_ABORTIFHUNG, 5000, &length))
        return {};
    return std::wstring(buffer, static_cast<size_t>(length));
}

std::wstring className(HWND hwnd) {
    wchar_t buffer[256] = {};
    ::GetClassNameW(hwnd, buffer, 256);
    return buffer;
}

struct Search {
    std::wstring title;
    std::wstring windowClass;  // empty: any
    HWND found = nullptr;
};

bool titleMatches(const std::wstring& title, const std::wstring& wanted) {
    if (!wanted.empty() && wanted.back() == L'*')
        return title.compare(0, wanted.size() - 1, wanted, 0, wanted.size() - 1) == 0;
    return title == wanted;
}

BOOL CALLBACK findTopLevel(HWND hwnd, LPARAM param) {
    auto* search = reinterpret_cast<Search*>(param);
    if (!::IsWindowVisible(hwnd))
        return TRUE;
    if (!search->windowClass.empty() && className(hwnd) != search->windowClass)
        return TRUE;
    if (!titleMatches(windowText(hwnd), search->title))
        return TRUE;
    search->found = hwnd;
    return FALSE;
}

HWND findWindow(const std::wstring& title, const std::wstring& windowClass = {}) {
    Search search{title, windowClass, nullptr};
    ::EnumWindows(findTopLevel, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND waitWindow(const std::wstring& title, DWORD ms, const std::wstring& windowClass = {}) {
    const ULONGLONG end = ::GetTickCount64() + ms;
    for (;;) {
        if (HWND hwnd = findWindow(title, windowClass))
            return hwnd;
        if (::GetTickCount64() >= end)
            return nullptr;
        ::Sleep(50);
    }
}

struct ChildSearch {
    std::wstring text;
    HWND found = nullptr;
};

BOOL CALLBACK findButton(HWND hwnd, LPARAM param) {
    auto* search = reinterpret_cast<ChildSearch*>(param);
    if (className(hwnd) != L"Button")
        return TRUE;
    std::wstring text = windowText(hwnd);
    // "&Yes" and "Yes" both name the Yes button.
    std::wstring plain;
    for (wchar_t c : text)
        if (c != L'&')
            plain += c;
    if (text != search->text && plain != search->text)
        return TRUE;
    search->found = hwnd;
    return FALSE;
}

HWND findButtonIn(HWND parent, const std::wstring& caption) {
    ChildSearch search{caption, nullptr};
    ::EnumChildWindows(parent, findButton, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND control(HWND window, const std::string& name) {
    const int id = vigie::win32::controlId(name);
    return id < 0 ? nullptr : ::GetDlgItem(window, id);
}

BOOL CALLBACK collectStatics(HWND hwnd, LPARAM param) {
    if (className(hwnd) == L"Static") {
        const std::wstring text = windowText(hwnd);
        if (!text.empty())
            reinterpret_cast<std::vector<std::wstring>*>(param)->push_back(text);
    }
    return TRUE;
}

void print(const std::wstring& text) {
    const std::string utf8 = narrow(text);
    std::fwrite(utf8.data(), 1, utf8.size(), stdout);
    std::fputc('\n', stdout);
}

bool saveShot(HWND hwnd, const std::wstring& path) {
    RECT r{};
    ::GetWindowRect(hwnd, &r);
    const int width = r.right - r.left;
    const int height = r.bottom - r.top;
    HDC screen = ::GetDC(nullptr);
    HDC dc = ::CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = ::CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = ::SelectObject(dc, bitmap);
    ::BitBlt(dc, 0, 0, width, height, screen, r.left, r.top, SRCCOPY);
    ::GdiFlush();
    const DWORD stride = static_cast<DWORD>((width * 3 + 3) & ~3);
    const DWORD size = stride * static_cast<DWORD>(height);
    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info.bmiHeader;
    file.bfSize = file.bfOffBits + size;
    bool ok = false;
    if (FILE* out = _wfopen(path.c_str(), L"wb")) {
        ok = std::fwrite(&file, sizeof file, 1, out) == 1 &&
             std::fwrite(&info.bmiHeader, sizeof info.bmiHeader, 1, out) == 1 &&
             std::fwrite(bits, size, 1, out) == 1;
        ok = std::fclose(out) == 0 && ok;
    }
    ::SelectObject(dc, old);
    ::DeleteObject(bitmap);
    ::DeleteDC(dc);
    ::ReleaseDC(nullptr, screen);
    return ok;
}

// The virtual key of a key's name: "return", "space", "escape", "tab" or a letter; 0 if unknown.
WORD virtualKey(const std::wstring& name) {
    if (name == L"return")
        return VK_RETURN;
    if (name == L"space")
        return VK_SPACE;
    if (name == L"escape")
        return VK_ESCAPE;
    if (name == L"tab")
        return VK_TAB;
    if (name.size() == 1 && std::iswalpha(name[0]))
        return static_cast<WORD>(std::towupper(name[0]));
    return 0;
}

INPUT keyInput(WORD vk, bool up) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = vk;
    input.ki.wScan = static_cast<WORD>(::MapVirtualKeyW(vk, MAPVK_VK_TO_VSC));
    input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    return input;
}

// Types the key on the keyboard, as the user would, once the window is in front. The key goes
// through the system's input queue, so accelerators and the dialog manager see it as typed.
bool typeKey(HWND window, const std::wstring& spec) {
    const bool control = spec.rfind(L"ctrl+", 0) == 0;
    const WORD vk = virtualKey(control ? spec.substr(5) : spec);
    if (!vk)
        return false;
    ::SetForegroundWindow(window);
    const ULONGLONG end = ::GetTickCount64() + 5000;
    while (::GetForegroundWindow() != window) {
        if (::GetTickCount64() >= end)
            return false;
        ::Sleep(20);
        ::SetForegroundWindow(window);
    }
    std::vector<INPUT> inputs;
    if (control)
        inputs.push_back(keyInput(VK_CONTROL, false));
    inputs.push_back(keyInput(vk, false));
    inputs.push_back(keyInput(vk, true));
    if (control)
        inputs.push_back(keyInput(VK_CONTROL, true));
    return ::SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT)) ==
           inputs.size();
}

// A block of memory in another process, for the messages whose argument is a pointer (the system
// carries no such message across processes).
class RemoteBlock {
  public:
    RemoteBlock(HWND window, size_t size) : size_(size) {
        DWORD pid = 0;
        ::GetWindowThreadProcessId(window, &pid);
        process_ =
            ::OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
        if (process_)
            address_ = ::VirtualAllocEx(process_, nullptr, size, MEM_COMMIT, PAGE_READWRITE);
    }
    ~RemoteBlock() {
        if (address_)
            ::VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
        if (process_)
            ::CloseHandle(process_);
    }
    RemoteBlock(const RemoteBlock&) = delete;
    RemoteBlock& operator=(const RemoteBlock&) = delete;
    bool ok() const { return address_ != nullptr; }
    LPARAM address() const { return reinterpret_cast<LPARAM>(address_); }
    bool write(const void* data) {
        return ::WriteProcessMemory(process_, address_, data, size_, nullptr);
    }
    bool read(void* data) { return ::ReadProcessMemory(process_, address_, data, size_, nullptr); }

  private:
    HANDLE process_ = nullptr;
    void* address_ = nullptr;
    size_t size_;
};

LRESULT sendTimed(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    DWORD_PTR result = 0;
    ::SendMessageTimeoutW(hwnd, msg, wp, lp, SMTO_ABORTIFHUNG, 5000, &result);
    return static_cast<LRESULT>(result);
}

// Where the character at index lies in the rich-text box, in its client area; x -1 if unknown.
POINTL charPosition(HWND box, LONG index) {
    POINTL at{-1, -1};
    RemoteBlock point(box, sizeof at);
    if (point.ok() && point.write(&at)) {
        sendTimed(box, EM_POSFROMCHAR, static_cast<WPARAM>(point.address()), index);
        point.read(&at);
    }
    return at;
}

// Moves the mouse there as a user would, so that the window under it is asked for its pointer.
void moveMouse(int x, int y) {
    ::SetCursorPos(x - 1, y);
    INPUT move{};
    move.type = INPUT_MOUSE;
    move.mi.dx = 1;
    move.mi.dwFlags = MOUSEEVENTF_MOVE;
    ::SendInput(1, &move, sizeof move);
}

LRESULT CALLBACK showCursorProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_TIMER) {
        ::PostQuitMessage(0);
        return 0;
    }
    return ::DefWindowProcW(hwnd, msg, wp, lp);
}

// A window of its own in the top left corner, showing the system's pointer of that name under
// the mouse for ms: what that pointer looks like on this screen.
int showCursor(const std::wstring& name, DWORD ms) {
    WNDCLASSW c{};
    c.lpfnWndProc = showCursorProc;
    c.hInstance = ::GetModuleHandleW(nullptr);
    c.hCursor = ::LoadCursorW(nullptr, name == L"wait" ? IDC_WAIT : IDC_ARROW);
    c.lpszClassName = L"WindowDriverPointer";
    ::RegisterClassW(&c);
    HWND hwnd = ::CreateWindowExW(WS_EX_TOPMOST, c.lpszClassName, L"window_driver pointer",
                                  WS_POPUP | WS_VISIBLE, 0, 0, 120, 120, nullptr, nullptr,
                                  c.hInstance, nullptr);
    if (!hwnd)
        return 1;
    ::SetForegroundWindow(hwnd);
    moveMouse(60, 60);
    ::SetTimer(hwnd, 1, ms, nullptr);
    // The caller reads the pointer once it is told.
    std::puts("shown");
    std::fflush(stdout);
    MSG msg{};
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0)
        ::DispatchMessageW(&msg);
    ::DestroyWindow(hwnd);
    return 0;
}

struct TipSearch {
    DWORD process;
    std::wstring text;
};

BOOL CALLBACK findTip(HWND hwnd, LPARAM param) {
    auto* search = reinterpret_cast<TipSearch*>(param);
    DWORD process = 0;
    ::GetWindowThreadProcessId(hwnd, &process);
    if (process != search->process || !::IsWindowVisible(hwnd) ||
        className(hwnd) != TOOLTIPS_CLASSW)
        return TRUE;
    search->text = windowText(hwnd);
    return search->text.empty();
}

// Rests the mouse on the control, as a user who wonders what it is, and reads the tooltip the
// program shows within ms.
int showTip(HWND window, HWND target, DWORD ms) {
    RECT r{};
    ::GetWindowRect(target, &r);
    moveMouse((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    TipSearch search{0, {}};
    ::GetWindowThreadProcessId(window, &search.process);
    const ULONGLONG end = ::GetTickCount64() + ms;
    while (::EnumWindows(findTip, reinterpret_cast<LPARAM>(&search)), search.text.empty()) {
        if (::GetTickCount64() >= end)
            return 1;
        ::Sleep(50);
    }
    print(search.text);
    return 0;
}

// Another program's window in front, as when the user clicked elsewhere; then the window is
// activated the way its taskbar button does it. True when it is in front again.
bool comesToTheFront(HWND window) {
    HWND cover =
        ::CreateWindowExW(0, L"STATIC", L"window_driver cover", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0,
                          0, 800, 600, nullptr, nullptr, ::GetModuleHandleW(nullptr), nullptr);
    if (!cover)
        return false;
    auto settle = [](HWND wanted, DWORD ms) {
        const ULONGLONG end = ::GetTickCount64() + ms;
        for (;;) {
            MSG msg{};
            while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
                ::DispatchMessageW(&msg);
            if (::GetForegroundWindow() == wanted)
                return true;
            if (::GetTickCount64() >= end)
                return false;
            ::Sleep(20);
        }
    };
    ::SetForegroundWindow(cover);
    const bool covered = settle(cover, 5000);
    ::SwitchToThisWindow(window, TRUE);
    const bool back = covered && settle(window, 5000);
    ::DestroyWindow(cover);
    print(back ? L"front" : covered ? L"behind" : L"not covered");
    return back;
}

// Whether the file now starts as the program's filler does: "mm-dd-yyyy ".
bool overwrittenWithFiller(HANDLE file) {
    char start[11] = {};
    DWORD got = 0;
    OVERLAPPED at{};  // from the file's start, whatever was read before
    if (!::ReadFile(file, start, sizeof start, &got, &at) || got < sizeof start)
        return false;
    const char* shape = "00-00-0000 ";
    for (size_t i = 0; i < sizeof start; ++i)
        if (shape[i] == '0' ? !std::iswdigit(static_cast<unsigned char>(start[i]))
                            : start[i] != shape[i])
            return false;
    return true;
}

int usage() {
    std::fputs("usage: window_driver COMMAND TITLE ... (see the source)\n", stderr);
    return 2;
}

int run(const std::vector<std::wstring>& args) {
    if (args.size() < 3)
        return usage();
    const std::wstring& command = args[1];
    const std::wstring& title = args[2];
    auto arg = [&](size_t i) { return i < args.size() ? args[i] : std::wstring(); };
    auto ms = [&](size_t i, DWORD fallback) {
        return i < args.size() ? static_cast<DWORD>(std::stoul(args[i])) : fallback;
    };

    if (command == L"box") {
        if (args.size() < 4)
            return usage();
        HWND box = waitWindow(title, ms(4, 10000), L"#32770");
        if (!box)
            return 1;
        std::vector<std::wstring> texts;
        ::EnumChildWindows(box, collectStatics, reinterpret_cast<LPARAM>(&texts));
        for (const std::wstring& text : texts)
            print(text);
        HWND button = findButtonIn(box, arg(3));
        if (!button)
            return 1;
        ::PostMessageW(button, BM_CLICK, 0, 0);
        return 0;
    }
    if (command == L"wait")
        return waitWindow(title, ms(3, 10000)) ? 0 : 1;
    if (command == L"showcursor")
        return showCursor(title, ms(3, 3000));
    if (command == L"anybox") {
        HWND box = waitWindow(L"*", ms(3, 10000), L"#32770");
        if (!box)
            return 1;
        print(windowText(box));
        return 0;
    }
    if (command == L"workarea") {
        RECT area{};
        ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
        std::printf("%ld %ld %ld %ld\n", area.left, area.top, area.right - area.left,
                    area.bottom - area.top);
        return 0;
    }
    if (command == L"holdfile") {
        HANDLE file = INVALID_HANDLE_VALUE;
        while (file == INVALID_HANDLE_VALUE) {
            file = ::CreateFileW(title.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
            if (file == INVALID_HANDLE_VALUE)
                ::Sleep(5);
        }
        std::puts("held");
        std::fflush(stdout);
        if (args.size() > 3) {
            // The deletion comes right after the overwriting: held MS past it.
            while (!overwrittenWithFiller(file))
                ::Sleep(5);
            ::Sleep(ms(3, 0));
        } else {
            char line[16];
            std::fgets(line, sizeof line, stdin);
        }
        ::CloseHandle(file);
        std::puts("released");
        std::fflush(stdout);
        return 0;
    }
    if (command == L"hold") {
        // A program with a window keeps Wine's desktop process up between the program's runs.
        HWND holder = ::CreateWindowExW(0, L"STATIC", L"window_driver hold", WS_OVERLAPPED, 0, 0, 1,
                                        1, nullptr, nullptr, ::GetModuleHandleW(nullptr), nullptr);
        if (!holder)
            return 1;
        // The caller goes on once the desktop has this window.
        std::puts("holding");
        std::fflush(stdout);
        MSG msg{};
        while (::GetMessageW(&msg, nullptr, 0, 0) > 0)
            ::DispatchMessageW(&msg);
        return 0;
    }
    if (command == L"gone") {
        const ULONGLONG end = ::GetTickCount64() + ms(3, 10000);
        while (findWindow(title)) {
            if (::GetTickCount64() >= end)
                return 1;
            ::Sleep(50);
        }
        return 0;
    }

    HWND window = waitWindow(title, 10000);
    if (!window)
        return 1;
    if (command == L"close") {
        ::PostMessageW(window, WM_CLOSE, 0, 0);
        return 0;
    }
    if (command == L"style") {
        const LONG_PTR exStyle = ::GetWindowLongPtrW(window, GWL_EXSTYLE);
        const bool icons = ::SendMessageW(window, WM_GETICON, ICON_BIG, 0) != 0 &&
                           ::SendMessageW(window, WM_GETICON, ICON_SMALL, 0) != 0;
        print(std::wstring((exStyle & WS_EX_APPWINDOW) ? L"appwindow" : L"noappwindow") +
              (::GetWindow(window, GW_OWNER) ? L" owned" : L" unowned") +
              (icons ? L" icons" : L" noicons"));
        return 0;
    }
    if (command == L"front")
        return comesToTheFront(window) ? 0 : 1;
    if (command == L"rect") {
        RECT outer{}, client{};
        ::GetWindowRect(window, &outer);
        ::GetClientRect(window, &client);
        std::printf("window %ld %ld %ld %ld\nclient %ld %ld\n", outer.left, outer.top,
                    outer.right - outer.left, outer.bottom - outer.top, client.right,
                    client.bottom);
        return 0;
    }
    if (command == L"key") {
        const std::wstring& key = arg(3);
        const WPARAM vk = key == L"escape" ? VK_ESCAPE : key == L"return" ? VK_RETURN : VK_TAB;
        GUITHREADINFO info{};
        info.cbSize = sizeof info;
        ::GetGUIThreadInfo(::GetWindowThreadProcessId(window, nullptr), &info);
        HWND focus = info.hwndFocus ? info.hwndFocus : window;
        // Posted, so that the window's message loop sees it as it sees a typed key.
        ::PostMessageW(focus, WM_KEYDOWN, vk, 1);
        ::PostMessageW(focus, WM_KEYUP, vk, 0xC0000001);
        return 0;
    }
    if (command == L"type")
        return typeKey(window, arg(3)) ? 0 : 1;
    if (command == L"menu") {
        int index = 0;
        for (const vigie::layout::MenuEntry& m : vigie::layout::menu()) {
            if (narrow(arg(3)) == m.name) {
                ::PostMessageW(window, WM_COMMAND, MAKEWPARAM(vigie::win32::FirstMenuId + index, 0),
                               0);
                return 0;
            }
            ++index;
        }
        return 1;
    }
    if (command == L"doctext") {
        HWND box = ::FindWindowExW(window, nullptr, L"RICHEDIT50W", nullptr);
        if (!box)
            return 1;
        print(windowText(box));
        return 0;
    }
    if (command == L"docformat") {
        HWND box = ::FindWindowExW(window, nullptr, L"RICHEDIT50W", nullptr);
        if (!box)
            return 1;
        CHARFORMAT2W format{};
        format.cbSize = sizeof format;
        format.dwMask = CFM_BOLD | CFM_FACE | CFM_SIZE;
        RemoteBlock remote(box, sizeof format);
        if (!remote.ok() || !remote.write(&format))
            return 1;
        sendTimed(box, EM_GETCHARFORMAT, SCF_SELECTION, remote.address());
        if (!remote.read(&format))
            return 1;
        print(std::wstring((format.dwEffects & CFE_BOLD) ? L"bold " : L"regular ") +
              format.szFaceName + L" " + std::to_wstring(format.yHeight / 20));
        return 0;
    }
    if (command == L"docindent") {
        HWND box = ::FindWindowExW(window, nullptr, L"RICHEDIT50W", nullptr);
        if (!box)
            return 1;
        // The box keeps paragraph ends as CR alone.
        std::wstring text = windowText(box);
        std::wstring flat;
        for (wchar_t c : text)
            if (c != L'\n')
                flat += c;
        const size_t start = flat.find(L"\r" + arg(3));
        const size_t tab = start == std::wstring::npos ? start : flat.find(L'\t', start);
        if (tab == std::wstring::npos)
            return 1;
        const auto afterTab = static_cast<LONG>(tab + 1);
        const LRESULT line = sendTimed(box, EM_EXLINEFROMCHAR, 0, afterTab);
        const LRESULT secondLine = sendTimed(box, EM_LINEINDEX, static_cast<WPARAM>(line + 1), 0);
        std::printf("%ld %ld\n", charPosition(box, afterTab).x,
                    charPosition(box, static_cast<LONG>(secondLine)).x);
        return 0;
    }
    if (command == L"send") {
        const std::wstring& message = arg(3);
        if (message == L"queryendsession") {
            std::printf("%ld\n", static_cast<long>(
                                     sendTimed(window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF)));
            return 0;
        }
        if (message == L"endsession") {
            sendTimed(window, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
            return 0;
        }
        if (message == L"suspend" || message == L"resume") {
            const WPARAM event = message == L"suspend" ? PBT_APMSUSPEND : PBT_APMRESUMEAUTOMATIC;
            std::printf("%ld\n", static_cast<long>(sendTimed(window, WM_POWERBROADCAST, event, 0)));
            return 0;
        }
        return usage();
    }
    if (command == L"point") {
        RECT r{};
        ::GetWindowRect(window, &r);
        moveMouse((r.left + r.right) / 2, (r.top + r.bottom) / 2);
        return 0;
    }
    if (command == L"shot")
        return args.size() > 3 && saveShot(window, args[3]) ? 0 : 1;
    if (command == L"click") {
        HWND button = findButtonIn(window, arg(3));
        if (!button)
            return 1;
        // Posted: the click may start a handler that runs for a long time.
        ::PostMessageW(button, BM_CLICK, 0, 0);
        return 0;
    }

    HWND target = control(window, narrow(arg(3)));
    if (!target)
        return 1;
    if (command == L"text") {
        print(windowText(target));
        return 0;
    }
    if (command == L"tip")
        return showTip(window, target, ms(4, 5000));
    if (command == L"items") {
        const auto count = ::SendMessageW(target, CB_GETCOUNT, 0, 0);
        for (WPARAM i = 0; i < static_cast<WPARAM>(count); ++i) {
            wchar_t item[512] = {};
            ::SendMessageW(target, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(item));
            print(item);
        }
        return 0;
    }
    if (command == L"select") {
        const auto index = static_cast<WPARAM>(std::stoul(arg(4)));
        ::SendMessageW(target, CB_SETCURSEL, index, 0);
        // A program's own CB_SETCURSEL does not notify; a user's choice does.
        ::PostMessageW(window, WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(target), CBN_SELCHANGE),
                       reinterpret_cast<LPARAM>(target));
        return 0;
    }
    if (command == L"state") {
        GUITHREADINFO info{};
        info.cbSize = sizeof info;
        ::GetGUIThreadInfo(::GetWindowThreadProcessId(window, nullptr), &info);
        std::printf("%s%s\n", ::IsWindowEnabled(target) ? "enabled" : "disabled",
                    info.hwndFocus == target ? " focused" : "");
        return 0;
    }
    if (command == L"bar") {
        std::printf("%ld\n", static_cast<long>(::SendMessageW(target, PBM_GETPOS, 0, 0)));
        return 0;
    }
    if (command == L"colour") {
        POINT at{std::stoi(arg(4)), std::stoi(arg(5))};
        ::ClientToScreen(target, &at);
        HDC screen = ::GetDC(nullptr);
        const COLORREF c = ::GetPixel(screen, at.x, at.y);
        ::ReleaseDC(nullptr, screen);
        std::printf("%02X%02X%02X\n", GetRValue(c), GetGValue(c), GetBValue(c));
        return 0;
    }
    return usage();
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    // The texts' own CR LF pass unchanged.
    _setmode(_fileno(stdout), _O_BINARY);
    std::vector<std::wstring> args(argv, argv + argc);
    try {
        return run(args);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "window_driver: %s\n", e.what());
        return 2;
    }
}
