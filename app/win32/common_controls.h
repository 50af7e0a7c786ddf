#pragma once
// The common controls (comctl32.dll, version 6 through the manifest), loaded from System32 at run
// time rather than imported: the library imports UxTheme.dll, which is no "known DLL", and an
// import would be resolved when the program starts, from the program's own folder first, before
// anything could say otherwise.

#include <windows.h>

#include <commctrl.h>

namespace vigie::win32 {

// InitCommonControlsEx; false when the library or the call is missing or refuses.
bool initCommonControls(DWORD classes);
// SetWindowSubclass, DefSubclassProc and RemoveWindowSubclass, as the system's own.
BOOL setWindowSubclass(HWND window, SUBCLASSPROC proc, UINT_PTR id, DWORD_PTR data);
LRESULT defSubclassProc(HWND window, UINT msg, WPARAM wp, LPARAM lp);
BOOL removeWindowSubclass(HWND window, SUBCLASSPROC proc, UINT_PTR id);

}  // namespace vigie::win32
