// Opening the chosen port for an update and returning the window to idle afterwards, over the
// in-memory port.

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "ftp/ftp_layer.h"
#include "tests/support/form_fixture.h"
#include "tests/support/program_texts.h"

namespace vigie::test {
namespace {

using Log = std::vector<std::string>;

const std::string& kInvalidPortBox = text::InvalidPortBox;
const std::string& kNotANumberBox = text::NotANumberBox;

class ComPortTest : public FormFixture {
  protected:
    MainForm& formWithEntry(const std::string& entry) {
        MainForm& form = makeForm();
        form.portList.clear();
        form.portList.addItem(entry);
        form.portList.listIndex = 0;
        return form;
    }
};

TEST_F(ComPortTest, ConfiguresThenOpensTheChosenPort) {
    MainForm& form = makeForm();
    for (int n = 1; n <= 12; ++n)
        form.portList.addItem(" " + std::to_string(n));
    form.portList.listIndex = 2;

    EXPECT_TRUE(form.session().openSerialPort(38400));

    EXPECT_EQ(port_.log, (Log{"CommPort=3", "Settings=38400,N,8,1", "InputLen=0", "Open"}));
    EXPECT_TRUE(port_.portOpen());
    EXPECT_EQ(form.portStateLabel.caption, "Port Open");
    EXPECT_TRUE(platform_.boxes.empty());
}

TEST_F(ComPortTest, TheSpeedGoesIntoTheSettingsWithoutABlank) {
    MainForm& form = formWithEntry(" 2");
    EXPECT_TRUE(form.session().openSerialPort(9600));
    EXPECT_EQ(port_.log, (Log{"CommPort=2", "Settings=9600,N,8,1", "InputLen=0", "Open"}));
}

TEST_F(ComPortTest, AnOpenPortIsLeftAsItIs) {
    MainForm& form = formWithEntry(" 4");
    port_.setCommPort(7);
    port_.setPortOpen(true);
    port_.log.clear();
    form.portStateLabel.caption = "unchanged";

    EXPECT_TRUE(form.session().openSerialPort(38400));

    EXPECT_TRUE(port_.log.empty());
    EXPECT_EQ(port_.commPort(), 7);
    EXPECT_EQ(form.portStateLabel.caption, "unchanged");
    EXPECT_EQ(port_.opens, 1);
}

// How the entry of the list turns into a port number, and what the user sees when it does not.
struct EntryCase {
    const char* what;
    std::string entry;
    bool opened;
    Log log;          // operations on the port
    std::string box;  // "" for none
};

// Test lists show the row by its description.
void PrintTo(const EntryCase& c, std::ostream* os) {
    *os << c.what;
}

class ComPortEntry : public ComPortTest, public ::testing::WithParamInterface<EntryCase> {};

TEST_P(ComPortEntry, ConvertsOrReports) {
    const EntryCase& c = GetParam();
    port_.existing.insert({14, 255});
    MainForm& form = formWithEntry(c.entry);
    const std::string label = form.portStateLabel.caption;

    EXPECT_EQ(form.session().openSerialPort(38400), c.opened);

    EXPECT_EQ(port_.log, c.log);
    EXPECT_EQ(port_.portOpen(), c.opened);
    EXPECT_EQ(form.portStateLabel.caption, c.opened ? "Port Open" : label);
    if (c.box.empty()) {
        EXPECT_TRUE(platform_.boxes.empty());
    } else {
        ASSERT_EQ(platform_.boxes.size(), 1u);
        EXPECT_EQ(platform_.boxes[0].text, c.box);
        EXPECT_EQ(platform_.boxes[0].flags, mb::OkOnly);
        EXPECT_EQ(platform_.boxes[0].title, "Vigie K7");
    }
}

Log opened(int n) {
    return {"CommPort=" + std::to_string(n), "Settings=38400,N,8,1", "InputLen=0", "Open"};
}

INSTANTIATE_TEST_SUITE_P(
    Table, ComPortEntry,
    ::testing::Values(
        EntryCase{"FreeEntry", " 3", true, opened(3), ""},
        EntryCase{"TwoDigits", " 12", true, opened(12), ""},
        EntryCase{"AboveTwelve", " 14", true, opened(14), ""},
        EntryCase{"TheHighestPort", " 255", true, opened(255), ""},
        EntryCase{"AboveTheHighestIsNoPort", " 256", false, {"CommPort=256"}, kInvalidPortBox},
        EntryCase{"BlanksAround", "  5  ", true, opened(5), ""},
        EntryCase{"Signed", "+6", true, opened(6), ""},
        EntryCase{"FractionRoundsHalfToEven", "2.5", true, opened(2), ""},
        EntryCase{"FractionRoundsUp", "3.5", true, opened(4), ""},
        EntryCase{"InUseEntry", "3 - In Use", false, {}, kNotANumberBox},
        EntryCase{"EmptyEntry", "", false, {}, kNotANumberBox},
        EntryCase{"Letters", "COM3", false, {}, kNotANumberBox},
        EntryCase{"OnlyASign", "-", false, {}, kNotANumberBox},
        EntryCase{"ZeroIsNoPort", " 0", false, {"CommPort=0"}, kInvalidPortBox},
        EntryCase{"NegativeIsNoPort", "-1", false, {"CommPort=-1"}, kInvalidPortBox},
        // Beyond 16 bits: the conversion overflows, which is neither of the two boxes.
        EntryCase{"TooLargeOverflowsSilently", "40000", false, {}, ""}),
    [](const ::testing::TestParamInfo<EntryCase>& info) { return info.param.what; });

TEST_F(ComPortTest, NothingSelectedGivesTheNotANumberBox) {
    MainForm& form = formWithEntry(" 1");
    form.portList.listIndex = -1;
    EXPECT_FALSE(form.session().openSerialPort(38400));
    EXPECT_TRUE(port_.log.empty());
    ASSERT_EQ(platform_.boxes.size(), 1u);
    EXPECT_EQ(platform_.boxes[0].text, kNotANumberBox);
}

TEST_F(ComPortTest, APortThatDoesNotExistGivesTheInvalidPortBox) {
    MainForm& form = formWithEntry(" 3");
    port_.existing = {1, 2};
    EXPECT_FALSE(form.session().openSerialPort(38400));
    EXPECT_EQ(port_.log, opened(3));  // the open itself failed
    EXPECT_FALSE(port_.portOpen());
    ASSERT_EQ(platform_.boxes.size(), 1u);
    EXPECT_EQ(platform_.boxes[0].text, kInvalidPortBox);
    EXPECT_EQ(form.portStateLabel.caption, "Port Closed");
}

TEST_F(ComPortTest, APortHeldElsewhereFailsSilently) {
    MainForm& form = formWithEntry(" 3");
    port_.busy = {3};
    EXPECT_FALSE(form.session().openSerialPort(38400));
    EXPECT_FALSE(port_.portOpen());
    EXPECT_TRUE(platform_.boxes.empty());
    EXPECT_EQ(form.portStateLabel.caption, "Port Closed");
}

// Counts what the form does with its FTP connection.
class CountingFtpLayer : public ftp::FtpLayer {
  public:
    std::vector<ftp::Handle>* closed;
    explicit CountingFtpLayer(std::vector<ftp::Handle>* log) : closed(log) {}
    void setYield(std::function<void()>) override {}
    ftp::Handle internetOpen(const std::string&) override { return 1; }
    ftp::Handle internetConnect(ftp::Handle, const std::string&, int, const std::string&,
                                const std::string&, bool) override {
        return 2;
    }
    ftp::Handle ftpFindFirstFile(ftp::Handle, const std::string&, ftp::FindData&) override {
        return 0;
    }
    ftp::Handle ftpOpenFile(ftp::Handle, const std::string&, ftp::Access) override { return 0; }
    bool internetReadFile(ftp::Handle, char*, std::uint32_t, std::uint32_t&) override {
        return false;
    }
    bool internetWriteFile(ftp::Handle, const char*, std::uint32_t, std::uint32_t&) override {
        return false;
    }
    bool ftpGetFile(ftp::Handle, const std::string&, const std::string&, bool) override {
        return false;
    }
    bool ftpPutFile(ftp::Handle, const std::string&, const std::string&) override { return false; }
    bool internetCloseHandle(ftp::Handle h) override {
        closed->push_back(h);
        return true;
    }
    std::uint32_t lastError() const override { return 0; }
    std::string formatMessage(std::uint32_t) const override { return ""; }
    std::string lastResponseInfo() const override { return ""; }
};

class CloseComPortTest : public ComPortTest {
  protected:
    // A window in the middle of an update: port open, timers running, choices disabled, the
    // working file open, a connection to the server.
    MainForm& busyForm() {
        MainForm& form = makeForm(std::make_unique<CountingFtpLayer>(&ftpClosed_));
        form.portList.addItem(" 1");
        form.portList.listIndex = 0;
        EXPECT_TRUE(form.session().openSerialPort(38400));
        EXPECT_TRUE(form.session().ftpClient->OpenConnection("server", "AB12CD3", "3DC21BA"));
        form.setTimerEnabled(form.session().retryTimer, true);
        form.setTimerEnabled(form.session().savingTimer, true);
        form.setTimerEnabled(form.dotsTimer, true);
        form.dotsLabel.caption = "....";
        form.statusLabel.caption = "Envoi";
        form.statusLabel.font.size = 8.25;
        form.databaseList.enabled = false;
        form.portList.enabled = false;
        form.startButton.enabled = false;
        form.closeButton.enabled = true;
        form.session().stopRequested = false;
        form.session().workFileWriter().open(pathText(appDir() / "temp.hd"));
        port_.log.clear();
        ftpClosed_.clear();
        platform_.goFocused = 0;
        return form;
    }

