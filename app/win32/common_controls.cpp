#include "app/win32/common_controls.h"

#include "core/system_library.h"

namespace vigie::win32 {
namespace {

template <typename Function>
Function comctl32(const char* name) {
    return systemFunction<Function>(L"comctl32.dll", name);
}

}  // namespace

bool initCommonControls(DWORD classes) {
    static const auto call = comctl32<decltype(&::InitCommonControlsEx)>("InitCommonControlsEx");
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof controls;
    controls.dwICC = classes;
    return call && call(&controls);
}

BOOL setWindowSubclass(HWND window, SUBCLASSPROC proc, UINT_PTR id, DWORD_PTR data) {
    static const auto call = comctl32<decltype(&::SetWindowSubclass)>("SetWindowSubclass");
    return call ? call(window, proc, id, data) : FALSE;
}

LRESULT defSubclassProc(HWND window, UINT msg, WPARAM wp, LPARAM lp) {
    static const auto call = comctl32<decltype(&::DefSubclassProc)>("DefSubclassProc");
    return call ? call(window, msg, wp, lp) : ::DefWindowProcW(window, msg, wp, lp);
}

BOOL removeWindowSubclass(HWND window, SUBCLASSPROC proc, UINT_PTR id) {
    static const auto call = comctl32<decltype(&::RemoveWindowSubclass)>("RemoveWindowSubclass");
    return call ? call(window, proc, id) : FALSE;
}

}  // namespace vigie::win32
