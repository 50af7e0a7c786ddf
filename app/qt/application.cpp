#include "app/qt/application.h"

#include <QApplication>
#include <QFont>

#include "ftp/curl_ftp_layer.h"

// The icon and the banner live in a static library: their initialiser must be called by name.
static void initResources() {
    Q_INIT_RESOURCE(vigie);
}

namespace vigie {
namespace {

// The window names its fonts as its users' systems know them; where they are absent, free fonts of
// close metrics stand in, and no proprietary font is shipped.
void substituteFonts() {
    QFont::insertSubstitutions("MS Sans Serif", {"Liberation Sans", "Arial", "DejaVu Sans"});
    QFont::insertSubstitutions("Tahoma", {"DejaVu Sans", "Liberation Sans"});
    QFont::insertSubstitutions("tahoma", {"DejaVu Sans", "Liberation Sans"});
    QFont standard("MS Sans Serif");
    standard.setPointSizeF(8.25);
    QApplication::setFont(standard);
}

}  // namespace

Application::Application() : form(platform, port, probe, std::make_unique<ftp::CurlFtpLayer>()) {
    initResources();
    substituteFonts();
    platform.attach(form, window);
    window.attach(form, [this] { platform.sync(); });
}

bool Application::start() {
    const bool started = form.Form_Load();
    platform.sync();
    return started;
}

}  // namespace vigie
