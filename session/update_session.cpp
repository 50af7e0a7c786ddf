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
      statusLabel(window.statusLabel),
      dotsLabel(window.dotsLabel),
      portStateLabel(window.portStateLabel),
      stageLabel(window.stageLabel),
      retryCountLabel(window.retryCountLabel),
      progressBar(window.progressBar),
      portList(window.portList),
      databaseList(window.databaseList),
      startButton(window.startButton),
      closeButton(window.closeButton),
      dotsTimer(window.dotsTimer) {
    // The session receives the client's progress events; the client yields to the event queue.
    ftpClient = std::make_unique<FtpClient>(std::move(ftpLayer), [this] { platform_.doEvents(); });
    ftpClient->FileTransferProgress = [this](std::int32_t current, std::int32_t total,
                                             bool download) {
        showDownloadProgress(current, total, download);
    };
    rngState_ =
        static_cast<std::uint64_t>(std::chrono::system_clock::now().time_since_epoch().count()) | 1;
    // A box of the update may wait all night for its answer, on battery: nothing works meanwhile,
    // so the system is let go, and held again when Yes takes the update up again.
    reporter_.aroundBox = [this](const std::function<int()>& show) {
        const bool held = systemHeld_;
        releaseSystem();
        const int answer = show();
        if (held && answer == mb::Yes)
            holdSystem();
        return answer;
    };
}

UpdateSession::~UpdateSession() {
    reporter_.aroundBox = nullptr;
    // A download that was still running when the program was told to end held the working file
    // open; it has let go of it now.
    if (shutDown_)
        removeWorkFile();
}

void UpdateSession::shutDown() {
    shutDown_ = true;
    // Whatever goes wrong here, the program still ends.
    try {
        closeSerialPort();
    } catch (const std::exception&) {
    }
    // Before the program ends: a session still on the stack unwinds only afterwards, if at all.
    releaseSystem();
    removeWorkFile();
}

void UpdateSession::removeWorkFile() {
    if (workFileName.empty())
        return;
    std::error_code ec;
    const std::filesystem::path file = filePath(workFilePath());
    std::filesystem::permissions(file, std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::add, ec);
    std::filesystem::remove(file, ec);
}

std::int64_t UpdateSession::nextTimerDue() const {
    std::int64_t due = std::numeric_limits<std::int64_t>::max();
    for (const Timer* t : {&retryTimer, &savingTimer})
        if (t->enabled() && t->interval() > 0 && t->dueAt() < due)
            due = t->dueAt();
    return due;
}

void UpdateSession::runDueTimers(std::int64_t now) {
    // A handler may switch the other timer on or off; each is checked when its turn comes.
    if (retryTimer.isDue(now)) {
        retryTimer.fired(now);
        retryTick();
    }
    if (savingTimer.isDue(now)) {
        savingTimer.fired(now);
        savingTick();
    }
}

double UpdateSession::randomFraction() {
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
    running_ = true;
    logEvent("Mise à jour : port « " + trimSpaces(portList.text()) + " », base « " +
             databaseList.text() + " »");
    while (runSession() == SessionEnd::Restart)
        logEvent("La mise à jour recommence");
    // Every ending comes back here, the program's end too (it released the system first).
    releaseSystem();
    running_ = false;
    // Closing the program during the session wrote its result already.
    if (!shutDown_)
        logEvent("Résultat : " + statusLabel.caption);
}

void UpdateSession::stop() {
    logEvent("Bouton Close");
    // The session notices the stop flag at its next yield and changes nothing more.
    closeSerialPort();
    statusLabel.caption = "La mise à jour du K7 s'est arrêtée.";
}

