// FtpClient over libcurl against a real FTP server.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/ftp/cftp_harness.h"
#include "tests/ftp/ftp_test_server.h"
#include "tests/support/form_fixture.h"

namespace vigie::test {
namespace {

using ::testing::StartsWith;

int countOf(const std::vector<std::string>& lines, const std::string& prefix) {
    return static_cast<int>(std::count_if(
        lines.begin(), lines.end(), [&](const std::string& l) { return l.rfind(prefix, 0) == 0; }));
}

bool anyStartsWith(const std::vector<std::string>& lines, const std::string& prefix) {
    return countOf(lines, prefix) > 0;
}

class CftpServer : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        server_ = new FtpTestServer(
            {{"K7ABCDE", "pw1"}, {"K7WRITE", "pw2", "elradfmw"}, {"K7NOREAD", "pw3", "el"}});
    }
    static void TearDownTestSuite() {
        delete server_;
        server_ = nullptr;
    }
    ~CftpServer() override { h_.ftp->CloseConnection(); }

    void connect(const std::string& user = "K7ABCDE", const std::string& password = "pw1") {
        ASSERT_TRUE(h_.ftp->OpenConnection(server_->address(), user, password))
            << h_.ftp->GetLastErrorMessage();
    }
    std::string local(const std::string& name) const { return (dir_.path() / name).string(); }
    std::string message(std::uint32_t code) { return h_.layer().formatMessage(code); }

    static FtpTestServer* server_;
    TempDir dir_;
    Harness h_;
};

FtpTestServer* CftpServer::server_ = nullptr;

TEST_F(CftpServer, DownloadsEveryByteWithOneEventPerBlockAndOneAtTheEnd) {
    struct Case {
        std::int32_t size;
        std::vector<Progress> events;
    };
    const std::vector<Case> cases = {
        {1, {{1, 1, true}}},
        {1000, {{1000, 1000, true}}},
        {1023, {{1023, 1023, true}}},
        {1024, {{1025, 1024, true}, {1024, 1024, true}}},
        {2048, {{1025, 2048, true}, {2049, 2048, true}, {2048, 2048, true}}},
        {3000, {{1025, 3000, true}, {2049, 3000, true}, {3000, 3000, true}}},
    };
    connect();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        const std::string name = "size-" + std::to_string(c.size) + ".txt";
        server_->putFile(name, testBytes(static_cast<std::size_t>(c.size), c.size));
        h_.events.clear();
        std::string sLocal = local(name);
        std::string sRemote = name;
        ASSERT_TRUE(h_.ftp->FTPDownloadFile(sLocal, sRemote)) << h_.ftp->GetLastErrorMessage();
        EXPECT_EQ(h_.events, c.events);
        EXPECT_EQ(readFile(sLocal), server_->fileBytes(name));
    }
}

TEST_F(CftpServer, DownloadsFiveMegabytesInBinary) {
    const std::int32_t size = 5 * 1024 * 1024 + 17;
    server_->putFile("big.bin", testBytes(size, 5));
    connect();
    server_->clearLog();
    std::string sLocal = local("big.bin");
    std::string sRemote = "big.bin";
    ASSERT_TRUE(h_.ftp->FTPDownloadFile(sLocal, sRemote)) << h_.ftp->GetLastErrorMessage();
    EXPECT_EQ(h_.events, downloadEvents(size));
    EXPECT_TRUE(readFile(sLocal) == server_->fileBytes("big.bin"));
    // The window had its turn after every block.
    EXPECT_GE(h_.yields, size / 1024);
    // The file comes in binary; only the directory listing may go in ASCII.
    std::string type;
    int retrieves = 0;
    for (const std::string& command : server_->commands()) {
        if (command.rfind("TYPE ", 0) == 0)
            type = command;
        if (command.rfind("RETR ", 0) == 0) {
            ++retrieves;
            EXPECT_EQ(type, "TYPE I");
        }
    }
    EXPECT_EQ(retrieves, 1);
}

