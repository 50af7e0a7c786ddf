// FtpClient over WinINet against real FTP servers on the Linux side (run_with_servers.py starts
// them and says where they are). Runs under Wine.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "core/runtime_error.h"
#include "ftp/ftp_client.h"
#include "ftp/wininet_ftp_layer.h"
#include "tests/ftp/test_bytes.h"
#include "tests/support/files.h"
#include "tests/support/temp_dir.h"

namespace vigie::test {
namespace {

namespace fs = std::filesystem;
using ::testing::EndsWith;
using ::testing::IsEmpty;
using ::testing::StartsWith;

std::string env(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

std::string serverAddress(const char* variable) {
    return "127.0.0.1:" + env(variable);
}

void putFile(const std::string& name, const std::string& bytes) {
    std::ofstream out(fs::path(env("VIGIE_FTP_ROOT")) / name, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// A server's command log, one command a line: the plain server's, or that of the server with the
// fault named.
std::vector<std::string> serverCommands(const std::string& fault = "") {
    std::ifstream in(env(("VIGIE_FTP_LOG" + (fault.empty() ? "" : "_" + fault)).c_str()),
                     std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

void clearServerLog() {
    std::ofstream(env("VIGIE_FTP_LOG"), std::ios::trunc);
}

struct Progress {
    std::int32_t current;
    std::int32_t total;
    bool operator==(const Progress&) const = default;
};

void PrintTo(const Progress& p, std::ostream* os) {
    *os << "(" << p.current << ", " << p.total << ")";
}

// Timeouts short enough for tests that wait on a silent server.
ftp::WinInetFtpOptions fastOptions() {
    ftp::WinInetFtpOptions options;
    options.connectTimeoutMs = 1000;
    options.sendTimeoutMs = 1000;
    options.receiveTimeoutMs = 1000;
    options.closeTimeoutMs = 500;
    return options;
}

class WinInetFtp : public ::testing::Test {
  protected:
    WinInetFtp() : WinInetFtp(fastOptions()) {}
    explicit WinInetFtp(ftp::WinInetFtpOptions options) {
        auto layer = std::make_unique<ftp::WinInetFtpLayer>(options);
        layer_ = layer.get();
        ftp_ = std::make_unique<FtpClient>(std::move(layer), [this] {
            ++yields_;
            if (onYield_)
                onYield_();
        });
        ftp_->FileTransferProgress = [this](std::int32_t current, std::int32_t total, bool down) {
            EXPECT_TRUE(down);
            events_.push_back({current, total});
        };
    }
    ~WinInetFtp() override {
        onYield_ = nullptr;
        ftp_->CloseConnection();
    }

    void connect(const char* port = "VIGIE_FTP_PORT", const std::string& user = "K7ABCDE",
                 const std::string& password = "pw1") {
        ASSERT_TRUE(ftp_->OpenConnection(serverAddress(port), user, password))
            << ftp_->GetLastErrorMessage();
    }
    std::string local(const std::string& name) const { return (dir_ / name).string(); }
    std::string recorded(const std::string& label, std::uint32_t code) const {
        return label + " error code: " + std::to_string(code) +
               " Message: " + layer_->formatMessage(code);
    }

    ftp::WinInetFtpLayer* layer_ = nullptr;
    std::unique_ptr<FtpClient> ftp_;
    std::vector<Progress> events_;
    int yields_ = 0;
    std::function<void()> onYield_;
    TempDir folder_;
    const fs::path dir_ = folder_.path();
};

TEST_F(WinInetFtp, DownloadsEveryByteInBinaryWithOneEventPerBlockAndOneAtTheEnd) {
    struct Case {
        std::int32_t size;
        std::vector<Progress> events;
    };
    const std::vector<Case> cases = {
        {1, {{1, 1}}},
        {1023, {{1023, 1023}}},
        {1024, {{1025, 1024}, {1024, 1024}}},
        {2048, {{1025, 2048}, {2049, 2048}, {2048, 2048}}},
        {3000, {{1025, 3000}, {2049, 3000}, {3000, 3000}}},
    };
    connect();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        const std::string name = "size-" + std::to_string(c.size) + ".bin";
        const std::string bytes = testBytes(static_cast<std::size_t>(c.size), c.size);
        putFile(name, bytes);
        events_.clear();
        std::string sLocal = local(name);
        std::string sRemote = name;
        ASSERT_TRUE(ftp_->FTPDownloadFile(sLocal, sRemote)) << ftp_->GetLastErrorMessage();
        EXPECT_EQ(events_, c.events);
        EXPECT_TRUE(readFile(sLocal) == bytes);
    }
    // A larger file, every block of it, over the same connection.
    const std::int32_t size = 600 * 1024 + 17;
    const std::string bytes = testBytes(size, 5);
    putFile("big.bin", bytes);
    events_.clear();
    clearServerLog();
    std::string sLocal = local("big.bin");
    std::string sRemote = "big.bin";
    ASSERT_TRUE(ftp_->FTPDownloadFile(sLocal, sRemote)) << ftp_->GetLastErrorMessage();
    EXPECT_TRUE(readFile(sLocal) == bytes);
    ASSERT_EQ(events_.size(), static_cast<std::size_t>(size / 1024 + 1));
    EXPECT_EQ(events_.back(), (Progress{size, size}));
    EXPECT_GE(yields_, size / 1024);
    const auto commands = serverCommands();
    EXPECT_EQ(std::count(commands.begin(), commands.end(), "TYPE I"), 1) << commands.size();
    EXPECT_EQ(std::count(commands.begin(), commands.end(), "RETR big.bin"), 1);
    EXPECT_EQ(std::count(commands.begin(), commands.end(), "CONNECT"), 0);  // the same login
    // Passive mode: the server never connects back.
    EXPECT_TRUE(std::any_of(commands.begin(), commands.end(),
                            [](const std::string& c) { return c.rfind("PASV", 0) == 0; }));
    EXPECT_FALSE(std::any_of(commands.begin(), commands.end(),
                             [](const std::string& c) { return c.rfind("PORT", 0) == 0; }));
    ftp_->CloseConnection();
    EXPECT_EQ(layer_->openHandles(), 0u);
}

// Wine's WinINet cuts a listed name at its first space, so names with spaces are not tried here;
// the update server's file names have none.
TEST_F(WinInetFtp, SearchPatternsFindTheFileAndPathsAreTrimmedInPlace) {
    const std::string bytes = testBytes(1500, 15);
    putFile("Pattern-Only.txt", bytes);
    connect();
    EXPECT_EQ(ftp_->GetFTPFileSize("Pattern-Only.txt"), 1500);
    EXPECT_EQ(ftp_->GetFTPFileSize("Pattern?Only.t?t"), 1500);
    EXPECT_EQ(ftp_->GetFTPFileSize("Pattern-*.txt"), 1500);
    EXPECT_EQ(ftp_->GetFTPFileSize("Pattern-Only.tx"), -1);
    std::string sLocal = "  " + local("copy.bin") + " ";
    std::string sRemote = " Pattern-Only.txt  ";
    ASSERT_TRUE(ftp_->FTPDownloadFile(sLocal, sRemote)) << ftp_->GetLastErrorMessage();
    EXPECT_EQ(sRemote, "Pattern-Only.txt");
    EXPECT_EQ(sLocal, local("copy.bin"));
    EXPECT_TRUE(readFile(local("copy.bin")) == bytes);
}

TEST_F(WinInetFtp, RefusedLoginIsRecordedWithCode12014AndItsWinInetText) {
    EXPECT_FALSE(ftp_->OpenConnection(serverAddress("VIGIE_FTP_PORT"), "K7ABCDE", "wrong"));
    EXPECT_EQ(ftp_->GetLastErrorMessage(), recorded("InternetConnect", 12014));
    // Texts come from wininet.dll's table only (Wine's has none for 12014, but one for 12002).
    EXPECT_THAT(layer_->formatMessage(12002), EndsWith("\r\n"));
    EXPECT_NE(layer_->formatMessage(12002), layer_->formatMessage(12030));
    EXPECT_EQ(layer_->formatMessage(18), "");
    // The same object logs in afterwards.
    connect();
}

TEST_F(WinInetFtp, LoginWithControlCharactersIsRefusedAsALoginWithoutReachingTheServer) {
    const std::vector<std::pair<std::string, std::string>> logins = {
        {"K7ABCDE", "pw1\r\nDELE victim.txt"},
        {"K7ABCDE\r\nPASS pw1", "x"},
        {std::string("K7\0BCDE", 7), "pw1"},
        {"K7\tBCDE", "pw1"},
        {"K7ABCDE", "pw1\x7f"},
    };
    putFile("victim.txt", "still here");
    for (const auto& [user, password] : logins) {
        SCOPED_TRACE(user + " / " + password);
        clearServerLog();
        EXPECT_FALSE(ftp_->OpenConnection(serverAddress("VIGIE_FTP_PORT"), user, password));
        EXPECT_EQ(ftp_->GetLastErrorMessage(), recorded("InternetConnect", 12014));
        // The layer, asked directly, refuses them as well.
        ftp::FtpLayer& layer = *layer_;
        const ftp::Handle session = layer.internetOpen("test");
        ASSERT_NE(session, 0u);
        EXPECT_EQ(layer.internetConnect(session, serverAddress("VIGIE_FTP_PORT"), 0, user, password,
                                        true),
                  0u);
        EXPECT_EQ(layer.lastError(), 12014u);
        layer.internetCloseHandle(session);
        EXPECT_THAT(serverCommands(), IsEmpty());
    }
    EXPECT_EQ(readFile(fs::path(env("VIGIE_FTP_ROOT")) / "victim.txt"), "still here");
}

TEST_F(WinInetFtp, UnreachableAndMalformedServersAreConnectFailuresNotRefusals) {
    EXPECT_FALSE(ftp_->OpenConnection(serverAddress("VIGIE_FTP_PORT_CLOSED"), "K7ABCDE", "pw1"));
    EXPECT_THAT(ftp_->GetLastErrorMessage(), StartsWith("InternetConnect error code: 120"));
    EXPECT_EQ(ftp_->GetLastErrorMessage().find("12014"), std::string::npos);
    for (const std::string server : {"", "host name", "host:0", "host:70000", "user@host"}) {
        SCOPED_TRACE(server);
        EXPECT_FALSE(ftp_->OpenConnection(server, "K7ABCDE", "pw1"));
        EXPECT_EQ(ftp_->GetLastErrorMessage(), recorded("InternetConnect", 12005));
    }
}

TEST_F(WinInetFtp, MissingAndForbiddenFilesFailWithoutEventOrLocalFile) {
    EXPECT_FALSE(ftp_->OpenConnection(serverAddress("VIGIE_FTP_PORT"), "K7ABCDE", "wrong"));
    const std::string before = ftp_->GetLastErrorMessage();
    connect();
    // Nothing matches: -1, and nothing recorded.
    EXPECT_EQ(ftp_->GetFTPFileSize("nothing-here.txt"), -1);
    std::string sLocal = local("nothing.bin");
    std::string sRemote = "nothing-here.txt";
    EXPECT_FALSE(ftp_->FTPDownloadFile(sLocal, sRemote));
    EXPECT_FALSE(fs::exists(sLocal));
    EXPECT_EQ(ftp_->GetLastErrorMessage(), before);

    // The server refuses the file: its reply is the whole record.
    putFile("locked.txt", testBytes(3000, 3));
    ftp_->CloseConnection();
    connect("VIGIE_FTP_PORT", "K7NOREAD", "pw3");
    EXPECT_EQ(ftp_->GetFTPFileSize("locked.txt"), 3000);
    sLocal = local("locked.bin");
    sRemote = "locked.txt";
    EXPECT_FALSE(ftp_->FTPDownloadFile(sLocal, sRemote));
    EXPECT_EQ(ftp_->GetLastErrorMessage(), "550 Not enough privileges.");
    EXPECT_TRUE(events_.empty());
}

struct Fault {
    const char* name;
    const char* port;
    std::int32_t size;
    std::string recorded;  // start of the recorded text
    std::size_t events;    // progress events before the failure
};

void PrintTo(const Fault& f, std::ostream* os) {
    *os << f.name;
}

class WinInetFtpFault : public WinInetFtp, public ::testing::WithParamInterface<Fault> {};

// A transfer that ends early is a failed read, however WinINet reports its end (a transfer that
// stops without ending is the next test's).
TEST_P(WinInetFtpFault, FailsTheDownloadWithAReadRecord) {
    const Fault& f = GetParam();
    const std::string bytes = testBytes(static_cast<std::size_t>(f.size), 17);
    putFile("fault.bin", bytes);
    connect(f.port);
    const int before = yields_;
    std::string sLocal = local("fault.bin");
    std::string sRemote = "fault.bin";
    EXPECT_FALSE(ftp_->FTPDownloadFile(sLocal, sRemote));
    EXPECT_THAT(ftp_->GetLastErrorMessage(), StartsWith(f.recorded));
    ASSERT_EQ(events_.size(), f.events);
    // What was written are the server's own bytes, and no final event claims the whole file.
    const std::string kept = readFile(sLocal);
    EXPECT_TRUE(kept == bytes.substr(0, kept.size()));
    // The window kept its turns while the call waited, without a busy loop.
    EXPECT_GT(yields_ - before, static_cast<int>(f.events));
    EXPECT_LT(yields_ - before, 5000);
    ftp_->CloseConnection();
    EXPECT_EQ(layer_->openHandles(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Transfers, WinInetFtpFault,
                         ::testing::Values(Fault{"DroppedDataConnection", "VIGIE_FTP_PORT_DROP",
                                                 5000, "InternetReadFile error code: 12030", 2},
                                           Fault{"ShortInTheLastBlock", "VIGIE_FTP_PORT_SHORT",
                                                 3000, "InternetReadFile2 error code: 12030", 2}),
                         [](const ::testing::TestParamInfo<Fault>& info) {
                             return std::string(info.param.name);
                         });

// A server that has all the users it takes answers 421 at the greeting: its reply is what the
// client records, not WinINet's view of a closed connection, so that the window can tell a busy
// server from one it cannot reach.
TEST_F(WinInetFtp, BusyServerIsRecordedWithItsReply) {
    EXPECT_FALSE(ftp_->OpenConnection(serverAddress("VIGIE_FTP_PORT_BUSY"), "K7ABCDE", "pw1"));
    EXPECT_EQ(ftp_->GetLastErrorMessage(),
              "421 1 users (the maximum) are already logged in, sorry");
    EXPECT_EQ(layer_->lastError(), ftp::code::ExtendedError);
    ftp_->CloseConnection();
    EXPECT_EQ(layer_->openHandles(), 0u);
}

// An older server set up in French: its reply in Latin-1 reaches the record with its accents.
TEST_F(WinInetFtp, RepliesInLatin1KeepTheirAccents) {
    connect("VIGIE_FTP_PORT_LATIN1");
    EXPECT_THAT(layer_->lastResponseInfo(), ::testing::HasSubstr("répertoire"));
}

TEST_F(WinInetFtp, StalledServerTimesOutWhileTheEventQueueRuns) {
    putFile("stalled.bin", testBytes(5000, 8));
    connect("VIGIE_FTP_PORT_STALL");
    int waitingYields = 0;
    onYield_ = [&] {
        if (!events_.empty())
            ++waitingYields;  // after the first block, all yields come from the waiting read
    };
    std::string sLocal = local("stalled.bin");
    std::string sRemote = "stalled.bin";
    EXPECT_FALSE(ftp_->FTPDownloadFile(sLocal, sRemote));
    EXPECT_THAT(ftp_->GetLastErrorMessage(), StartsWith("InternetReadFile error code: 12002"));
    EXPECT_EQ(events_.size(), 1u);
    const std::string kept = readFile(sLocal);
    EXPECT_TRUE(kept == testBytes(5000, 8).substr(0, kept.size()));
    // About one a poll interval over the second of silence.
    EXPECT_GT(waitingYields, 10);
    EXPECT_LT(waitingYields, 1000);
    // The stuck transfer does not hold the close, nor a new connection.
    ftp_->CloseConnection();
    EXPECT_EQ(layer_->openHandles(), 0u);
    connect();
    EXPECT_EQ(ftp_->GetFTPFileSize("stalled.bin"), 5000);
}

TEST_F(WinInetFtp, SilentServerEndsInATimeoutWhileTheEventQueueRuns) {
    EXPECT_FALSE(ftp_->OpenConnection(serverAddress("VIGIE_FTP_PORT_SILENT"), "K7ABCDE", "pw1"));
    EXPECT_THAT(ftp_->GetLastErrorMessage(), StartsWith("InternetConnect error code: 12002"));
    EXPECT_GT(yields_, 10);
    EXPECT_EQ(layer_->openHandles(), 1u);  // the session, as after any failed connect
    ftp_->CloseConnection();
    EXPECT_EQ(layer_->openHandles(), 0u);
}

// Close pressed while a call waits: the call ends at once as cancelled, nothing is left open and
// the object connects again.
TEST_F(WinInetFtp, CloseWhileACallWaitsCancelsIt) {
    struct Case {
        const char* name;
        const char* port;
        std::string recorded;
        std::size_t events;
    };
    putFile("closing.bin", testBytes(5000, 9));
    for (const Case& c : std::vector<Case>{
             {"connect", "VIGIE_FTP_PORT_SILENT", "InternetConnect error code: 12017", 0},
             {"read", "VIGIE_FTP_PORT_STALL", "InternetReadFile error code: 12017", 1}}) {
        SCOPED_TRACE(c.name);
        events_.clear();
        bool closed = false;
        int yieldsAfterClose = 0;
        // Close once the call waits: the connect, or the read after the first block.
        const auto callWaits = [&] { return layer_->callWaiting() && events_.size() == c.events; };
        onYield_ = [&] {
            if (closed) {
                ++yieldsAfterClose;
            } else if (callWaits()) {
                ftp_->CloseConnection();
                closed = true;
            }
        };
        if (c.events == 0) {
            EXPECT_FALSE(ftp_->OpenConnection(serverAddress(c.port), "K7ABCDE", "pw1"));
        } else {
            connect(c.port);
            std::string sLocal = local("closing.bin");
            std::string sRemote = "closing.bin";
            EXPECT_FALSE(ftp_->FTPDownloadFile(sLocal, sRemote));
        }
        EXPECT_TRUE(closed);
        EXPECT_THAT(ftp_->GetLastErrorMessage(), StartsWith(c.recorded));
        EXPECT_EQ(events_.size(), c.events);
        EXPECT_EQ(yieldsAfterClose, 0);  // cancelled at once, not at the timeout
        EXPECT_EQ(layer_->openHandles(), 0u);
        onYield_ = nullptr;
    }
    connect();
    std::string sLocal = local("again.bin");
    std::string sRemote = "closing.bin";
    EXPECT_TRUE(ftp_->FTPDownloadFile(sLocal, sRemote)) << ftp_->GetLastErrorMessage();
}

TEST_F(WinInetFtp, ErrorRaisedAtAYieldWhileACallWaitsLeavesNothingDangling) {
    putFile("raising.bin", testBytes(5000, 13));
    connect("VIGIE_FTP_PORT_STALL");
    int waiting = 0;
    onYield_ = [&] {
        if (!events_.empty() && ++waiting == 3)
            throw RuntimeError(err::Internal, "test", "raised at a yield");
    };
    std::string sLocal = local("raising.bin");
    std::string sRemote = "raising.bin";
    EXPECT_THROW(ftp_->FTPDownloadFile(sLocal, sRemote), RuntimeError);
    onYield_ = nullptr;
    ftp_->CloseConnection();
    EXPECT_EQ(layer_->openHandles(), 0u);
    connect();
    EXPECT_EQ(ftp_->GetFTPFileSize("raising.bin"), 5000);
}

// A connect its caller gave up on (an error raised at a yield) that WinINet completes later: the
// connection it opens is closed then, not left to the session's close.
TEST_F(WinInetFtp, ACallGivenUpClosesTheHandleItOpensLater) {
    onYield_ = [&] {
        if (layer_->openHandles() == 1 && layer_->callWaiting())  // the connect waits
            throw RuntimeError(err::Internal, "test", "raised at a yield");
    };
    EXPECT_THROW(ftp_->OpenConnection(serverAddress("VIGIE_FTP_PORT_LATELOGIN"), "K7ABCDE", "pw1"),
                 RuntimeError);
    onYield_ = nullptr;
    EXPECT_EQ(layer_->openHandles(), 1u);  // the session: nobody closed it
    // The server answers the login 2 s later; the connection then goes at once.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    std::vector<std::string> commands;
    while (std::chrono::steady_clock::now() < deadline) {
        commands = serverCommands("LATELOGIN");
        if (std::find(commands.begin(), commands.end(), "DISCONNECT") != commands.end())
            break;
        ::Sleep(100);
    }
    EXPECT_THAT(commands, ::testing::Contains("PASS pw1"));
    EXPECT_THAT(commands, ::testing::Contains("DISCONNECT")) << "the late connection stayed open";
    ftp_->CloseConnection();
    EXPECT_EQ(layer_->openHandles(), 0u);
}

// Names of files on the server with control characters would let a line through to the server
// as a command of its own: nothing is sent for them.
TEST_F(WinInetFtp, RemoteNamesWithControlCharactersAreRefusedBeforeAnythingIsSent) {
    putFile("victim.txt", "still here");
    connect();
    for (const std::string& name :
         {std::string("x\r\nDELE victim.txt"), std::string("x\nRETR y"), std::string("a\0b", 3),
          std::string("tab\there"), std::string("del\x7f")}) {
        SCOPED_TRACE(::testing::PrintToString(name));
        clearServerLog();
        EXPECT_EQ(ftp_->GetFTPFileSize(name), -2);  // a failed search, not a missing file
        std::string sLocal = local("refused.bin");
        std::string sRemote = name;
        EXPECT_FALSE(ftp_->FTPDownloadFile(sLocal, sRemote));
        EXPECT_FALSE(fs::exists(sLocal));
        EXPECT_THAT(serverCommands(), IsEmpty());
        EXPECT_EQ(layer_->lastError(), 12005u);
    }
    EXPECT_EQ(readFile(fs::path(env("VIGIE_FTP_ROOT")) / "victim.txt"), "still here");
    // The connection is still good.
    EXPECT_EQ(ftp_->GetFTPFileSize("victim.txt"), 10);
}

// The layer as the program ships it, with its own time limits: a download, then a close that the
// server holds up (it stalled in the middle of a transfer and answers nothing more), which waits
// no longer than the close's own limit. (Wine's WinINet sends no QUIT; closing a transfer is
// where it waits for the server.)
class WinInetFtpShipped : public WinInetFtp {
  protected:
    WinInetFtpShipped() : WinInetFtp(ftp::WinInetFtpOptions{}) {}
};

// A server that has sent every byte and holds the data connection open (a bandwidth limit does,
// for a minute and more) and then aborts it: the file is whole, and the program closes the
// transfer after 10 s instead of waiting for the server's end. The bar shows every byte while it
// waits.
TEST_F(WinInetFtpShipped, WholeFileFromAServerSlowToCloseIsAcceptedAfterTenSeconds) {
    const std::string bytes = testBytes(3000, 24);
    putFile("slow.bin", bytes);
    connect("VIGIE_FTP_PORT_HOLDABORT");
    int yieldsAfterTheLastEvent = 0;
    onYield_ = [&] {
        if (!events_.empty() && events_.back().current == 3000)
            ++yieldsAfterTheLastEvent;
    };
    std::string sLocal = local("slow.bin");
    std::string sRemote = "slow.bin";
    EXPECT_TRUE(ftp_->FTPDownloadFile(sLocal, sRemote)) << ftp_->GetLastErrorMessage();
    EXPECT_TRUE(readFile(sLocal) == bytes);
    EXPECT_EQ(events_, (std::vector<Progress>{{1025, 3000}, {2049, 3000}, {3000, 3000}}));
    EXPECT_GT(yieldsAfterTheLastEvent, 10);
    onYield_ = nullptr;
    ftp_->CloseConnection();
    EXPECT_EQ(layer_->openHandles(), 0u);
}

TEST_F(WinInetFtpShipped, DownloadsAndAServerThatHoldsTheCloseHoldsItNoLongerThanItsLimit) {
    const ftp::WinInetFtpOptions shipped;
    // Shorter than the 1500 bytes after which the server stalls.
    const std::string bytes = testBytes(1200, 21);
    putFile("shipped.bin", bytes);
    putFile("stalled.bin", testBytes(5000, 22));
    connect("VIGIE_FTP_PORT_STALL");
    std::string sLocal = local("shipped.bin");
    std::string sRemote = "shipped.bin";
    ASSERT_TRUE(ftp_->FTPDownloadFile(sLocal, sRemote)) << ftp_->GetLastErrorMessage();
    EXPECT_TRUE(readFile(sLocal) == bytes);
    ftp_->CloseConnection();

    ftp::FtpLayer& layer = *layer_;
    const ftp::Handle session = layer.internetOpen("test");
    const ftp::Handle connection = layer.internetConnect(
        session, serverAddress("VIGIE_FTP_PORT_STALL"), 0, "K7ABCDE", "pw1", true);
    ASSERT_NE(connection, 0u) << layer.lastError();
    const ftp::Handle transfer = layer.ftpOpenFile(connection, "stalled.bin", ftp::Access::Read);
    ASSERT_NE(transfer, 0u) << layer.lastError();
    char block[1000];
    std::uint32_t read = 0;
    ASSERT_TRUE(layer.internetReadFile(transfer, block, sizeof block, read));
    ASSERT_EQ(read, sizeof block);

    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(layer.internetCloseHandle(transfer));
    const auto held = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(layer.lastError(), ftp::code::Timeout);
    // Held by the server, up to the limit and no longer (WinINet itself would wait for its
    // receive limit, a minute); the margin is for a loaded machine.
    EXPECT_GE(held, std::chrono::milliseconds(shipped.closeTimeoutMs));
    EXPECT_LT(held, std::chrono::milliseconds(shipped.closeTimeoutMs + 3000));
    EXPECT_LT(shipped.closeTimeoutMs + 3000, shipped.receiveTimeoutMs);
    // What is left closes behind the held close, without waiting.
    layer.internetCloseHandle(session);
    EXPECT_EQ(layer_->openHandles(), 0u);
}

}  // namespace
}  // namespace vigie::test
