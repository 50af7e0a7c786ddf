#include "app/qt/application.h"

#include <QApplication>
#include <QFont>

#include "ftp/curl_ftp_layer.h"

// The icon and the banner live in a static library: their initialiser must be called by name.
static void initResources() {
    Q_INIT_RESOURCE(vigie);
}

namespace vigie {

// The window names its fonts as its users' systems know them; where they are absent, free fonts
// stand in, and no proprietary font is shipped. Liberation Sans has the metrics of Arial, close to
// both named fonts; DejaVu Sans, the usual default, is wider and clips the captions.
Application::BeforeWidgets::BeforeWidgets() {
    initResources();
    for (const char* named : {"MS Sans Serif", "Tahoma", "tahoma"})
        QFont::insertSubstitutions(named, {"Liberation Sans", "Arial", "DejaVu Sans"});
    QFont standard("MS Sans Serif");
    standard.setPointSizeF(8.25);
    QApplication::setFont(standard);
}

Application::Application() : form(platform, port, probe, std::make_unique<ftp::CurlFtpLayer>()) {
    platform.attach(form, window);
    window.attach(form, [this] { platform.sync(); });
}

bool Application::start() {
    const bool started = form.load();
    platform.sync();
    return started;
}

}  // namespace vigie
