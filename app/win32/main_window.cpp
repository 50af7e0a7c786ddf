#include "app/win32/main_window.h"

#include <commctrl.h>

#include <algorithm>
#include <stdexcept>
#include <string_view>
#include <tuple>
#include <vector>

#include "app/layout.h"
#include "app/main_form.h"
#include "app/win32/control_ids.h"
#include "app/win32/dpi.h"
#include "app/win32/label_control.h"
#include "app/win32/resource_ids.h"
#include "app/win32/window_class.h"
#include "core/system_library.h"
#include "core/wide_text.h"

namespace vigie::win32 {
namespace {

constexpr wchar_t ClassName[] = L"VigieK7Main";
constexpr int DropDownRows = 8;
constexpr UINT_PTR PumpTimerId = 1;
// The window's style: a fixed single border, a minimize button and no maximize button.
constexpr DWORD WindowStyle =
    WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;

COLORREF colorRef(std::uint32_t rgb) {
    if (rgb == layout::HighlightText)
        return ::GetSysColor(COLOR_HIGHLIGHTTEXT);
    return RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}

// "Ctrl+F" as an accelerator; the layout's shortcuts are all Ctrl and a letter.
ACCEL accelerator(const layout::MenuEntry& entry, WORD id) {
    const std::string_view shortcut = entry.shortcut;
    ACCEL a{};
    a.fVirt = FVIRTKEY | FCONTROL;
    a.key = static_cast<WORD>(shortcut.back());
    a.cmd = id;
    return a;
}

// SetWindowTheme of uxtheme.dll with blank names: the control is drawn without the visual style.
void setNoVisualStyle(HWND control) {
    using SetWindowThemeCall = HRESULT(WINAPI*)(HWND, LPCWSTR, LPCWSTR);
    static const auto setWindowTheme =
        systemFunction<SetWindowThemeCall>(L"uxtheme.dll", "SetWindowTheme");
    if (setWindowTheme)
        setWindowTheme(control, L" ", L" ");
}

}  // namespace

MainWindow::MainWindow() {
    HINSTANCE instance = ::GetModuleHandleW(nullptr);
    registerProgramWindowClass(ClassName, windowProc);

    banner_ = static_cast<HBITMAP>(::LoadImageW(instance, MAKEINTRESOURCEW(VIGIE_IDB_BANNER),
                                                IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));

    // The menu: one popup, its items with their shortcuts, and the same shortcuts as accelerators.
    menu_ = ::CreateMenu();
    popup_ = ::CreatePopupMenu();
    std::vector<ACCEL> accels;
    WORD id = FirstMenuId;
    for (const layout::MenuEntry& m : layout::menu()) {
        const std::wstring text = widen(m.caption) + L"\t" + widen(m.shortcut);
        ::AppendMenuW(popup_, MF_STRING, id, text.c_str());
        accels.push_back(accelerator(m, id));
        ++id;
    }
    ::AppendMenuW(menu_, MF_POPUP, reinterpret_cast<UINT_PTR>(popup_),
                  widen(layout::MenuCaption).c_str());
    accelerators_ = ::CreateAcceleratorTableW(accels.data(), static_cast<int>(accels.size()));

    // Hidden until start-up shows it; created now so that it can own the start window.
    hwnd_ = ::CreateWindowExW(0, ClassName, L"", WindowStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                              CW_USEDEFAULT, CW_USEDEFAULT, nullptr, menu_, instance, this);
    if (!hwnd_)
        throw std::runtime_error("the main window cannot be created");
    createControls();
    applyDpi(::GetDpiForWindow(hwnd_));
}

MainWindow::~MainWindow() {
    if (hwnd_)
        ::DestroyWindow(hwnd_);
    if (accelerators_)
        ::DestroyAcceleratorTable(accelerators_);
    for (auto& [key, font] : fonts_)
        ::DeleteObject(font);
    if (controlFont_)
        ::DeleteObject(controlFont_);
    if (banner_)
        ::DeleteObject(banner_);
    for (HICON icon : {bigIcon_, smallIcon_})
        if (icon)
            ::DestroyIcon(icon);
}

void MainWindow::createControls() {
    HINSTANCE instance = ::GetModuleHandleW(nullptr);
    // Created in tab order, so that the dialog manager's Tab key follows it: the buttons, then
    // the lists; the labels, the picture and the bar take no focus.
    std::map<int, const layout::Control*> byTab;
    for (const layout::Control& c : layout::controls())
        if (c.kind == layout::Kind::Button || c.kind == layout::Kind::ComboBox)
            byTab[c.tabIndex] = &c;
    for (auto& [tab, c] : byTab) {
        const bool button = c->kind == layout::Kind::Button;
        const DWORD style = WS_CHILD | WS_VISIBLE | WS_TABSTOP |
                            (button ? BS_PUSHBUTTON : CBS_DROPDOWNLIST | WS_VSCROLL);
        HWND h = ::CreateWindowExW(
            0, button ? WC_BUTTONW : WC_COMBOBOXW, widen(c->caption).c_str(), style, 0, 0, 0, 0,
            hwnd_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(controlId(c->name))), instance,
            nullptr);
        controls_[c->name] = h;
    }
    for (const layout::Control& c : layout::controls()) {
        const int id = controlId(c.name);
        if (c.kind == layout::Kind::Label) {
            controls_[c.name] = createLabel(hwnd_, id, widen(c.caption).c_str(),
                                            [this](HDC dc, const RECT& rect, POINT origin) {
                                                paintBackdrop(dc, rect, origin);
                                            });
        } else if (c.kind == layout::Kind::ProgressBar) {
            HWND bar = ::CreateWindowExW(
                0, PROGRESS_CLASSW, L"", WS_CHILD | WS_VISIBLE | PBS_SMOOTH, 0, 0, 0, 0, hwnd_,
                reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
            // The visual style would ignore the bar's colours, which the window sets.
            setNoVisualStyle(bar);
            ::SendMessageW(bar, PBM_SETRANGE32, 0, 100);
            controls_[c.name] = bar;
        }
    }
    // The design-time items of the lists come from the form's models at the first sync.

    // Which port is the K7's: the pointer over the port list tells the chosen port's adapter.
    toolTip_ = ::CreateWindowExW(
        0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT,
        CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd_, nullptr, instance, nullptr);
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = hwnd_;
    tool.uId = reinterpret_cast<UINT_PTR>(controls_["cboPort"]);
    tool.lpszText = LPSTR_TEXTCALLBACKW;  // asked for when it shows: the choice may have changed
    ::SendMessageW(toolTip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

void MainWindow::attach(MainForm& form, std::function<void()> afterHandler) {
    form_ = &form;
    afterHandler_ = std::move(afterHandler);
    applyOuterSize();
    centreOnScreen();
    sync();
}

void MainWindow::applyDpi(UINT dpi) {
    dpi_ = dpi;
    for (auto& [key, font] : fonts_)
        ::DeleteObject(font);
    fonts_.clear();
    if (controlFont_)
        ::DeleteObject(controlFont_);
    controlFont_ = createFont(L"MS Sans Serif", 8.25, false, dpi);

    for (const layout::Control& c : layout::controls()) {
        const RECT r = twipsRect(c.left, c.top, c.width, c.height, dpi);
        if (c.kind == layout::Kind::Picture) {
            bannerRect_ = r;
            continue;
        }
        HWND h = controls_[c.name];
        int height = r.bottom - r.top;
        if (c.kind == layout::Kind::ComboBox) {
            ::SendMessageW(h, WM_SETFONT, reinterpret_cast<WPARAM>(controlFont_), FALSE);
            // A drop-down list's height includes its opened list.
            const int item = static_cast<int>(::SendMessageW(h, CB_GETITEMHEIGHT, 0, 0));
            height += item * DropDownRows;
        } else if (c.kind == layout::Kind::Button) {
            ::SendMessageW(h, WM_SETFONT, reinterpret_cast<WPARAM>(controlFont_), FALSE);
        }
        ::SetWindowPos(h, nullptr, r.left, r.top, r.right - r.left, height,
                       SWP_NOZORDER | SWP_NOACTIVATE);
    }
    // The icons at the sizes this DPI asks for, from the images of the icon resource.
    for (auto [which, metric, icon] : {std::tuple{ICON_BIG, SM_CXICON, &bigIcon_},
                                       std::tuple{ICON_SMALL, SM_CXSMICON, &smallIcon_}}) {
        HICON fresh = loadProgramIcon(metric, dpi);
        if (!fresh)
            continue;
        ::SendMessageW(hwnd_, WM_SETICON, which, reinterpret_cast<LPARAM>(fresh));
        if (*icon)
            ::DestroyIcon(*icon);
        *icon = fresh;
    }
    // The labels' fonts depend on the DPI too.
    if (form_)
        sync();
    ::InvalidateRect(hwnd_, nullptr, TRUE);
}

void MainWindow::applyOuterSize() {
    if (!form_ || sizing_)
        return;
    // The form keeps its outer size in twips, frame, title bar and menu included.
    sizing_ = true;
    ::SetWindowPos(hwnd_, nullptr, 0, 0, twipsToPixels(form_->outerWidth, dpi_),
                   twipsToPixels(form_->outerHeight, dpi_),
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    sizing_ = false;
}

void MainWindow::centreOnScreen() {
    RECT window{};
    ::GetWindowRect(hwnd_, &window);
    MONITORINFO info{};
    info.cbSize = sizeof info;
    ::GetMonitorInfoW(::MonitorFromWindow(hwnd_, MONITOR_DEFAULTTOPRIMARY), &info);
    const RECT& area = info.rcWork;
    const int width = window.right - window.left;
    const int height = window.bottom - window.top;
    ::SetWindowPos(hwnd_, nullptr, area.left + (area.right - area.left - width) / 2,
                   area.top + (area.bottom - area.top - height) / 2, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void MainWindow::show() {
    ::ShowWindow(hwnd_, SW_SHOW);
    ::UpdateWindow(hwnd_);
    ::SetForegroundWindow(hwnd_);
    focusGoButton();
}

void MainWindow::hide() {
    if (hwnd_)
        ::ShowWindow(hwnd_, SW_HIDE);
}

void MainWindow::focusGoButton() {
    // A disabled button refuses the focus: show the models first, startButton's state included.
    sync();
    if (!hwnd_ || !::IsWindowVisible(hwnd_))
        return;
    // Also while another window is in front (a box, the help window): the button gets the focus
    // back when the main window is active again.
    savedFocus_ = controls_["cmdGo"];
    if (::GetActiveWindow() == hwnd_)
        ::SetFocus(savedFocus_);
}

void MainWindow::restoreFocus() {
    // The control that had the focus, as a dialog box does; Start Update when that one cannot
    // take it any more.
    HWND focus = savedFocus_;
    if (!focus || !::IsWindowEnabled(focus) || !::IsWindowVisible(focus))
        focus = controls_["cmdGo"];
    if (focus && ::IsWindowEnabled(focus))
        ::SetFocus(focus);
}

void MainWindow::armTimer(std::int64_t dueTick, std::int64_t now) {
    if (!hwnd_ || dueTick == armedDue_)
        return;
    armedDue_ = dueTick;
    if (dueTick == INT64_MAX) {
        ::KillTimer(hwnd_, PumpTimerId);
        return;
    }
    const auto wait = static_cast<UINT>(std::clamp<std::int64_t>(dueTick - now, 0, 1 << 30));
    ::SetTimer(hwnd_, PumpTimerId, std::max<UINT>(wait, USER_TIMER_MINIMUM), nullptr);
}

bool MainWindow::translate(MSG& msg) {
    if (!hwnd_ || (msg.hwnd != hwnd_ && !::IsChild(hwnd_, msg.hwnd)))
        return false;
    if (accelerators_ && ::TranslateAcceleratorW(hwnd_, accelerators_, &msg))
        return true;
    return ::IsDialogMessageW(hwnd_, &msg) != FALSE;
}

void MainWindow::setBusyPointer(bool busy) {
    busy_ = busy;
    ::SetCursor(::LoadCursorW(nullptr, busy ? IDC_WAIT : IDC_ARROW));
}

void MainWindow::paintBackdrop(HDC dc, const RECT& rect, POINT origin) const {
    ::FillRect(dc, &rect, static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH)));
    if (!banner_)
        return;
    BITMAP info{};
    ::GetObjectW(banner_, sizeof info, &info);
    HDC source = ::CreateCompatibleDC(dc);
    HGDIOBJ old = ::SelectObject(source, banner_);
    ::SetStretchBltMode(dc, HALFTONE);
    ::SetBrushOrgEx(dc, 0, 0, nullptr);
    ::StretchBlt(dc, bannerRect_.left - origin.x, bannerRect_.top - origin.y,
                 bannerRect_.right - bannerRect_.left, bannerRect_.bottom - bannerRect_.top, source,
                 0, 0, info.bmWidth, info.bmHeight, SRCCOPY);
    ::SelectObject(source, old);
    ::DeleteDC(source);
}

HFONT MainWindow::labelFont(const Label& model) {
    const std::wstring face = widen(model.font.name);
    const std::wstring key =
        face + L"|" + std::to_wstring(model.font.size) + L"|" + (model.font.bold ? L"1" : L"0");
    auto found = fonts_.find(key);
    if (found != fonts_.end())
        return found->second;
    HFONT font =
        createFont(face, model.font.size > 0 ? model.font.size : 8.25, model.font.bold, dpi_);
    fonts_[key] = font;
    return font;
}

void MainWindow::syncLabel(const char* name, const Label& model) {
    const layout::Control& c = layout::control(name);
    HWND h = controls_[name];
    LabelStyle style;
    style.font = labelFont(model);
    style.textColor = colorRef(c.foreColor.value_or(layout::White));
    style.transparent = !c.backColor.has_value();
    style.backColor = colorRef(c.backColor.value_or(layout::Black));
    style.centred = model.alignment == Alignment::Center;
    setLabelStyle(h, style);
    setLabelText(h, widen(model.caption));
}

void MainWindow::sync() {
    if (!form_ || !hwnd_ || syncing_)
        return;
    syncing_ = true;
    MainForm& f = *form_;
    const std::wstring title = widen(f.caption);
    wchar_t shownTitle[256] = {};
    ::GetWindowTextW(hwnd_, shownTitle, 256);
    if (title != shownTitle)
        ::SetWindowTextW(hwnd_, title.c_str());

    for (auto [name, model] : {std::pair{"lblDots", &f.dotsLabel},
                               {"lblStatus", &f.statusLabel},
                               {"Label6", &f.portListCaption},
                               {"Label8", &f.databaseListCaption},
                               {"Label3", &f.portStateLabel},
                               {"Label7", &f.stageCaption},
                               {"Label5", &f.stageLabel},
                               {"Label11", &f.retryCountLabel}})
        syncLabel(name, *model);

    HWND bar = controls_["prgb1"];
    if (::SendMessageW(bar, PBM_GETBARCOLOR, 0, 0) !=
        static_cast<LRESULT>(colorRef(f.progressBar.barColor)))
        ::SendMessageW(bar, PBM_SETBARCOLOR, 0, colorRef(f.progressBar.barColor));
    if (::SendMessageW(bar, PBM_GETBKCOLOR, 0, 0) !=
        static_cast<LRESULT>(colorRef(f.progressBar.backColor)))
        ::SendMessageW(bar, PBM_SETBKCOLOR, 0, colorRef(f.progressBar.backColor));
    if (::SendMessageW(bar, PBM_GETPOS, 0, 0) != f.progressBar.value)
        ::SendMessageW(bar, PBM_SETPOS, static_cast<WPARAM>(f.progressBar.value), 0);

    for (auto [name, model] : {std::pair{"cboPort", &f.portList}, {"cboFile", &f.databaseList}}) {
        HWND combo = controls_[name];
        const int count = static_cast<int>(::SendMessageW(combo, CB_GETCOUNT, 0, 0));
        bool same = count == model->listCount();
        for (int i = 0; same && i < count; ++i) {
            const int length = static_cast<int>(::SendMessageW(combo, CB_GETLBTEXTLEN, i, 0));
            std::wstring item(static_cast<size_t>(length) + 1, L'\0');
            ::SendMessageW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(item.data()));
            item.resize(static_cast<size_t>(length));
            same = item == widen(model->items[static_cast<size_t>(i)]);
        }
        if (!same) {
            ::SendMessageW(combo, CB_RESETCONTENT, 0, 0);
            for (const std::string& item : model->items)
                ::SendMessageW(combo, CB_ADDSTRING, 0,
                               reinterpret_cast<LPARAM>(widen(item).c_str()));
        }
        if (::SendMessageW(combo, CB_GETCURSEL, 0, 0) != model->listIndex)
            ::SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(model->listIndex), 0);
        if ((::IsWindowEnabled(combo) != FALSE) != model->enabled)
            ::EnableWindow(combo, model->enabled);
    }
    for (auto [name, model] : {std::pair{"cmdGo", &f.startButton}, {"cmdClose", &f.closeButton}}) {
        HWND button = controls_[name];
        if ((::IsWindowEnabled(button) != FALSE) != model->enabled)
            ::EnableWindow(button, model->enabled);
    }
    ::CheckMenuItem(popup_, FirstMenuId,
                    MF_BYCOMMAND | (f.portFilterMenu.checked ? MF_CHECKED : MF_UNCHECKED));
    syncing_ = false;
}

template <typename Handler>
void MainWindow::dispatch(Handler handler) {
    if (!form_)
        return;
    handler(*form_);
    if (afterHandler_)
        afterHandler_();
}

void MainWindow::onCommand(int id, int code, HWND control) {
    if (!form_)
        return;
    if (control && id == controlId("cmdGo") && code == BN_CLICKED) {
        dispatch([](MainForm& f) { f.startUpdate(); });
    } else if (control && id == controlId("cmdClose") && code == BN_CLICKED) {
        dispatch([](MainForm& f) { f.stopUpdate(); });
    } else if (control && code == CBN_SELCHANGE) {
        if (syncing_)
            return;
        const int index = static_cast<int>(::SendMessageW(control, CB_GETCURSEL, 0, 0));
        (id == controlId("cboPort") ? form_->portList : form_->databaseList).listIndex = index;
    } else if (!control && id >= FirstMenuId &&
               id < FirstMenuId + static_cast<int>(layout::menu().size())) {
        const std::string_view name = layout::menu()[static_cast<size_t>(id - FirstMenuId)].name;
        dispatch([name](MainForm& f) { f.menuCommand(name); });
    } else if (id == IDOK) {
        // Enter, through the dialog manager: it presses the focused button, as on a form.
        HWND focus = ::GetFocus();
        if (focus == controls_["cmdGo"] || focus == controls_["cmdClose"])
            ::SendMessageW(focus, BM_CLICK, 0, 0);
    }
    // IDCANCEL (Esc) does nothing: the window has no Cancel button.
}

LRESULT CALLBACK MainWindow::windowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lp);
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA,
                            reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        static_cast<MainWindow*>(create->lpCreateParams)->hwnd_ = hwnd;
    }
    auto* self = reinterpret_cast<MainWindow*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self)
        return ::DefWindowProcW(hwnd, msg, wp, lp);
    try {
        return self->handle(msg, wp, lp);
    } catch (const std::exception& e) {
        // Nothing may unwind through the system's code that called this procedure.
        ::MessageBoxW(hwnd, widen(e.what()).c_str(), L"Vigie Updater", MB_OK | MB_ICONERROR);
        return 0;
    }
}