TEST_F(CftpServer, ReusesTheLoggedInControlConnection) {
    server_->putFile("one.txt", testBytes(1500, 1));
    server_->putFile("two.txt", testBytes(2500, 2));
    server_->clearLog();
    connect();
    for (const std::string name : {"one.txt", "two.txt", "one.txt"}) {
        std::string sLocal = local(name);
        std::string sRemote = name;
        ASSERT_TRUE(h_.ftp->FTPDownloadFile(sLocal, sRemote)) << h_.ftp->GetLastErrorMessage();
    }
    EXPECT_EQ(h_.ftp->GetFTPFileSize("two.txt"), 2500);
    h_.ftp->CloseConnection();
    const auto commands = server_->commands();
    EXPECT_EQ(countOf(commands, "CONNECT"), 1);
    EXPECT_EQ(countOf(commands, "USER K7ABCDE"), 1);
    EXPECT_EQ(countOf(commands, "RETR"), 3);
    EXPECT_EQ(countOf(commands, "QUIT"), 1);
    EXPECT_EQ(h_.curl().openHandles(), 0u);
}

TEST_F(CftpServer, RefusedLoginIsRecordedWithCode12014) {
    EXPECT_FALSE(h_.ftp->OpenConnection(server_->address(), "K7ABCDE", "wrong"));
    EXPECT_EQ(h_.ftp->GetLastErrorMessage(),
              "InternetConnect error code: 12014 Message: " + message(12014));
    // A later login with the right password works on the same object.
    connect();
}

TEST_F(CftpServer, UnreachableServerIsRecordedAsAConnectFailure) {
    EXPECT_FALSE(
        h_.ftp->OpenConnection("127.0.0.1:" + std::to_string(closedPort()), "K7ABCDE", "pw1"));
    EXPECT_EQ(h_.ftp->GetLastErrorMessage(),
              "InternetConnect error code: 12029 Message: " + message(12029));
}

TEST_F(CftpServer, ControlCharactersInTheLoginNeverReachTheServer) {
    server_->putFile("victim.txt", "still here");
    struct Case {
        std::string user;
        std::string password;
    };
    const std::vector<Case> cases = {
        {"K7WRITE", "pw2\r\nDELE victim.txt"},
        {"K7WRITE\r\nPASS pw2\r\nDELE victim.txt", "x"},
        {"K7WRITE\nQUIT", "pw2"},
        {"K7\tABCD", "pw1"},
        {"K7ABCDE", std::string("pw1\0", 4)},
        {"K7ABCDE", "pw1\x7f"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.user + " / " + c.password);
        server_->clearLog();
        // Recorded as the server's refusal of such a login would be.
        EXPECT_FALSE(h_.ftp->OpenConnection(server_->address(), c.user, c.password));
        EXPECT_EQ(h_.ftp->GetLastErrorMessage(),
                  "InternetConnect error code: 12014 Message: " + message(12014));
        // The layer refuses them too when asked directly.
        const ftp::Handle session = h_.layer().internetOpen("test");
        EXPECT_EQ(
            h_.layer().internetConnect(session, server_->address(), 0, c.user, c.password, true),
            0u);
        EXPECT_EQ(h_.layer().lastError(), 12014u);
        h_.layer().internetCloseHandle(session);
        EXPECT_TRUE(server_->commands().empty());
    }
    EXPECT_EQ(server_->fileBytes("victim.txt"), "still here");
}

TEST_F(CftpServer, MalformedServerNameFailsLocally) {
    for (const std::string server :
         {"", "host name", "host:0", "host:70000", "host:21x", "user@host", "host/path", "[::1"}) {
        SCOPED_TRACE(server);
        EXPECT_FALSE(h_.ftp->OpenConnection(server, "K7ABCDE", "pw1"));
        EXPECT_THAT(h_.ftp->GetLastErrorMessage(), StartsWith("InternetConnect error code: 12005"));
    }
}

