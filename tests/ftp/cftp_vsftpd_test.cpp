// The same downloads against a second FTP server, with its own listing format.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "tests/ftp/cftp_harness.h"
#include "tests/ftp/ftp_test_server.h"
#include "tests/support/form_fixture.h"

namespace vigie::test {
namespace {

using ::testing::StartsWith;

TEST(CftpVsftpd, DownloadsListsAndRefusesLikeTheOtherServer) {
    if (!VsftpdServer::available())
        GTEST_SKIP() << "vsftpd is not installed (scripts/setup.sh installs it), or the tests do "
                        "not run as root (vsftpd needs root for its chroot)";
    VsftpdServer server;
    const std::string mid = testBytes(3000, 1);
    const std::string full = testBytes(100'000, 2);
    server.putFile("LocationsMid.txt", mid);
    server.putFile("Locations Full.txt", full);
    TempDir dir;
    Harness h;

    EXPECT_FALSE(h.ftp->OpenConnection(server.address(), "K7ABCDE", "pw1"));
    EXPECT_THAT(h.ftp->GetLastErrorMessage(), StartsWith("InternetConnect error code: 12014"));

    ASSERT_TRUE(h.ftp->OpenConnection(server.address(), "anonymous", "k7@example"))
        << h.ftp->GetLastErrorMessage();
    EXPECT_EQ(h.ftp->GetFTPFileSize("Missing.txt"), -1);
    std::string sLocal = (dir.path() / "temp.hd").string();
    std::string sRemote = "LocationsMid.txt";
    ASSERT_TRUE(h.ftp->FTPDownloadFile(sLocal, sRemote)) << h.ftp->GetLastErrorMessage();
    EXPECT_EQ(h.events, downloadEvents(3000));
    EXPECT_EQ(readFile(sLocal), mid);

    h.events.clear();
    sRemote = "Locations Full.txt";
    ASSERT_TRUE(h.ftp->FTPDownloadFile(sLocal, sRemote)) << h.ftp->GetLastErrorMessage();
    EXPECT_EQ(h.events, downloadEvents(100'000));
    EXPECT_EQ(readFile(sLocal), full);
    h.ftp->CloseConnection();
}

}  // namespace
}  // namespace vigie::test
