// The K7 simulator driven through the real serial layer: the whole dialogue on a pseudo-terminal,
// and the misbehaving devices it can play.

#include <gtest/gtest.h>

#include <QProcess>
#include <chrono>
#include <functional>

#include "core/runtime_error.h"
#include "serial/qt_serial_port.h"
#include "session/device_link.h"
#include "tests/serial/event_pump.h"
#include "tests/support/form_fixture.h"
#include "tests/support/scoped_env.h"

namespace vigie::test {
namespace {

namespace fs = std::filesystem;

class Simulator {
  public:
    explicit Simulator(const QStringList& args) {
        process_.setProgram(K7SIM_PATH);
        process_.setArguments(args);
        process_.setProcessChannelMode(QProcess::MergedChannels);
        process_.start();
        ready_ = waitForLog("ready\n");
    }
    ~Simulator() {
        if (process_.state() != QProcess::NotRunning) {
            process_.terminate();
            if (!process_.waitForFinished(3000))
                process_.kill();
            process_.waitForFinished(3000);
        }
    }
    bool ready() const { return ready_; }
    bool waitForLog(const std::string& text) {
        return pumpUntil([&] {
            log_ += process_.readAll().toStdString();
            return log_.find(text) != std::string::npos;
        });
    }
    const std::string& log() {
        log_ += process_.readAll().toStdString();
        return log_;
    }
    // Exit code once the simulator has ended by itself or after SIGTERM; -1 when it does not end.
    int finish(bool terminate = false) {
        if (terminate)
            process_.terminate();
        if (!process_.waitForFinished(5000))
            return -1;
        log();
        return process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1;
    }

  private:
    QProcess process_;
    std::string log_;
    bool ready_ = false;
};

class K7SimTest : public ::testing::Test {
  protected:
    K7SimTest() {
        fs::create_directories(comDir());
        env_.set("VIGIE_COM_DIR", comDir().string());
    }

    fs::path comDir() const { return dir_.path() / "com"; }
    fs::path received() const { return dir_.path() / "received"; }
    QStringList args(QStringList extra) const {
        return QStringList{"--link", QString::fromStdString((comDir() / "COM1").string()), "--out",
                           QString::fromStdString(received().string())} +
               extra;
    }

    void open() {
        port_.setCommPort(1);
        port_.setSettings("38400,N,8,1");
        port_.setInputLen(0);
        port_.setPortOpen(true);
    }
    // Collects what the device sends until pred holds for it.
    bool waitFor(const std::function<bool(const std::string&)>& pred) {
        return pumpUntil([&] {
            rx_ += port_.input();
            return pred(rx_);
        });
    }
    bool waitForRequest(std::string_view keyword) {
        return waitFor([&](const std::string& b) { return link::hasRequest(b, keyword); });
    }
    // The program's side of the dialogue up to the data stream; returns the user name.
    std::string login() {
        rx_.clear();
        port_.output(std::string(link::WakeUp));
        EXPECT_TRUE(waitFor(link::isWakeUpReply));
        EXPECT_TRUE(waitForRequest(link::UserNameRequest)) << rx_;
        const std::string user = link::cutUserName(rx_);
        for (std::string_view next : {link::PasswordRequest, link::FileRequest, link::GetRequest}) {
            rx_.clear();
            port_.output(std::string(link::Ack));
            EXPECT_TRUE(waitForRequest(next)) << next;
        }
        rx_.clear();
        port_.output(std::string(link::TransferStart));
        return user;
    }
    // Sends the lines and the end markers; returns the bytes that went out.
    std::string sendData(const std::vector<std::string>& lines) {
        std::string sent;
        for (const std::string& line : lines) {
            sent += link::DataLine(line);
            port_.output(link::DataLine(line));
        }
        sent += std::string(link::EndOfData) + std::string(link::TransferDone);
        port_.output(std::string(link::EndOfData));
        port_.output(std::string(link::TransferDone));
        return sent;
    }