void UpdateSession::hideLogin() {
    // The name and the password may reach the log in the device's 8-bit form (a server's reply)
    // or as text.
    // A name that reads the same both ways is its own password: shown as the name, masked.
    for (const std::string& password : {devicePassword, cp1252ToUtf8(devicePassword)})
        reporter_.updateLog().hide(password, "(mot de passe)");
    const std::string shownName = cp1252ToUtf8(maskedDeviceName(deviceName));
    for (const std::string& name : {deviceName, cp1252ToUtf8(deviceName)})
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
    if (!openSerialPort(38400))
        return SessionEnd::End;
    holdSystem();
    progressBar.value = 0;
    received.clear();
    retries = 0;
    closeButton.enabled = true;
    startButton.enabled = false;
    stopRequested = false;

    Region region = Region::Generic;
    try {
        switch (databaseList.listIndex) {
            case 0:
                databaseFile = "LocationsMid.txt";
                break;
            case 1:
                databaseFile = "LocationsFull.txt";
                break;
            case 2:
                databaseFile = "TestLocations.txt";
                break;
            default:
                break;
        }
        databaseList.enabled = false;
        retryTimer.setInterval(5000, platform_.tickCount());
        portList.enabled = false;
        statusLabel.font.size = 12;
        statusLabel.font.bold = true;
        statusLabel.alignment = Alignment::Center;
        statusLabel.caption = "Merci de patienter... Connexion au VIGIE K7 en cours";
        stage = WakingUp;
        loggedStage_ = NotStarted;
        setTimerEnabled(dotsTimer, true);

        for (;;) {
            region = Region::Generic;
            // Held again after a box that let the system go and that the update goes on from.
            holdSystem();
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
            if (loginRefused) {
                statusLabel.font.name = "Tahoma";
                statusLabel.font.bold = true;
                failUpdate();
            } else if (stage == Done) {
                statusLabel.font.name = "Tahoma";
                statusLabel.font.bold = true;
                statusLabel.caption = SuccessText;
                progressBar.value = 100;
                closeSerialPort();
            } else {
                statusLabel.font.bold = false;
                closeSerialPort();
            }
        }
    } catch (const std::exception& e) {
        return handleRegionError(region, asRuntimeError(e));
    }
    return SessionEnd::End;
}

UpdateSession::PassEnd UpdateSession::runPass(Region& region) {
    platform_.doEvents();
    if (stopRequested)
        return PassEnd::Stopped;
    if (port_.portOpen()) {
        received += port_.input();
        // A device that floods without end must not grow the buffer without bound; the messages
        // the session looks for are a few bytes long and are kept.
        if (received.size() > RxBufferLimit)
            received.erase(0, received.size() - RxBufferLimit);
    }
    stageLabel.caption = "  " + std::to_string(stage);
    if (stage != loggedStage_) {
        logEvent("Étape " + std::to_string(stage));
        loggedStage_ = stage;
    }

    switch (stage) {
        case WakingUp:
            if (!retryTimer.enabled()) {
                retries = 3;
                setTimerEnabled(retryTimer, true);
                logEvent("Réveil envoyé au K7");
                sendToDevice(link::WakeUp);
            }
            retryCountLabel.caption = std::to_string(retries);
            if (link::isWakeUpReply(received)) {
                logEvent("Le K7 répond au réveil");
                setTimerEnabled(retryTimer, false);
                retries = 0;
                stage = AwaitingUserName;
            }
            break;
        case AwaitingUserName:
            if (link::hasRequest(received, link::UserNameRequest)) {
                retries = 0;
                retryCountLabel.caption = std::to_string(retries);
                deviceName = link::cutUserName(received);
                devicePassword = link::passwordFor(deviceName);
                hideLogin();
                logEvent("Le K7 demande T#FTPUN, identifiant " +
                         cp1252ToUtf8(maskedDeviceName(deviceName)));
                statusLabel.font.size = 14;
                statusLabel.caption = "K7 Numéro de série : " + cp1252ToUtf8(deviceName);
                sendToDevice(link::Ack);
                stage = AwaitingPassword;
                received.clear();
                setTimerEnabled(retryTimer, true);
            }
            break;
        case AwaitingPassword:
        case AwaitingFileName:
            if (link::hasRequest(received, stage == AwaitingPassword ? link::PasswordRequest
                                                                     : link::FileRequest)) {
                setTimerEnabled(retryTimer, false);
                logEvent(stage == AwaitingPassword ? "Le K7 demande T#FTPPW"
                                                   : "Le K7 demande T#FTPFILEP");
                retries = 0;
                retryCountLabel.caption = std::to_string(retries);
                sendToDevice(link::Ack);
                if (stage == AwaitingPassword)
                    progressBar.value = 5;
                stage = stage == AwaitingPassword ? AwaitingFileName : AwaitingGet;
                received.clear();
                setTimerEnabled(retryTimer, true);
            }
            break;
        case AwaitingGet:
            if (link::hasRequest(received, link::GetRequest)) {
                setTimerEnabled(retryTimer, false);
                logEvent("Le K7 demande T#FTPGET");
                retries = 0;
                retryCountLabel.caption = std::to_string(retries);
                platform_.doEvents();
                if (stopRequested)
                    return PassEnd::Stopped;
                sendToDevice(link::TransferStart);
                stage = Downloading;
                received.clear();
            }
            progressBar.value = 10;
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
            if (link::hasEndReport(received)) {
                logEvent("Le K7 signale T#END : données enregistrées");
                progressBar.value = 100;
                stage = Done;
            }
            break;
        default:
            break;
    }

    // A pass held up at a yield (a modal window open) may see the count pass 10 at once.
    if (retries >= 10) {
        std::string text = GiveUpText;
        if (stage == WakingUp)
            text += WrongPortHint;
        statusLabel.caption = text;
        return PassEnd::LeaveLoop;
    }
    waitFor(2000);
    return stage == Done ? PassEnd::LeaveLoop : PassEnd::Next;
}

