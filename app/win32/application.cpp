#include "app/win32/application.h"

#include "ftp/wininet_ftp_layer.h"
#include "serial/win32_serial_port.h"

namespace vigie::win32 {

Application::Application() : form(platform, port, probe, std::make_unique<ftp::WinInetFtpLayer>()) {
    platform.attach(form, window);
    window.attach(form, [this] { platform.sync(); });
}

bool Application::start() {
    const bool started = form.load();
    platform.sync();
    return started;
}

}  // namespace vigie::win32