    TempDir dir_;
    ScopedEnv env_;
    QtSerialPort port_;
    std::string rx_;
};

TEST_F(K7SimTest, PlaysAWholeUpdate) {
    Simulator sim(args({"--name", "ab12cd3", "--end-delay", "0", "--once"}));
    ASSERT_TRUE(sim.ready()) << sim.log();
    open();

    EXPECT_EQ(login(), "AB12CD3");
    std::string everyByte;
    for (int b = 0; b < 256; ++b)
        if (b != '\r' && b != '\n')
            everyByte += static_cast<char>(b);
    const std::string sent = sendData({everyByte, "", "1,45.123,FIXE,50,Pont-L\xE9ger"});
    EXPECT_TRUE(waitFor(link::hasEndReport)) << sim.log();
    port_.setPortOpen(false);

    EXPECT_EQ(sim.finish(), 0) << sim.log();  // the port closed: the session is over
    EXPECT_EQ(readFile(received()), sent);
    EXPECT_FALSE(fs::is_symlink(comDir() / "COM1"));  // removed on the way out
    const std::string& log = sim.log();
    for (const char* seen :
         {"<- WakeUp", "-> T#FTPUN ab12cd3", "-> T#FTPPW 3dc21ba", "<- Ack", "<- TransferStart",
          "<- line 3", "<- EndOfData", "<- TransferDone", "-> T#END"})
        EXPECT_NE(log.find(seen), std::string::npos) << seen << "\n" << log;
}

TEST_F(K7SimTest, WithoutEndReportWaitsForThePortToClose) {
    Simulator sim(args({"--no-end", "--once"}));
    ASSERT_TRUE(sim.ready());
    open();
    // The program repeats its acknowledgement while it waits for the get request: the device
    // takes no notice.
    rx_.clear();
    port_.output(std::string(link::WakeUp));
    ASSERT_TRUE(waitForRequest(link::UserNameRequest));
    for (std::string_view next : {link::PasswordRequest, link::FileRequest, link::GetRequest}) {
        rx_.clear();
        port_.output(std::string(link::Ack));
        ASSERT_TRUE(waitForRequest(next)) << next;
    }
    port_.output(std::string(link::Ack));
    EXPECT_TRUE(sim.waitForLog("<- Ack (repeated, ignored)")) << sim.log();
    rx_.clear();
    port_.output(std::string(link::TransferStart));
    const std::string sent = sendData({"only line"});
    EXPECT_TRUE(sim.waitForLog("(no T#END)")) << sim.log();
    EXPECT_FALSE(link::hasEndReport(rx_ + port_.input()));
    port_.setPortOpen(false);
    EXPECT_EQ(sim.finish(), 0) << sim.log();
    EXPECT_EQ(readFile(received()), sent);
}

TEST_F(K7SimTest, ServesOneSessionAfterAnotherAndLeavesOnSigterm) {
    Simulator sim(args({"--name", "K7LOOP1", "--loop"}));
    ASSERT_TRUE(sim.ready()) << sim.log();
    for (int session = 1; session <= 2; ++session) {
        SCOPED_TRACE(session);
        open();
        EXPECT_EQ(login(), "K7LOOP1");
        const std::string sent = sendData({"session " + std::to_string(session)});
        EXPECT_TRUE(waitFor(link::hasEndReport)) << sim.log();
        port_.setPortOpen(false);
        EXPECT_TRUE(sim.waitForLog("(port closed: waiting for the next session)")) << sim.log();
        EXPECT_EQ(readFile(received()), sent);
    }
    EXPECT_TRUE(fs::is_symlink(comDir() / "COM1"));
    EXPECT_EQ(sim.finish(true), 0);
    EXPECT_FALSE(fs::is_symlink(comDir() / "COM1"));
}

TEST_F(K7SimTest, ASilentDeviceNeverAnswers) {
    Simulator sim(args({"--silent"}));
    ASSERT_TRUE(sim.ready());
    open();
    port_.output(std::string(link::WakeUp));
    EXPECT_TRUE(sim.waitForLog("(silent: no answer)"));
    EXPECT_EQ(sim.log().find("\n-> "), std::string::npos) << sim.log();
}

TEST_F(K7SimTest, ADeviceThatStopsAfterARequestIgnoresTheAnswer) {
    Simulator sim(args({"--stop-after", "FTPPW"}));
    ASSERT_TRUE(sim.ready());
    open();
    port_.output(std::string(link::WakeUp));
    ASSERT_TRUE(waitForRequest(link::UserNameRequest));
    rx_.clear();
    port_.output(std::string(link::Ack));
    ASSERT_TRUE(waitForRequest(link::PasswordRequest));
    port_.output(std::string(link::Ack));
    EXPECT_TRUE(sim.waitForLog("<- Ack (stopped: no answer)")) << sim.log();
    EXPECT_EQ(sim.log().find("T#FTPFILEP"), std::string::npos) << sim.log();
}

TEST_F(K7SimTest, AFloodComesBeforeTheUserNameAtTheLinesRate) {
    Simulator sim(args({"--name", "FLOOD01", "--flood", "4000"}));
    ASSERT_TRUE(sim.ready());
    open();
    const auto sent = std::chrono::steady_clock::now();
    port_.output(std::string(link::WakeUp));
    ASSERT_TRUE(waitForRequest(link::UserNameRequest));
    // 4,000 bytes at 3,840 a second take 1.04 s: never less, however the machine is doing.
    EXPECT_GE(std::chrono::steady_clock::now() - sent, std::chrono::milliseconds(1000));
    EXPECT_GE(rx_.size(), 4000u + 3 + 7 + 8);
    EXPECT_EQ(rx_.find('\r'), rx_.size() - 1);  // the flood carries no CR
    EXPECT_EQ(link::cutUserName(rx_), "FLOOD01");
}

TEST_F(K7SimTest, ADeviceThatVanishesBreaksTheNextReadOrWrite) {
    Simulator sim(args({"--vanish-after", "2"}));
    ASSERT_TRUE(sim.ready());
    open();
    login();
    std::int32_t error = 0;
    int line = 0;
    EXPECT_TRUE(pumpUntil([&] {
        try {
            port_.output(link::DataLine("line " + std::to_string(++line)));
            port_.input();
        } catch (const RuntimeError& e) {
            error = e.Number;
        }
        return error != 0;
    }));
    EXPECT_TRUE(error == err::ReadError || error == err::WriteError) << error;
    EXPECT_TRUE(port_.portOpen());
    port_.setPortOpen(false);
    EXPECT_EQ(sim.finish(), 0);
    EXPECT_EQ(readFile(received()).rfind("line 1\r\nline 2\r\n", 0), 0u);
    EXPECT_FALSE(fs::is_symlink(comDir() / "COM1"));  // gone, like an adapter pulled out
}

TEST_F(K7SimTest, ADeviceThatSleepsThroughTheFirstWakeUpsAnswersTheNext) {
    Simulator sim(args({"--ignore-wakeups", "2"}));
    ASSERT_TRUE(sim.ready());
    open();
    const auto ignoredSoFar = [&sim] {
        std::size_t n = 0;
        for (std::size_t at = sim.log().find("(ignored)"); at != std::string::npos;
             at = sim.log().find("(ignored)", at + 1))
            ++n;
        return n;
    };
    for (std::size_t i = 1; i <= 2; ++i) {
        port_.output(std::string(link::WakeUp));
        ASSERT_TRUE(pumpUntil([&] { return ignoredSoFar() == i; })) << sim.log();
    }
    EXPECT_EQ(port_.input(), "");
    port_.output(std::string(link::WakeUp));
    EXPECT_TRUE(waitForRequest(link::UserNameRequest)) << sim.log();
    // Every wake-up is logged with the time it came, the ignored ones marked.
    std::size_t seen = 0, ignored = 0;
    for (std::size_t at = sim.log().find("<- WakeUp at "); at != std::string::npos;
         at = sim.log().find("<- WakeUp at ", at + 1)) {
        ++seen;
        const std::size_t end = sim.log().find('\n', at);
        if (sim.log().substr(at, end - at).find(" s (ignored)") != std::string::npos)
            ++ignored;
    }
    EXPECT_EQ(seen, 3u) << sim.log();
    EXPECT_EQ(ignored, 2u) << sim.log();
}

}  // namespace
}  // namespace vigie::test
