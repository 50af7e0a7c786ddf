#include "app/win32/window_class.h"

#include "app/win32/resource_ids.h"

namespace vigie::win32 {

void registerProgramWindowClass(const wchar_t* className, WNDPROC windowProc) {
    HINSTANCE instance = ::GetModuleHandleW(nullptr);
    WNDCLASSEXW probe{};
    probe.cbSize = sizeof probe;
    if (::GetClassInfoExW(instance, className, &probe))
        return;
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = windowProc;
    wc.hInstance = instance;
    wc.hIcon = ::LoadIconW(instance, MAKEINTRESOURCEW(VIGIE_IDI_APP));
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH));
    wc.lpszClassName = className;
    ::RegisterClassExW(&wc);
}

HICON loadProgramIcon(int metric, UINT dpi) {
    const int size = ::GetSystemMetricsForDpi(metric, dpi);
    return static_cast<HICON>(::LoadImageW(::GetModuleHandleW(nullptr),
                                           MAKEINTRESOURCEW(VIGIE_IDI_APP), IMAGE_ICON, size, size,
                                           LR_DEFAULTCOLOR));
}

}  // namespace vigie::win32
