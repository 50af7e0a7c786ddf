// The hold on the system (awake, no sign-out) across every ending of an update, in virtual time:
// held from the moment the port opens, for as long as the update works, released at its end,
// never while the window is idle; let go while a box of the update waits for its answer, and held
// again when Yes takes the update up again.

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <optional>

#include "tests/session/session_fixture.h"
#include "tests/support/files.h"
#include "tests/support/memory_ftp_layer.h"

namespace vigie::test {
namespace {

namespace fs = std::filesystem;

const std::string kReason =
    "Mise à jour du K7 en cours : attendez la fin avant de fermer la session.";

class SystemHoldTest : public SessionFixture {
  public:
    SystemHoldTest() {
        auto layer = std::make_unique<MemoryFtpLayer>();
        ftp_ = layer.get();
        ftp_->users["ABC1234"] = "4321CBA";
        ftp_->files["LocationsMid.txt"] = database(110);
        layer_ = std::move(layer);
    }
    MainForm& loadWithServer() { return load(std::move(layer_)); }

    VirtualPlatform& platform() { return platform_; }
    MemorySerialPort& port() { return port_; }
    FakeK7& k7() { return k7_; }
    MemoryFtpLayer& ftp() { return *ftp_; }
    fs::path workFile() const { return appDir() / "temp.hd"; }
    // Runs action once, at the first yield where when() holds.
    void once(std::function<bool()> when, std::function<void()> action) {
        platform_.onYield = [when, action, done = false]() mutable {
            if (!done && when()) {
                done = true;
                action();
            }
        };
    }

