#include "app/win32/win32_platform.h"

#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>
#include <cwchar>

#include "app/main_form.h"
#include "app/win32/common_controls.h"
#include "app/win32/document_window.h"
#include "app/win32/main_window.h"
#include "core/wide_text.h"

namespace vigie::win32 {
namespace {

// Below this much time left, a wait stops sleeping in the message queue, whose wake-ups come late
// by a millisecond or more, and sleeps the rest precisely.
constexpr std::int64_t PreciseStretchUs = 3000;
// A flood of messages cannot hold one yield longer than this.
constexpr DWORD MaxPassMs = 100;

std::wstring inFolder(const std::string& folder, const char* file) {
    const bool separated = !folder.empty() && (folder.back() == '\\' || folder.back() == '/');
    return widen(folder + (separated ? "" : "\\") + file);
}

// While it lives, the message boxes this thread opens show the hourglass over themselves (their
// buttons included, which ask their box for their pointer first).
class BusyPointerOverBoxes {
  public:
    BusyPointerOverBoxes()
        : hook_(::SetWindowsHookExW(WH_CBT, onWindowEvent, nullptr, ::GetCurrentThreadId())) {}
    ~BusyPointerOverBoxes() {
        if (hook_)
            ::UnhookWindowsHookEx(hook_);
    }
    BusyPointerOverBoxes(const BusyPointerOverBoxes&) = delete;
    BusyPointerOverBoxes& operator=(const BusyPointerOverBoxes&) = delete;

  private:
    static constexpr UINT_PTR SubclassId = 1;

    static LRESULT CALLBACK onWindowEvent(int code, WPARAM wp, LPARAM lp) {
        if (code == HCBT_ACTIVATE) {
            HWND window = reinterpret_cast<HWND>(wp);
            wchar_t className[16] = {};
            ::GetClassNameW(window, className, 16);
            if (std::wcscmp(className, L"#32770") == 0) {
                setWindowSubclass(window, boxProc, SubclassId, 0);
                ::SetCursor(::LoadCursorW(nullptr, IDC_WAIT));
            }
        }
        return ::CallNextHookEx(nullptr, code, wp, lp);
    }

    static LRESULT CALLBACK boxProc(HWND box, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR) {
        if (msg == WM_SETCURSOR) {
            ::SetCursor(::LoadCursorW(nullptr, IDC_WAIT));
            return TRUE;
        }
        if (msg == WM_NCDESTROY)
            removeWindowSubclass(box, boxProc, SubclassId);
        return defSubclassProc(box, msg, wp, lp);
    }

