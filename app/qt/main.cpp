// The updater: the main window over the real serial port, port probe and FTP layer.

#include <QApplication>

#include "app/frm_main.h"
#include "app/qt/main_window.h"
#include "app/qt/qt_platform.h"
#include "ftp/curl_ftp_layer.h"
#include "serial/linux_port_probe.h"
#include "serial/qt_serial_port.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    // No application display name: Qt would append it to every window title.
    vigie::QtPlatform platform;
    vigie::QtSerialPort port;
    vigie::SystemPortProbe probe;
    vigie::MainWindow window;
    vigie::FrmMain form(platform, port, probe, std::make_unique<vigie::ftp::CurlFtpLayer>());
    platform.attach(form, window);
    window.attach(form, [&platform] { platform.sync(); });
    if (!form.Form_Load())
        return 0;
    return app.exec();
}
