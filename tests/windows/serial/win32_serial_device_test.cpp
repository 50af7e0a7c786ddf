// The Win32 serial port under Wine against real devices on the Linux side: a pseudo-terminal that
// the driver script (device_driver.py) links as the prefix's COMn and watches, and the K7
// simulator. Each test runs alone under a driver scenario of its own, which makes a fresh device,
// sets VIGIE_TEST_COM (and the other variables named below) and plays the device's side.

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>

#include "serial/linux_port_probe.h"
#include "session/device_link.h"
#include "tests/support/files.h"
#include "tests/windows/serial/serial_test_support.h"

namespace vigie::test {
namespace {

using namespace std::chrono_literals;

int testPort() {
    return std::atoi(driverSetting("VIGIE_TEST_COM").c_str());
}

// Reads until pred holds for everything received so far.
bool readUntil(Win32SerialPort& port, std::string& received,
               const std::function<bool(const std::string&)>& pred) {
    return pollUntil(
        [&] {
            received += port.input();
            return pred(received);
        },
        10s);
}

std::string everyByteValue() {
    std::string all;
    for (int b = 0; b < 256; ++b)
        all += static_cast<char>(b);
    return all;
}

// ---- A pseudo-terminal as COMn -----------------------------------------------------------------

class PtyPort : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_GT(com_, 0) << "run by device_driver.py"; }
    const int com_ = testPort();
};

// Scenario "probe": a pseudo-terminal nobody answers on as COMn, a plain file as another port.
TEST_F(PtyPort, FindsThePortAndReleasesAFileThatIsNoPort) {
    SystemPortProbe probe;
    EXPECT_EQ(probe.probe(com_), ProbeResult::Opened);

    // The driver links VIGIE_TEST_FILE_COM to a plain file: it opens, but it is no serial port.
    const int fileCom = std::atoi(driverSetting("VIGIE_TEST_FILE_COM").c_str());
    ASSERT_GT(fileCom, 0);
    Win32SerialPort port;
    std::int32_t firstError = 0;
    try {
        openPort(port, fileCom);
        ADD_FAILURE() << "a plain file opened as a port";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.Number, err::PortOpenFailed);
        firstError = e.LastDllError;
    }
    EXPECT_FALSE(port.portOpen());
    // Let go at once: an open without sharing finds the file free, and a second try fails as the
    // first did, not on a handle the first one kept.
    EXPECT_EQ(probe.probe(fileCom), ProbeResult::Opened);
    try {
        openPort(port, fileCom);
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.LastDllError, firstError);
    }
}

// Scenario "bytes": the driver checks the line settings and every byte, and answers.
TEST_F(PtyPort, OpensAtTheLineSettingsAndCarriesEveryByteBothWays) {
    Win32SerialPort port;
    openPort(port, com_);
    EXPECT_TRUE(port.portOpen());
    EXPECT_EQ(errorOf([&] { port.setPortOpen(true); }), err::PortAlreadyOpen);
    EXPECT_TRUE(port.portOpen());
    EXPECT_EQ(port.input(), "");  // nothing came yet, and the read did not wait

    // Writes go out whole and in order; the driver checks the bytes and the line settings, then
    // answers with the same bytes in reverse order.
    const std::string all = everyByteValue();
    port.output(all.substr(0, 100));
    port.output(all.substr(100, 1));
    port.output("");
    port.output(all.substr(101));

    port.setInputLen(3);
    std::string received;
    bool chunksWithinLimit = true;
    EXPECT_TRUE(pollUntil(
        [&] {
            const std::string chunk = port.input();
            chunksWithinLimit = chunksWithinLimit && chunk.size() <= 3;
            received += chunk;
            return received.size() >= all.size();
        },
        10s));
    EXPECT_TRUE(chunksWithinLimit);
    EXPECT_EQ(received, std::string(all.rbegin(), all.rend()));
    port.setInputLen(0);
    EXPECT_EQ(port.input(), "");  // taken by the previous reads

    port.setPortOpen(false);
    EXPECT_FALSE(port.portOpen());
}

// Scenario "settings".
TEST_F(PtyPort, SettingsChangedWhileOpenApplyAtOnce) {
    Win32SerialPort port;
    openPort(port, com_);
    port.setSettings("9600,N,8,2");
    port.output("!");  // the driver checks the line now, and answers "k"
    std::string received;
    EXPECT_TRUE(readUntil(port, received, [](const std::string& r) { return r == "k"; }))
        << received;
    port.setPortOpen(false);
}

// Scenario "stall": the device stops taking data once it has read "#".
TEST_F(PtyPort, ADeviceThatTakesNoDataFailsTheWriteWithinItsTimeLimit) {
    const std::string shared = driverSetting("VIGIE_TEST_DIR");
    ASSERT_FALSE(shared.empty());
    Win32SerialPort port;
    openPort(port, com_);
    port.output("#");
    const std::string block(200, 'x');
    std::int32_t writeError = 0;
    auto failedWrite = std::chrono::steady_clock::duration::zero();
    // Far more than the pseudo-terminal holds.
    for (int i = 0; i < 1000 && writeError == 0; ++i) {
        const auto start = std::chrono::steady_clock::now();
        writeError = errorOf([&] { port.output(block); });
        failedWrite = std::chrono::steady_clock::now() - start;
    }
    EXPECT_EQ(writeError, err::WriteError);
    // The write waited for the device its time limit, and not much longer (a margin for a loaded
    // machine): the window is not frozen for good.
    const auto limit = std::chrono::milliseconds(Win32SerialPort::WriteTimeoutMs +
                                                 Win32SerialPort::WriteTimeoutPerByteMs * 200);
    EXPECT_GE(failedWrite, limit - std::chrono::milliseconds(50));
    EXPECT_LT(failedWrite, limit + std::chrono::seconds(3));
    EXPECT_TRUE(port.deviceLost());
    EXPECT_TRUE(port.portOpen());
    port.setPortOpen(false);
    std::ofstream(shared + "\\write-gave-up") << "done";  // the driver reads again
}

