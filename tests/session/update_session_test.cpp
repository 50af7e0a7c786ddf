// The update session on its own, without the form: the controls it is lent, a reporter, a K7 and
// an FTP server in memory, in virtual time. This program links the session's library and the
// layers below it, nothing of the window.

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "core/file_path.h"
#include "core/reporter.h"
#include "session/update_session.h"
#include "tests/support/fake_k7.h"
#include "tests/support/memory_ftp_layer.h"
#include "tests/support/memory_serial_port.h"
#include "tests/support/program_texts.h"
#include "tests/support/temp_dir.h"
#include "tests/support/virtual_platform.h"

namespace vigie::test {
namespace {

namespace fs = std::filesystem;

const std::string kMarkers = "\x03\r\n\r\n368\r\n";

std::string database(int lines) {
    std::string text;
    for (int i = 1; i <= lines; ++i)
        text += "4.8" + std::to_string(i) + ",45.7,FIXE,50,Ch\xEAne " + std::to_string(i) + "\r\n";
    return text;
}

// The controls a window lends the session, as a window leaves them once loaded.
struct Controls {
    Label status, dots, portState, stage, retryCount;
    ProgressBar bar;
    ComboBox ports, databases;
    Button start, close;
    Timer dotsTimer{1456};

    Controls() {
        ports.addItem(" 1");
        ports.listIndex = 0;
        databases.addItem("Radars");
        databases.addItem("Radars/Zones a riques/Ecoles");
        databases.listIndex = 0;
        close.enabled = false;
    }
    SessionWindow window() {
        return {status, dots,      portState, stage, retryCount, bar,
                ports,  databases, start,     close, dotsTimer};
    }
};

class UpdateSessionTest : public ::testing::Test {
  public:
    UpdateSessionTest() : platform_(pathText(dir_.path())), k7_(platform_, port_) {
        auto layer = std::make_unique<MemoryFtpLayer>();
        ftp_ = layer.get();
        ftp_->users["ABC1234"] = "4321CBA";
        ftp_->files["LocationsMid.txt"] = database(110);
        session_ = std::make_unique<UpdateSession>(
            platform_, port_, std::move(layer), reporter_, controls_.window(),
            SessionPlaces{[this] { return server_; }, [this] { return pathText(dir_.path()); }});
        session_->workFileName = "temp.hd";
        // The session's timers and the window's dots, as the window delivers them.
        platform_.attach(*this);
    }

    std::int64_t nextTimerDue() const {
        const std::int64_t due = session_->nextTimerDue();
        return controls_.dotsTimer.enabled() ? std::min(due, controls_.dotsTimer.dueAt()) : due;
    }
    void runDueTimers(std::int64_t now) {
        session_->runDueTimers(now);
        if (controls_.dotsTimer.isDue(now)) {
            controls_.dotsTimer.fired(now);
            controls_.dots.caption += ".";
        }
    }

  protected:
    // Runs the action once, at the first yield where the condition holds.
    void once(std::function<bool()> condition, std::function<void()> action) {
        platform_.onYield = [this, condition, action, done = false]() mutable {
            if (!done && condition()) {
                done = true;
                action();
            }
        };
    }

    // The window as every ending leaves it: idle, ready for another update.
    void expectIdle() {
        EXPECT_FALSE(port_.portOpen());
        EXPECT_FALSE(session_->sessionRunning());
        EXPECT_FALSE(session_->systemHeld());
        EXPECT_FALSE(platform_.systemHeld);
        EXPECT_TRUE(controls_.start.enabled);
        EXPECT_FALSE(controls_.close.enabled);
        EXPECT_TRUE(controls_.ports.enabled);
        EXPECT_TRUE(controls_.databases.enabled);
        EXPECT_FALSE(session_->retryTimer.enabled());
        EXPECT_FALSE(session_->savingTimer.enabled());
        EXPECT_FALSE(controls_.dotsTimer.enabled());
        EXPECT_EQ(controls_.dots.caption, "");
        EXPECT_EQ(controls_.portState.caption, "Port Closed");
    }
    fs::path workFile() const { return dir_.path() / "temp.hd"; }

