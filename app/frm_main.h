#pragma once
// The main window's logic: its controls as models, its module-level state and its handlers.
// No toolkit here. The handlers live in two folders:
//   app/      Form_Load, Form_Unload, Form_Resize, tmrDots_Timer, the menu commands,
//             mnuMainFilter_Click (the port list)
//   session/  cmdGo_Click, tmrCheck_Timer, tmrUserUpload_Timer, Delay, stage 7, FailUpdate,
//             cmdClose_Click, OpenComPort, CloseComPort, ConnectToServer, DownloadDatabase,
//             DisconnectFromServer, mFTP_FileTransferProgress, systemEvent

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/controls.h"
#include "core/data_files.h"
#include "core/platform.h"
#include "core/runtime_error.h"
#include "core/update_log.h"
#include "ftp/cftp.h"
#include "serial/port_probe.h"
#include "serial/serial_port.h"

namespace vigie {

enum class WindowState { Normal, Minimized, Maximized };

class FrmMain {
  public:
    // The form uses, and does not own, the platform, the serial port and the port probe.
    FrmMain(Platform& platform, SerialPort& port, PortProbe& probe,
            std::unique_ptr<ftp::FtpLayer> ftpLayer);
    ~FrmMain();
    FrmMain(const FrmMain&) = delete;
    FrmMain& operator=(const FrmMain&) = delete;

    // ---- Controls -------------------------------------------------------------------------
    std::string caption = "VIGIE K7 Téléchargement ";
    WindowState windowState = WindowState::Normal;
    int outerWidth = 5970;  // twips
    int outerHeight = 4965;

    Label lblDots, lblStatus, Label6, Label8, Label3, Label7, Label5, Label11;
    ProgressBar prgb1;
    ComboBox cboPort, cboFile;
    Button cmdGo, cmdClose;
    Timer tmrCheck{5000}, tmrUserUpload{15000}, tmrDots{1456};
    MenuItem mnuMainFilter, MnuMainHelp, mnuMainTroubleshooting, mnuMainDownload, MnuMainExit;

    // ---- Module-level state ---------------------------------------------------------------
    std::unique_ptr<cFTP> mFTP;
    std::int16_t nStage = 0;
    std::int16_t nRetryCount = 0;
    std::int16_t nUploadTicks = 0;
    std::string sRxBuffer;  // bytes from the device, 8-bit characters
    std::string sDatabaseFile;
    std::string sWorkFile;
    std::string sFtpUser, sFtpPassword;  // 8-bit characters, as the device sent them
    std::int16_t nDataFile = 0;
    bool StopRequested = false;
    bool blnLoginRefused = false;

    std::string sTempPath;  // settings folder, with a trailing separator
    std::string sIniFile;
    std::string sFilterFlag;
    std::string sTestFlag;

    // ---- Handlers -------------------------------------------------------------------------
    // Start-up; false when the program must end at once (start window left without Next, or an
    // initialisation error whose box has been shown).
    bool Form_Load();
    void Form_Unload();
    void Form_Resize();
    void tmrDots_Timer();
    void mnuMainFilter_Click();
    void MnuMainHelp_Click();
    void mnuMainTroubleshooting_Click();
    void mnuMainDownload_Click();
    void MnuMainExit_Click();
    // The Click handler of the menu item of that name (layout::menu()); unknown names do nothing.
    void menuItem_Click(std::string_view name);
    void cmdGo_Click();
    void cmdClose_Click();
    void tmrCheck_Timer();
    void tmrUserUpload_Timer();
    void mFTP_FileTransferProgress(std::int32_t lCurrentBytes, std::int32_t lTotalBytes,
                                   bool blnDownload);
    // What the platform reports about holding the system and about its sleep (session/).
    void systemEvent(SystemEvent event, const std::string& detail);

    // ---- Procedures -----------------------------------------------------------------------
    bool OpenComPort(std::int32_t baudRate);
    void CloseComPort();
    bool ConnectToServer();
    bool DownloadDatabase();
    void DisconnectFromServer();
    void ShowBusyPointer();
    void ShowNormalPointer();
    void FailUpdate();
    void Delay(std::int32_t nMilliSecs);
    std::string MakeRandomText();