  private:
    MemoryFtpLayer* ftp_;
    std::unique_ptr<MemoryFtpLayer> layer_;
};

struct Ending {
    const char* name;
    // Sets up the peers and the user's actions for this ending.
    std::function<void(SystemHoldTest&, MainForm&)> arrange;
    std::optional<std::string> status;  // the status the ending leaves, where it is fixed
    bool restarts = false;
    // The holds (true) and releases (false) in order: a box lets go, Yes holds again.
    std::vector<bool> holds = {true, false};
};

void PrintTo(const Ending& e, std::ostream* os) {
    *os << e.name;
}

class SessionEndings : public SystemHoldTest, public ::testing::WithParamInterface<Ending> {};

TEST_P(SessionEndings, HeldFromThePortsOpeningToTheEndThenReleasedOnce) {
    const Ending& ending = GetParam();
    MainForm& form = loadWithServer();
    ASSERT_TRUE(platform().holdCalls.empty()) << "held at start-up";
    ending.arrange(*this, form);

    // Watched at every yield: the port open means an update runs, and it must be held then,
    // unless a box answered otherwise than Yes is ending it.
    auto arranged = platform().onYield;
    int unheldYields = 0;
    int heldBoxes = 0;
    bool boxEndsUpdate = false;
    std::int64_t lastOpen = -1;
    platform().onYield = [&, arranged] {
        if (port().portOpen()) {
            lastOpen = platform().tick();
            if (!platform().systemHeld && !boxEndsUpdate)
                ++unheldYields;
        }
        if (arranged)
            arranged();
    };
    auto arrangedBox = platform().onBox;
    platform().onBox = [&, arrangedBox](const ShownBox& box) {
        if (platform().systemHeld || form.session().systemHeld())
            ++heldBoxes;
        boxEndsUpdate = platform().answers.empty() || platform().answers.front() != mb::Yes;
        if (arrangedBox)
            arrangedBox(box);
    };
    form.startUpdate();

    if (ending.status) {
        EXPECT_EQ(form.statusLabel.caption, *ending.status);
    }
    EXPECT_EQ(port().opens, ending.restarts ? 2 : 1);
    EXPECT_EQ(unheldYields, 0);
    EXPECT_EQ(heldBoxes, 0) << "held while a box waited for its answer";
    const auto& calls = platform().holdCalls;
    std::vector<bool> holds;
    for (const SystemHoldCall& call : calls) {
        holds.push_back(call.hold);
        EXPECT_EQ(call.reason, call.hold ? kReason : "");
    }
    ASSERT_EQ(holds, ending.holds);
    EXPECT_LE(calls[0].at, k7().wakeUpTimes.front()) << "held after the device was woken";
    if (!boxEndsUpdate) {
        EXPECT_GE(calls.back().at, lastOpen) << "released while the port was still open";
    }
    EXPECT_FALSE(platform().systemHeld);
    EXPECT_FALSE(form.session().systemHeld());
}

// The device leaves in the middle of the sending: the sending box.
void vanishWhileSending(SystemHoldTest& t, MainForm&) {
    t.k7().vanishAfterLines = 30;
}

// The working file cannot be written: the download box; Yes after clearing the way succeeds.
void blockTheWorkingFile(SystemHoldTest& t, MainForm&) {
    fs::create_directories(t.workFile() / "in-the-way");
}

INSTANTIATE_TEST_SUITE_P(
    Endings, SessionEndings,
    ::testing::Values(
        Ending{"Success", [](SystemHoldTest&, MainForm&) {}, text::Success},
        Ending{"GaveUp", [](SystemHoldTest& t, MainForm&) { t.k7().silent = true; },
               text::GiveUp + text::WrongPort},
        Ending{"LoginRefused", [](SystemHoldTest& t, MainForm&) { t.ftp().users.clear(); },
               text::Failed},
        Ending{"CloseInStage3",
               [](SystemHoldTest& t, MainForm& f) {
                   t.once([&f] { return f.session().stage == 3; }, [&f] { f.stopUpdate(); });
               },
               text::Stopped},
        Ending{"GenericBox",
               [](SystemHoldTest& t, MainForm& f) {
                   t.k7().stopAfter = FakeK7::Step::Password;
                   t.once([&f] { return f.session().stage == 4; },
                          [&t] {
                              t.port().deviceSends("noise");
                              t.port().vanish();
                          });
               },
               text::Failed},
        Ending{"SendingBoxNo", vanishWhileSending, text::Failed},
        Ending{"SendingBoxYesRestarts",
               [](SystemHoldTest& t, MainForm& f) {
                   vanishWhileSending(t, f);
                   t.platform().answers = {mb::Yes};
               },
               text::Success,
               true,
               {true, false, true, false}},
        Ending{"DownloadBoxNo", blockTheWorkingFile, text::Failed},
        Ending{"DownloadBoxYesRetries",
               [](SystemHoldTest& t, MainForm& f) {
                   blockTheWorkingFile(t, f);
                   t.platform().answers = {mb::Yes};
                   t.platform().onBox = [&t](const ShownBox&) { fs::remove_all(t.workFile()); };
               },
               text::Success,
               false,
               {true, false, true, false}},
        // The close box, or a sign-out that the user forced (WM_ENDSESSION): the shut-down runs
        // inside one of the session's yields and lets the system go before the program ends,
        // since the system may end the process as soon as the shut-down returns.
        Ending{"WindowClosedWhileSending",
               [](SystemHoldTest& t, MainForm& f) {
                   t.once(
                       [&f] { return f.statusLabel.caption.rfind(text::SendingPercent, 0) == 0; },
                       [&t, &f] {
                           f.unload();
                           EXPECT_TRUE(t.platform().ended);
                           EXPECT_FALSE(t.platform().systemHeld)
                               << "still held when the program ends";
                       });
               },
               std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

// The whole story of an update that a box interrupts: held, the box lets the system go for as long
// as it waits, Yes holds it again for the restarted update, whose end lets it go.
TEST_F(SystemHoldTest, ABoxLetsTheSystemGoUntilYesTakesTheUpdateUpAgain) {
    MainForm& form = loadWithServer();
    k7().vanishAfterLines = 30;
    platform().answers = {mb::Yes};
    std::size_t callsBeforeBox = 0;
    platform().onBox = [&](const ShownBox& box) {
        callsBeforeBox = platform().holdCalls.size();
        EXPECT_FALSE(platform().systemHeld) << box.text;
        EXPECT_FALSE(form.session().systemHeld());
    };
    form.startUpdate();
    EXPECT_EQ(form.statusLabel.caption, text::Success);
    std::vector<std::string> story;
    for (std::size_t i = 0; i < platform().holdCalls.size(); ++i) {
        if (i == callsBeforeBox)
            story.push_back("box, Yes");
        story.push_back(platform().holdCalls[i].hold ? "hold" : "release");
    }
    EXPECT_EQ(story, (std::vector<std::string>{"hold", "release", "box, Yes", "hold", "release"}));
    EXPECT_EQ(platform().boxes.size(), 1u);
}

TEST_F(SystemHoldTest, NeverHeldWhileIdleNorWhenThePortDoesNotOpen) {
    MainForm& form = loadWithServer();
    port().busy = {1};  // another program holds COM1
    form.startUpdate();
    EXPECT_EQ(port().opens, 0);
    form.menuCommand("mnuMainFilter");
    form.showHelp();
    platform().advance(60'000);
    form.unload();
    EXPECT_TRUE(platform().holdCalls.empty());
}

TEST_F(SystemHoldTest, EachUpdateHoldsAndReleasesInTurn) {
    MainForm& form = loadWithServer();
    k7().silent = true;
    form.startUpdate();
    k7().silent = false;
    k7().step = FakeK7::Step::WakeUp;
    form.startUpdate();
    ASSERT_EQ(form.statusLabel.caption, text::Success);
    const auto& calls = platform().holdCalls;
    ASSERT_EQ(calls.size(), 4u);
    for (std::size_t i = 0; i < calls.size(); ++i)
        EXPECT_EQ(calls[i].hold, i % 2 == 0) << "call " << i;
}

// What the platform reports is written down: how the system was held or why not, and a sleep
// that cut into an update; a sleep while the window is idle is no update's business.
TEST_F(SystemHoldTest, TheLogSaysHowTheSystemWasHeldAndWhenItSleptDuringTheUpdate) {
    MainForm& form = loadWithServer();
    form.systemEvent(SystemEvent::Suspending, "idle sleep");
    once([&form] { return form.session().stage == 3; },
         [&form] {
             form.systemEvent(SystemEvent::NotHeld, "no logind here");
             form.systemEvent(SystemEvent::Suspending, "lid closed");
             form.systemEvent(SystemEvent::Resumed, "lid opened");
             form.stopUpdate();
         });
    form.startUpdate();
    form.systemEvent(SystemEvent::Resumed, "idle wake");
    form.systemEvent(SystemEvent::Held, "held as asked");
    form.systemEvent(SystemEvent::Released, "let go");

    const std::string log = readFile(logFile());
    for (const char* line : {"Veille non empêchée pendant la mise à jour (no logind here)",
                             "L'ordinateur se met en veille pendant la mise à jour (lid closed)",
                             "L'ordinateur sort de veille pendant la mise à jour (lid opened)",
                             "Ordinateur maintenu éveillé pendant la mise à jour (held as asked)",
                             "Veille et fin de session de nouveau permises (let go)"})
        EXPECT_NE(log.find(line), std::string::npos) << line << "\nin:\n" << log;
    EXPECT_EQ(log.find("idle"), std::string::npos) << log;
}

}  // namespace
}  // namespace vigie::test
