// Whole updates through the real program: the Qt window on the offscreen platform, Qt SerialPort on
// a pseudo-terminal played by the K7 simulator, and libcurl against a real FTP server.

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <filesystem>
#include <sstream>
#include <vector>

#include "tests/serial/pty_link.h"
#include "tests/support/program_texts.h"
#include "tests/support/real_program_fixture.h"

namespace vigie::test {
namespace {

namespace fs = std::filesystem;

class EndToEndTest : public RealProgramTest {};

// The times, in seconds, of the wake-ups in the simulator's log.
std::vector<double> wakeUpTimes(const std::string& log) {
    std::vector<double> times;
    std::istringstream lines(log);
    for (std::string line; std::getline(lines, line);)
        if (line.rfind("<- WakeUp at ", 0) == 0)
            times.push_back(std::stod(line.substr(13)));
    return times;
}

TEST_F(EndToEndTest, WholeUpdateReachesTheDevice) {
    Server server = startServer();
    // A device that sleeps through the first wake-up: the program's 5 s timer must wake it again
    // and count the retry.
    auto device = startDevice({"--end-delay", "1", "--ignore-wakeups", "1"});
    ModalWatcher watcher;
    Application app;
    startProgram(app);
    std::vector<std::string> retries;
    QElapsedTimer clock;
    clock.start();
    watcher.onIdle = [&] {
        const std::string& shown = app.form.retryCountLabel.caption;
        if (retries.empty() || retries.back() != shown)
            retries.push_back(shown);
        // Without the timer's ticks the session would wait in stage 1 for ever.
        if (app.form.session().stage == 1 && clock.elapsed() > 15'000)
            app.window.findChild<QPushButton*>("cmdClose")->click();
    };
    runUpdate(app);

    EXPECT_EQ(app.form.statusLabel.caption, text::Success);
    EXPECT_EQ(app.form.progressBar.value, 100);
    EXPECT_TRUE(watcher.boxes.empty()) << watcher.describe();
    expectIdle(app);

    // The retry count went from 3 to 4 at the timer's tick, then back to 0 once the device spoke.
    const auto from3 = std::find(retries.begin(), retries.end(), "3");
    ASSERT_GE(retries.end() - from3, 3);
    EXPECT_EQ(std::vector<std::string>(from3, from3 + 3),
              (std::vector<std::string>{"3", "4", "0"}));
    const std::vector<double> wakeUps = wakeUpTimes(device->errorOutput());
    ASSERT_EQ(wakeUps.size(), 2u) << device->errorOutput();
    EXPECT_NEAR(wakeUps[1] - wakeUps[0], 5.0, 0.5) << device->errorOutput();

    // Every line of the file, then the end markers.
    EXPECT_EQ(receivedAfterStop(device), sampleDatabaseAsSent() + "\x03\r\n\r\n368\r\n");

    const std::string log = server.log();
    EXPECT_NE(log.find("USER AB12CD3"), std::string::npos) << log;
    EXPECT_NE(log.find("PASS 3DC21BA"), std::string::npos) << log;
    EXPECT_FALSE(fs::exists(workFile()));
}

// A USB adapter numbered above 12, as Windows numbers them on a laptop that has seen a few: the
// user finds it in the list, updates through it, and finds it chosen again at the next start.
TEST_F(EndToEndTest, AnUpdateThroughAPortAboveTwelveWhichStaysChosen) {
    comPort_ = 15;
    PtyLink com1(dir_.path() / "com", 1);  // another free port, listed first
    Server server = startServer();
    // A device that waits for the next session, so that its port is still there at the next start.
    auto device = startDevice({"--end-delay", "1", "--loop"});
    ModalWatcher watcher;
    {
        Application app;
        ASSERT_TRUE(app.start());
        ASSERT_EQ(app.form.portList.items, (std::vector<std::string>{" 1", " 15"}));
        auto* list = app.window.findChild<QComboBox*>("cboPort");
        list->setCurrentIndex(1);
        emit list->activated(1);
        runUpdate(app);
        EXPECT_EQ(app.form.statusLabel.caption, text::Success);
        EXPECT_TRUE(watcher.boxes.empty()) << watcher.describe();
        // Closed as the user closes it, from the program's event loop.
        QTimer::singleShot(0, [&] { app.window.close(); });
        EXPECT_EQ(QApplication::exec(), 0);
    }
    EXPECT_EQ(readFile(dir_.path() / "config" / "vigie-k7" / "HD.ini"), "*15*1*\r\n");
    {
        Application again;
        ASSERT_TRUE(again.start());
        EXPECT_EQ(again.form.portList.text(), " 15");
    }
    EXPECT_EQ(receivedAfterStop(device), sampleDatabaseAsSent() + "\x03\r\n\r\n368\r\n");
}

TEST_F(EndToEndTest, DeviceVanishingDuringTheDataShowsTheSendingBox) {
    Server server = startServer();
    auto device = startDevice({"--vanish-after", "20"});
    ModalWatcher watcher;
    Application app;
    startProgram(app);
    runUpdate(app);

    ASSERT_EQ(watcher.boxes.size(), 1u);
    EXPECT_EQ(watcher.boxes[0].title, text::FailedTitle);
    EXPECT_EQ(watcher.boxes[0].text.rfind(text::SendingBoxStart, 0), 0u) << watcher.boxes[0].text;
    EXPECT_EQ(app.form.statusLabel.caption, text::Failed);
    EXPECT_EQ(app.form.progressBar.value, 0);
    expectIdle(app);
}

}  // namespace
}  // namespace vigie::test

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
