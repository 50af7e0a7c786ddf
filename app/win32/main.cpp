// The updater on Windows.

#include <windows.h>

#include <commctrl.h>

#include "app/win32/application.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES | ICC_BAR_CLASSES;  // tooltips too
    ::InitCommonControlsEx(&controls);

    vigie::win32::Application app;
    if (!app.start())
        return 0;
    return app.run();
}
