#pragma once
// The window class of the program's own top-level windows: black, with the program's icon.

#include <windows.h>

namespace vigie::win32 {

// Registers the class once; later calls with the same name change nothing.
void registerProgramWindowClass(const wchar_t* className, WNDPROC windowProc);

}  // namespace vigie::win32
