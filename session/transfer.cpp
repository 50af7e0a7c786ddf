// Stage 7: the downloaded database goes to the device line by line, the working file is
// overwritten with filler and deleted, and the end markers go out.

#include <cstdio>
#include <filesystem>
#include <string_view>

#include "core/file_path.h"
#include "core/file_retry.h"
#include "session/checked.h"
#include "session/device_link.h"
#include "session/update_session.h"

namespace fs = std::filesystem;

namespace vigie {
namespace {

constexpr std::string_view FillerAlphabet =
    "AB CD EFG HIJ KLMN OPQR ST UVW XYZ 12 34 567 8 90 akjhiuervb ajshdgj 1283768";
static_assert(FillerAlphabet.size() == 76);

std::string dateText(const DateTime& t) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d-%02d-%04d", t.month, t.day, t.year);
    return buf;
}

std::string timeText(const DateTime& t) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", t.hour, t.minute, t.second);
    return buf;
}

// One decimal, with the decimal comma of the log's French.
std::string decimalText(double value) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.1f", value);
    std::string text = buf;
    if (const auto point = text.find('.'); point != std::string::npos)
        text[point] = ',';
    return text;
}

void deleteWorkFile(const std::string& path) {
    std::error_code ec;
    // Normal attributes first: a read-only file is deleted all the same.
    const fs::path file = filePath(path);
    fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::add,
                    ec);
    if (!fs::remove(file, ec) || ec) {
#ifdef _WIN32
        // The system's own code (a sharing violation when another program holds the file).
        const auto systemError = ec.category() == std::system_category() ? ec.value() : 0;
#else
        const int systemError = 0;
#endif
        throw RuntimeError(err::PathFileAccess, "vigie-k7",
                           "Path/File access error" + (ec ? " (" + ec.message() + ")" : ""),
                           systemError);
    }
}

}  // namespace

UpdateSession::PassEnd UpdateSession::runTransfer(Region& region) {
    region = Region::FileProcessing;
    statusLabel.caption = "Téléchargement vers K7";
    const std::string path = workFilePath();

    workFileIn_.open(path);
    std::int32_t lineCount = 0;
    while (!workFileIn_.atEnd()) {
        platform_.doEvents();
        if (stopRequested)
            return PassEnd::Stopped;
        workFileIn_.readLine();
        lineCount = checked::add32(lineCount, 1);
    }
    const std::int32_t linesPerStep = static_cast<std::int32_t>(lineCount / 55.0) + 1;
    workFileIn_.close();
    linesToSend_ = lineCount;
    logEvent("Envoi vers le K7 : " + std::to_string(lineCount) + " lignes à envoyer");
    std::string line;

    workFileIn_.open(path);
    std::int32_t sentLines = 0;
    linesSent_ = 0;
    std::int64_t bytesSent = 0;
    const std::int64_t sendingStart = platform_.tickCount();
    region = Region::Sending;
    const auto stopped = [&] {
        logEvent("Envoi interrompu (Close) après " + std::to_string(sentLines) + " lignes sur " +
                 std::to_string(lineCount));
        return PassEnd::Stopped;
    };
    while (!workFileIn_.atEnd()) {
        platform_.doEvents();
        if (stopRequested)
            return stopped();
        waitFor(23);
        if (stopRequested)
            return stopped();
        line = workFileIn_.readLine() + "\r\n";
        sendToDevice(line);
        sentLines = checked::add32(sentLines, 1);
        linesSent_ = sentLines;
        bytesSent += static_cast<std::int64_t>(line.size());
        if (sentLines % linesPerStep == 0) {
            progressBar.value += 1;
            // A file that grew since it was counted would divide by zero or pass 100.
            if (lineCount == 0)
                throw RuntimeError(err::DivisionByZero, "vigie-k7", "Division by zero");
            const auto percent = checked::fit<std::int16_t>(
                std::floor(static_cast<double>(sentLines) / lineCount * 100));
            statusLabel.caption = "Téléchargement vers K7... " + std::to_string(percent) + "%";
        }
    }

    const std::int64_t sendingTime = platform_.tickCount() - sendingStart;
    logEvent("Envoi terminé : " + std::to_string(sentLines) + " lignes, " +
             std::to_string(bytesSent) + " octets en " + decimalText(sendingTime / 1000.0) +
             " s, " +
             (sentLines > 0 ? decimalText(static_cast<double>(sendingTime) / sentLines) : "-") +
             " ms par ligne en moyenne");
    region = Region::AfterSending;
    progressBar.value = 80;
    workFileIn_.close();
    line.clear();

    if (!workFileRetried("réécriture", [&] { workFileOut_.open(path); }))
        return stopped();
    const DateTime now = platform_.now();
    const std::string filler = makeFillerText();
    if (stopRequested)
        return stopped();
    workFileOut_.writeLine(dateText(now) + " " + timeText(now) + " " + filler);
    workFileOut_.close();
    if (!workFileRetried("effacement", [&] { deleteWorkFile(path); }))
        return stopped();

    statusLabel.font.name = "Tahoma";
    statusLabel.font.size = 12;
    statusLabel.font.bold = true;
    statusLabel.caption =
        "Téléchargement des données effectué. \r\n"
        "Sauvegarde des données dans le K7, veuillez patienter...";
    stage = Saving;
    sendToDevice(link::EndOfData);
    sendToDevice(link::TransferDone);
    logEvent("Marques de fin envoyées (ETX, 368) ; enregistrement dans le K7, attente de T#END");
    savingTicks = 0;
    setTimerEnabled(savingTimer, true);
    region = Region::None;
    return PassEnd::Next;
}