TEST_F(CftpServer, MissingAndEmptyFilesFailWithoutEventOrLocalFile) {
    server_->putFile("empty.txt", "");
    // A recorded failure beforehand, to see that these failures record nothing.
    EXPECT_FALSE(h_.ftp->OpenConnection(server_->address(), "K7ABCDE", "wrong"));
    const std::string before = h_.ftp->GetLastErrorMessage();
    connect();
    EXPECT_EQ(h_.ftp->GetFTPFileSize("nothing-here.txt"), -1);
    EXPECT_EQ(h_.ftp->GetFTPFileSize("empty.txt"), 0);
    for (const std::string name : {"nothing-here.txt", "empty.txt"}) {
        SCOPED_TRACE(name);
        std::string sLocal = local(name);
        std::string sRemote = name;
        EXPECT_FALSE(h_.ftp->FTPDownloadFile(sLocal, sRemote));
        EXPECT_FALSE(fileExists(sLocal));
    }
    EXPECT_TRUE(h_.events.empty());
    EXPECT_EQ(h_.ftp->GetLastErrorMessage(), before);
}

TEST_F(CftpServer, NamesWithSpacesAndUrlCharactersAreFoundAndFetched) {
    const std::vector<std::string> names = {"Locations Mid.txt", "Radar#1.txt", "100% sur.txt",
                                            "a?b.txt", "  edge  spaces.txt"};
    connect();
    for (std::size_t i = 0; i < names.size(); ++i) {
        const std::string& name = names[i];
        SCOPED_TRACE(name);
        const std::string bytes = testBytes(1500 + i, static_cast<unsigned>(i));
        server_->putFile(name, bytes);
        server_->clearLog();
        if (name.front() != ' ') {
            EXPECT_EQ(h_.ftp->GetFTPFileSize(name), static_cast<std::int32_t>(bytes.size()));
            std::string sLocal = local("copy.bin");
            std::string sRemote = name;
            ASSERT_TRUE(h_.ftp->FTPDownloadFile(sLocal, sRemote)) << h_.ftp->GetLastErrorMessage();
            EXPECT_EQ(readFile(sLocal), bytes);
            EXPECT_TRUE(anyStartsWith(server_->commands(), "RETR " + name));
        } else {
            // Leading spaces of a remote name are trimmed before the search: no such file.
            std::string sLocal = local("copy.bin");
            std::string sRemote = name;
            EXPECT_FALSE(h_.ftp->FTPDownloadFile(sLocal, sRemote));
            EXPECT_EQ(sRemote, "edge  spaces.txt");
        }
    }
}

TEST_F(CftpServer, SearchPatternsMatchWildcards) {
    server_->putFile("Pattern-Only.bin", testBytes(777, 7));
    connect();
    EXPECT_EQ(h_.ftp->GetFTPFileSize("Pattern-*.bin"), 777);
    EXPECT_EQ(h_.ftp->GetFTPFileSize("Pattern?Only.bin"), 777);
    EXPECT_EQ(h_.ftp->GetFTPFileSize("*-Only.b?n"), 777);
    EXPECT_EQ(h_.ftp->GetFTPFileSize("pattern-only.bin"), -1);
    EXPECT_EQ(h_.ftp->GetFTPFileSize("Pattern-Only.bi"), -1);
}

TEST_F(CftpServer, PathsAreTrimmedInPlace) {
    server_->putFile("trim.txt", testBytes(1200, 12));
    connect();
    const std::string path = local("trimmed.bin");
    std::string sLocal = "  " + path + "   ";
    std::string sRemote = "   trim.txt ";
    ASSERT_TRUE(h_.ftp->FTPDownloadFile(sLocal, sRemote)) << h_.ftp->GetLastErrorMessage();
    EXPECT_EQ(sLocal, path);
    EXPECT_EQ(sRemote, "trim.txt");
    EXPECT_EQ(readFile(path), server_->fileBytes("trim.txt"));
}

