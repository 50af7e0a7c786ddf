// The menu commands other than the port filter.

#include "app/frm_main.h"
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

void FrmMain::MnuMainHelp_Click() {
    platform_.showHelpWindow();
}
void FrmMain::mnuMainTroubleshooting_Click() {
    openSupportPage(platform_);
}
void FrmMain::mnuMainDownload_Click() {
    openSupportPage(platform_);
}
void FrmMain::MnuMainExit_Click() {
    Form_Unload();
}

void FrmMain::menuItem_Click(std::string_view name) {
    if (name == "mnuMainFilter")
        mnuMainFilter_Click();
    else if (name == "MnuMainHelp")
        MnuMainHelp_Click();
    else if (name == "mnuMainTroubleshooting")
        mnuMainTroubleshooting_Click();
    else if (name == "mnuMainDownload")
        mnuMainDownload_Click();
    else if (name == "MnuMainExit")
        MnuMainExit_Click();
}

}  // namespace vigie