    TempDir dir_;
    VirtualPlatform platform_;
    MemorySerialPort port_;
    FakeK7 k7_;
    MemoryFtpLayer* ftp_ = nullptr;
    std::string server_ = "127.0.0.1:2121";
    Reporter reporter_{platform_, pathText(dir_.path() / "updates.log")};
    Controls controls_;
    std::unique_ptr<UpdateSession> session_;
};

TEST_F(UpdateSessionTest, AWholeUpdateSendsTheDatabaseAndEndsIdleWithTheSuccessText) {
    session_->start();

    EXPECT_EQ(session_->stage, UpdateSession::Done);
    EXPECT_EQ(controls_.status.caption, text::Success);
    EXPECT_EQ(controls_.bar.value, 100);
    EXPECT_EQ(k7_.received, ftp_->files["LocationsMid.txt"] + kMarkers);
    EXPECT_EQ(ftp_->log.front(), "CONNECT ABC1234");
    EXPECT_EQ(ftp_->openHandles(), 0u);
    EXPECT_FALSE(fs::exists(workFile()));
    EXPECT_TRUE(platform_.boxes.empty());
    // Held while the update ran, released once at its end.
    ASSERT_EQ(platform_.holdCalls.size(), 2u);
    EXPECT_TRUE(platform_.holdCalls[0].hold);
    EXPECT_FALSE(platform_.holdCalls[1].hold);
    expectIdle();
}

TEST_F(UpdateSessionTest, CloseInTheMiddleOfTheSendingStopsTheLinesAndSendsNoEndMarkers) {
    once([&] { return session_->stage == UpdateSession::Sending && k7_.received.size() > 500; },
         [&] { session_->stop(); });
    session_->start();

    EXPECT_EQ(controls_.status.caption, text::Stopped);
    EXPECT_GT(k7_.received.size(), 500u);
    EXPECT_LT(k7_.received.size(), ftp_->files["LocationsMid.txt"].size());
    EXPECT_EQ(k7_.received.find('\x03'), std::string::npos);
    EXPECT_TRUE(platform_.boxes.empty());
    expectIdle();
    // The working file goes with the program.
    session_->shutDown();
    EXPECT_FALSE(fs::exists(workFile()));
}

TEST_F(UpdateSessionTest, CloseWhileTheServerIsBeingReachedEndsWithoutABox) {
    // The connection waits for the server: Close comes while it does.
    ftp_->yieldWhileWaiting = true;
    once([&] { return ftp_->connectCalls == 1; }, [&] { session_->stop(); });
    session_->start();

    EXPECT_EQ(controls_.status.caption, text::Stopped);
    EXPECT_TRUE(platform_.boxes.empty());
    EXPECT_EQ(ftp_->connectCalls, 1);
    EXPECT_TRUE(ftp_->log.empty());  // the login never reached the server
    EXPECT_EQ(ftp_->openHandles(), 0u);
    EXPECT_EQ(k7_.received, "");
    EXPECT_FALSE(fs::exists(workFile()));
    EXPECT_FALSE(session_->loginRefused);
    expectIdle();
}

TEST_F(UpdateSessionTest, ASilentDeviceReachesTheGiveUpTextWithTheWrongPortHint) {
    k7_.silent = true;
    session_->start();

    EXPECT_EQ(controls_.status.caption, text::GiveUp + text::WrongPort);
    EXPECT_EQ(session_->stage, UpdateSession::WakingUp);
    EXPECT_EQ(session_->retries, 10);
    // The first wake-up, then one at every retry: the count starts at 3 and gives up at 10.
    EXPECT_EQ(k7_.wakeUpTimes.size(), 8u);
    EXPECT_TRUE(ftp_->log.empty());
    EXPECT_TRUE(platform_.boxes.empty());
    expectIdle();
}

}  // namespace
}  // namespace vigie::test
