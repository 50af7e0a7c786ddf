#pragma once
// The program put together on Windows: the main window over the Win32 platform, serial port, port
// probe and FTP layer.

#include <memory>

#include "app/main_form.h"
#include "app/win32/main_window.h"
#include "app/win32/win32_platform.h"
#include "serial/linux_port_probe.h"
#include "serial/win32_serial_port.h"

namespace vigie::win32 {

class Application {
  public:
    Application();
    // Start-up; false when the program must end at once.
    bool start();
    // The message loop; returns the program's exit code.
    int run() { return platform.run(); }

    Win32Platform platform;
    Win32SerialPort port;
    SystemPortProbe probe;
    MainWindow window;
    MainForm form;
};

}  // namespace vigie::win32