    // ---- Timers ---------------------------------------------------------------------------
    // The platform delivers timer ticks through these.
    std::int64_t nextTimerDue() const;  // INT64_MAX when no timer runs
    void runDueTimers(std::int64_t now);

    // ---- Helpers shared by the handlers ---------------------------------------------------
    Platform& platform() { return platform_; }
    SerialPort& MSComm1() { return port_; }
    PortProbe& portProbe() { return probe_; }
    DataFiles& files() { return files_; }
    void setTimerEnabled(Timer& timer, bool on) { timer.setEnabled(on, platform_.tickCount()); }
    // The working file's full path, beside the program.
    std::string workFilePath();
    // Where the update server lives: the built-in host or VIGIE_UPDATE_SERVER.
    static std::string updateServer();

    // The session's result after cmdGo_Click returns; for tests and diagnostics.
    bool sessionRunning() const { return sessionRunning_; }
    // Whether the form holds the system (awake, no sign-out) for an update.
    bool systemHeld() const { return systemHeld_; }
    // The log of what the program does, for support (by default the user's updates.log).
    UpdateLog& updateLog() { return log_; }
    void setUpdateLogPath(const std::string& path) { log_ = UpdateLog(path); }
    // Draws of the random generator from this source instead (values in [0, 1)); for tests that
    // need the ends of a range drawn.
    void setRandomSource(std::function<double()> source) { randomSource_ = std::move(source); }

  private:
    // Error handling in force over a part of the session; each has its own box and outcome.
    enum class Region { None, Generic, Download, FileProcessing, Sending, AfterSending };
    enum class SessionEnd { Continue, Restart, End };
    enum class PassEnd { Next, LeaveLoop, Stopped };
    SessionEnd runSession();
    PassEnd runPass(Region& region);
    PassEnd runDownload(Region& region);
    PassEnd runTransfer(Region& region);
    // The rewriting or the deletion (what) of the working file, tried again while another
    // program holds the file (core/file_retry); false when Close ended the wait.
    bool workFileRetried(const std::string& what, const std::function<void()>& operation);
    SessionEnd handleRegionError(Region region, const RuntimeError& e);
    // FailUpdate, and the idle window even when closing fails.
    void endAfterError();
    void sendToDevice(std::string_view bytes);
    // Holds the system for the update that starts, or lets it go when the update ends; each
    // happens once per update, restarts included.
    void holdSystem();
    void releaseSystem();
    friend std::string transferBoxText(Region region, const std::string& description);

    // A line of the log, at the platform's time.
    void logEvent(const std::string& text);
    // The device's name and password, as the log must never show them.
    void hideLogin();
    // A message box, and its answer, written down in the log.
    int showBox(const std::string& text, int flags, const std::string& title);
    void readSettings();
    // COM1 to COM12, then the ports above them that the system lists.
    std::vector<int> portsToOffer();
    // The list of these ports without probing, the first selected.
    void fillDefaultPortList(const std::vector<int>& ports);
    // The tooltips of the list's entries: the names the system gives these ports.
    void describePortList(const std::vector<int>& ports);
    // The database is the distributor's: a working file that a stopped or failed update left
    // behind does not outlive the program.
    void removeWorkFile();
    // At start-up: a working file that an earlier run left (a forced sign-out, a crash, a power
    // cut in the middle of an update) is overwritten with filler and deleted as after a sending,
    // and the log says so; one that cannot be deleted is left as it is.
    void wipeLeftoverWorkFile();
    void randomize();
    double rnd();  // a fresh pseudo-random value in [0, 1)

    Platform& platform_;
    SerialPort& port_;
    PortProbe& probe_;
    DataFiles files_;
    std::uint64_t rngState_ = 0;
    std::function<double()> randomSource_;
    UpdateLog log_;
    std::int16_t loggedStage_ = 0;  // the stage the log last named
    bool downloadSizeLogged_ = false;
    std::int32_t linesToSend_ = 0, linesSent_ = 0;  // the sending's progress, for the log
    bool sessionRunning_ = false;
    bool systemHeld_ = false;
    bool unloaded_ = false;
};

}  // namespace vigie
