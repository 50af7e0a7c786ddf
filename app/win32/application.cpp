#include "app/win32/application.h"

#if __has_include("serial/win32_serial_port.h") && __has_include("ftp/wininet_ftp_layer.h")
#include "ftp/wininet_ftp_layer.h"
#include "serial/win32_serial_port.h"
#define VIGIE_WIN32_LAYERS 1
#else
#include "app/win32/pending_layers.h"
#endif

namespace vigie::win32 {
namespace {

std::unique_ptr<SerialPort> makeSerialPort() {
#ifdef VIGIE_WIN32_LAYERS
    return std::make_unique<Win32SerialPort>();
#else
    return std::make_unique<UnavailableSerialPort>();
#endif
}

std::unique_ptr<ftp::FtpLayer> makeFtpLayer() {
#ifdef VIGIE_WIN32_LAYERS
    return std::make_unique<ftp::WinInetFtpLayer>();
#else
    return std::make_unique<UnavailableFtpLayer>();
#endif
}

}  // namespace

Application::Application() : port(makeSerialPort()), form(platform, *port, probe, makeFtpLayer()) {
    platform.attach(form, window);
    window.attach(form, [this] { platform.sync(); });
}

bool Application::start() {
    const bool started = form.Form_Load();
    platform.sync();
    return started;
}

}  // namespace vigie::win32
