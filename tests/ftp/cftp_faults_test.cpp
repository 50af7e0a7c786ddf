// cFTP against servers that fail in the middle: dropped, short, long, refused and stalled
// transfers, and a server that never answers.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "tests/ftp/cftp_harness.h"
#include "tests/ftp/ftp_test_server.h"
#include "tests/support/form_fixture.h"

namespace vigie::test {
namespace {

using ::testing::StartsWith;

struct Fault {
    const char* name;
    std::string fault;
    std::int32_t size;
    std::string recorded;  // start of the recorded text
    std::size_t events;    // progress events before the failure
};

void PrintTo(const Fault& f, std::ostream* os) {
    *os << f.name;
}

class CftpFault : public ::testing::TestWithParam<Fault> {};

TEST_P(CftpFault, FailsTheDownloadWithAReadRecordAndKeepsTheConnectionUsable) {
    const Fault& f = GetParam();
    FtpTestServer server({{"K7ABCDE", "pw1"}}, f.fault);
    const std::string bytes = testBytes(static_cast<std::size_t>(f.size), 17);
    server.putFile("db.txt", bytes);
    TempDir dir;
    Harness h;
    ASSERT_TRUE(h.ftp->OpenConnection(server.address(), "K7ABCDE", "pw1"));
    std::string sLocal = (dir.path() / "db.txt").string();
    std::string sRemote = "db.txt";
    EXPECT_FALSE(h.ftp->FTPDownloadFile(sLocal, sRemote));
    EXPECT_THAT(h.ftp->GetLastErrorMessage(), StartsWith(f.recorded));
    // No final event: nothing claims that the whole file arrived.
    ASSERT_EQ(h.events.size(), f.events);
    for (std::size_t k = 0; k < f.events; ++k)
        EXPECT_EQ(h.events[k],
                  (Progress{static_cast<std::int32_t>(1 + 1024 * (k + 1)), f.size, true}));
    // What was written are the server's own bytes.
    const std::string kept = readFileBytes(sLocal);
    EXPECT_EQ(kept, bytes.substr(0, kept.size()));
    // A failed transfer does not block the retry that follows on the same connection.
    EXPECT_EQ(h.ftp->GetFTPFileSize("db.txt"), f.size) << h.ftp->GetLastErrorMessage();
}

INSTANTIATE_TEST_SUITE_P(
    Transfers, CftpFault,
    ::testing::Values(
        Fault{"DroppedDataConnection", "drop:2500", 5000, "InternetReadFile error code: 12030", 2},
        Fault{"DroppedInTheLastBlock", "drop:2900", 3000, "InternetReadFile2 error code: 12030", 2},
        Fault{"ShortInAFullBlock", "short:1100", 3000, "InternetReadFile error code: 12030", 1},
        Fault{"ShortInTheLastBlock", "short:100", 3000, "InternetReadFile2 error code: 12030", 2},
        Fault{"ShortByOneByte", "short:1", 2048, "InternetReadFile error code: 12030", 1},
        Fault{"LongerThanListed", "extra:10", 3000, "InternetReadFile2 error code: 12030", 2},
        Fault{"LongerThanListedWholeBlocks", "extra:1", 2048, "InternetReadFile2 error code: 12030",
              2},
        Fault{"StalledTransfer", "stall:1500", 5000, "InternetReadFile error code: 12002", 1},
        Fault{"StalledAfterTheLastByte", "stall:3000", 3000, "InternetReadFile2 error code: 12002",
              2}),
    [](const ::testing::TestParamInfo<Fault>& info) { return std::string(info.param.name); });

TEST(CftpFaults, RefusedRetrieveLeavesTheServerReply) {
    FtpTestServer server({{"K7ABCDE", "pw1"}}, "reply:451 Requested action aborted.");
    server.putFile("db.txt", testBytes(3000, 1));
    TempDir dir;
    Harness h;
    ASSERT_TRUE(h.ftp->OpenConnection(server.address(), "K7ABCDE", "pw1"));
    std::string sLocal = (dir.path() / "db.txt").string();
    std::string sRemote = "db.txt";
    EXPECT_FALSE(h.ftp->FTPDownloadFile(sLocal, sRemote));
    EXPECT_EQ(h.ftp->GetLastErrorMessage(), "451 Requested action aborted.");
    EXPECT_TRUE(h.events.empty());
    EXPECT_FALSE(fileExists(sLocal));
}

TEST(CftpFaults, StalledTransferYieldsWhileItWaitsWithoutSpinning) {
    FtpTestServer server({{"K7ABCDE", "pw1"}}, "stall:0");
    server.putFile("db.txt", testBytes(3000, 1));
    TempDir dir;
    Harness h;
    ASSERT_TRUE(h.ftp->OpenConnection(server.address(), "K7ABCDE", "pw1"));
    const int before = h.yields;
    std::string sLocal = (dir.path() / "db.txt").string();
    std::string sRemote = "db.txt";
    EXPECT_FALSE(h.ftp->FTPDownloadFile(sLocal, sRemote));
    EXPECT_THAT(h.ftp->GetLastErrorMessage(), StartsWith("InternetReadFile error code: 12002"));
    // About one yield per poll interval during the second of silence; a busy loop would make
    // millions.
    EXPECT_GT(h.yields - before, 5);
    EXPECT_LT(h.yields - before, 5000);
}

TEST(CftpFaults, SilentServerEndsInAConnectTimeout) {
    SilentServer silent;
    ftp::CurlFtpOptions options = fastOptions();
    options.connectTimeoutMs = 300;
    Harness h(options);
    EXPECT_FALSE(h.ftp->OpenConnection(silent.address(), "K7ABCDE", "pw1"));
    EXPECT_THAT(h.ftp->GetLastErrorMessage(), StartsWith("InternetConnect error code: 12002"));
    EXPECT_GT(h.yields, 2);                 // the window kept its turns while the connect waited
    EXPECT_EQ(h.curl().openHandles(), 1u);  // the session handle, as after any failed connect
    h.ftp->CloseConnection();
    EXPECT_EQ(h.curl().openHandles(), 0u);
}

TEST(CftpFaults, CloseWhileTheConnectWaitsCancelsIt) {
    SilentServer silent;
    ftp::CurlFtpOptions options = fastOptions();
    options.connectTimeoutMs = 60'000;  // only the close can end this connect in time
    Harness h(options);
    h.onYield = [&] {
        if (h.yields == 5)
            h.ftp->CloseConnection();
    };
    EXPECT_FALSE(h.ftp->OpenConnection(silent.address(), "K7ABCDE", "pw1"));
    EXPECT_THAT(h.ftp->GetLastErrorMessage(), StartsWith("InternetConnect error code: 12017"));
    EXPECT_EQ(h.curl().openHandles(), 0u);
}

TEST(CftpFaults, CloseWhileAReadWaitsCancelsIt) {
    FtpTestServer server({{"K7ABCDE", "pw1"}}, "stall:1500");
    server.putFile("db.txt", testBytes(5000, 1));
    TempDir dir;
    ftp::CurlFtpOptions options = fastOptions();
    options.lowSpeedTimeSec = 60;  // only the close can end this read in time
    Harness h(options);
    ASSERT_TRUE(h.ftp->OpenConnection(server.address(), "K7ABCDE", "pw1"));
    int waiting = 0;
    h.onYield = [&] {
        // Yields after the first block come from the read waiting for the stalled server.
        if (!h.events.empty() && ++waiting == 10)
            h.ftp->CloseConnection();
    };
    std::string sLocal = (dir.path() / "db.txt").string();
    std::string sRemote = "db.txt";
    EXPECT_FALSE(h.ftp->FTPDownloadFile(sLocal, sRemote));
    EXPECT_THAT(h.ftp->GetLastErrorMessage(), StartsWith("InternetReadFile error code: 12017"));
    EXPECT_EQ(h.events.size(), 1u);
    EXPECT_EQ(h.curl().openHandles(), 0u);
}

TEST(CftpFaults, ServerSilentAtQuitDoesNotHoldTheClose) {
    FtpTestServer server({{"K7ABCDE", "pw1"}}, "mutequit:0");
    ftp::CurlFtpOptions options = fastOptions();
    options.responseTimeoutSec = 600;  // would outlast the test's time limit
    options.quitTimeoutSec = ftp::CurlFtpOptions{}.quitTimeoutSec;  // as the program closes
    Harness h(options);
    ASSERT_TRUE(h.ftp->OpenConnection(server.address(), "K7ABCDE", "pw1"));
    EXPECT_EQ(h.ftp->GetFTPFileSize("none.txt"), -1);
    const auto closing = std::chrono::steady_clock::now();
    h.ftp->CloseConnection();
    // The close does not yield: the window is frozen while it waits. A couple of seconds, with
    // room for a slow machine; a wait for the server's own reply would take minutes.
    EXPECT_LT(std::chrono::steady_clock::now() - closing, std::chrono::seconds(10));
    auto commands = server.commands();
    // The server may or may not have seen the connection go by the time it is asked.
    if (!commands.empty() && commands.back() == "DISCONNECT")
        commands.pop_back();
    ASSERT_FALSE(commands.empty());
    EXPECT_EQ(commands.back(), "QUIT");
    EXPECT_EQ(h.curl().openHandles(), 0u);
}

}  // namespace
}  // namespace vigie::test