    // Idle, and what the close does beyond: the connection closed, the working file closed, the
    // status in its closing font but unchanged, the focus on Start Update, the stop flag set.
    void expectIdle(MainForm& form) {
        EXPECT_TRUE(windowIsIdle(form));
        EXPECT_EQ(ftpClosed_, (std::vector<ftp::Handle>{2, 1}));  // connection, then session
        EXPECT_EQ(form.statusLabel.font.size, 12);
        EXPECT_EQ(form.statusLabel.caption, "Envoi");
        EXPECT_FALSE(form.session().workFileOpen());
        EXPECT_EQ(platform_.goFocused, 1);
        EXPECT_TRUE(form.session().stopRequested);
    }

    std::vector<ftp::Handle> ftpClosed_;
};

TEST_F(CloseComPortTest, ReturnsTheWindowToIdle) {
    MainForm& form = busyForm();

    form.session().closeSerialPort();

    EXPECT_EQ(port_.log, Log{"Close"});
    EXPECT_EQ(form.portStateLabel.caption, "Port Closed");
    expectIdle(form);
}

TEST_F(CloseComPortTest, YieldsAfterStoppingTheTimersAndDisconnectingAndBeforeTheRest) {
    MainForm& form = busyForm();
    int yields = 0;
    platform_.onYield = [&] {
        ++yields;
        EXPECT_FALSE(port_.portOpen());
        EXPECT_EQ(form.portStateLabel.caption, "Port Closed");
        EXPECT_FALSE(form.session().retryTimer.enabled());
        EXPECT_FALSE(form.session().savingTimer.enabled());
        EXPECT_EQ(ftpClosed_.size(), 2u);
        EXPECT_NE(form.statusLabel.font.size, 12);
        EXPECT_TRUE(form.session().workFileOpen());
        EXPECT_FALSE(form.startButton.enabled);
        EXPECT_FALSE(form.session().stopRequested);
        EXPECT_TRUE(form.dotsTimer.enabled());
    };
    form.session().closeSerialPort();
    platform_.onYield = nullptr;
    EXPECT_EQ(yields, 1);
}

TEST_F(CloseComPortTest, OnAClosedPortDoesEverythingButTheClose) {
    MainForm& form = busyForm();
    port_.setPortOpen(false);
    port_.log.clear();
    form.portStateLabel.caption = "Port Open";

    form.session().closeSerialPort();

    EXPECT_TRUE(port_.log.empty());
    EXPECT_EQ(form.portStateLabel.caption, "Port Open");
    expectIdle(form);
}

TEST_F(CloseComPortTest, ClosesAPortWhoseDeviceHasGone) {
    MainForm& form = busyForm();
    port_.deviceSends("T#FTP");
    port_.vanish();
    // As the real layer sees an unplugged device: the port still counts as open, what had arrived
    // is read once, then reads and writes fail.
    ASSERT_TRUE(port_.portOpen());
    EXPECT_EQ(port_.input(), "T#FTP");
    EXPECT_THROW(port_.input(), RuntimeError);
    EXPECT_THROW(port_.output("x"), RuntimeError);

    form.session().closeSerialPort();

    EXPECT_EQ(port_.log, Log{"Close"});
    EXPECT_EQ(form.portStateLabel.caption, "Port Closed");
    expectIdle(form);
    // Closed for good: the next update opens the port afresh.
    EXPECT_TRUE(form.session().openSerialPort(38400));
    EXPECT_EQ(port_.input(), "");
    port_.output("x");
    EXPECT_EQ(port_.written.substr(port_.written.size() - 1), "x");
}

TEST_F(CloseComPortTest, LetsGoOfTheWorkingFileForTheNextUpdate) {
    MainForm& form = busyForm();
    form.session().closeSerialPort();
    EXPECT_FALSE(form.session().workFileOpen());

    // A restart writes the working file afresh: nothing of the closed one is still open, and a
    // second close lets go of the new one as well.
    form.session().workFileWriter().open(pathText(appDir() / "temp.hd"));
    EXPECT_TRUE(form.session().workFileOpen());
    form.session().closeSerialPort();
    EXPECT_FALSE(form.session().workFileOpen());
}

}  // namespace
}  // namespace vigie::test
