#pragma once
// The main window's logic: its controls as models, start-up and shut-down, the settings, the menus,
// the port list and the dots. No toolkit here. An update runs in the window's UpdateSession
// (session/), which changes the controls the window lends it.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/controls.h"
#include "core/platform.h"
#include "core/reporter.h"
#include "core/update_log.h"
#include "ftp/ftp_layer.h"
#include "serial/port_probe.h"
#include "serial/serial_port.h"
#include "session/update_session.h"

namespace vigie {

enum class WindowState { Normal, Minimized, Maximized };

class MainForm {
  public:
    // The form uses, and does not own, the platform, the serial port and the port probe.
    MainForm(Platform& platform, SerialPort& port, PortProbe& probe,
             std::unique_ptr<ftp::FtpLayer> ftpLayer);
    MainForm(const MainForm&) = delete;
    MainForm& operator=(const MainForm&) = delete;

    // ---- Controls -------------------------------------------------------------------------
    std::string caption = "VIGIE K7 Téléchargement ";
    WindowState windowState = WindowState::Normal;
    int outerWidth = 5970;  // twips
    int outerHeight = 4965;

    Label dotsLabel, statusLabel;
    Label portListCaption, databaseListCaption, stageCaption;  // fixed texts
    Label portStateLabel, stageLabel, retryCountLabel;         // the strip below the window
    ProgressBar progressBar;
    ComboBox portList, databaseList;
    Button startButton, closeButton;
    Timer dotsTimer{1456};
    MenuItem portFilterMenu, helpMenu, troubleshootingMenu, downloadPageMenu, exitMenu;

    // ---- Settings -------------------------------------------------------------------------
    std::string settingsFolder;  // with a trailing separator
    std::string settingsFile;
    std::string portFilterField;
    std::string testDatabaseField;

    // ---- Handlers -------------------------------------------------------------------------
    // Start-up; false when the program must end at once (start window left without Next, or an
    // initialisation error whose box has been shown).
    bool load();
    // The program's end: the session shut down, the settings saved.
    void unload();
    // The window keeps its size whatever the user does, but for minimising.
    void keepFixedSize();
    // A tick of the dots timer.
    void addDot();
    void togglePortFilter();
    void showHelp();
    void openTroubleshootingPage();
    void openDownloadPage();
    void exitProgram();
    // The command of the menu item of that name (layout::menu()); unknown names do nothing.
    void menuCommand(std::string_view name);
    void startUpdate() { session_.start(); }
    void stopUpdate() { session_.stop(); }
    // What the platform reports about holding the system and about its sleep.
    void systemEvent(SystemEvent event, const std::string& detail) {
        session_.systemEvent(event, detail);
    }

    // ---- Timers ---------------------------------------------------------------------------
    // The platform delivers timer ticks through these: the session's and the dots'.
    std::int64_t nextTimerDue() const;  // INT64_MAX when no timer runs
    void runDueTimers(std::int64_t now);

    // ---- Helpers shared by the handlers ---------------------------------------------------
    Platform& platform() { return platform_; }
    PortProbe& portProbe() { return probe_; }
    void setTimerEnabled(Timer& timer, bool on) { timer.setEnabled(on, platform_.tickCount()); }
    // Where the update server lives: the built-in host or VIGIE_UPDATE_SERVER.
    static std::string updateServer();

    // The update that "Start Update" runs.
    UpdateSession& session() { return session_; }
    const UpdateSession& session() const { return session_; }
    // Whether an update runs; for the front ends, tests and diagnostics.
    bool sessionRunning() const { return session_.sessionRunning(); }
    // The log of what the program does, for support (by default the user's updates.log).
    UpdateLog& updateLog() { return reporter_.updateLog(); }
    void setUpdateLogPath(const std::string& path) { reporter_.setUpdateLogPath(path); }

  private:
    void logEvent(const std::string& text) { reporter_.logEvent(text); }
    int showBox(const std::string& text, int flags, const std::string& title) {
        return reporter_.showBox(text, flags, title);
    }
    void readSettings();
    // COM1 to COM12, then the ports above them that the system lists.
    std::vector<int> portsToOffer();
    // The list of these ports without probing, the first selected.
    void fillDefaultPortList(const std::vector<int>& ports);
    // The tooltips of the list's entries: the names the system gives these ports.
    void describePortList(const std::vector<int>& ports);

    Platform& platform_;
    PortProbe& probe_;
    Reporter reporter_;
    UpdateSession session_;
    bool unloaded_ = false;
};

}  // namespace vigie
