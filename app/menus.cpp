// The menu commands other than the port filter.

#include "app/main_form.h"
#include "app/support_site.h"

namespace vigie {
namespace {

// Nothing is reported whether the browser started or not.
void openSupportPage(Platform& platform) {
    try {
        platform.openUrl(supportPage());
    } catch (...) {
    }
}

}  // namespace

void MainForm::showHelp() {
    platform_.showHelpWindow();
}
void MainForm::openTroubleshootingPage() {
    openSupportPage(platform_);
}
void MainForm::openDownloadPage() {
    openSupportPage(platform_);
}
void MainForm::exitProgram() {
    unload();
}

void MainForm::menuCommand(std::string_view name) {
    if (name == "mnuMainFilter")
        togglePortFilter();
    else if (name == "MnuMainHelp")
        showHelp();
    else if (name == "mnuMainTroubleshooting")
        openTroubleshootingPage();
    else if (name == "mnuMainDownload")
        openDownloadPage();
    else if (name == "MnuMainExit")
        exitProgram();
}

}  // namespace vigie
