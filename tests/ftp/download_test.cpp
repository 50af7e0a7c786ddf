// The window's connect, download and progress procedures against a real FTP server.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "ftp/curl_ftp_layer.h"
#include "tests/ftp/cftp_harness.h"
#include "tests/ftp/ftp_test_server.h"
#include "tests/support/form_fixture.h"
#include "tests/support/program_texts.h"

namespace vigie::test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

const std::string& kFirewall = text::Firewall;
const std::string& kDownloadError = text::DownloadError;

std::string statusText(int percent) {
    return text::downloadProgress(percent);
}

class Download : public FormFixture {
  protected:
    static void SetUpTestSuite() {
        server_ = new FtpTestServer(std::vector<FtpTestUser>{{"K7ABCDE", "pw1"}});
    }
    static void TearDownTestSuite() {
        delete server_;
        server_ = nullptr;
    }

    Download() : env_("VIGIE_UPDATE_SERVER", server_->address()) {}
    ~Download() override {
        if (form_)
            form_->session().disconnectFromServer();
    }

    MainForm& form(ftp::CurlFtpOptions options = fastOptions()) {
        MainForm& f = makeForm(std::make_unique<ftp::CurlFtpLayer>(options));
        f.session().workFileName = "temp.hd";
        f.session().deviceName = "K7ABCDE";
        f.session().devicePassword = "pw1";
        f.session().databaseFile = "LocationsMid.txt";
        return f;
    }
    std::string workFile() const { return pathText(appDir() / "temp.hd"); }

    static FtpTestServer* server_;
    ScopedEnv env_;
};

FtpTestServer* Download::server_ = nullptr;

TEST_F(Download, RefusedLoginShowsItsBoxAndALaterLoginClearsTheFlag) {
    MainForm& f = form();
    f.session().devicePassword = "wrong";
    EXPECT_FALSE(f.session().connectToServer());
    ASSERT_EQ(platform_.boxes.size(), 1u);
    EXPECT_EQ(platform_.boxes[0].title, text::LoginRefusedTitle);
    EXPECT_EQ(platform_.boxes[0].flags, mb::OkOnly | mb::Exclamation);
    EXPECT_THAT(platform_.boxes[0].text, HasSubstr("refusé"));
    EXPECT_NE(platform_.boxes[0].text, kFirewall);
    EXPECT_TRUE(f.session().loginRefused);
    EXPECT_THAT(platform_.pointers, ElementsAre(PointerHourglass, PointerDefault));

    f.session().devicePassword = "pw1";
    EXPECT_TRUE(f.session().connectToServer());
    EXPECT_FALSE(f.session().loginRefused);
    EXPECT_EQ(platform_.boxes.size(), 1u);
    EXPECT_EQ(platform_.pointers.back(), PointerDefault);
}

TEST_F(Download, LoginWithControlCharactersIsRefusedWithoutReachingTheServer) {
    MainForm& f = form();
    for (const auto& [user, password] : std::vector<std::pair<std::string, std::string>>{
             {std::string("K7\0BCDE", 7), "pw1"}, {"K7ABCDE", "pw1\r\nDELE LocationsMid.txt"}}) {
        server_->clearLog();
        platform_.boxes.clear();
        f.session().loginRefused = false;
        f.session().deviceName = user;
        f.session().devicePassword = password;
        EXPECT_FALSE(f.session().connectToServer());
        ASSERT_EQ(platform_.boxes.size(), 1u);
        EXPECT_EQ(platform_.boxes[0].title, text::LoginRefusedTitle);
        EXPECT_NE(platform_.boxes[0].text, kFirewall);
        EXPECT_TRUE(f.session().loginRefused);
        EXPECT_EQ(platform_.pointers.back(), PointerDefault);
        EXPECT_TRUE(server_->commands().empty());
    }
}

