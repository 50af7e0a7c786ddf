// FtpClient over the in-memory layer that the session's tests use: the class's rules where they do
// not depend on the network, and the layer's injected failures.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "tests/ftp/cftp_harness.h"
#include "tests/ftp/test_bytes.h"
#include "tests/support/form_fixture.h"
#include "tests/support/memory_ftp_layer.h"

namespace vigie::test {
namespace {

using ::testing::ElementsAre;
using ::testing::StartsWith;

class CftpMemory : public ::testing::Test {
  protected:
    CftpMemory() : h_(makeLayer()) {
        memory_.users = {{"K7ABCDE", "pw1"}};
        memory_.files = {{"LocationsMid.txt", testBytes(3000, 3)},
                         {"Locations Full.txt", testBytes(2048, 4)}};
    }
    std::unique_ptr<ftp::FtpLayer> makeLayer() {
        auto layer = std::make_unique<MemoryFtpLayer>();
        layer_ = layer.get();
        return layer;
    }
    std::string local(const std::string& name) const { return (dir_.path() / name).string(); }

    MemoryFtpLayer* layer_ = nullptr;
    Harness h_;
    MemoryFtpLayer& memory_ = *layer_;
    TempDir dir_;
};

TEST_F(CftpMemory, DownloadsWithTheSameEventsAsOverTheNetwork) {
    ASSERT_TRUE(h_.ftp->OpenConnection("server", "K7ABCDE", "pw1"));
    std::string sLocal = local("db.txt");
    std::string sRemote = "LocationsMid.txt";
    ASSERT_TRUE(h_.ftp->FTPDownloadFile(sLocal, sRemote));
    EXPECT_EQ(h_.events, downloadEvents(3000));
    EXPECT_EQ(readFile(sLocal), memory_.files["LocationsMid.txt"]);
    sRemote = "Locations Full.txt";
    ASSERT_TRUE(h_.ftp->FTPDownloadFile(sLocal, sRemote));
    EXPECT_EQ(readFile(sLocal), memory_.files["Locations Full.txt"]);
    EXPECT_THAT(memory_.log,
                ElementsAre("CONNECT K7ABCDE", "LIST LocationsMid.txt", "RETR LocationsMid.txt",
                            "LIST Locations?Full.txt", "RETR Locations Full.txt"));
    h_.ftp->CloseConnection();
    EXPECT_EQ(memory_.openHandles(), 0u);
}

TEST_F(CftpMemory, InjectedFailuresGiveTheirRecords) {
    memory_.unreachable = true;
    EXPECT_FALSE(h_.ftp->OpenConnection("server", "K7ABCDE", "pw1"));
    EXPECT_EQ(h_.ftp->GetLastErrorMessage(),
              "InternetConnect error code: 12029 Message: The server cannot be reached.");
    memory_.unreachable = false;
    EXPECT_FALSE(h_.ftp->OpenConnection("server", "K7ABCDE", "nope"));
    EXPECT_THAT(h_.ftp->GetLastErrorMessage(), StartsWith("InternetConnect error code: 12014"));

    ASSERT_TRUE(h_.ftp->OpenConnection("server", "K7ABCDE", "pw1"));
    std::string sLocal = local("db.txt");
    std::string sRemote = "LocationsMid.txt";
    memory_.failOpen = true;
    EXPECT_FALSE(h_.ftp->FTPDownloadFile(sLocal, sRemote));
    EXPECT_EQ(h_.ftp->GetLastErrorMessage(), "550 Failed to open file.");
    memory_.failOpen = false;

    memory_.failReadAt = memory_.reads + 2;
    EXPECT_FALSE(h_.ftp->FTPDownloadFile(sLocal, sRemote));
    EXPECT_THAT(h_.ftp->GetLastErrorMessage(), StartsWith("InternetReadFile error code: 12030"));
    EXPECT_EQ(h_.events.size(), 1u);
    // The failed transfer was closed: the next attempt succeeds on the same connection.
    h_.events.clear();
    EXPECT_TRUE(h_.ftp->FTPDownloadFile(sLocal, sRemote)) << h_.ftp->GetLastErrorMessage();
    EXPECT_EQ(h_.events, downloadEvents(3000));
}

TEST_F(CftpMemory, UploadCountsFromZero) {
    writeFile(dir_.path() / "up.bin", testBytes(3000, 8));
    ASSERT_TRUE(h_.ftp->OpenConnection("server", "K7ABCDE", "pw1"));
    std::string sLocal = local("up.bin");
    std::string sRemote = "up.bin";
    ASSERT_TRUE(h_.ftp->FTPUploadFile(sLocal, sRemote));
    EXPECT_EQ(h_.events, (std::vector<Progress>{
                             {1024, 3000, false}, {2048, 3000, false}, {3000, 3000, false}}));
    EXPECT_EQ(memory_.files["up.bin"], testBytes(3000, 8));
}

// Whatever the layer: such a login is refused before the layer is asked, and recorded as a
// refused login, so that the window explains it as one.
TEST_F(CftpMemory, LoginWithControlCharactersIsRefusedBeforeTheLayerIsAsked) {
    memory_.users = {{"K7\nABCD", "pw1"}, {"K7ABCDE", "pw\x7f"}};
    for (const auto& [user, password] : memory_.users) {
        EXPECT_FALSE(h_.ftp->OpenConnection("server", user, password));
        EXPECT_EQ(h_.ftp->GetLastErrorMessage(),
                  "InternetConnect error code: 12014 Message: " + memory_.formatMessage(12014));
    }
    EXPECT_EQ(memory_.connectCalls, 0);
}

TEST_F(CftpMemory, WorkingFileThatCannotBeCreatedRaisesARunTimeError) {
    ASSERT_TRUE(h_.ftp->OpenConnection("server", "K7ABCDE", "pw1"));
    std::string sLocal = local("no-such-folder/db.txt");
    std::string sRemote = "LocationsMid.txt";
    try {
        h_.ftp->FTPDownloadFile(sLocal, sRemote);
        FAIL() << "no run-time error";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.Number, err::PathFileAccess);
    }
    EXPECT_TRUE(h_.events.empty());
}

}  // namespace
}  // namespace vigie::test
