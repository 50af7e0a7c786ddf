// The session's dialogue with the device, its timers, retries and stopping (stages 1 to 5).

#include <gtest/gtest.h>

#include "tests/session/session_fixture.h"

namespace vigie::test {
namespace {

class DialogueTest : public SessionFixture {};

TEST_F(DialogueTest, SilentDeviceGetsAWakeUpEvery5sThenTheWrongPortHint) {
    k7_.silent = true;
    MainForm& form = load();
    std::vector<std::string> retries;
    watch(form.retryCountLabel, retries);
    const std::int64_t start = platform_.tick();
    form.startUpdate();

    EXPECT_EQ(form.statusLabel.caption, text::GiveUp + text::WrongPort);
    EXPECT_FALSE(form.statusLabel.font.bold);
    EXPECT_EQ(retries,
              (std::vector<std::string>{"Retry Count", "3", "4", "5", "6", "7", "8", "9", "10"}));
    // The first wake-up at once, then one per tick of the 5 s timer until the count reaches 10.
    ASSERT_EQ(k7_.wakeUpTimes.size(), 8u);
    for (size_t i = 0; i < k7_.wakeUpTimes.size(); ++i)
        EXPECT_EQ(k7_.wakeUpTimes[i] - start, static_cast<std::int64_t>(i) * 5000);
    EXPECT_NEAR(platform_.tick() - start, 35000, 2100);
    std::string wakeUps;
    for (int i = 0; i < 8; ++i)
        wakeUps += "\x02\x10\x03";
    EXPECT_EQ(port_.written, wakeUps);
    EXPECT_TRUE(windowIsIdle(form));
    EXPECT_EQ(form.portStateLabel.caption, "Port Closed");
    EXPECT_TRUE(platform_.boxes.empty());
}

TEST_F(DialogueTest, DeviceSilentAfterPasswordGetsAckRepeatedThenGiveUpWithoutHint) {
    k7_.stopAfter = FakeK7::Step::Password;
    MainForm& form = load();
    form.startUpdate();

    EXPECT_EQ(form.statusLabel.caption, text::GiveUp);
    EXPECT_EQ(form.session().stage, 4);
    EXPECT_EQ(form.retryCountLabel.caption, "10");
    EXPECT_EQ(k7_.acks, 2 + 10);  // the two answers, then one per tick
    EXPECT_EQ(form.progressBar.value, 5);
    EXPECT_EQ(form.session().deviceName, "ABC1234");
    EXPECT_EQ(form.session().devicePassword, "4321CBA");
    EXPECT_EQ(form.statusLabel.font.size, 12);  // set back by the close
    EXPECT_TRUE(windowIsIdle(form));
}

TEST_F(DialogueTest, DeviceThatNeverSendsItsNameIsWaitedForUntilClose) {
    k7_.sendUserName = false;
    MainForm& form = load();
    platform_.after(10 * 60 * 1000, [&] {
        EXPECT_EQ(form.session().stage, 2);
        EXPECT_FALSE(form.startButton.enabled);
        EXPECT_TRUE(port_.portOpen());
        form.stopUpdate();
    });
    form.startUpdate();
    EXPECT_EQ(form.statusLabel.caption, text::Stopped);
    EXPECT_EQ(k7_.wakeUpTimes.size(), 1u);  // stage 2 repeats nothing
    EXPECT_TRUE(windowIsIdle(form));
}

TEST_F(DialogueTest, CloseInStage3StopsAtTheNextYieldWithNothingMore) {
    k7_.stopAfter = FakeK7::Step::UserName;
    MainForm& form = load();
    size_t writesAtClose = 0;
    std::string stageAtClose;
    std::int64_t closedAt = 0;
    platform_.after(9000, [&] {
        ASSERT_EQ(form.session().stage, 3);
        form.stopUpdate();
        writesAtClose = port_.writes.size();
        stageAtClose = form.stageLabel.caption;
        closedAt = platform_.tick();
    });
    const int focusBefore = platform_.goFocused;
    form.startUpdate();

    EXPECT_EQ(form.statusLabel.caption, text::Stopped);
    EXPECT_TRUE(platform_.boxes.empty());
    EXPECT_TRUE(windowIsIdle(form));
    EXPECT_GT(platform_.goFocused, focusBefore);
    EXPECT_EQ(port_.writes.size(), writesAtClose);
    EXPECT_EQ(form.stageLabel.caption, stageAtClose);
    EXPECT_EQ(form.portStateLabel.caption, "Port Closed");
    EXPECT_LE(platform_.tick() - closedAt, 2001);  // returned at the next yield
}

TEST_F(DialogueTest, HelpHeldOpenDuringStage1DoesNotStopTheGiveUp) {
    k7_.silent = true;
    MainForm& form = load();
    platform_.onHelp = [&] { platform_.advance(60'000); };  // the user reads for a minute
    platform_.after(7000, [&] { form.showHelp(); });
    form.startUpdate();
    EXPECT_EQ(form.statusLabel.caption, text::GiveUp + text::WrongPort);
    EXPECT_GT(std::stoi(form.retryCountLabel.caption), 10);
    EXPECT_TRUE(windowIsIdle(form));
}

TEST_F(DialogueTest, SessionPassesThroughTheStagesWithTheirTexts) {
    k7_.stopAfter = FakeK7::Step::File;  // sends T#FTPFILEP, then nothing
    k7_.name = "x\xe9yz";                // a short name: the CR and what follows are taken too
    MainForm& form = load();
    std::vector<std::string> stages, status;
    watch(form.stageLabel, stages);
    watch(form.statusLabel, status);
    platform_.after(20'000, [&] {
        EXPECT_EQ(form.session().stage, 5);
        EXPECT_EQ(form.progressBar.value, 10);
        form.stopUpdate();
    });
    form.startUpdate();
    EXPECT_EQ(stages, (std::vector<std::string>{"", "  1", "  2", "  3", "  4", "  5"}));
    ASSERT_GE(status.size(), 2u);
    EXPECT_EQ(status[0], text::Connecting);
    EXPECT_EQ(status[1], text::SerialNumber + "XÉYZ\r");
    EXPECT_EQ(form.session().deviceName, "X\xC9YZ\r");
    EXPECT_EQ(form.session().devicePassword, "\rZY\xC9X");
    // The dialogue as the device received it, then the Ack repeated by the timer in stage 5.
    ASSERT_GE(port_.writes.size(), 5u);
    EXPECT_EQ(std::vector<std::string>(port_.writes.begin(), port_.writes.begin() + 5),
              (std::vector<std::string>{"\x02\x10\x03", "\r\n0\r\n", "\r\n0\r\n", "\r\n0\r\n",
                                        "\r\n0\r\n"}));
}

TEST_F(DialogueTest, FloodWithoutEndKeepsTheBufferBoundedAndTheNameRecognised) {
    k7_.sendUserName = false;
    k7_.stopAfter = FakeK7::Step::UserName;
    MainForm& form = load();
    size_t largest = 0;
    platform_.onYield = [&] { largest = std::max(largest, form.session().received.size()); };
    // 1 MB of noise without a CR across several passes, then the request.
    for (int i = 0; i < 8; ++i)
        platform_.after(3000 + i * 2000, [&] { port_.deviceSends(std::string(128 * 1024, 'x')); });
    platform_.after(20'000, [&] { port_.deviceSends("T#FTPUNabc1234\r"); });
    platform_.after(30'000, [&] { form.stopUpdate(); });
    form.startUpdate();
    EXPECT_LE(largest, 16u * 1024);
    EXPECT_EQ(form.session().deviceName, "ABC1234");
    EXPECT_EQ(form.session().stage, 3);
}

TEST_F(DialogueTest, DelayWaitsPastItsDeadlineOnA64BitClock) {
    MainForm& form = load();
    platform_.setNow(std::int64_t{1} << 33);  // far beyond 32-bit ticks (some 99 days of uptime)
    form.session().stopRequested = false;
    const std::int64_t start = platform_.tick();
    form.session().waitFor(2000);
    EXPECT_EQ(platform_.tick() - start, 2001);
    form.session().waitFor(0);
    EXPECT_EQ(platform_.tick() - start, 2002);
}

// ---- Run-time errors outside the download and the transfer -------------------------------------

TEST_F(DialogueTest, DeviceGoneInTheDialogueShowsTheGenericBoxThenFails) {
    k7_.stopAfter = FakeK7::Step::Password;
    MainForm& form = load();
    // Unplugged in stage 4, with the Ack still to be read: the read after it fails.
    bool gone = false;
    platform_.onYield = [&] {
        if (!gone && form.session().stage == 4) {
            gone = true;
            port_.deviceSends("noise");
            port_.vanish();
        }
    };
    form.startUpdate();

    ASSERT_EQ(platform_.boxes.size(), 1u);
    EXPECT_EQ(platform_.boxes[0].title, text::GenericTitle);
    EXPECT_EQ(platform_.boxes[0].flags, mb::OkOnly);
    EXPECT_EQ(platform_.boxes[0].text,
              text::genericBox("MSComm1", err::ReadError, 0, "Device lost"));
    EXPECT_EQ(form.statusLabel.caption, text::Failed);
    EXPECT_EQ(form.progressBar.value, 0);
    EXPECT_TRUE(windowIsIdle(form));
    EXPECT_EQ(form.portStateLabel.caption, "Port Closed");
    // The port forgot the device: the next session opens it afresh and reads nothing stale.
    k7_.stopAfter = FakeK7::Step::Done;
    k7_.step = FakeK7::Step::WakeUp;
    k7_.silent = true;
    platform_.onYield = nullptr;
    form.startUpdate();
    EXPECT_EQ(platform_.boxes.size(), 1u);
    EXPECT_EQ(form.statusLabel.caption, text::GiveUp + text::WrongPort);
}

TEST_F(DialogueTest, PortLeftOpenThatWillNotCloseShowsThePortInUseBoxThenFails) {
    MainForm& form = load();
    port_.setCommPort(3);
    port_.setPortOpen(true);
    port_.failNextClose = true;
    form.startUpdate();

    ASSERT_EQ(platform_.boxes.size(), 1u);
    EXPECT_EQ(platform_.boxes[0].title, text::PortInUseTitle);
    EXPECT_EQ(platform_.boxes[0].flags, mb::OkOnly);
    EXPECT_EQ(platform_.boxes[0].text, text::portInUseBox(3));
    EXPECT_EQ(form.statusLabel.caption, text::Failed);
    EXPECT_EQ(form.progressBar.value, 0);
    EXPECT_TRUE(windowIsIdle(form));
    EXPECT_TRUE(k7_.wakeUpTimes.empty());  // the session never began
}

}  // namespace
}  // namespace vigie::test