TEST_F(Download, UnreachableServerShowsTheFirewallBoxAndKeepsTheFlag) {
    env_.set("VIGIE_UPDATE_SERVER", "127.0.0.1:" + std::to_string(closedPort()));
    MainForm& f = form();
    for (const bool refusedBefore : {false, true}) {
        f.session().loginRefused = refusedBefore;
        platform_.boxes.clear();
        EXPECT_FALSE(f.session().connectToServer());
        ASSERT_EQ(platform_.boxes.size(), 1u);
        EXPECT_EQ(platform_.boxes[0].text, kFirewall);
        EXPECT_EQ(platform_.boxes[0].flags, mb::OkOnly | mb::Exclamation);
        EXPECT_EQ(platform_.boxes[0].title, "Erreur");
        EXPECT_EQ(f.session().loginRefused, refusedBefore);
        EXPECT_EQ(platform_.pointers.back(), PointerDefault);
    }
}

TEST_F(Download, DownloadFillsTheWorkingFileAndMovesTheBarFrom10To25) {
    const std::string bytes = testBytes(100000, 100);
    server_->putFile("LocationsMid.txt", bytes);
    MainForm& f = form();
    ASSERT_TRUE(f.session().connectToServer());
    f.session().databaseFile = "  LocationsMid.txt ";
    f.progressBar.value = 10;
    std::vector<std::pair<int, std::string>> shown;
    f.session().ftpClient->FileTransferProgress = [&](std::int32_t current, std::int32_t total,
                                                      bool down) {
        f.session().showDownloadProgress(current, total, down);
        shown.emplace_back(f.progressBar.value, f.statusLabel.caption);
    };
    platform_.pointers.clear();
    ASSERT_TRUE(f.session().downloadDatabase());
    EXPECT_EQ(readFile(workFile()), bytes);
    EXPECT_EQ(f.session().databaseFile, "LocationsMid.txt");
    EXPECT_TRUE(platform_.boxes.empty());
    EXPECT_THAT(platform_.pointers, ElementsAre(PointerHourglass, PointerDefault));
    ASSERT_EQ(shown.size(), 100000u / 1024u + 1u);
    EXPECT_EQ(shown.front(), std::make_pair(10, statusText(1)));
    EXPECT_EQ(shown.back(), std::make_pair(25, statusText(100)));
    for (std::size_t i = 1; i < shown.size(); ++i)
        EXPECT_LE(shown[i - 1].first, shown[i].first);
}

TEST_F(Download, MissingDatabaseShowsTheErrorBoxAndLeavesNoWorkingFile) {
    MainForm& f = form();
    ASSERT_TRUE(f.session().connectToServer());
    f.session().databaseFile = "NoSuchDatabase.txt";
    platform_.pointers.clear();
    EXPECT_FALSE(f.session().downloadDatabase());
    ASSERT_EQ(platform_.boxes.size(), 1u);
    EXPECT_EQ(platform_.boxes[0].text, kDownloadError);
    EXPECT_EQ(platform_.boxes[0].flags, mb::OkOnly | mb::Critical);
    EXPECT_EQ(platform_.boxes[0].title, "Erreur");
    EXPECT_THAT(platform_.pointers, ElementsAre(PointerHourglass, PointerDefault));
    EXPECT_FALSE(fileExists(workFile()));
}

// What the Close button does to the download: the stop flag and a closed connection, at a yield
// while the connect waits for a silent server or in the middle of the download.
class CloseDuring : public Download, public ::testing::WithParamInterface<const char*> {};

