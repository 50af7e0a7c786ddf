// The real program where users and devices push it: Close in every stage, the window closed in the
// middle of an update, a device that floods the line or sends odd bytes in its name, a server that
// fails during the download, and a working file that cannot be created.

#include <gtest/gtest.h>
#include <sys/inotify.h>

#include <QApplication>
#include <QMessageBox>
#include <QThread>
#include <QTimer>
#include <filesystem>
#include <optional>

#include "tests/faults/real_program.h"
#include "tests/support/program_texts.h"
#include "tests/support/real_program_fixture.h"

namespace vigie::test {
namespace {

namespace fs = std::filesystem;

// The download is under way: the progress event has shown its first block.
bool downloading(const MainForm& f) {
    return f.session().stage == 6 &&
           f.statusLabel.caption.rfind(text::DownloadProgressStart, 0) == 0;
}

// Lines of the server's log that start with the command.
int count(const std::string& log, const std::string& command) {
    int n = 0;
    for (std::size_t at = 0; at < log.size();) {
        const std::size_t end = std::min(log.find('\n', at), log.size());
        if (log.compare(at, command.size(), command) == 0)
            ++n;
        at = end + 1;
    }
    return n;
}

class FaultRun : public RealProgramTest {};

// ---- Close in each stage -----------------------------------------------------------------------

struct StageCase {
    int stage;
    QStringList device;  // simulator options that hold the session in the stage
    QString fault;       // of the FTP server
    bool (*reached)(const MainForm&);
};

void PrintTo(const StageCase& c, std::ostream* os) {
    *os << "stage " << c.stage;
}

class CloseInStage : public FaultRun, public ::testing::WithParamInterface<StageCase> {};

TEST_P(CloseInStage, StopsAtOnceAndLeavesTheWindowIdle) {
    const StageCase& c = GetParam();
    Server server = startServer(c.fault);
    auto device = startDevice(c.device);
    ModalWatcher watcher;
    Application app;
    startProgram(app);

    std::optional<int> barAtClose;
    watcher.onIdle = [&] {
        if (!barAtClose && app.form.sessionRunning() && c.reached(app.form)) {
            barAtClose = app.form.progressBar.value;
            EXPECT_TRUE(clickButton(app, "cmdClose"));
        }
    };
    runUpdate(app);

    ASSERT_TRUE(barAtClose.has_value())
        << "the session never reached stage " << c.stage << ": " << app.form.statusLabel.caption;
    EXPECT_TRUE(watcher.boxes.empty()) << watcher.describe();
    EXPECT_EQ(app.form.statusLabel.caption, text::Stopped);
    // The session noticed the stop at its next yield and changed nothing more.
    EXPECT_EQ(app.form.progressBar.value, *barAtClose);
    EXPECT_EQ(app.form.session().stage, c.stage);
    EXPECT_EQ(app.form.portStateLabel.caption, "Port Closed");
    expectIdle(app);
    if (c.stage <= 6) {
        EXPECT_EQ(receivedAfterStop(device), "") << "data reached the device";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Stages, CloseInStage,
    ::testing::Values(
        // A device that never answers holds stage 1; the others last at least one 2 s pass.
        StageCase{1, {"--silent"}, "", [](const MainForm& f) { return f.session().stage == 1; }},
        StageCase{2, {}, "", [](const MainForm& f) { return f.session().stage == 2; }},
        StageCase{3, {}, "", [](const MainForm& f) { return f.session().stage == 3; }},
        StageCase{4, {}, "", [](const MainForm& f) { return f.session().stage == 4; }},
        StageCase{5, {}, "", [](const MainForm& f) { return f.session().stage == 5; }},
        // In the middle of the download: the server stops sending after one block.
        StageCase{6, {}, "stall:1024", downloading},
        // In the middle of the sending: the bar has left 25 and not yet jumped to 80.
        StageCase{7,
                  {},
                  "",
                  [](const MainForm& f) {
                      return f.session().stage == 7 && f.progressBar.value > 25 &&
                             f.progressBar.value < 80;
                  }},
        StageCase{8, {"--no-end"}, "", [](const MainForm& f) { return f.session().stage == 8; }}),
    [](const auto& info) { return "Stage" + std::to_string(info.param.stage); });

// ---- The window closed during a session ---------------------------------------------------------

// Counts the writes that completed on one file of a folder.
class WriteCounter {
  public:
    WriteCounter(const fs::path& folder, std::string name) : name_(std::move(name)) {
        fd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (fd_ >= 0)
            inotify_add_watch(fd_, folder.c_str(), IN_CLOSE_WRITE);
    }
    ~WriteCounter() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    bool watching() const { return fd_ >= 0; }
    int count() {
        alignas(inotify_event) char buf[4096];
        for (ssize_t n; (n = ::read(fd_, buf, sizeof buf)) > 0;) {
            for (char* p = buf; p < buf + n;) {
                const auto* e = reinterpret_cast<const inotify_event*>(p);
                if (e->len > 0 && name_ == e->name)
                    ++writes_;
                p += sizeof(inotify_event) + e->len;
            }
        }
        return writes_;
    }

  private:
    std::string name_;
    int fd_ = -1;
    int writes_ = 0;
};

struct CloseWindowCase {
    const char* name;
    QStringList device;
    QString fault;
    bool (*reached)(const MainForm&);
};

void PrintTo(const CloseWindowCase& c, std::ostream* os) {
    *os << c.name;
}

class CloseWindow : public FaultRun, public ::testing::WithParamInterface<CloseWindowCase> {};

// As the program runs it: the session inside the event loop of the program's main, the window
// closed by the user; the loop must come back, which needs the session to have unwound.
TEST_P(CloseWindow, WritesTheSettingsOnceAndTheEventLoopEnds) {
    const CloseWindowCase& c = GetParam();
    Server server = startServer(c.fault);
    auto device = startDevice(c.device);
    const fs::path settings = dir_.path() / "config" / "vigie-k7";
    fs::create_directories(settings);
    WriteCounter writes(settings, "HD.ini");
    ASSERT_TRUE(writes.watching());
    ModalWatcher watcher;
    Application app;
    startProgram(app);

    bool closed = false;
    watcher.onIdle = [&] {
        if (!closed && app.form.sessionRunning() && c.reached(app.form)) {
            closed = true;
            app.window.close();
        }
    };
    QTimer::singleShot(0, [&] { clickButton(app, "cmdGo"); });
    const int exitCode = QApplication::exec();

    ASSERT_TRUE(closed) << app.form.statusLabel.caption;
    EXPECT_EQ(exitCode, 0);
    EXPECT_FALSE(app.form.sessionRunning());
    EXPECT_FALSE(app.port.portOpen());
    EXPECT_FALSE(app.window.isVisible());
    EXPECT_TRUE(watcher.boxes.empty()) << watcher.describe();
    // Port 1, the filter on as a first run leaves it.
    EXPECT_EQ(readFile(settings / "HD.ini"), "*1*1*\r\n");
    EXPECT_EQ(writes.count(), 1);
    EXPECT_EQ(receivedAfterStop(device), "");
}

INSTANTIATE_TEST_SUITE_P(
    During, CloseWindow,
    ::testing::Values(CloseWindowCase{"WakeUp",
                                      {"--silent"},
                                      "",
                                      [](const MainForm& f) { return f.session().stage == 1; }},
                      CloseWindowCase{"StalledDownload", {}, "stall:1024", downloading}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- The device -----------------------------------------------------------------------------

TEST_F(FaultRun, FloodWithoutLineEndKeepsTheBufferBoundedAndTheNameRecognised) {
    Server server = startServer();
    // 40,000 bytes without a CR between the wake-up reply and the name request, at the line's
    // rate as a real device sends them: more than twice what the program keeps, about ten
    // seconds of line.
    auto device = startDevice({"--flood", "40000"});
    ModalWatcher watcher;
    Application app;
    startProgram(app);

    std::size_t largest = 0;
    std::string statusAtClose;
    watcher.onIdle = [&] {
        largest = std::max(largest, app.form.session().received.size());
        if (statusAtClose.empty() && app.form.session().stage == 3) {
            statusAtClose = app.form.statusLabel.caption;
            EXPECT_TRUE(clickButton(app, "cmdClose"));
        }
    };
    runUpdate(app);

    // The last 16 KiB of what the device sent are kept: the flood was seen, and held to that.
    EXPECT_EQ(largest, 16u * 1024u);
    EXPECT_EQ(statusAtClose, text::SerialNumber + "AB12CD3");
    EXPECT_EQ(app.form.session().deviceName, "AB12CD3");
    EXPECT_EQ(app.form.statusLabel.caption, text::Stopped);
    EXPECT_TRUE(watcher.boxes.empty()) << watcher.describe();
    expectIdle(app);
}

TEST_F(FaultRun, NameWithBytesAboveAsciiIsShownAndLogsIn) {
    // é ÿ œ, the euro sign and a no-break space, upper-cased as the device's code page does it.
    const std::string name = "\xE9t\xFF\x9C\x80\xA0z";
    const std::string upper = "\xC9T\x9F\x8C\x80\xA0Z";
    // The server takes only these exact bytes as the login.
    Server server = startServer("", upper, std::string(upper.rbegin(), upper.rend()));
    auto device = startDevice({}, name);
    ModalWatcher watcher;
    Application app;
    startProgram(app);

    std::string shown;
    bool downloaded = false;
    watcher.onIdle = [&] {
        if (shown.empty() && app.form.session().stage == 3)
            shown = app.form.statusLabel.caption;
        // Stage 7: the login was taken and the database downloaded.
        if (!downloaded && app.form.session().stage == 7) {
            downloaded = true;
            EXPECT_TRUE(clickButton(app, "cmdClose"));
        }
    };
    runUpdate(app);

    EXPECT_EQ(shown, text::SerialNumber + "\u00C9T\u0178\u0152\u20AC\u00A0Z");
    EXPECT_TRUE(downloaded) << app.form.statusLabel.caption;
    EXPECT_TRUE(watcher.boxes.empty()) << watcher.describe();
    const std::string log = server.log();
    EXPECT_NE(log.find("USER \\udcc9T\\udc9f\\udc8c\\udc80\\udca0Z\n"), std::string::npos) << log;
    EXPECT_EQ(app.form.statusLabel.caption, text::Stopped);
    expectIdle(app);
}

TEST_F(FaultRun, NameWithNulIsRefusedBeforeItReachesTheServer) {
    Server server = startServer();
    ScriptedDevice device(comLink(), std::string("k7\0\xE9z12", 7));
    ASSERT_TRUE(device.ready());
    ModalWatcher watcher;
    Application app;
    startProgram(app);

    std::string shown;
    watcher.onIdle = [&] {
        if (shown.empty() && app.form.session().stage == 3)
            shown = app.form.statusLabel.caption;
    };
    runUpdate(app);

    EXPECT_EQ(shown, text::SerialNumber + std::string("K7\0", 3) + "\u00C9Z12");
    EXPECT_EQ(app.form.session().deviceName, std::string("K7\0\xC9Z12", 7));
    // No control character goes into a command: the login is refused before it is sent, and the
    // user is told so, as when the server refuses a login (not sent to check a firewall).
    ASSERT_EQ(watcher.boxes.size(), 1u) << watcher.describe();
    EXPECT_EQ(watcher.boxes[0].title, text::LoginRefusedTitle);
    EXPECT_NE(watcher.boxes[0].text.rfind(text::FirewallFirstLine, 0), 0u) << watcher.boxes[0].text;
    EXPECT_EQ(watcher.boxes[0].icon, QMessageBox::Warning);
    EXPECT_TRUE(app.form.session().loginRefused);
    EXPECT_EQ(app.form.statusLabel.caption, text::Failed);
    EXPECT_EQ(app.form.progressBar.value, 0);
    expectIdle(app);
    EXPECT_EQ(count(server.log(), "USER"), 0) << server.log();
    EXPECT_EQ(device.data(), "");
}

// ---- The server fails during the download ------------------------------------------------------

// Each failed attempt shows its box; after three, the next pass connects again and tries three
// more, without end, until the user presses Close. Each pass here meets another faulty server.
// Nothing of a broken download may reach the device.
TEST_F(FaultRun, FailedDownloadsShowTheirBoxesUntilClose) {
    const char* const faults[] = {
        "drop:1024",  // the data connection aborted after one block
        "short:100",  // the file ends early, yet the server reports success
        "reply:450 Busy, try later",
        "reply:550 Permission denied",
    };
    std::vector<Server> servers;
    for (const char* fault : faults)
        servers.push_back(startServer(fault));
    useServer(servers[0]);
    auto device = startDevice({});
    ModalWatcher watcher;
    watcher.answer = [&](const ModalWatcher::Box&) {
        if (watcher.boxes.size() % 3 == 0 && watcher.boxes.size() / 3 < servers.size())
            useServer(servers[watcher.boxes.size() / 3]);
        return QMessageBox::Ok;
    };
    Application app;
    startProgram(app);
    watcher.onIdle = [&] {
        if (watcher.boxes.size() == 3 * servers.size() && app.form.closeButton.enabled)
            clickButton(app, "cmdClose");
    };
    runUpdate(app);

    ASSERT_EQ(watcher.boxes.size(), 3 * servers.size()) << watcher.describe();
    for (const ModalWatcher::Box& box : watcher.boxes) {
        EXPECT_EQ(box.title, "Erreur");
        EXPECT_EQ(box.text, text::DownloadError);
        EXPECT_EQ(box.icon, QMessageBox::Critical);
        EXPECT_FALSE(box.yesNo);
    }
    for (std::size_t i = 0; i < servers.size(); ++i) {
        const std::string log = servers[i].log();
        EXPECT_GE(count(log, "CONNECT"), 1) << faults[i] << "\n" << log;
        EXPECT_EQ(count(log, "RETR LocationsMid.txt"), 3) << faults[i] << "\n" << log;
    }
    EXPECT_EQ(app.form.session().stage, 6);
    EXPECT_EQ(app.form.statusLabel.caption, text::Stopped);
    expectIdle(app);
    EXPECT_EQ(receivedAfterStop(device), "") << "data reached the device";
}

TEST_F(FaultRun, ServerKilledDuringTheDownloadEndsInTheFirewallBox) {
    Server server = startServer("stall:1024");
    auto device = startDevice({});
    ModalWatcher watcher;
    Application app;
    startProgram(app);

    bool killed = false;
    watcher.onIdle = [&] {
        if (!killed && downloading(app.form)) {
            killed = true;
            server.peer->kill();
        }
    };
    runUpdate(app);

    ASSERT_TRUE(killed);
    // The three attempts of the pass fail; the next pass cannot connect and the update fails.
    ASSERT_EQ(watcher.boxes.size(), 4u) << watcher.describe();
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(watcher.boxes[i].text, text::DownloadError);
        EXPECT_EQ(watcher.boxes[i].icon, QMessageBox::Critical);
    }
    EXPECT_EQ(watcher.boxes[3].title, "Erreur");
    EXPECT_EQ(watcher.boxes[3].text.rfind(text::FirewallFirstLine, 0), 0u) << watcher.boxes[3].text;
    EXPECT_EQ(watcher.boxes[3].icon, QMessageBox::Warning);
    EXPECT_EQ(app.form.statusLabel.caption, text::Failed);
    EXPECT_EQ(app.form.progressBar.value, 0);
    expectIdle(app);
    EXPECT_EQ(receivedAfterStop(device), "") << "data reached the device";
}

// ---- The working file cannot be created ---------------------------------------------------------

TEST_F(FaultRun, WorkingFileThatCannotBeCreatedTakesTheDownloadErrorHandling) {
    // Where the working file belongs, a folder: even root cannot open that for writing.
    struct Blocker {
        Blocker() { fs::create_directory(workFile()); }
        ~Blocker() {
            std::error_code ec;
            fs::remove_all(workFile(), ec);
        }
    } blocker;
    ASSERT_TRUE(fs::is_directory(workFile()));
    Server server = startServer();
    auto device = startDevice({});
    ModalWatcher watcher;
    // Yes once: stage 6 starts over with a new connection; then No.
    watcher.answer = [&](const ModalWatcher::Box&) {
        return watcher.boxes.size() == 1 ? QMessageBox::Yes : QMessageBox::No;
    };
    Application app;
    startProgram(app);
    runUpdate(app);

    ASSERT_EQ(watcher.boxes.size(), 2u) << watcher.describe();
    for (const ModalWatcher::Box& box : watcher.boxes) {
        EXPECT_EQ(box.title, text::FailedTitle);
        EXPECT_EQ(box.text, text::DownloadBox);
        EXPECT_EQ(box.icon, QMessageBox::Question);
        EXPECT_TRUE(box.yesNo);
    }
    EXPECT_EQ(count(server.log(), "CONNECT"), 2) << server.log();
    EXPECT_EQ(app.form.statusLabel.caption, text::Failed);
    EXPECT_EQ(app.form.progressBar.value, 0);
    expectIdle(app);
    EXPECT_TRUE(fs::is_directory(workFile()));
    EXPECT_EQ(receivedAfterStop(device), "") << "data reached the device";
}

}  // namespace
}  // namespace vigie::test

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
