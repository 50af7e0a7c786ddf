#pragma once
// Libraries of Windows itself, taken from the system's folder (System32) and nowhere else
// (Windows only). A program unpacked into Downloads would otherwise load a DLL of the same name
// dropped beside it before the system's own: only the "known DLLs" are immune to that. The
// program therefore imports no such library; it loads each one here at run time.

#include <windows.h>

namespace vigie {

// The library of that name from System32, loaded once and kept; nullptr when it cannot be loaded.
HMODULE systemLibrary(const wchar_t* name);

// A function of a System32 library, as a pointer of the given type; nullptr when the library or
// the function is missing.
template <typename Function>
Function systemFunction(const wchar_t* library, const char* name) {
    HMODULE module = systemLibrary(library);
    if (!module)
        return nullptr;
    return reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

}  // namespace vigie
