#pragma once
// One update of the K7: the dialogue with the device over its serial port, the database's
// download from the update server, its sending to the device and the wait while the device saves
// it. "Start Update" runs it from beginning to end, a pass about every 2 seconds, yielding to the
// event queue where its timers, the Close button and the menus act on its state.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "core/controls.h"
#include "core/line_files.h"
#include "core/platform.h"
#include "core/reporter.h"
#include "core/runtime_error.h"
#include "ftp/ftp_client.h"
#include "serial/serial_port.h"
#include "session/error_boxes.h"
#include "session/session_window.h"

namespace vigie {

class UpdateSession {
  public:
    // The steps of the dialogue, in order; the window and the log show their numbers.
    enum Stage : std::int16_t {
        NotStarted = 0,
        WakingUp = 1,          // the wake-up sent until the device answers
        AwaitingUserName = 2,  // "T#FTPUN" and the device's name
        AwaitingPassword = 3,  // "T#FTPPW"
        AwaitingFileName = 4,  // "T#FTPFILEP"
        AwaitingGet = 5,       // "T#FTPGET"
        Downloading = 6,       // the database from the update server into the working file
        Sending = 7,           // the working file to the device, line by line
        Saving = 8,            // the device stores the data, until "T#END" or the saving time
        Done = 9,
    };

    // The session uses, and does not own, the platform, the serial port, the reporter and the
    // window's controls.
    UpdateSession(Platform& platform, SerialPort& port, std::unique_ptr<ftp::FtpLayer> ftpLayer,
                  Reporter& reporter, SessionWindow window, SessionPlaces places);
    ~UpdateSession();
    UpdateSession(const UpdateSession&) = delete;
    UpdateSession& operator=(const UpdateSession&) = delete;

    // ---- Commands -------------------------------------------------------------------------
    // Runs a whole update (restarts included) and returns when it has ended.
    void start();
    // Close: the update stops at its next yield and the window is idle again.
    void stop();
    // The program ends: the port closed, the system released, the working file removed, in that
    // order, whatever goes wrong.
    void shutDown();
    // What the platform reports about holding the system and about its sleep.
    void systemEvent(SystemEvent event, const std::string& detail);
    // At start-up: a working file that an earlier run left (a forced sign-out, a crash, a power
    // cut in the middle of an update) is overwritten with filler and deleted as after a sending,
    // and the log says so; one that cannot be deleted is left as it is.
    void wipeLeftoverWorkFile();

    // ---- Timers ---------------------------------------------------------------------------
    Timer retryTimer{5000}, savingTimer{15000};
    std::int64_t nextTimerDue() const;  // INT64_MAX when no timer runs
    void runDueTimers(std::int64_t now);
    void retryTick();
    void savingTick();

    // ---- The dialogue's state -------------------------------------------------------------
    std::unique_ptr<FtpClient> ftpClient;
    Stage stage = NotStarted;
    std::int16_t retries = 0;
    std::int16_t savingTicks = 0;
    std::string received;  // bytes from the device, 8-bit characters
    std::string databaseFile;
    std::string workFileName;
    std::string deviceName, devicePassword;  // 8-bit characters, as the device sent them
    bool stopRequested = false;
    bool loginRefused = false;

    // ---- Procedures -----------------------------------------------------------------------
    bool openSerialPort(std::int32_t baudRate);
    void closeSerialPort();
    bool connectToServer();
    bool downloadDatabase();
    void disconnectFromServer();
    void showBusyPointer();
    void showNormalPointer();
    void failUpdate();
    void waitFor(std::int32_t ms);
    std::string makeFillerText();
    void showDownloadProgress(std::int32_t currentBytes, std::int32_t totalBytes, bool download);

    // ---- Read access, for the window and for tests ----------------------------------------
    SerialPort& serialPort() { return port_; }
    const SerialPort& serialPort() const { return port_; }
    // Whether the working file is open, for reading or writing.
    bool workFileOpen() const { return workFileIn_.isOpen() || workFileOut_.isOpen(); }
    // The working file as the filler is written over it; tests open it as the sending does.
    LineWriter& workFileWriter() { return workFileOut_; }
    void setTimerEnabled(Timer& timer, bool on) { timer.setEnabled(on, platform_.tickCount()); }
    // The working file's full path.
    std::string workFilePath();
    // Whether an update runs (start() has not returned).
    bool sessionRunning() const { return running_; }
    // Whether the session holds the system (awake, no sign-out) for an update.
    bool systemHeld() const { return systemHeld_; }
    // Draws of the random generator from this source instead (values in [0, 1)); for tests that
    // need the ends of a range drawn.
    void setRandomSource(std::function<double()> source) { randomSource_ = std::move(source); }

  private:
    using Region = ErrorRegion;
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
    // failUpdate, and the idle window even when closing fails.
    void endAfterError();
    void sendToDevice(std::string_view bytes);
    // Holds the system for the update that starts, or lets it go when the update ends; each
    // happens once per update, restarts included.
    void holdSystem();
    void releaseSystem();
    // The database is the distributor's: a working file that a stopped or failed update left
    // behind does not outlive the program.
    void removeWorkFile();
    // Lets go of the working file, so that it can be deleted.
    void closeWorkFile() {
        workFileIn_.close();
        workFileOut_.close();
    }
    void logEvent(const std::string& text) { reporter_.logEvent(text); }
    int showBox(const std::string& text, int flags, const std::string& title) {
        return reporter_.showBox(text, flags, title);
    }
    // The device's name and password, as the log must never show them.
    void hideLogin();
    double randomFraction();  // a fresh pseudo-random value in [0, 1)

    Platform& platform_;
    SerialPort& port_;
    Reporter& reporter_;
    SessionPlaces places_;
    // The window's controls that the session changes.
    Label& statusLabel;
    Label& dotsLabel;
    Label& portStateLabel;
    Label& stageLabel;
    Label& retryCountLabel;
    ProgressBar& progressBar;
    ComboBox& portList;
    ComboBox& databaseList;
    Button& startButton;
    Button& closeButton;
    Timer& dotsTimer;

    LineReader workFileIn_;
    LineWriter workFileOut_;
    std::uint64_t rngState_ = 0;
    std::function<double()> randomSource_;
    Stage loggedStage_ = NotStarted;  // the stage the log last named
    bool downloadSizeLogged_ = false;
    std::int32_t linesToSend_ = 0, linesSent_ = 0;  // the sending's progress, for the log
    bool running_ = false;
    bool systemHeld_ = false;
    bool shutDown_ = false;
};

}  // namespace vigie
