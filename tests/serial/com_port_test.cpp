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
    FrmMain& formWithEntry(const std::string& entry) {
        FrmMain& form = makeForm();
        form.cboPort.clear();
        form.cboPort.addItem(entry);
        form.cboPort.listIndex = 0;
        return form;
    }
};

TEST_F(ComPortTest, ConfiguresThenOpensTheChosenPort) {
    FrmMain& form = makeForm();
    for (int n = 1; n <= 12; ++n)
        form.cboPort.addItem(" " + std::to_string(n));
    form.cboPort.listIndex = 2;

    EXPECT_TRUE(form.session().OpenComPort(38400));

    EXPECT_EQ(port_.log, (Log{"CommPort=3", "Settings=38400,N,8,1", "InputLen=0", "Open"}));
    EXPECT_TRUE(port_.portOpen());
    EXPECT_EQ(form.Label3.caption, "Port Open");
    EXPECT_TRUE(platform_.boxes.empty());
}

TEST_F(ComPortTest, TheSpeedGoesIntoTheSettingsWithoutABlank) {
    FrmMain& form = formWithEntry(" 2");
    EXPECT_TRUE(form.session().OpenComPort(9600));
    EXPECT_EQ(port_.log, (Log{"CommPort=2", "Settings=9600,N,8,1", "InputLen=0", "Open"}));
}

TEST_F(ComPortTest, AnOpenPortIsLeftAsItIs) {
    FrmMain& form = formWithEntry(" 4");
    port_.setCommPort(7);
    port_.setPortOpen(true);
    port_.log.clear();
    form.Label3.caption = "unchanged";

    EXPECT_TRUE(form.session().OpenComPort(38400));

    EXPECT_TRUE(port_.log.empty());
    EXPECT_EQ(port_.commPort(), 7);
    EXPECT_EQ(form.Label3.caption, "unchanged");
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
    FrmMain& form = formWithEntry(c.entry);
    const std::string label = form.Label3.caption;

    EXPECT_EQ(form.session().OpenComPort(38400), c.opened);

    EXPECT_EQ(port_.log, c.log);
    EXPECT_EQ(port_.portOpen(), c.opened);
    EXPECT_EQ(form.Label3.caption, c.opened ? "Port Open" : label);
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
    FrmMain& form = formWithEntry(" 1");
    form.cboPort.listIndex = -1;
    EXPECT_FALSE(form.session().OpenComPort(38400));
    EXPECT_TRUE(port_.log.empty());
    ASSERT_EQ(platform_.boxes.size(), 1u);
    EXPECT_EQ(platform_.boxes[0].text, kNotANumberBox);
}

TEST_F(ComPortTest, APortThatDoesNotExistGivesTheInvalidPortBox) {
    FrmMain& form = formWithEntry(" 3");
    port_.existing = {1, 2};
    EXPECT_FALSE(form.session().OpenComPort(38400));
    EXPECT_EQ(port_.log, opened(3));  // the open itself failed
    EXPECT_FALSE(port_.portOpen());
    ASSERT_EQ(platform_.boxes.size(), 1u);
    EXPECT_EQ(platform_.boxes[0].text, kInvalidPortBox);
    EXPECT_EQ(form.Label3.caption, "Port Closed");
}

TEST_F(ComPortTest, APortHeldElsewhereFailsSilently) {
    FrmMain& form = formWithEntry(" 3");
    port_.busy = {3};
    EXPECT_FALSE(form.session().OpenComPort(38400));
    EXPECT_FALSE(port_.portOpen());
    EXPECT_TRUE(platform_.boxes.empty());
    EXPECT_EQ(form.Label3.caption, "Port Closed");
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
    FrmMain& busyForm() {
        FrmMain& form = makeForm(std::make_unique<CountingFtpLayer>(&ftpClosed_));
        form.cboPort.addItem(" 1");
        form.cboPort.listIndex = 0;
        EXPECT_TRUE(form.session().OpenComPort(38400));
        EXPECT_TRUE(form.session().mFTP->OpenConnection("server", "AB12CD3", "3DC21BA"));
        form.setTimerEnabled(form.session().tmrCheck, true);
        form.setTimerEnabled(form.session().tmrUserUpload, true);
        form.setTimerEnabled(form.tmrDots, true);
        form.lblDots.caption = "....";
        form.lblStatus.caption = "Envoi";
        form.lblStatus.font.size = 8.25;
        form.cboFile.enabled = false;
        form.cboPort.enabled = false;
        form.cmdGo.enabled = false;
        form.cmdClose.enabled = true;
        form.session().StopRequested = false;
        form.session().nDataFile = form.session().files().freeFile();
        form.session().files().openOutput(form.session().nDataFile, pathText(appDir() / "temp.hd"));
        port_.log.clear();
        ftpClosed_.clear();
        platform_.goFocused = 0;
        return form;
    }

    // Idle, and what the close does beyond: the connection closed, the working file closed, the
    // status in its closing font but unchanged, the focus on Start Update, the stop flag set.
    void expectIdle(FrmMain& form, std::int16_t dataFile) {
        EXPECT_TRUE(windowIsIdle(form));
        EXPECT_EQ(ftpClosed_, (std::vector<ftp::Handle>{2, 1}));  // connection, then session
        EXPECT_EQ(form.lblStatus.font.size, 12);
        EXPECT_EQ(form.lblStatus.caption, "Envoi");
        EXPECT_FALSE(form.session().files().isOpen(dataFile));
        EXPECT_EQ(platform_.goFocused, 1);
        EXPECT_TRUE(form.session().StopRequested);
    }

    std::vector<ftp::Handle> ftpClosed_;
};

