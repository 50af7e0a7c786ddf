// Start-up and shut-down of the main window, its fixed size and the dots animation.

#include <filesystem>
#include <fstream>

#include "app/main_form.h"
#include "app/port_entries.h"
#include "app/settings.h"
#include "app/settings_folder.h"
#include "app/support_site.h"
#include "app/system_name.h"
#include "core/file_path.h"
#include "core/runtime_error.h"
#include "core/text.h"

namespace fs = std::filesystem;

namespace vigie {
namespace {

constexpr const char* CRLF = "\r\n";

bool isDigit(const std::string& c) {
    return c.size() == 1 && c[0] >= '0' && c[0] <= '9';
}

bool isNumber(const std::string& text) {
    return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

std::string instructionsText() {
    return std::string("1. Sélectionner le port dans lequel le K7 ") +
           "est connecté dans \u201CCom Port\u201D." + CRLF +
           "2. Selectionner la base de données à télécharger " + "dans \u201CDownload File\u201D." +
           CRLF + "3. Cliquer \u201CStart Update\u201D.";
}

std::string tempFolderErrorText(const std::string& folder) {
    return "Erreur, impossible de créer le répertoire " + folder +
           ". Vous avez besoin de permissions supplémentaires de sécurité pour créer "
           "des dossiers et des répertoires. Ce programme doit pouvoir créer le répertoire " +
           folder + " et pouvoir créer des dossiers dans ce répertoire afin de fonctionner.";
}

std::string initErrorText(std::int32_t number, const std::string& description) {
    return std::string("Une erreur s'est produite pendant l'initialisation. ") + CRLF + CRLF +
           "Veuillez examiner les guides de dépannage sur  " + CRLF + SupportHost +
           " pour consulter la documentation. " + CRLF + CRLF +
           "Veuillez vérifier que les mises à jour et les paquets critiques de service " + CRLF +
           "pour votre logiciel d'exploitation sont à jour en visitant le site de mise à jour "
           "de Windows. " +
           CRLF + CRLF +
           "Installez toutes les mises à jour disponibles, puis désinstaller et réinstallez "
           "le logiciel " +
           CRLF + "de Vigie et réessayez. " + CRLF + CRLF + std::to_string(number) + " " +
           description;
}

// The folder as the user knows it: without its trailing separator.
std::string folderName(const std::string& path) {
    if (path.size() > 1 && (path.back() == '/' || path.back() == '\\'))
        return path.substr(0, path.size() - 1);
    return path;
}

// Runs one step of the settings block; a failure only skips that step.
template <typename Step>
void tolerant(Step step) {
    try {
        step();
    } catch (const std::exception&) {
    }
}

}  // namespace

bool MainForm::load() {
    try {
        // The FTP client was created with the session, so that it can receive its events.
        session_.loginRefused = false;
        keepFixedSize();
        if (!platform_.showStartWindow()) {
            platform_.endProgram();
            return false;
        }
        caption = "VIGIE K7 Téléchargement (v" + std::to_string(VIGIE_VERSION_MAJOR) + "." +
                  std::to_string(VIGIE_VERSION_MINOR) + "." +
                  std::to_string(VIGIE_VERSION_REVISION) + ")";
        dotsLabel.caption = "";

        settingsFolder = settingsFolderInUse(platform_.appPath());
        if (settingsFolder.empty()) {
            showBox(tempFolderErrorText(folderName(vigie::settingsFolder(platform_.appPath()))),
                    mb::Critical, "Vigie M4 Error");
            platform_.endProgram();
            return false;
        }

        readSettings();

        databaseList.listIndex = 0;
        session_.workFileName = "temp.hd";
        session_.wipeLeftoverWorkFile();
        closeButton.enabled = false;
        startButton.enabled = true;
        databaseList.enabled = true;
        session_.stopRequested = false;
        progressBar.value = 0;
        platform_.showMainWindow();
        statusLabel.font.size = 10;
        statusLabel.font.bold = false;
        statusLabel.alignment = Alignment::Left;
        statusLabel.caption = instructionsText();
        progressBar.barColor = 0xFF0031;
        progressBar.backColor = 0xFFFFFF;
        logEvent("Démarrage de VIGIE K7 Téléchargement " + std::to_string(VIGIE_VERSION_MAJOR) +
                 "." + std::to_string(VIGIE_VERSION_MINOR) + "." +
                 std::to_string(VIGIE_VERSION_REVISION) + " ; système : " + systemDescription() +
                 " ; dossier du programme : " + platform_.appPath() +
                 " ; réglages : " + settingsFile);
#ifdef _WIN32
        // Support sees whether the windows have the system's look (version 6) or the old one.
        logEvent("Contrôles communs : comctl32 " + commonControlsVersion());
#endif
        return true;
    } catch (const RuntimeError& e) {
        showBox(initErrorText(e.Number, e.Description), mb::Exclamation, "Vigie Updater");
    } catch (const std::exception& e) {
        showBox(initErrorText(51, e.what()), mb::Exclamation, "Vigie Updater");
    }
    platform_.endProgram();
    return false;
}

void MainForm::readSettings() {
    settingsFile = settingsFolder + "HD.ini";
    std::error_code ec;
    if (!fs::is_regular_file(filePath(settingsFile), ec)) {
        tolerant([&] { portFilterMenu.checked = false; });
        tolerant([&] { togglePortFilter(); });
        return;
    }
    std::string iniText;
    tolerant([&] {
        std::ifstream in(filePath(settingsFile), std::ios::binary);
        platform_.doEvents();
        char buf[kIniBytesRead];
        in.read(buf, sizeof buf);
        iniText.assign(buf, static_cast<size_t>(in.gcount()));
    });
    const IniFields fields = splitIniText(iniText);
    portFilterField = fields.filter;
    testDatabaseField = fields.test;
    tolerant([&] {
        if (testDatabaseField == "t")
            databaseList.insertItem(2, "Test Locations");
    });
    // The Click handler toggles the tick, so set the opposite of the wanted state first.
    portFilterMenu.checked = isDigit(portFilterField) && portFilterField != "1";
    tolerant([&] { togglePortFilter(); });
    tolerant([&] {
        if (isNumber(fields.port)) {
            for (int i = 0; i < portList.listCount(); ++i) {
                if (trimSpaces(portList.items[static_cast<size_t>(i)]) == fields.port) {
                    portList.listIndex = i;
                    break;
                }
            }
        } else if (portList.listCount() > 0) {
            portList.listIndex = 0;
        }
    });
}

void MainForm::unload() {
    if (unloaded_)
        return;
    unloaded_ = true;
    // The session still on the stack unwinds only after the program's end, if at all: its
    // result is written here, in its place before the end.
    if (session_.sessionRunning())
        logEvent("Résultat : mise à jour arrêtée par l'utilisateur (programme fermé)");
    logEvent("Fin du programme");
    session_.shutDown();
    // The port's whole number, so that COM10 and above come back as themselves.
    std::string portField = portEntryDigits(portList.text());
    if (portField.empty()) {
        const std::string port = trimSpaces(portList.text());
        portField = port.substr(0, port.empty() ? 0 : 1);
    }
    std::error_code ec;
    if (!settingsFile.empty()) {
        // A forced delete: Windows refuses to delete a read-only file.
        fs::permissions(filePath(settingsFile), fs::perms::owner_write, fs::perm_options::add, ec);
        fs::remove(filePath(settingsFile), ec);
        portFilterField = portFilterMenu.checked ? "1" : "0";
        std::ofstream out(filePath(settingsFile), std::ios::binary | std::ios::trunc);
        if (out)
            out << buildIniLine(portField, portFilterField, testDatabaseField) << CRLF;
    }
    platform_.endProgram();
}

void MainForm::keepFixedSize() {
    if (windowState == WindowState::Minimized)
        return;
    outerWidth = 5970;
    outerHeight = 4965;
}

void MainForm::addDot() {
    dotsLabel.caption += ".";
    if (utf8ToCp1252(dotsLabel.caption).size() > 10)
        dotsLabel.caption = "";
}

}  // namespace vigie