bool UpdateSession::workFileRetried(const std::string& what,
                                    const std::function<void()>& operation) {
    try {
        const FileRetryResult result =
            retryWhileFileShared(platform_, operation, [this] { return stopRequested; });
        if (result.waitedMs > 0)
            logEvent("Fichier de travail tenu par un autre programme : " + what + " après " +
                     std::to_string(result.waitedMs) + " ms" +
                     (result.stopped ? ", interrompu (Close)" : ""));
        return !result.stopped;
    } catch (const RuntimeError& e) {
        if (isSharingViolation(e))
            logEvent("Fichier de travail tenu par un autre programme : " + what +
                     " impossible après " + std::to_string(SharedFileWaitMs) + " ms");
        throw;
    }
}

void UpdateSession::wipeLeftoverWorkFile() {
    const std::string path = workFilePath();
    std::error_code ec;
    // Anything else of that name (a folder) is no file of ours.
    if (!fs::is_regular_file(filePath(path), ec))
        return;
    LineWriter file;
    try {
        // A read-only file is overwritten all the same.
        fs::permissions(filePath(path), fs::perms::owner_read | fs::perms::owner_write,
                        fs::perm_options::add, ec);
        workFileRetried("réécriture", [&] { file.open(path); });
        const DateTime now = platform_.now();
        file.writeLine(dateText(now) + " " + timeText(now) + " " + makeFillerText());
        file.close();
        workFileRetried("effacement", [&] { deleteWorkFile(path); });
        logEvent("Fichier de travail d'une mise à jour précédente réécrit et effacé : " + path);
    } catch (const std::exception& e) {
        file.close();
        const auto* error = dynamic_cast<const RuntimeError*>(&e);
        logEvent("Fichier de travail d'une mise à jour précédente impossible à effacer : " + path +
                 " (" + (error ? error->Description : std::string(e.what())) +
                 (error && error->LastDllError != 0
                      ? ", système " + std::to_string(error->LastDllError)
                      : "") +
                 ")");
    }
}

std::string UpdateSession::makeFillerText() {
    const int n = static_cast<int>(randomFraction() * 2000 + 1) + 2000;
    std::string text;
    text.reserve(static_cast<size_t>(n) * 10);
    for (int i = 1; i < n; ++i) {
        const auto start = static_cast<size_t>(randomFraction() * (76 - 10) + 1);
        text += FillerAlphabet.substr(start - 1, 10);
        platform_.doEvents();
    }
    return text;
}

}  // namespace vigie
