#include "app/win32/application.h"

#include "app/win32/pending_layers.h"

namespace vigie::win32 {

Application::Application()
    : port(std::make_unique<UnavailableSerialPort>()),
      form(platform, *port, probe, std::make_unique<UnavailableFtpLayer>()) {
    platform.attach(form, window);
    window.attach(form, [this] { platform.sync(); });
}

bool Application::start() {
    const bool started = form.Form_Load();
    platform.sync();
    return started;
}

}  // namespace vigie::win32
