// The window's connect, download and progress procedures against a real FTP server.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
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

// A server that has all the users it takes answers 421 and closes. The connection is tried
// again after pauses of 15, 30 and 60 s, each lengthened by a random part of up to a half; a
// server still busy after that gets a box of its own, and Close ends a pause at once.
struct BusyCase {
    const char* name;
    int refusals;          // connections the server turns away
    std::int64_t closeAt;  // virtual ms after the start when Close is pressed; 0: never
    int attempts;          // connections the program makes
    bool connected;
    bool busyBox;
};

void PrintTo(const BusyCase& c, std::ostream* os) {
    *os << c.name;
}

class BusyServer : public Download, public ::testing::WithParamInterface<BusyCase> {};

TEST_P(BusyServer, IsTriedAgainAfterPausesThatGrowThenGivenUpWithItsOwnBox) {
    const BusyCase& c = GetParam();
    FtpTestServer busy({{"K7ABCDE", "pw1"}}, "busy:" + std::to_string(c.refusals));
    env_.set("VIGIE_UPDATE_SERVER", busy.address());
    MainForm& f = form();
    f.statusLabel.caption = "before";
    const std::int64_t start = platform_.tick();
    // Virtual time stands still while a connection is made: each try has a moment of its own.
    std::vector<std::int64_t> tries;
    platform_.onYield = [&] {
        const bool pausing = f.statusLabel.caption.rfind(text::ServerBusyStatusStart, 0) == 0;
        if (!pausing && (tries.empty() || tries.back() != platform_.tick()))
            tries.push_back(platform_.tick());
    };
    std::string statusInThePause;
    platform_.at(start + 10'000, [&] { statusInThePause = f.statusLabel.caption; });
    if (c.closeAt != 0)
        platform_.at(start + c.closeAt, [&] {
            f.session().stopRequested = true;
            f.session().disconnectFromServer();
        });

    EXPECT_EQ(f.session().connectToServer(), c.connected);

    const auto lines = busy.commands();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "BUSY"), std::min(c.attempts, c.refusals));
    ASSERT_EQ(static_cast<int>(tries.size()), c.attempts) << readFile(logFile());
    for (int k = 1; k < c.attempts; ++k) {
        const std::int64_t base = std::int64_t{15'000} << (k - 1);
        EXPECT_GE(tries[k] - tries[k - 1], base) << "pause " << k;
        EXPECT_LE(tries[k] - tries[k - 1], base + base / 2) << "pause " << k;
    }
    EXPECT_THAT(statusInThePause, ::testing::StartsWith(text::ServerBusyStatusStart));
    if (c.closeAt != 0) {
        // Close ended the pause within a slice of the wait.
        EXPECT_LE(platform_.tick() - start, c.closeAt + 100);
    } else if (c.connected) {
        EXPECT_EQ(f.statusLabel.caption, "before");
    }
    if (c.busyBox) {
        ASSERT_EQ(platform_.boxes.size(), 1u);
        EXPECT_EQ(platform_.boxes[0].text, text::ServerBusy);
        EXPECT_EQ(platform_.boxes[0].title, "Erreur");
        EXPECT_EQ(platform_.boxes[0].flags, mb::OkOnly | mb::Exclamation);
    } else {
        EXPECT_TRUE(platform_.boxes.empty());
    }
    EXPECT_FALSE(f.session().loginRefused);
    EXPECT_EQ(platform_.pointers.back(), PointerDefault);
    // The server's own words reach the log.
    EXPECT_THAT(readFile(logFile()), HasSubstr("421 1 users (the maximum) are already logged in"));
}

INSTANTIATE_TEST_SUITE_P(
    Refusals, BusyServer,
    ::testing::Values(BusyCase{"FreeAfterTwoRefusals", 2, 0, 3, true, false},
                      BusyCase{"StillBusyAfterThreePauses", 99, 0, 4, false, true},
                      BusyCase{"CloseDuringThePause", 99, 10'050, 1, false, false}),
    [](const auto& info) { return std::string(info.param.name); });

// An older server set up in French answers in Latin-1: its words reach the log with their
// accents, as they do on Windows.
TEST_F(Download, RepliesInLatin1ReachTheLogWithTheirAccents) {
    FtpTestServer french({{"K7ABCDE", "pw1"}}, "latin1:0");
    env_.set("VIGIE_UPDATE_SERVER", french.address());
    MainForm& f = form();
    ASSERT_TRUE(f.session().connectToServer());
    f.session().disconnectFromServer();
    f.session().devicePassword = "wrong";
    EXPECT_FALSE(f.session().connectToServer());
    const std::string log = readFile(logFile());
    EXPECT_THAT(log, HasSubstr("Connecté au serveur : 257 \"/\" est le répertoire courant."));
    EXPECT_THAT(log, HasSubstr("530 Accès refusé."));
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
