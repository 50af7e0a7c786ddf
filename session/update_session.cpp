// The update session: "Start Update" runs it from beginning to end, a pass about every 2 seconds,
// yielding to the event queue where the timers, the Close button and the menus act on its state.

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <limits>

#include "core/file_path.h"
#include "core/runtime_error.h"
#include "core/text.h"
#include "session/checked.h"
#include "session/device_link.h"
#include "session/error_boxes.h"
#include "session/update_session.h"

namespace vigie {
namespace {

constexpr size_t RxBufferLimit = 16 * 1024;
constexpr const char* GiveUpText =
    "Communication avec le Vigie K7 impossible. "
    "Veuillez vérifier les raccordements et essayez encore. ";
constexpr const char* WrongPortHint =
    "Il se peut que vous ayez sélectionné le "
    "mauvais port COM.";
constexpr const char* SuccessText =
    "K7 mis à jour.\r\n"
    "Vous pouvez maintenant fermer ce programme "
    "et déconnecter le K7 de votre ordinateur.";

RuntimeError asRuntimeError(const std::exception& e) {
    if (auto* r = dynamic_cast<const RuntimeError*>(&e))
        return *r;
    return RuntimeError(err::Internal, "vigie-k7", e.what());
}

}  // namespace

UpdateSession::UpdateSession(Platform& platform, SerialPort& port,
                             std::unique_ptr<ftp::FtpLayer> ftpLayer, Reporter& reporter,
                             SessionWindow window, SessionPlaces places)
    : platform_(platform),
      port_(port),
      reporter_(reporter),
      places_(std::move(places)),
      lblStatus(window.statusLabel),
      lblDots(window.dotsLabel),
      Label3(window.portStateLabel),
      Label5(window.stageLabel),
      Label11(window.retryCountLabel),
      prgb1(window.progressBar),
      cboPort(window.portList),
      cboFile(window.databaseList),
      cmdGo(window.startButton),
      cmdClose(window.closeButton),
      tmrDots(window.dotsTimer) {
    // The session receives the client's progress events; the client yields to the event queue.
    mFTP = std::make_unique<cFTP>(std::move(ftpLayer), [this] { platform_.doEvents(); });
    mFTP->FileTransferProgress = [this](std::int32_t current, std::int32_t total, bool download) {
        mFTP_FileTransferProgress(current, total, download);
    };
    rngState_ =
        static_cast<std::uint64_t>(std::chrono::system_clock::now().time_since_epoch().count()) | 1;
}

UpdateSession::~UpdateSession() {
    // A download that was still running when the program was told to end held the working file
    // open; it has let go of it now.
    if (shutDown_)
        removeWorkFile();
}

void UpdateSession::shutDown() {
    shutDown_ = true;
    // Whatever goes wrong here, the program still ends.
    try {
        CloseComPort();
    } catch (const std::exception&) {
    }
    // Before the program ends: a session still on the stack unwinds only afterwards, if at all.
    releaseSystem();
    removeWorkFile();
}

void UpdateSession::removeWorkFile() {
    if (sWorkFile.empty())
        return;
    std::error_code ec;
    const std::filesystem::path file = filePath(workFilePath());
    std::filesystem::permissions(file, std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::add, ec);
    std::filesystem::remove(file, ec);
}

std::int64_t UpdateSession::nextTimerDue() const {
    std::int64_t due = std::numeric_limits<std::int64_t>::max();
    for (const Timer* t : {&tmrCheck, &tmrUserUpload})
        if (t->enabled() && t->interval() > 0 && t->dueAt() < due)
            due = t->dueAt();
    return due;
}

void UpdateSession::runDueTimers(std::int64_t now) {
    // A handler may switch the other timer on or off; each is checked when its turn comes.
    if (tmrCheck.isDue(now)) {
        tmrCheck.fired(now);
        tmrCheck_Timer();
    }
    if (tmrUserUpload.isDue(now)) {
        tmrUserUpload.fired(now);
        tmrUserUpload_Timer();
    }
}

double UpdateSession::rnd() {
    if (randomSource_)
        return randomSource_();
    // xorshift64*: plenty for filler text.
    rngState_ ^= rngState_ >> 12;
    rngState_ ^= rngState_ << 25;
    rngState_ ^= rngState_ >> 27;
    const std::uint64_t r = rngState_ * 0x2545F4914F6CDD1DULL;
    return static_cast<double>(r >> 11) * (1.0 / 9007199254740992.0);
}

void UpdateSession::start() {
    sessionRunning_ = true;
    logEvent("Mise à jour : port « " + trimSpaces(cboPort.text()) + " », base « " + cboFile.text() +
             " »");
    while (runSession() == SessionEnd::Restart)
        logEvent("La mise à jour recommence");
    // Every ending comes back here, the program's end too (it released the system first).
    releaseSystem();
    sessionRunning_ = false;
    logEvent("Résultat : " + lblStatus.caption);
}

void UpdateSession::stop() {
    logEvent("Bouton Close");
    // The session notices the stop flag at its next yield and changes nothing more.
    CloseComPort();
    lblStatus.caption = "La mise à jour du K7 s'est arrêtée.";
}

void UpdateSession::hideLogin() {
    // The name and the password may reach the log in the device's 8-bit form (a server's reply)
    // or as text.
    // A name that reads the same both ways is its own password: shown as the name, masked.
    for (const std::string& password : {sFtpPassword, cp1252ToUtf8(sFtpPassword)})
        reporter_.updateLog().hide(password, "(mot de passe)");
    const std::string shownName = cp1252ToUtf8(maskedDeviceName(sFtpUser));
    for (const std::string& name : {sFtpUser, cp1252ToUtf8(sFtpUser)})
        reporter_.updateLog().hide(name, shownName);
}

void UpdateSession::sendToDevice(std::string_view bytes) {
    if (port_.portOpen())
        port_.output(std::string(bytes));
}

UpdateSession::SessionEnd UpdateSession::runSession() {
    try {
        if (port_.portOpen())
            port_.setPortOpen(false);
    } catch (const std::exception&) {
        showBox(portInUseBoxText(port_.commPort()), mb::OkOnly, "Com Port Open Error");
        endAfterError();
        return SessionEnd::End;
    }
    if (!OpenComPort(38400))
        return SessionEnd::End;
    holdSystem();
    prgb1.value = 0;
    sRxBuffer.clear();
    nRetryCount = 0;
    cmdClose.enabled = true;
    cmdGo.enabled = false;
    StopRequested = false;

    Region region = Region::Generic;
    try {
        switch (cboFile.listIndex) {
            case 0:
                sDatabaseFile = "LocationsMid.txt";
                break;
            case 1:
                sDatabaseFile = "LocationsFull.txt";
                break;
            case 2:
                sDatabaseFile = "TestLocations.txt";
                break;
            default:
                break;
        }
        cboFile.enabled = false;
        tmrCheck.setInterval(5000, platform_.tickCount());
        cboPort.enabled = false;
        lblStatus.font.size = 12;
        lblStatus.font.bold = true;
        lblStatus.alignment = Alignment::Center;
        lblStatus.caption = "Merci de patienter... Connexion au VIGIE K7 en cours";
        nStage = WakingUp;
        loggedStage_ = NotStarted;
        setTimerEnabled(tmrDots, true);

        for (;;) {
            region = Region::Generic;
            try {
                const PassEnd end = runPass(region);
                if (end == PassEnd::Stopped)
                    return SessionEnd::End;
                if (end == PassEnd::LeaveLoop)
                    break;
            } catch (const std::exception& e) {
                const SessionEnd outcome = handleRegionError(region, asRuntimeError(e));
                if (outcome != SessionEnd::Continue)
                    return outcome;
            }
        }

        region = Region::Generic;
        if (port_.portOpen()) {
            if (blnLoginRefused) {
                lblStatus.font.name = "Tahoma";
                lblStatus.font.bold = true;
                FailUpdate();
            } else if (nStage == Done) {
                lblStatus.font.name = "Tahoma";
                lblStatus.font.bold = true;
                lblStatus.caption = SuccessText;
                prgb1.value = 100;
                CloseComPort();
            } else {
                lblStatus.font.bold = false;
                CloseComPort();
            }
        }
    } catch (const std::exception& e) {
        return handleRegionError(region, asRuntimeError(e));
    }
    return SessionEnd::End;
}

UpdateSession::PassEnd UpdateSession::runPass(Region& region) {
    platform_.doEvents();
    if (StopRequested)
        return PassEnd::Stopped;
    if (port_.portOpen()) {
        sRxBuffer += port_.input();
        // A device that floods without end must not grow the buffer without bound; the messages
        // the session looks for are a few bytes long and are kept.
        if (sRxBuffer.size() > RxBufferLimit)
            sRxBuffer.erase(0, sRxBuffer.size() - RxBufferLimit);
    }
    Label5.caption = "  " + std::to_string(nStage);
    if (nStage != loggedStage_) {
        logEvent("Étape " + std::to_string(nStage));
        loggedStage_ = nStage;
    }

    switch (nStage) {
        case WakingUp:
            if (!tmrCheck.enabled()) {
                nRetryCount = 3;
                setTimerEnabled(tmrCheck, true);
                logEvent("Réveil envoyé au K7");
                sendToDevice(link::WakeUp);
            }
            Label11.caption = std::to_string(nRetryCount);
            if (link::isWakeUpReply(sRxBuffer)) {
                logEvent("Le K7 répond au réveil");
                setTimerEnabled(tmrCheck, false);
                nRetryCount = 0;
                nStage = AwaitingUserName;
            }
            break;
        case AwaitingUserName:
            if (link::hasRequest(sRxBuffer, link::UserNameRequest)) {
                nRetryCount = 0;
                Label11.caption = std::to_string(nRetryCount);
                sFtpUser = link::cutUserName(sRxBuffer);
                sFtpPassword = link::passwordFor(sFtpUser);
                hideLogin();
                logEvent("Le K7 demande T#FTPUN, identifiant " +
                         cp1252ToUtf8(maskedDeviceName(sFtpUser)));
                lblStatus.font.size = 14;
                lblStatus.caption = "K7 Numéro de série : " + cp1252ToUtf8(sFtpUser);
                sendToDevice(link::Ack);
                nStage = AwaitingPassword;
                sRxBuffer.clear();
                setTimerEnabled(tmrCheck, true);
            }
            break;
        case AwaitingPassword:
        case AwaitingFileName:
            if (link::hasRequest(sRxBuffer, nStage == AwaitingPassword ? link::PasswordRequest
                                                                       : link::FileRequest)) {
                setTimerEnabled(tmrCheck, false);
                logEvent(nStage == AwaitingPassword ? "Le K7 demande T#FTPPW"
                                                    : "Le K7 demande T#FTPFILEP");
                nRetryCount = 0;
                Label11.caption = std::to_string(nRetryCount);
                sendToDevice(link::Ack);
                if (nStage == AwaitingPassword)
                    prgb1.value = 5;
                nStage = nStage == AwaitingPassword ? AwaitingFileName : AwaitingGet;
                sRxBuffer.clear();
                setTimerEnabled(tmrCheck, true);
            }
            break;
        case AwaitingGet:
            if (link::hasRequest(sRxBuffer, link::GetRequest)) {
                setTimerEnabled(tmrCheck, false);
                logEvent("Le K7 demande T#FTPGET");
                nRetryCount = 0;
                Label11.caption = std::to_string(nRetryCount);
                platform_.doEvents();
                if (StopRequested)
                    return PassEnd::Stopped;
                sendToDevice(link::TransferStart);
                nStage = Downloading;
                sRxBuffer.clear();
            }
            prgb1.value = 10;
            break;
        case Downloading:
            if (const PassEnd end = runDownload(region); end != PassEnd::Next)
                return end;
            break;
        case Sending:
            if (runTransfer(region) == PassEnd::Stopped)
                return PassEnd::Stopped;
            break;
        case Saving:
            if (link::hasEndReport(sRxBuffer)) {
                logEvent("Le K7 signale T#END : données enregistrées");
                prgb1.value = 100;
                nStage = Done;
            }
            break;
        default:
            break;
    }

    // A pass held up at a yield (a modal window open) may see the count pass 10 at once.
    if (nRetryCount >= 10) {
        std::string text = GiveUpText;
        if (nStage == WakingUp)
            text += WrongPortHint;
        lblStatus.caption = text;
        return PassEnd::LeaveLoop;
    }
    Delay(2000);
    return nStage == Done ? PassEnd::LeaveLoop : PassEnd::Next;
}

UpdateSession::PassEnd UpdateSession::runDownload(Region& region) {
    nRetryCount = 0;
    Label11.caption = std::to_string(nRetryCount);
    for (;;) {
        region = Region::Download;
        try {
            lblStatus.caption = "Connecté au serveur. \r\nDébut du téléchargement...";
            bool blnOK = ConnectToServer();
            if (StopRequested)
                return PassEnd::Stopped;
            if (!blnOK) {
                region = Region::None;
                FailUpdate();
                return PassEnd::LeaveLoop;
            }
            std::int16_t nAttempt = 1;
            do {
                platform_.doEvents();
                if (StopRequested)
                    return PassEnd::Stopped;
                logEvent("Téléchargement de " + sDatabaseFile + ", tentative " +
                         std::to_string(nAttempt) + " sur 3");
                blnOK = DownloadDatabase();
                ++nAttempt;
            } while (!(nAttempt > 3 || blnOK));
            region = Region::None;
            if (blnOK)
                nStage = Sending;
            DisconnectFromServer();
            return PassEnd::Next;
        } catch (const std::exception& e) {
            if (region != Region::Download)
                throw;
            // The download left the hourglass on; the box is a question to the user.
            ShowNormalPointer();
            const int answer =
                showBox(downloadBoxText(), mb::YesNo | mb::Question, FailedUpdateTitle);
            if (answer != mb::Yes) {
                region = Region::None;
                endAfterError();
                return PassEnd::Stopped;
            }
            nRetryCount = 0;
            Label11.caption = std::to_string(nRetryCount);
        }
    }
}

UpdateSession::SessionEnd UpdateSession::handleRegionError(Region region, const RuntimeError& e) {
    std::string where;
    switch (region) {
        case Region::FileProcessing:
            where = " pendant la lecture du fichier téléchargé";
            break;
        case Region::Sending:
            where = " pendant l'envoi, après " + std::to_string(linesSent_) + " lignes sur " +
                    std::to_string(linesToSend_);
            break;
        case Region::AfterSending:
            where = " après l'envoi";
            break;
        case Region::Download:
            where = " pendant le téléchargement";
            break;
        case Region::Generic:
        case Region::None:
            break;
    }
    logEvent("Erreur " + std::to_string(e.Number) + where + " : " + e.Description +
             (e.LastDllError != 0 ? " (système " + std::to_string(e.LastDllError) + ")" : ""));
    switch (region) {
        case Region::Generic:
            showBox(genericBoxText(e), mb::OkOnly, "Error");
            break;
        case Region::FileProcessing:
        case Region::Sending:
        case Region::AfterSending: {
            const int answer = showBox(transferBoxText(region, e.Description),
                                       mb::YesNo | mb::Question, FailedUpdateTitle);
            if (answer == mb::Yes) {
                try {
                    CloseComPort();
                    return SessionEnd::Restart;
                } catch (const std::exception&) {
                }
            }
            break;
        }
        case Region::Download:  // handled where the download runs
        case Region::None:
            break;
    }
    endAfterError();
    return SessionEnd::End;
}

void UpdateSession::endAfterError() {
    try {
        FailUpdate();
        return;
    } catch (const std::exception&) {
    }
    // Even when closing fails the window must end idle, so that the user can start again.
    tmrCheck.setEnabled(false, 0);
    tmrUserUpload.setEnabled(false, 0);
    tmrDots.setEnabled(false, 0);
    lblDots.caption = "";
    try {
        if (port_.portOpen())
            port_.setPortOpen(false);
    } catch (const std::exception&) {
    }
    files_.close(nDataFile);
    cboFile.enabled = cboPort.enabled = cmdGo.enabled = true;
    cmdClose.enabled = false;
    StopRequested = true;
    lblStatus.caption = "La mise à jour du K7 a échoué.";
    prgb1.value = 0;
}

void UpdateSession::tmrCheck_Timer() {
    try {
        nRetryCount = checked::add16(nRetryCount, 1);
        if (port_.portOpen()) {
            logEvent(
                "Relance " + std::to_string(nRetryCount) + " à l'étape " + std::to_string(nStage) +
                (nStage == WakingUp                                    ? " : réveil renvoyé"
                 : nStage >= AwaitingUserName && nStage <= Downloading ? " : acquittement renvoyé"
                                                                       : ""));
            if (nStage == WakingUp)
                sendToDevice(link::WakeUp);
            else if (nStage >= AwaitingUserName && nStage <= Downloading)
                sendToDevice(link::Ack);
            Label11.caption = std::to_string(nRetryCount);
        } else {
            setTimerEnabled(tmrCheck, false);
        }
    } catch (const std::exception&) {
        // No error handling is in force in a timer: the session ends through its failure path.
        endAfterError();
    }
}

void UpdateSession::tmrUserUpload_Timer() {
    try {
        nUploadTicks = checked::add16(nUploadTicks, 1);
        const bool radars = cboFile.listIndex == 0;
        const std::int16_t limit = radars ? 8 : 16;
        const int step = radars ? 3 : 2;
        if (prgb1.value < 95)
            prgb1.value += step;
        if (nUploadTicks == limit) {
            logEvent("Attente de l'enregistrement terminée (" + std::to_string(limit * 15) +
                     " s) sans T#END");
            nStage = Done;
            setTimerEnabled(tmrUserUpload, false);
        }
    } catch (const std::exception&) {
        endAfterError();
    }
}

void UpdateSession::Delay(std::int32_t nMilliSecs) {
    // 64-bit ticks: no overflow after weeks of uptime, no wrap. The wait sleeps in the event loop;
    // a stop request ends it early, since the session ends at its next yield anyway.
    // It waits in slices, so that a stop (the window closed) is noticed within a tenth of a second.
    const std::int64_t deadline = platform_.tickCount() + nMilliSecs;
    do {
        platform_.waitUntil(std::min(deadline + 1, platform_.tickCount() + 100));
    } while (platform_.tickCount() <= deadline && !StopRequested);
}

}  // namespace vigie
