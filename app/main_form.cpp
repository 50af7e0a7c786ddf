#include "app/main_form.h"

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

MainForm::MainForm(Platform& platform, SerialPort& port, PortProbe& probe,
                   std::unique_ptr<ftp::FtpLayer> ftpLayer)
    : platform_(platform),
      probe_(probe),
      reporter_(platform, updateLogPath()),
      session_(
          platform, port, std::move(ftpLayer), reporter_,
          SessionWindow{statusLabel, dotsLabel, portStateLabel, stageLabel, retryCountLabel,
                        progressBar, portList, databaseList, startButton, closeButton, dotsTimer},
          SessionPlaces{&MainForm::updateServer,
                        [&platform] { return workFolder(platform.appPath()); }}) {
    dotsLabel = labelFromLayout("lblDots");
    statusLabel = labelFromLayout("lblStatus");
    portListCaption = labelFromLayout("Label6");
    databaseListCaption = labelFromLayout("Label8");
    portStateLabel = labelFromLayout("Label3");
    stageCaption = labelFromLayout("Label7");
    stageLabel = labelFromLayout("Label5");
    retryCountLabel = labelFromLayout("Label11");
    startButton.caption = layout::control("cmdGo").caption;
    closeButton.caption = layout::control("cmdClose").caption;
    databaseList.addItem("Radars");
    databaseList.addItem("Radars/Zones a riques/Ecoles");
    portFilterMenu = menuFromLayout(0);
    helpMenu = menuFromLayout(1);
    troubleshootingMenu = menuFromLayout(2);
    downloadPageMenu = menuFromLayout(3);
    exitMenu = menuFromLayout(4);
}

std::string MainForm::updateServer() {
    // Tests, demonstrations and the staging server point the program elsewhere.
    if (const char* server = std::getenv("VIGIE_UPDATE_SERVER"); server && *server)
        return server;
    return UpdateHost;
}

std::int64_t MainForm::nextTimerDue() const {
    const std::int64_t session = session_.nextTimerDue();
    return dotsTimer.enabled() && dotsTimer.interval() > 0 ? std::min(session, dotsTimer.dueAt())
                                                           : session;
}

void MainForm::runDueTimers(std::int64_t now) {
    // A handler may switch other timers on or off; each is checked when its turn comes.
    session_.runDueTimers(now);
    if (dotsTimer.isDue(now)) {
        dotsTimer.fired(now);
        addDot();
    }
}

}  // namespace vigie