TEST_F(CloseComPortTest, ReturnsTheWindowToIdle) {
    FrmMain& form = busyForm();
    const std::int16_t dataFile = form.session().nDataFile;

    form.session().CloseComPort();

    EXPECT_EQ(port_.log, Log{"Close"});
    EXPECT_EQ(form.Label3.caption, "Port Closed");
    expectIdle(form, dataFile);
}

TEST_F(CloseComPortTest, YieldsAfterStoppingTheTimersAndDisconnectingAndBeforeTheRest) {
    FrmMain& form = busyForm();
    int yields = 0;
    platform_.onYield = [&] {
        ++yields;
        EXPECT_FALSE(port_.portOpen());
        EXPECT_EQ(form.Label3.caption, "Port Closed");
        EXPECT_FALSE(form.session().tmrCheck.enabled());
        EXPECT_FALSE(form.session().tmrUserUpload.enabled());
        EXPECT_EQ(ftpClosed_.size(), 2u);
        EXPECT_NE(form.lblStatus.font.size, 12);
        EXPECT_TRUE(form.session().files().isOpen(form.session().nDataFile));
        EXPECT_FALSE(form.cmdGo.enabled);
        EXPECT_FALSE(form.session().StopRequested);
        EXPECT_TRUE(form.tmrDots.enabled());
    };
    form.session().CloseComPort();
    platform_.onYield = nullptr;
    EXPECT_EQ(yields, 1);
}

TEST_F(CloseComPortTest, OnAClosedPortDoesEverythingButTheClose) {
    FrmMain& form = busyForm();
    port_.setPortOpen(false);
    port_.log.clear();
    form.Label3.caption = "Port Open";
    const std::int16_t dataFile = form.session().nDataFile;

    form.session().CloseComPort();

    EXPECT_TRUE(port_.log.empty());
    EXPECT_EQ(form.Label3.caption, "Port Open");
    expectIdle(form, dataFile);
}

TEST_F(CloseComPortTest, ClosesAPortWhoseDeviceHasGone) {
    FrmMain& form = busyForm();
    const std::int16_t dataFile = form.session().nDataFile;
    port_.deviceSends("T#FTP");
    port_.vanish();
    // As the real layer sees an unplugged device: the port still counts as open, what had arrived
    // is read once, then reads and writes fail.
    ASSERT_TRUE(port_.portOpen());
    EXPECT_EQ(port_.input(), "T#FTP");
    EXPECT_THROW(port_.input(), RuntimeError);
    EXPECT_THROW(port_.output("x"), RuntimeError);

    form.session().CloseComPort();

    EXPECT_EQ(port_.log, Log{"Close"});
    EXPECT_EQ(form.Label3.caption, "Port Closed");
    expectIdle(form, dataFile);
    // Closed for good: the next update opens the port afresh.
    EXPECT_TRUE(form.session().OpenComPort(38400));
    EXPECT_EQ(port_.input(), "");
    port_.output("x");
    EXPECT_EQ(port_.written.substr(port_.written.size() - 1), "x");
}

TEST_F(CloseComPortTest, ForgetsTheWorkingFileNumberOnceClosed) {
    FrmMain& form = busyForm();
    const std::int16_t old = form.session().nDataFile;
    form.session().CloseComPort();
    EXPECT_EQ(form.session().nDataFile, 0);

    // A file opened later under the same number is not the working file: a second close of the
    // window leaves it alone.
    form.session().files().openOutput(old, pathText(appDir() / "other.txt"));
    form.session().CloseComPort();
    EXPECT_TRUE(form.session().files().isOpen(old));
    form.session().files().close(old);
}

}  // namespace
}  // namespace vigie::test