TEST_P(CloseDuring, EndsTheProcedureWithoutABox) {
    const std::string during = GetParam();
    const bool connecting = during == "Connect";
    std::optional<SilentServer> silent;
    ftp::CurlFtpOptions options = fastOptions();
    if (connecting) {
        silent.emplace();
        env_.set("VIGIE_UPDATE_SERVER", silent->address());
        options.connectTimeoutMs = 60'000;  // only the close can end this connect in time
    } else {
        server_->putFile("LocationsFull.txt", testBytes(3 * 1024 * 1024, 7));
    }
    MainForm& f = form(options);
    int blocks = 0;
    if (!connecting) {
        ASSERT_TRUE(f.session().connectToServer());
        f.session().databaseFile = "LocationsFull.txt";
        f.session().ftpClient->FileTransferProgress = [&](std::int32_t, std::int32_t, bool) {
            ++blocks;
        };
    }
    const std::int64_t yieldsBefore = platform_.yields;
    platform_.onYield = [&] {
        const bool now = connecting ? platform_.yields - yieldsBefore == 5 : blocks == 50;
        if (now && !f.session().stopRequested) {
            f.session().stopRequested = true;
            f.session().disconnectFromServer();
        }
    };
    EXPECT_FALSE(connecting ? f.session().connectToServer() : f.session().downloadDatabase());
    EXPECT_TRUE(f.session().stopRequested) << "never closed";
    EXPECT_TRUE(platform_.boxes.empty());
    EXPECT_FALSE(f.session().loginRefused);
    EXPECT_EQ(platform_.pointers.back(), PointerDefault);
    if (!connecting) {
        EXPECT_LT(blocks, 3 * 1024);
    }
}

INSTANTIATE_TEST_SUITE_P(Procedures, CloseDuring, ::testing::Values("Connect", "Download"),
                         [](const auto& info) { return std::string(info.param); });

TEST_F(Download, WorkingFileThatCannotBeCreatedReachesTheCallerAsARunTimeError) {
    server_->putFile("LocationsMid.txt", testBytes(5000, 5));
    MainForm& f = form();
    ASSERT_TRUE(f.session().connectToServer());
    f.session().workFileName = "no-such-folder/temp.hd";
    platform_.pointers.clear();
    EXPECT_THROW(f.session().downloadDatabase(), RuntimeError);
    EXPECT_TRUE(platform_.boxes.empty());
    EXPECT_THAT(platform_.pointers, ElementsAre(PointerHourglass));
}

TEST_F(Download, ProgressHandlerMovesTheBarAndRoundsHalfToEven) {
    struct Case {
        std::int32_t current, total;
        bool download;
        int bar;
        int percent;  // -1: the label keeps its text
    };
    const std::vector<Case> cases = {
        {1025, 100000, true, 10, 1}, {100000, 100000, true, 25, 100},
        {2049, 2048, true, 25, 100}, {1, 8, true, 11, 12},  // 12.5 rounds down to even
        {3, 8, true, 15, 38},        {5, 8, true, 19, 62},  // 37.5 up, 62.5 down
        {1, 16, true, 10, 6},        {1024, 3000, false, 15, -1},
        {3000, 3000, false, 25, -1}, {0, 100, true, 10, 0},
    };
    MainForm& f = form();
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.current) + "/" + std::to_string(c.total));
        f.statusLabel.caption = "untouched";
        f.session().showDownloadProgress(c.current, c.total, c.download);
        EXPECT_EQ(f.progressBar.value, c.bar);
        EXPECT_EQ(f.statusLabel.caption, c.percent < 0 ? "untouched" : statusText(c.percent));
    }
    EXPECT_THROW(f.session().showDownloadProgress(0, 0, false), RuntimeError);
}

TEST_F(Download, ServerAndWorkingFileLocation) {
    MainForm& f = form();
    EXPECT_EQ(MainForm::updateServer(), server_->address());
    env_.unset("VIGIE_UPDATE_SERVER");
    const std::string builtIn = MainForm::updateServer();
    EXPECT_EQ(builtIn, CONFIGURED_UPDATE_HOST);
    env_.set("VIGIE_UPDATE_SERVER", "");
    EXPECT_EQ(MainForm::updateServer(), builtIn);
    EXPECT_EQ(f.session().workFilePath(), appPath() + "/temp.hd");
}

}  // namespace
}  // namespace vigie::test
