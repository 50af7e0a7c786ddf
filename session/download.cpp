// Logging in to the update server, downloading the database into the working file, and the
// download's progress on the window.

#include <cmath>
#include <filesystem>
#include <limits>

#include "core/file_path.h"
#include "core/runtime_error.h"
#include "session/busy_server.h"
#include "session/update_session.h"

namespace vigie {
namespace {

namespace fs = std::filesystem;

constexpr const char* kCrLf = "\r\n";

std::string firewallText() {
    return std::string("Vous avez peut-être un pare-feu sur votre ordinateur ") +
           "ou sur votre réseau. " + kCrLf + "Veuillez vérifier " +
           "les réglages de votre pare-feu ou contactez votre " + "administrateur de réseau.  " +
           kCrLf + "Windows XP a son propre pare-feu par défaut. " + kCrLf +
           "Le logiciel télécharge la base de données en utilisant " +
           "le File Transfer Protocol (ftp). " + kCrLf +
           "Vous devez configurer votre pare-feu ou réseau pour " +
           "permettre au logiciel de télécharger la base de données.";
}

std::string loginRefusedText() {
    return std::string("Le serveur de mise à jour a refusé l'identifiant et le mot de passe ") +
           "de votre K7." + kCrLf + "La mise à jour n'a donc pas été téléchargée." + kCrLf +
           "Veuillez réessayer plus tard.";
}

// The bytes that reached the working file: a failed transfer closes it with what it received.
std::int64_t bytesIn(const std::string& path) {
    std::error_code ec;
    const std::uintmax_t size = fs::file_size(filePath(path), ec);
    return ec ? 0 : static_cast<std::int64_t>(size);
}

std::string withDefaultPort(const std::string& server) {
    return server.find(':') == std::string::npos ? server + ":21" : server;
}

}  // namespace

std::string UpdateSession::workFilePath() {
    return places_.workFolder() + "/" + workFileName;
}

void UpdateSession::showBusyPointer() {
    platform_.setMousePointer(PointerHourglass);
}

void UpdateSession::showNormalPointer() {
    platform_.setMousePointer(PointerDefault);
}

bool UpdateSession::connectToServer() {
    showBusyPointer();
    const std::string server = places_.server();
    logEvent("Connexion au serveur " + withDefaultPort(server));
    bool connected = ftpClient->OpenConnection(server, deviceName, devicePassword);
    for (int retry = 1; !connected && !stopRequested && retry <= BusyServerRetries &&
                        isBusyReply(ftpClient->GetLastErrorMessage());
         ++retry) {
        const std::int64_t pause = busyServerPauseMs(retry, busyServerRandomPart());
        logEvent("Serveur occupé : " + ftpClient->GetLastErrorMessage() + " ; nouvel essai " +
                 std::to_string(retry) + " sur " + std::to_string(BusyServerRetries) + " dans " +
                 std::to_string((pause + 500) / 1000) + " s");
        const std::string before = statusLabel.caption;
        showNormalPointer();
        if (!waitForBusyServer(platform_, pause, stopRequested, [this](std::int64_t seconds) {
                statusLabel.caption = busyServerStatusText(seconds);
            }))
            break;
        statusLabel.caption = before;
        showBusyPointer();
        connected = ftpClient->OpenConnection(server, deviceName, devicePassword);
    }
    if (connected) {
        logEvent("Connecté au serveur : " + ftpClient->layer().lastResponseInfo());
        loginRefused = false;
        showNormalPointer();
        return true;
    }
    // The user pressed Close while the connection was being made: that is no failure to
    // explain, the session ends with its stopped text.
    if (stopRequested) {
        logEvent("Connexion abandonnée (Close)");
        showNormalPointer();
        return false;
    }
    if (ftpClient->lastErrorCode() == static_cast<std::int32_t>(ftp::code::IncorrectPassword)) {
        const std::string reply = ftpClient->layer().lastResponseInfo();
        logEvent("Connexion refusée : " + ftpClient->GetLastErrorMessage() +
                 (reply.empty() ? "" : " ; réponse du serveur : " + reply));
        showBox(loginRefusedText(), mb::OkOnly | mb::Exclamation,
                "Halvorn Devices - Error Message");
        loginRefused = true;
        showNormalPointer();
        return false;
    }
    if (isBusyReply(ftpClient->GetLastErrorMessage())) {
        logEvent("Serveur toujours occupé : " + ftpClient->GetLastErrorMessage());
        showBox(busyServerBoxText(), mb::OkOnly | mb::Exclamation, "Erreur");
        showNormalPointer();
        return false;
    }
    logEvent("Connexion échouée : " + ftpClient->GetLastErrorMessage());
    showBox(firewallText(), mb::OkOnly | mb::Exclamation, "Erreur");
    showNormalPointer();
    return false;
}

bool UpdateSession::downloadDatabase() {
    showBusyPointer();
    std::string local = workFilePath();
    downloadSizeLogged_ = false;
    if (!ftpClient->FTPDownloadFile(local, databaseFile)) {
        // Close pressed during the transfer closed the connection under it: no error box.
        if (stopRequested) {
            logEvent("Téléchargement abandonné (Close) après " + std::to_string(bytesIn(local)) +
                     " octets");
            showNormalPointer();
            return false;
        }
        // A file the server does not list is no failed call of the client's: only the layer
        // knows why there was nothing to download.
        if (!downloadSizeLogged_ && ftpClient->layer().lastError() == ftp::code::NoMoreFiles)
            logEvent("Téléchargement échoué : " + databaseFile + " absent du serveur (erreur " +
                     std::to_string(ftp::code::NoMoreFiles) + ")");
        else
            logEvent("Téléchargement échoué après " + std::to_string(bytesIn(local)) +
                     " octets : " + ftpClient->GetLastErrorMessage());
        showBox(std::string("Une erreur s'est produite pendant le téléchargement des ") +
                    "données du serveur d'Opale. ",
                mb::OkOnly | mb::Critical, "Erreur");
        showNormalPointer();
        return false;
    }
    logEvent("Téléchargement réussi : " + std::to_string(bytesIn(local)) + " octets reçus");
    showNormalPointer();
    return true;
}

void UpdateSession::disconnectFromServer() {
    ftpClient->CloseConnection();
}

void UpdateSession::showDownloadProgress(std::int32_t currentBytes, std::int32_t totalBytes,
                                         bool download) {
    if (totalBytes == 0)
        throw RuntimeError(11, "frmMain", "Division by zero");
    const auto fraction =
        static_cast<float>(static_cast<double>(currentBytes) / static_cast<double>(totalBytes));
    const float bar = std::floor(fraction * 15.0f) + 10.0f;
    // Rounded half to even, as the default rounding mode does.
    const float percentage = std::nearbyint(fraction * 100.0f);
    if (bar < static_cast<float>(std::numeric_limits<int>::min()) ||
        bar > static_cast<float>(std::numeric_limits<int>::max()) ||
        percentage < std::numeric_limits<std::int16_t>::min() ||
        percentage > std::numeric_limits<std::int16_t>::max())
        throw RuntimeError(err::Overflow, "frmMain", "Overflow");
    progressBar.value = static_cast<int>(bar);
    if (download) {
        if (!downloadSizeLogged_)
            logEvent("Taille annoncée par le serveur : " + std::to_string(totalBytes) + " octets");
        downloadSizeLogged_ = true;
        statusLabel.caption = "Données téléchargées... " +
                              std::to_string(static_cast<std::int16_t>(percentage)) + " % " +
                              kCrLf + "Téléchargement vers K7.";
    }
}

}  // namespace vigie