// Scenario "gone": the device goes away once it has read "?".
TEST_F(PtyPort, ADeviceThatGoesAwayFailsTheNextWriteAndEveryLaterUse) {
    Win32SerialPort port;
    openPort(port, com_);
    port.output("?");  // the driver closes both sides of the pseudo-terminal

    std::int32_t writeError = 0;
    EXPECT_TRUE(pollUntil(
        [&] {
            writeError = errorOf([&] { port.output("x"); });
            return writeError != 0;
        },
        10s));
    EXPECT_EQ(writeError, err::WriteError);
    EXPECT_TRUE(port.deviceLost());
    EXPECT_TRUE(port.portOpen());  // until the program closes it
    EXPECT_EQ(errorOf([&] { port.input(); }), err::ReadError);
    EXPECT_EQ(errorOf([&] { port.output("x"); }), err::WriteError);

    port.setPortOpen(false);
    EXPECT_FALSE(port.portOpen());
    EXPECT_FALSE(port.deviceLost());
    EXPECT_EQ(errorOf([&] { port.output("x"); }), 0);
    EXPECT_EQ(port.input(), "");
    // The link now leads nowhere: the port is missing.
    EXPECT_EQ(errorOf([&] { openPort(port, com_); }), err::InvalidPortNumber);
}

// ---- The K7 simulator as COMn (scenarios "dialogue" and "vanish") -------------------------------

class K7Dialogue : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_GT(com_, 0) << "run by device_driver.py --scenario dialogue or vanish";
        ASSERT_FALSE(shared_.empty()) << "VIGIE_TEST_DIR";
        openPort(port_, com_);
    }

    bool waitFor(const std::function<bool(const std::string&)>& pred) {
        return readUntil(port_, rx_, pred);
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
        rx_.clear();
        port_.output(std::string(link::Ack));
        EXPECT_TRUE(waitForRequest(link::PasswordRequest)) << rx_;
        EXPECT_NE(rx_.find(link::passwordFor(user)), std::string::npos) << rx_;
        for (std::string_view next : {link::FileRequest, link::GetRequest}) {
            rx_.clear();
            port_.output(std::string(link::Ack));
            EXPECT_TRUE(waitForRequest(next)) << next;
        }
        rx_.clear();
        port_.output(std::string(link::TransferStart));
        return user;
    }
    // What the simulator wrote down of the data stream.
    std::string received() const { return readFile(shared_ + "\\received"); }

    const int com_ = testPort();
    const std::string shared_ = driverSetting("VIGIE_TEST_DIR");
    Win32SerialPort port_;
    std::string rx_;
};

TEST_F(K7Dialogue, PlaysAWholeUpdate) {
    EXPECT_EQ(login(), "AB12CD3");
    std::string everyByte;
    for (char c : everyByteValue())
        if (c != '\r' && c != '\n')
            everyByte += c;
    std::string sent;
    for (const std::string& line :
         {everyByte, std::string(), std::string("1,45.1,FIXE,50,L\xE9")}) {
        sent += link::DataLine(line);
        port_.output(link::DataLine(line));
    }
    for (std::string_view marker : {link::EndOfData, link::TransferDone}) {
        sent += marker;
        port_.output(std::string(marker));
    }
    EXPECT_TRUE(waitFor(link::hasEndReport)) << rx_;
    port_.setPortOpen(false);  // the simulator's session ends with the port
    EXPECT_EQ(received(), sent);
}

TEST_F(K7Dialogue, ADeviceThatVanishesFailsTheNextRead) {
    login();
    port_.output(link::DataLine("line 1"));
    port_.output(link::DataLine("line 2"));  // the simulator vanishes on this line

    // Reads alone must notice: nothing is written any more.
    std::int32_t readError = 0;
    EXPECT_TRUE(pollUntil(
        [&] {
            readError = errorOf([&] { rx_ += port_.input(); });
            return readError != 0;
        },
        10s));
    EXPECT_EQ(readError, err::ReadError);
    EXPECT_TRUE(port_.deviceLost());
    EXPECT_TRUE(port_.portOpen());
    EXPECT_EQ(errorOf([&] { port_.output(link::DataLine("line 3")); }), err::WriteError);

    port_.setPortOpen(false);
    EXPECT_FALSE(port_.portOpen());
    EXPECT_EQ(received(), "line 1\r\nline 2\r\n");
    // Gone like an adapter pulled out: the port no longer exists.
    EXPECT_EQ(errorOf([&] { openPort(port_, com_); }), err::InvalidPortNumber);
}

}  // namespace
}  // namespace vigie::test
