#pragma once
// The window class of the program's own top-level windows: black, with the program's icon.

#include <windows.h>

namespace vigie::win32 {

// Registers the class once; later calls with the same name change nothing.
void registerProgramWindowClass(const wchar_t* className, WNDPROC windowProc);
// The program's icon at the size that metric (SM_CXICON, SM_CXSMICON) has at this DPI, from the
// images of the icon resource; the caller destroys it. nullptr when it cannot be loaded.
HICON loadProgramIcon(int metric, UINT dpi);

}  // namespace vigie::win32