LRESULT MainWindow::handle(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_PAINT: {
            PAINTSTRUCT ps{};
            HDC dc = ::BeginPaint(hwnd_, &ps);
            paintBackdrop(dc, ps.rcPaint, POINT{0, 0});
            ::EndPaint(hwnd_, &ps);
            return 0;
        }
        case WM_TIMER:
            if (wp == PumpTimerId) {
                // One shot: the next sync arms the following tick.
                ::KillTimer(hwnd_, PumpTimerId);
                armedDue_ = INT64_MAX;
                if (onTimer_)
                    onTimer_();
                return 0;
            }
            break;
        case WM_COMMAND:
            onCommand(LOWORD(wp), HIWORD(wp), reinterpret_cast<HWND>(lp));
            return 0;
        case WM_NOTIFY: {
            auto* header = reinterpret_cast<NMHDR*>(lp);
            if (header->hwndFrom == toolTip_ && header->code == TTN_GETDISPINFOW && form_) {
                shownTip_ = widen(form_->portList.toolTip());
                reinterpret_cast<NMTTDISPINFOW*>(lp)->lpszText = shownTip_.data();
                return 0;
            }
            break;
        }
        case WM_SIZE:
            if (form_ && !sizing_) {
                form_->windowState = wp == SIZE_MINIMIZED   ? WindowState::Minimized
                                     : wp == SIZE_MAXIMIZED ? WindowState::Maximized
                                                            : WindowState::Normal;
                dispatch([](MainForm& f) { f.keepFixedSize(); });
                if (wp != SIZE_MINIMIZED)
                    applyOuterSize();
            }
            return 0;
        case WM_DPICHANGED: {
            applyDpi(HIWORD(wp));
            const RECT* suggested = reinterpret_cast<const RECT*>(lp);
            ::SetWindowPos(hwnd_, nullptr, suggested->left, suggested->top, 0, 0,
                           SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
            applyOuterSize();
            return 0;
        }
        case WM_SETCURSOR:
            // The hourglass stays over the whole window, its controls included, while it is busy.
            if (busy_) {
                ::SetCursor(::LoadCursorW(nullptr, IDC_WAIT));
                return TRUE;
            }
            break;
        case WM_ACTIVATE:
            if (LOWORD(wp) == WA_INACTIVE) {
                HWND focus = ::GetFocus();
                if (focus && ::IsChild(hwnd_, focus))
                    savedFocus_ = focus;
            } else if (!HIWORD(wp)) {  // not while minimized
                restoreFocus();
            }
            return 0;
        case WM_SETFOCUS:
            // The window itself got the focus (restored from the task bar): hand it on.
            restoreFocus();
            return 0;
        case WM_QUERYENDSESSION:
            // An update in the middle of its sending or saving: the system lists the program with
            // its reason and lets the user wait or end it all the same.
            return sessionEndBlocked_ ? FALSE : TRUE;
        case WM_POWERBROADCAST:
            // Sleep that came all the same (a closed lid): the update log says so. The resume
            // that follows every sleep, whatever woke the computer.
            if (form_ && (wp == PBT_APMSUSPEND || wp == PBT_APMRESUMEAUTOMATIC)) {
                const bool suspending = wp == PBT_APMSUSPEND;
                dispatch([suspending](MainForm& f) {
                    f.systemEvent(suspending ? SystemEvent::Suspending : SystemEvent::Resumed,
                                  suspending ? "WM_POWERBROADCAST PBT_APMSUSPEND"
                                             : "WM_POWERBROADCAST PBT_APMRESUMEAUTOMATIC");
                });
            }
            return TRUE;
        case WM_ENDSESSION:
            // Signing out or shutting down: the same shut-down as the close box, before the
            // system ends the program.
            if (wp && form_)
                dispatch([](MainForm& f) { f.unload(); });
            return 0;
        case WM_CLOSE:
            if (form_)
                dispatch([](MainForm& f) { f.unload(); });
            else
                ::DestroyWindow(hwnd_);
            return 0;
        case WM_NCDESTROY:
            ::SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
            hwnd_ = nullptr;
            return 0;
        default:
            break;
    }
    return ::DefWindowProcW(hwnd_, msg, wp, lp);
}

}  // namespace vigie::win32
