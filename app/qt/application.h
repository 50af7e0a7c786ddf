#pragma once
// The program put together: the main window over the real platform, serial port, port probe and
// FTP layer. Needs a QApplication.

#include "app/main_form.h"
#include "app/qt/main_window.h"
#include "app/qt/qt_platform.h"
#include "serial/linux_port_probe.h"
#include "serial/qt_serial_port.h"

namespace vigie {

class Application {
  public:
    Application();
    // Start-up; false when the program must end at once.
    bool start();

  private:
    // Comes first: the widgets take their fonts and pictures when they are built.
    struct BeforeWidgets {
        BeforeWidgets();
    } beforeWidgets_;

  public:
    QtPlatform platform;
    QtSerialPort port;
    SystemPortProbe probe;
    MainWindow window;
    MainForm form;
};

}  // namespace vigie
