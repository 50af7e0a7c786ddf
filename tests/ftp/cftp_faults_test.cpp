// FtpClient against servers that fail in the middle: dropped, short, long, refused and stalled
// transfers, and a server that never answers.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/ftp/cftp_harness.h"
#include "tests/ftp/ftp_test_server.h"
#include "tests/support/form_fixture.h"
#include "tests/support/memory_ftp_layer.h"

namespace vigie::test {
namespace {

using ::testing::StartsWith;

struct Fault {
    const char* name;
    std::string fault;
    std::int32_t size;
    std::string recorded;            // start of the recorded text
    std::size_t events;              // progress events of whole blocks before the failure
    bool listedSizeArrived = false;  // then one more event counts it, before the end fails
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
    // No event claims more than what arrived: the listed size only when it all came.
    ASSERT_EQ(h.events.size(), f.events + (f.listedSizeArrived ? 1 : 0));
    for (std::size_t k = 0; k < f.events; ++k)
        EXPECT_EQ(h.events[k],
                  (Progress{static_cast<std::int32_t>(1 + 1024 * (k + 1)), f.size, true}));
    if (f.listedSizeArrived) {
        EXPECT_EQ(h.events.back(), (Progress{f.size, f.size, true}));
    }
    // What was written are the server's own bytes.
    const std::string kept = readFile(sLocal);
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
        Fault{"LongerThanListed", "extra:10", 3000, "InternetReadFile2 error code: 12030", 2, true},
        Fault{"LongerThanListedWholeBlocks", "extra:1", 2048, "InternetReadFile2 error code: 12030",
              2},
        Fault{"StalledTransfer", "stall:1500", 5000, "InternetReadFile error code: 12002", 1},
        Fault{"AbortedAfterTheLastByte", "holdabort:0", 3000, "InternetReadFile2 error code: 12030",
              2, true}),
    [](const ::testing::TestParamInfo<Fault>& info) { return std::string(info.param.name); });

// A server that has sent the listed size and holds the data connection open (a bandwidth limit
// does, for a minute and more): the file is whole, and the program does not wait for the server
// to say so. The bar shows every byte while it waits.
struct SlowClose {
    const char* name;
    std::string fault;
    bool programTimeouts;  // the layer's own time limits, longer than the server's hold
};

void PrintTo(const SlowClose& c, std::ostream* os) {
    *os << c.name;
}

class CftpSlowClose : public ::testing::TestWithParam<SlowClose> {};

TEST_P(CftpSlowClose, AcceptsTheWholeFileWithoutTheServersEnd) {
    const SlowClose& c = GetParam();
    FtpTestServer server({{"K7ABCDE", "pw1"}}, c.fault);
    const std::string bytes = testBytes(3000, 23);
    server.putFile("db.txt", bytes);
    TempDir dir;
    std::optional<Harness> h;
    if (c.programTimeouts)
        h.emplace(ftp::CurlFtpOptions{});
    else
        h.emplace();
    int yieldsAfterTheLastEvent = 0;
    h->onYield = [&] {
        if (!h->events.empty() && h->events.back().current == 3000)
            ++yieldsAfterTheLastEvent;
    };
    ASSERT_TRUE(h->ftp->OpenConnection(server.address(), "K7ABCDE", "pw1"));
    std::string sLocal = (dir.path() / "db.txt").string();
    std::string sRemote = "db.txt";
    EXPECT_TRUE(h->ftp->FTPDownloadFile(sLocal, sRemote)) << h->ftp->GetLastErrorMessage();
    EXPECT_EQ(readFile(sLocal), bytes);
    EXPECT_EQ(h->events, downloadEvents(3000));
    // The bar reached the end when the last byte came, not when the server let go: the window
    // kept its turns in between.
    EXPECT_GT(yieldsAfterTheLastEvent, 10);
    h->ftp->CloseConnection();
    EXPECT_EQ(h->curl().openHandles(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Servers, CftpSlowClose,
    ::testing::Values(
        // Never lets go: the layer's short time limit of the tests ends the wait.
        SlowClose{"NeverCloses", "stall:3000", false},
        SlowClose{"ClosesAfterASecondAndAHalf", "slowclose:1500", false},
        // With the program's own limits, which would wait a minute: the data connection is
        // closed after 10 s, before the server aborts the transfer it still holds.
        SlowClose{"AbortsAfterTwelveSeconds", "holdabort:12000", true}),
    [](const ::testing::TestParamInfo<SlowClose>& info) { return std::string(info.param.name); });

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

// ---- The window closes the connection at one of the class's yields ----------------------------

struct CloseAtYield {
    const char* name;
    enum class Server { Silent, Stalling, Whole, Memory } server;
    std::string record;  // start of the recorded failure
    std::size_t minEvents, maxEvents;
};

void PrintTo(const CloseAtYield& c, std::ostream* os) {
    *os << c.name;
}

class CftpCloseAtAYield : public ::testing::TestWithParam<CloseAtYield> {};

TEST_P(CftpCloseAtAYield, FailsTheOperationAndReleasesEveryHandle) {
    using Server = CloseAtYield::Server;
    const CloseAtYield& c = GetParam();
    std::optional<SilentServer> silent;
    std::optional<FtpTestServer> server;
    MemoryFtpLayer* memory = nullptr;
    std::unique_ptr<Harness> h;
    std::string address;
    ftp::CurlFtpOptions options = fastOptions();
    options.connectTimeoutMs = 60'000;  // only the close can end a wait in time
    options.lowSpeedTimeSec = 60;
    switch (c.server) {
        case Server::Silent:
            silent.emplace();
            address = silent->address();
            break;
        case Server::Stalling:  // stops sending after one block and a half
            server.emplace(std::vector<FtpTestUser>{{"K7ABCDE", "pw1"}}, "stall:1500");
            server->putFile("db.bin", testBytes(5000, 1));
            address = server->address();
            break;
        case Server::Whole:
            server.emplace(std::vector<FtpTestUser>{{"K7ABCDE", "pw1"}});
            server->putFile("db.bin", testBytes(2 * 1024 * 1024, 9));
            address = server->address();
            break;
        case Server::Memory: {  // reads wait for the network: the window runs inside them
            auto layer = std::make_unique<MemoryFtpLayer>();
            layer->users = {{"K7ABCDE", "pw1"}};
            layer->files = {{"db.bin", testBytes(3000, 3)}};
            layer->yieldWhileWaiting = true;
            memory = layer.get();
            h = std::make_unique<Harness>(std::move(layer));
            address = "server";
            break;
        }
    }
    if (!h)
        h = std::make_unique<Harness>(options);
    const auto openHandles = [&] {
        return memory ? memory->openHandles() : h->curl().openHandles();
    };

    bool closed = false;
    int waiting = 0;
    h->onYield = [&] {
        bool now = false;
        switch (c.server) {
            case Server::Silent:  // the connect is waiting
                now = h->yields == 5;
                break;
            case Server::Stalling:  // the read after the first block is waiting
                now = !h->events.empty() && ++waiting == 10;
                break;
            case Server::Whole:  // between two blocks
                now = h->events.size() == 100;
                break;
            case Server::Memory:
                now = memory->reads == 2;
                break;
        }
        if (now && !closed) {
            closed = true;
            h->ftp->CloseConnection();
        }
    };
    TempDir dir;
    std::string sLocal = (dir.path() / "db.bin").string();
    std::string sRemote = "db.bin";
    if (c.server == Server::Silent) {
        EXPECT_FALSE(h->ftp->OpenConnection(address, "K7ABCDE", "pw1"));
    } else {
        ASSERT_TRUE(h->ftp->OpenConnection(address, "K7ABCDE", "pw1"));
        EXPECT_FALSE(h->ftp->FTPDownloadFile(sLocal, sRemote));
        // The blocks before the close, and nothing after it.
        EXPECT_EQ(readFile(sLocal).size(), h->events.size() * 1024u);
    }
    EXPECT_TRUE(closed);
    EXPECT_THAT(h->ftp->GetLastErrorMessage(), StartsWith(c.record));
    EXPECT_GE(h->events.size(), c.minEvents);
    EXPECT_LE(h->events.size(), c.maxEvents);
    EXPECT_EQ(openHandles(), 0u);
    if (c.server == Server::Whole || c.server == Server::Memory) {
        // The object is ready for a new connection.
        h->onYield = nullptr;
        ASSERT_TRUE(h->ftp->OpenConnection(address, "K7ABCDE", "pw1"));
        sLocal = (dir.path() / "again.bin").string();
        sRemote = "db.bin";
        EXPECT_TRUE(h->ftp->FTPDownloadFile(sLocal, sRemote)) << h->ftp->GetLastErrorMessage();
        h->ftp->CloseConnection();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Waits, CftpCloseAtAYield,
    ::testing::Values(
        CloseAtYield{"WhileTheConnectWaits", CloseAtYield::Server::Silent,
                     "InternetConnect error code: 12017", 0, 0},
        CloseAtYield{"WhileAReadWaits", CloseAtYield::Server::Stalling,
                     "InternetReadFile error code: 12017", 1, 1},
        // At the yield after block 100, or inside the read of block 101 waiting for data.
        CloseAtYield{"BetweenBlocks", CloseAtYield::Server::Whole,
                     "InternetReadFile error code: ", 100, 101},
        CloseAtYield{"WhileAnInMemoryReadWaits", CloseAtYield::Server::Memory,
                     "InternetReadFile error code: 12017", 1, 1}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace vigie::test