TEST_F(CftpServer, EmptyPathsAfterTrimmingDoNothing) {
    connect("K7WRITE", "pw2");
    EXPECT_FALSE(h_.ftp->OpenConnection(server_->address(), "K7WRITE", "bad"));
    const std::string before = h_.ftp->GetLastErrorMessage();
    connect("K7WRITE", "pw2");
    writeFile(dir_.path() / "up.bin", "data");
    server_->clearLog();
    struct Case {
        std::string local, remote;
    };
    for (const Case& c : std::vector<Case>{{"   ", "x.txt"}, {local("up.bin"), "  "}, {"", ""}}) {
        std::string sLocal = c.local, sRemote = c.remote;
        EXPECT_FALSE(h_.ftp->FTPDownloadFile(sLocal, sRemote));
        sLocal = c.local;
        sRemote = c.remote;
        EXPECT_FALSE(h_.ftp->FTPUploadFile(sLocal, sRemote));
    }
    EXPECT_TRUE(server_->commands().empty());
    EXPECT_TRUE(h_.events.empty());
    EXPECT_EQ(h_.ftp->GetLastErrorMessage(), before);
}

TEST_F(CftpServer, ServerErrorReplyBecomesTheWholeMessage) {
    server_->putFile("locked.txt", testBytes(3000, 3));
    connect("K7NOREAD", "pw3");
    EXPECT_EQ(h_.ftp->GetFTPFileSize("locked.txt"), 3000);
    std::string sLocal = local("locked.txt");
    std::string sRemote = "locked.txt";
    EXPECT_FALSE(h_.ftp->FTPDownloadFile(sLocal, sRemote));
    EXPECT_EQ(h_.ftp->GetLastErrorMessage(), "550 Not enough privileges.");
    EXPECT_TRUE(h_.events.empty());
    // The connection is still good for the next operation.
    EXPECT_EQ(h_.ftp->GetFTPFileSize("locked.txt"), 3000);
}

TEST_F(CftpServer, UploadSendsBlocksAndStoresTheFile) {
    const std::string bytes = testBytes(3000, 30);
    writeFile(dir_.path() / "up.bin", bytes);
    connect("K7WRITE", "pw2");
    std::string sLocal = local("up.bin");
    std::string sRemote = "uploaded.bin";
    ASSERT_TRUE(h_.ftp->FTPUploadFile(sLocal, sRemote)) << h_.ftp->GetLastErrorMessage();
    EXPECT_EQ(h_.events, (std::vector<Progress>{
                             {1024, 3000, false}, {2048, 3000, false}, {3000, 3000, false}}));
    EXPECT_EQ(server_->fileBytes("uploaded.bin"), bytes);
}

TEST_F(CftpServer, RefusedUploadIsAFailure) {
    writeFile(dir_.path() / "up.bin", testBytes(2000, 31));
    connect("K7ABCDE", "pw1");  // may not store
    std::string sLocal = local("up.bin");
    std::string sRemote = "refused.bin";
    EXPECT_FALSE(h_.ftp->FTPUploadFile(sLocal, sRemote));
    EXPECT_EQ(h_.ftp->GetLastErrorMessage(), "550 Not enough privileges.");
    EXPECT_TRUE(h_.events.empty());
    EXPECT_FALSE(fileExists(server_->root() + "/refused.bin"));
}

