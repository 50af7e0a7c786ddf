// The updater on Windows.

#include <windows.h>

#include "app/win32/application.h"
#include "app/win32/common_controls.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    // Before anything loads a library: only the system's folder is searched, never the
    // program's own (Downloads, where a planted DLL may wait), for the program's loads and for
    // those the system's libraries make on its behalf.
    ::SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    // The bar classes bring the tooltips.
    vigie::win32::initCommonControls(ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES | ICC_BAR_CLASSES);

    vigie::win32::Application app;
    if (!app.start())
        return 0;
    return app.run();
}
