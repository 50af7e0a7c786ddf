#include "app/frm_main.h"

#include <algorithm>
#include <cstdlib>

#include "app/deployment_hosts.h"
#include "app/layout.h"
#include "app/user_folders.h"
#include "app/work_folder.h"

namespace vigie {
namespace {

Label labelFromLayout(const char* name) {
    const layout::Control& c = layout::control(name);
    Label l;
    l.caption = c.caption;
    l.font = Font{c.fontName ? c.fontName : "", c.fontSize, c.bold};
    l.alignment = c.alignment;
    return l;
}

MenuItem menuFromLayout(int index) {
    const layout::MenuEntry& m = layout::menu()[static_cast<size_t>(index)];
    return MenuItem{m.caption, m.shortcut, false};
}

}  // namespace

FrmMain::FrmMain(Platform& platform, SerialPort& port, PortProbe& probe,
                 std::unique_ptr<ftp::FtpLayer> ftpLayer)
    : platform_(platform),
      probe_(probe),
      reporter_(platform, updateLogPath()),
      session_(platform, port, std::move(ftpLayer), reporter_,
               SessionWindow{lblStatus, lblDots, Label3, Label5, Label11, prgb1, cboPort, cboFile,
                             cmdGo, cmdClose, tmrDots},
               SessionPlaces{&FrmMain::updateServer,
                             [&platform] { return workFolder(platform.appPath()); }}) {
    lblDots = labelFromLayout("lblDots");
    lblStatus = labelFromLayout("lblStatus");
    Label6 = labelFromLayout("Label6");
    Label8 = labelFromLayout("Label8");
    Label3 = labelFromLayout("Label3");
    Label7 = labelFromLayout("Label7");
    Label5 = labelFromLayout("Label5");
    Label11 = labelFromLayout("Label11");
    cmdGo.caption = layout::control("cmdGo").caption;
    cmdClose.caption = layout::control("cmdClose").caption;
    cboFile.addItem("Radars");
    cboFile.addItem("Radars/Zones a riques/Ecoles");
    mnuMainFilter = menuFromLayout(0);
    MnuMainHelp = menuFromLayout(1);
    mnuMainTroubleshooting = menuFromLayout(2);
    mnuMainDownload = menuFromLayout(3);
    MnuMainExit = menuFromLayout(4);
}

std::string FrmMain::updateServer() {
    // Tests, demonstrations and the staging server point the program elsewhere.
    if (const char* server = std::getenv("VIGIE_UPDATE_SERVER"); server && *server)
        return server;
    return UpdateHost;
}

std::int64_t FrmMain::nextTimerDue() const {
    const std::int64_t session = session_.nextTimerDue();
    return tmrDots.enabled() && tmrDots.interval() > 0 ? std::min(session, tmrDots.dueAt())
                                                       : session;
}

void FrmMain::runDueTimers(std::int64_t now) {
    // A handler may switch other timers on or off; each is checked when its turn comes.
    session_.runDueTimers(now);
    if (tmrDots.isDue(now)) {
        tmrDots.fired(now);
        tmrDots_Timer();
    }
}

}  // namespace vigie