TEST_F(CftpServer, OneCallTransfersRoundTrip) {
    const std::string bytes = testBytes(4100, 41);
    writeFile(dir_.path() / "put.bin", bytes);
    connect("K7WRITE", "pw2");
    std::string sLocal = local("put.bin");
    std::string sRemote = "simple.bin";
    ASSERT_TRUE(h_.ftp->SimpleFTPPutFile(sLocal, sRemote)) << h_.ftp->GetLastErrorMessage();
    EXPECT_EQ(server_->fileBytes("simple.bin"), bytes);
    writeFile(dir_.path() / "got.bin", "old content, longer than nothing");
    sLocal = local("got.bin");
    ASSERT_TRUE(h_.ftp->SimpleFTPGetFile(sLocal, sRemote)) << h_.ftp->GetLastErrorMessage();
    EXPECT_EQ(readFile(sLocal), bytes);
    EXPECT_TRUE(h_.events.empty());

    sLocal = local("missing.bin");
    sRemote = "missing.bin";
    EXPECT_FALSE(h_.ftp->SimpleFTPGetFile(sLocal, sRemote));
    EXPECT_THAT(h_.ftp->GetLastErrorMessage(), StartsWith("550 "));
    EXPECT_FALSE(fileExists(sLocal));
}

TEST_F(CftpServer, ActiveModeRequestStillConnectsPassively) {
    server_->putFile("mode.txt", testBytes(1100, 11));
    h_.ftp->SetModeActive();
    server_->clearLog();
    connect();
    std::string sLocal = local("mode.txt");
    std::string sRemote = "mode.txt";
    ASSERT_TRUE(h_.ftp->FTPDownloadFile(sLocal, sRemote)) << h_.ftp->GetLastErrorMessage();
    const auto commands = server_->commands();
    EXPECT_TRUE(anyStartsWith(commands, "EPSV") || anyStartsWith(commands, "PASV"));
    EXPECT_FALSE(anyStartsWith(commands, "PORT") || anyStartsWith(commands, "EPRT"));
}

TEST_F(CftpServer, ClosingWithoutConnectionIsHarmlessAndOperationsFailWithARecord) {
    h_.ftp->CloseConnection();
    h_.ftp->CloseConnection();
    EXPECT_EQ(h_.ftp->GetFTPFileSize("any.txt"), -2);
    EXPECT_EQ(h_.ftp->GetLastErrorMessage(),
              "FtpFindFirstFile error code: 6 Message: " + message(6));
    std::string sLocal = local("any.txt");
    std::string sRemote = "any.txt";
    EXPECT_FALSE(h_.ftp->SimpleFTPGetFile(sLocal, sRemote));
    EXPECT_THAT(h_.ftp->GetLastErrorMessage(), StartsWith("SimpleFtpGetFile error code: 6"));
    connect();
    h_.ftp->CloseConnection();
    h_.ftp->CloseConnection();
    EXPECT_EQ(h_.curl().openHandles(), 0u);
}

TEST_F(CftpServer, ErrorRaisedAtAYieldLeavesNothingDangling) {
    server_->putFile("raising.bin", testBytes(1024 * 1024, 13));
    connect();
    // A handler that runs at a yield raises a run-time error, at the class's own yields and
    // inside the layer's waits alike.
    for (const int at : {1, 2, 3, 5, 8, 50, 400}) {
        SCOPED_TRACE(at);
        int yields = 0;
        h_.onYield = [&] {
            if (++yields == at)
                throw RuntimeError(err::Internal, "test", "raised at a yield");
        };
        std::string sLocal = local("raising.bin");
        std::string sRemote = "raising.bin";
        EXPECT_THROW(h_.ftp->FTPDownloadFile(sLocal, sRemote), RuntimeError);
        h_.onYield = nullptr;
        h_.ftp->CloseConnection();
        EXPECT_EQ(h_.curl().openHandles(), 0u);
        connect();
    }
    std::string sLocal = local("raising.bin");
    std::string sRemote = "raising.bin";
    EXPECT_TRUE(h_.ftp->FTPDownloadFile(sLocal, sRemote)) << h_.ftp->GetLastErrorMessage();
    EXPECT_EQ(readFile(sLocal), server_->fileBytes("raising.bin"));
}

}  // namespace
}  // namespace vigie::test