    HHOOK hook_;
};

}  // namespace

Win32Platform::Win32Platform() {
    ::QueryPerformanceFrequency(&frequency_);
    ::QueryPerformanceCounter(&start_);
    // The system's own sleep in 100 ns units; a waitable timer goes through more machinery and
    // wakes later under Wine.
    if (HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll"))
        delayExecution_ = reinterpret_cast<DelayExecution>(
            reinterpret_cast<void*>(::GetProcAddress(ntdll, "NtDelayExecution")));
}

Win32Platform::~Win32Platform() {
    holdTimerPeriod(false);
}

void Win32Platform::attach(MainForm& form, MainWindow& window) {
    form_ = &form;
    window_ = &window;
    window.setTimerHandler([this] {
        runDueTimers();
        sync();
    });
}

std::int64_t Win32Platform::microseconds() const {
    LARGE_INTEGER now{};
    ::QueryPerformanceCounter(&now);
    const std::int64_t ticks = now.QuadPart - start_.QuadPart;
    // Split so that the product cannot overflow, however long the program runs.
    return ticks / frequency_.QuadPart * 1'000'000 +
           ticks % frequency_.QuadPart * 1'000'000 / frequency_.QuadPart;
}

void Win32Platform::holdTimerPeriod(bool hold) {
    // A 1 ms system timer period while a session runs, so that its short waits wake on time.
    if (hold && !timerPeriod_)
        timerPeriod_.emplace();
    else if (!hold)
        timerPeriod_.reset();
}

void Win32Platform::sync() {
    if (!form_ || !window_ || ending_)
        return;
    window_->sync();
    window_->armTimer(form_->nextTimerDue(), tickCount());
    holdTimerPeriod(waiting_ || form_->sessionRunning());
}

void Win32Platform::runDueTimers() {
    if (form_ && !ending_)
        form_->runDueTimers(tickCount());
}

bool Win32Platform::pumpMessages() {
    // The messages waiting, until the queue is empty; a flood of them cannot hold one yield
    // longer than MaxPassMs.
    const DWORD passStart = ::GetTickCount();
    MSG msg{};
    while (!ending_ && ::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            ::PostQuitMessage(static_cast<int>(msg.wParam));
            ending_ = true;
            break;
        }
        if (window_ && window_->translate(msg))
            continue;
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
        if (::GetTickCount() - passStart > MaxPassMs)
            break;
    }
    return !ending_;
}

int Win32Platform::run() {
    MSG msg{};
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (window_ && window_->translate(msg))
            continue;
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    return static_cast<int>(msg.wParam);
}

void Win32Platform::doEvents() {
    if (ending_)
        return;
    sync();
    pumpMessages();
    runDueTimers();
    sync();
}

void Win32Platform::sleepForMessages(std::int64_t us) {
    const auto ms = static_cast<DWORD>(std::clamp<std::int64_t>(us / 1000, 0, 1 << 30));
    ::MsgWaitForMultipleObjectsEx(0, nullptr, ms, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
}

void Win32Platform::sleepPrecisely(std::int64_t us) {
    if (us <= 0)
        return;
    // In 100 ns units: under Wine a plain sleep of the thread, to a few microseconds; on Windows
    // the system's timer period (1 ms while a session runs) rounds it.
    if (delayExecution_) {
        LARGE_INTEGER interval{};
        interval.QuadPart = -us * 10;  // relative
        delayExecution_(FALSE, &interval);
        return;
    }
    ::Sleep(static_cast<DWORD>((us + 999) / 1000));
}

void Win32Platform::waitUntil(std::int64_t tick) {
    // Sleep in the message queue until shortly before the deadline or the next timer tick,
    // handling every message as it comes; then sleep the last stretch precisely and check the
    // 1 ms clock. Once the deadline has passed, the wait returns without another pass.
    waiting_ = true;
    holdTimerPeriod(true);
    bool yielded = false;
    for (;;) {
        const bool reached = microseconds() >= tick * 1000;
        if (reached && yielded)
            break;
        if (!ending_) {
            sync();
            pumpMessages();
            runDueTimers();
            sync();
        }
        yielded = true;
        const std::int64_t now = microseconds();
        const std::int64_t left = tick * 1000 - now;
        if (left <= 0)
            break;
        if (ending_) {
            sleepPrecisely(left);
            continue;
        }
        std::int64_t wake = left;
        const std::int64_t due = form_ ? form_->nextTimerDue() : INT64_MAX;
        if (due != INT64_MAX)
            wake = std::min(wake, std::max<std::int64_t>(due * 1000 - now, 0));
        if (wake > PreciseStretchUs)
            sleepForMessages(wake - PreciseStretchUs);
        else
            sleepPrecisely(wake);
    }
    waiting_ = false;
}

int Win32Platform::msgBox(const std::string& text, int flags, const std::string& title) {
    if (ending_)
        return (flags & 7) == mb::YesNo ? mb::No : mb::Ok;
    sync();
    HWND owner = window_ && window_->visible() ? window_->handle() : nullptr;
    // The busy pointer is the program's, not only the main window's: it stays over the box.
    std::optional<BusyPointerOverBoxes> busyBoxes;
    if (busyPointer_)
        busyBoxes.emplace();
    // The flags are the system's own: 0 OK, 16 critical, 36 Yes/No with a question mark, 48
    // exclamation, 64 information; and so are the answers (1 OK, 6 Yes, 7 No).
    const int answer =
        ::MessageBoxW(owner, widen(text).c_str(), widen(title).c_str(),
                      static_cast<UINT>(flags) | (owner ? 0u : static_cast<UINT>(MB_TASKMODAL)));
    busyBoxes.reset();
    sync();
    if ((flags & 7) == mb::YesNo)
        return answer == IDYES ? mb::Yes : mb::No;
    return mb::Ok;
}

void Win32Platform::setMousePointer(int pointer) {
    const bool busy = pointer == PointerHourglass;
    if (busy == busyPointer_)
        return;
    busyPointer_ = busy;
    if (window_)
        window_->setBusyPointer(busy);
}

void Win32Platform::openUrl(const std::string& url) {
    ::ShellExecuteW(nullptr, L"open", widen(url).c_str(), nullptr, nullptr, SW_SHOWDEFAULT);
}

bool Win32Platform::showStartWindow() {
    const std::string folder = appPath();
    return showDocumentWindow(frmStart_Load(folder), inFolder(folder, "M4Start.rtf"),
                              window_ ? window_->handle() : nullptr, true);
}

void Win32Platform::showHelpWindow() {
    sync();
    const std::string folder = appPath();
    showDocumentWindow(frmHelp_Load(folder), inFolder(folder, "UserGuide.rtf"),
                       window_ ? window_->handle() : nullptr);
    sync();
}

void Win32Platform::showMainWindow() {
    if (!window_)
        return;
    sync();
    window_->show();
}

void Win32Platform::focusGoButton() {
    if (window_ && !ending_)
        window_->focusGoButton();
}

void Win32Platform::endProgram() {
    // The outer message loop ends; a session still on the stack unwinds at its next yield, since
    // the port has been closed and the stop flag set. The windows are hidden now and destroyed
    // with the program's objects.
    if (ending_)
        return;
    ending_ = true;
    if (window_) {
        window_->armTimer(INT64_MAX, 0);
        window_->hide();
    }
    ::PostQuitMessage(0);
}

void Win32Platform::holdSystem(const std::string& reason) {
    if (window_)
        window_->blockSessionEnd(true);
    const std::string done = systemHold_.hold(window_ ? window_->handle() : nullptr, widen(reason));
    if (form_)
        form_->systemEvent(SystemEvent::Held, done);
}

void Win32Platform::releaseSystem() {
    if (window_)
        window_->blockSessionEnd(false);
    const std::string done = systemHold_.release();
    if (form_)
        form_->systemEvent(SystemEvent::Released, done);
}

std::string Win32Platform::appPath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    // The folder, without a trailing separator unless it is a drive's root ("E:\").
    const size_t slash = path.find_last_of(L"\\/");
    if (slash != std::wstring::npos)
        path.resize(slash == 2 && path[1] == L':' ? slash + 1 : slash);
    return narrow(path);
}

DateTime Win32Platform::now() {
    SYSTEMTIME t{};
    ::GetLocalTime(&t);
    return {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds};
}

}  // namespace vigie::win32
