#include "app/qt/application.h"

#include "ftp/curl_ftp_layer.h"

namespace vigie {

Application::Application()
    : form(platform, port, probe, std::make_unique<ftp::CurlFtpLayer>()) {
    platform.attach(form, window);
    window.attach(form, [this] { platform.sync(); });
}

bool Application::start() {
    const bool started = form.Form_Load();
    platform.sync();
    return started;
}

}  // namespace vigie
