#pragma once
// The main window's native controls, built from the layout table at the window's DPI. The form's
// models are mirrored onto them by sync(); clicks, menu commands, selections and the close box go
// to the form's handlers.

#include <windows.h>

#include <cstdint>
#include <functional>
#include <map>
#include <string>

namespace vigie {

class MainForm;
struct Label;

namespace win32 {

class MainWindow {
  public:
    MainWindow();
    ~MainWindow();
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    // afterHandler runs after every handler the window calls, to show what it changed.
    void attach(MainForm& form, std::function<void()> afterHandler);
    // Mirrors every model onto its control.
    void sync();
    void show();
    void hide();
    void focusGoButton();
    // The hourglass over the window while busy; the arrow again afterwards.
    void setBusyPointer(bool busy);
    // While blocked, the window refuses to let the user's session end (WM_QUERYENDSESSION); a
    // session ended all the same (WM_ENDSESSION) still runs the shut-down.
    void blockSessionEnd(bool block) { sessionEndBlocked_ = block; }

    // Called when the form's next timer tick is due, also inside the modal loops of message boxes
    // and of the start and help windows.
    void setTimerHandler(std::function<void()> onTimer) { onTimer_ = std::move(onTimer); }
    // Arms the wake-up for the tick due at dueTick (INT64_MAX: none); now is the current tick.
    void armTimer(std::int64_t dueTick, std::int64_t now);
    // The window's accelerators and dialog keys (Tab, Enter); true when msg was handled.
    bool translate(MSG& msg);

    HWND handle() const { return hwnd_; }
    HACCEL accelerators() const { return accelerators_; }
    bool visible() const { return hwnd_ && ::IsWindowVisible(hwnd_); }
    // Fills rect (client coordinates of the main window) as the window's own background shows
    // there: black, and the banner where it lies. Transparent labels paint through it.
    void paintBackdrop(HDC dc, const RECT& rect, POINT origin) const;

  private:
    static LRESULT CALLBACK windowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    LRESULT handle(UINT msg, WPARAM wp, LPARAM lp);
    void onCommand(int id, int code, HWND control);
    // Runs a handler of the form, then shows what it changed.
    template <typename Handler>
    void dispatch(Handler handler);
    void createControls();
    // Positions, fonts and the outer size for the window's current DPI.
    void applyDpi(UINT dpi);
    void applyOuterSize();
    // Gives the focus back to the control that had it when the window was last active.
    void restoreFocus();
    void centreOnScreen();
    void syncLabel(const char* name, const Label& model);
    HFONT labelFont(const Label& model);

    HWND hwnd_ = nullptr;
    HMENU menu_ = nullptr;
    HMENU popup_ = nullptr;
    HACCEL accelerators_ = nullptr;
    HBITMAP banner_ = nullptr;
    HICON bigIcon_ = nullptr;
    HICON smallIcon_ = nullptr;
    RECT bannerRect_{0, 0, 0, 0};
    UINT dpi_ = USER_DEFAULT_SCREEN_DPI;
    MainForm* form_ = nullptr;
    std::function<void()> afterHandler_;
    std::function<void()> onTimer_;
    std::int64_t armedDue_ = INT64_MAX;
    std::map<std::string, HWND> controls_;
    // Fonts by description ("Tahoma|12|1"), for the current DPI.
    std::map<std::wstring, HFONT> fonts_;
    HFONT controlFont_ = nullptr;
    HWND toolTip_ = nullptr;
    std::wstring shownTip_;  // the tooltip's text while it shows
    bool syncing_ = false;
    bool sizing_ = false;
    bool busy_ = false;
    bool sessionEndBlocked_ = false;
    HWND savedFocus_ = nullptr;  // the control that had the focus when the window went inactive
};

}  // namespace win32
}  // namespace vigie
