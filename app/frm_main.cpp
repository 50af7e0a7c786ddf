#include "app/frm_main.h"

#include <chrono>
#include <limits>

#include "app/layout.h"
#include "app/user_folders.h"

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
    : platform_(platform), port_(port), probe_(probe), log_(updateLogPath()) {
    // The window receives the client's progress events; the client yields to the window's queue.
    mFTP = std::make_unique<cFTP>(std::move(ftpLayer), [this] { platform_.doEvents(); });
    mFTP->FileTransferProgress = [this](std::int32_t current, std::int32_t total, bool download) {
        mFTP_FileTransferProgress(current, total, download);
    };
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

FrmMain::~FrmMain() {
    // A download that was still running when the program was told to end held the working file
    // open; it has let go of it now.
    if (unloaded_)
        removeWorkFile();
}

std::int64_t FrmMain::nextTimerDue() const {
    std::int64_t due = std::numeric_limits<std::int64_t>::max();
    for (const Timer* t : {&tmrCheck, &tmrUserUpload, &tmrDots})
        if (t->enabled() && t->interval() > 0 && t->dueAt() < due)
            due = t->dueAt();
    return due;
}

void FrmMain::runDueTimers(std::int64_t now) {
    // A handler may switch other timers on or off; each is checked when its turn comes.
    if (tmrCheck.isDue(now)) {
        tmrCheck.fired(now);
        tmrCheck_Timer();
    }
    if (tmrUserUpload.isDue(now)) {
        tmrUserUpload.fired(now);
        tmrUserUpload_Timer();
    }
    if (tmrDots.isDue(now)) {
        tmrDots.fired(now);
        tmrDots_Timer();
    }
}

void FrmMain::logEvent(const std::string& text) {
    log_.write(platform_.now(), text);
}

int FrmMain::showBox(const std::string& text, int flags, const std::string& title) {
    logEvent("Message « " + title + " » : " + text);
    // A box of the update may wait all night for its answer, on battery: nothing works meanwhile,
    // so the system is let go, and held again when Yes takes the update up again.
    const bool held = systemHeld_;
    releaseSystem();
    const int answer = platform_.msgBox(text, flags, title);
    logEvent(std::string("Réponse : ") + (answer == mb::Yes  ? "Oui"
                                          : answer == mb::No ? "Non"
                                                             : "OK"));
    if (held && answer == mb::Yes)
        holdSystem();
    return answer;
}

void FrmMain::randomize() {
    rngState_ =
        static_cast<std::uint64_t>(std::chrono::system_clock::now().time_since_epoch().count()) | 1;
}

double FrmMain::rnd() {
    if (randomSource_)
        return randomSource_();
    // xorshift64*: plenty for filler text.
    rngState_ ^= rngState_ >> 12;
    rngState_ ^= rngState_ << 25;
    rngState_ ^= rngState_ >> 27;
    const std::uint64_t r = rngState_ * 0x2545F4914F6CDD1DULL;
    return static_cast<double>(r >> 11) * (1.0 / 9007199254740992.0);
}

}  // namespace vigie
