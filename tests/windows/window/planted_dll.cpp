// A DLL that someone dropped beside the program under the name of a system library: loaded, it
// writes a marker file beside itself ("wininet.dll" leaves "wininet.dll.loaded"), which the
// update test looks for.

#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason != DLL_PROCESS_ATTACH)
        return TRUE;
    wchar_t path[MAX_PATH + 8] = {};
    const DWORD length = ::GetModuleFileNameW(instance, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return TRUE;
    ::lstrcpyW(path + length, L".loaded");
    HANDLE marker = ::CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
    if (marker != INVALID_HANDLE_VALUE)
        ::CloseHandle(marker);
    return TRUE;
}