UpdateSession::PassEnd UpdateSession::runDownload(Region& region) {
    retries = 0;
    retryCountLabel.caption = std::to_string(retries);
    for (;;) {
        region = Region::Download;
        try {
            statusLabel.caption = "Connecté au serveur. \r\nDébut du téléchargement...";
            bool ok = connectToServer();
            if (stopRequested)
                return PassEnd::Stopped;
            if (!ok) {
                region = Region::None;
                failUpdate();
                return PassEnd::LeaveLoop;
            }
            std::int16_t attempt = 1;
            do {
                platform_.doEvents();
                if (stopRequested)
                    return PassEnd::Stopped;
                logEvent("Téléchargement de " + databaseFile + ", tentative " +
                         std::to_string(attempt) + " sur 3");
                holdSystem();  // after the box of a failed attempt
                ok = downloadDatabase();
                ++attempt;
            } while (!(attempt > 3 || ok));
            region = Region::None;
            if (ok)
                stage = Sending;
            disconnectFromServer();
            return PassEnd::Next;
        } catch (const std::exception& e) {
            if (region != Region::Download)
                throw;
            // The download left the hourglass on; the box is a question to the user.
            showNormalPointer();
            const int answer =
                showBox(downloadBoxText(), mb::YesNo | mb::Question, FailedUpdateTitle);
            if (answer != mb::Yes) {
                region = Region::None;
                endAfterError();
                return PassEnd::Stopped;
            }
            retries = 0;
            retryCountLabel.caption = std::to_string(retries);
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
                    closeSerialPort();
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
        failUpdate();
        return;
    } catch (const std::exception&) {
    }
    // Even when closing fails the window must end idle, so that the user can start again.
    retryTimer.setEnabled(false, 0);
    savingTimer.setEnabled(false, 0);
    dotsTimer.setEnabled(false, 0);
    dotsLabel.caption = "";
    try {
        if (port_.portOpen())
            port_.setPortOpen(false);
    } catch (const std::exception&) {
    }
    closeWorkFile();
    databaseList.enabled = portList.enabled = startButton.enabled = true;
    closeButton.enabled = false;
    stopRequested = true;
    statusLabel.caption = "La mise à jour du K7 a échoué.";
    progressBar.value = 0;
}

void UpdateSession::retryTick() {
    try {
        retries = checked::add16(retries, 1);
        if (port_.portOpen()) {
            logEvent("Relance " + std::to_string(retries) + " à l'étape " + std::to_string(stage) +
                     (stage == WakingUp ? " : réveil renvoyé"
                      : stage >= AwaitingUserName && stage <= Downloading
                          ? " : acquittement renvoyé"
                          : ""));
            if (stage == WakingUp)
                sendToDevice(link::WakeUp);
            else if (stage >= AwaitingUserName && stage <= Downloading)
                sendToDevice(link::Ack);
            retryCountLabel.caption = std::to_string(retries);
        } else {
            setTimerEnabled(retryTimer, false);
        }
    } catch (const std::exception&) {
        // No error handling is in force in a timer: the session ends through its failure path.
        endAfterError();
    }
}

void UpdateSession::savingTick() {
    try {
        savingTicks = checked::add16(savingTicks, 1);
        const bool radars = databaseList.listIndex == 0;
        const std::int16_t limit = radars ? 8 : 16;
        const int step = radars ? 3 : 2;
        if (progressBar.value < 95)
            progressBar.value += step;
        if (savingTicks == limit) {
            logEvent("Attente de l'enregistrement terminée (" + std::to_string(limit * 15) +
                     " s) sans T#END");
            stage = Done;
            setTimerEnabled(savingTimer, false);
        }
    } catch (const std::exception&) {
        endAfterError();
    }
}

void UpdateSession::waitFor(std::int32_t ms) {
    // 64-bit ticks: no overflow after weeks of uptime, no wrap. The wait sleeps in the event loop;
    // a stop request ends it early, since the session ends at its next yield anyway.
    // It waits in slices, so that a stop (the window closed) is noticed within a tenth of a second.
    const std::int64_t deadline = platform_.tickCount() + ms;
    do {
        platform_.waitUntil(std::min(deadline + 1, platform_.tickCount() + 100));
    } while (platform_.tickCount() <= deadline && !stopRequested);
}

}  // namespace vigie
