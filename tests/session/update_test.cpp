// Whole sessions in virtual time: the download, the transfer to the device, the saving phase, and
// the failures with their boxes.

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <set>
#include <string_view>

#include "app/document_windows.h"
#include "tests/session/session_fixture.h"
#include "tests/support/memory_ftp_layer.h"

namespace vigie::test {
namespace {

namespace fs = std::filesystem;

const std::string kMarkers = "\x03\r\n\r\n368\r\n";

class UpdateTest : public SessionFixture {
  protected:
    UpdateTest() {
        auto layer = std::make_unique<MemoryFtpLayer>();
        ftp_ = layer.get();
        ftp_->users["ABC1234"] = "4321CBA";
        ftp_->files["LocationsMid.txt"] = database(110);
        ftp_->files["LocationsFull.txt"] = database(20);
        layer_ = std::move(layer);
    }
    MainForm& loadWithServer() { return load(std::move(layer_)); }
    // A table's next row: a new session with the device, and no watcher of the row before's form.
    void nextRow() {
        platform_.onYield = nullptr;
        k7_.step = FakeK7::Step::WakeUp;
        k7_.received.clear();
        k7_.dataTimes.clear();
    }
    std::filesystem::path workFile() const { return appDir() / "temp.hd"; }

    // Every value the bar takes, in order, without repeats.
    std::vector<int> watchBar(const MainForm& form) {
        platform_.onYield = [this, &form] {
            if (bar_.empty() || bar_.back() != form.progressBar.value)
                bar_.push_back(form.progressBar.value);
        };
        return {};
    }

    MemoryFtpLayer* ftp_;
    std::unique_ptr<MemoryFtpLayer> layer_;
    std::vector<int> bar_;
};

TEST_F(UpdateTest, EndReportBeforeStage8EndsTheSessionWhenStage8IsReached) {
    k7_.endBeforeStage8 = true;
    MainForm& form = loadWithServer();
    std::int64_t stage8At = 0, stage9At = 0;
    platform_.onYield = [&] {
        if (form.session().stage == 8 && !stage8At)
            stage8At = platform_.tick();
        if (form.session().stage == 9 && !stage9At)
            stage9At = platform_.tick();
    };
    form.startUpdate();

    EXPECT_EQ(form.statusLabel.caption, text::Success);
    EXPECT_TRUE(form.statusLabel.font.bold);
    EXPECT_EQ(form.statusLabel.font.name, "Tahoma");
    EXPECT_EQ(form.progressBar.value, 100);
    // The first pass of stage 8 finds the report; the session ends after that pass's wait.
    EXPECT_LE(stage9At - stage8At, 2001);
    EXPECT_LE(platform_.tick() - stage9At, 2001);
    EXPECT_TRUE(platform_.boxes.empty());
    EXPECT_TRUE(windowIsIdle(form));
    EXPECT_EQ(k7_.received, ftp_->files["LocationsMid.txt"] + kMarkers);
    EXPECT_FALSE(std::filesystem::exists(workFile()));
    EXPECT_EQ(ftp_->log.front(), "CONNECT ABC1234");
    EXPECT_EQ(ftp_->openHandles(), 0u);
}

struct SavingCase {
    int fileIndex;
    std::string file;  // the database on the server
    std::int64_t seconds;
    std::vector<int> barAfterTransfer;
};

// Users' folders are named in their language, and not always in one that the system's ANSI code
// page covers: from such a folder the documents load, the database is downloaded and sent, the
// working file goes and the settings are written.
TEST_F(UpdateTest, WholeUpdateFromAFolderNamedBeyondTheCodePage) {
    ASSERT_NE(appPath().find("Łódź 日本"), std::string::npos);
    writeFile(appDir() / "UserGuide.rtf", "{\\rtf1 Guide {\\b K7}}");
    writeFile(appDir() / "M4Start.rtf", "{\\rtf1 Instructions}");
    EXPECT_EQ(frmHelp_Load(appPath()).text, "Guide K7");
    EXPECT_EQ(frmStart_Load(appPath()).text, "Instructions");
    MainForm& form = loadWithServer();
    bool downloaded = false;
    platform_.onYield = [&] { downloaded = downloaded || fs::exists(workFile()); };
    form.startUpdate();
    EXPECT_TRUE(downloaded);
    EXPECT_EQ(form.statusLabel.caption, text::Success);
    EXPECT_EQ(k7_.received, ftp_->files["LocationsMid.txt"] + kMarkers);
    EXPECT_FALSE(fs::exists(workFile()));
    form.unload();
    EXPECT_EQ(readFile(settingsFile()), "*1*1*\r\n");
}

TEST_F(UpdateTest, EachChoiceDownloadsItsFileAndItsSavingPhaseEndsOnItsTimer) {
    ftp_->files["TestLocations.txt"] = database(7);
    const SavingCase cases[] = {
        {0, "LocationsMid.txt", 120, {80, 83, 86, 89, 92, 95, 100}},
        {1, "LocationsFull.txt", 240, {80, 82, 84, 86, 88, 90, 92, 94, 96, 100}},
        {2, "TestLocations.txt", 240, {80, 82, 84, 86, 88, 90, 92, 94, 96, 100}},
    };
    for (const SavingCase& c : cases) {
        SCOPED_TRACE(c.file);
        k7_.endDelay = -1;
        nextRow();
        writeFile(settingsFile(), "*1*1*t*\r\n");  // "Test Locations" is offered
        auto layer = std::make_unique<MemoryFtpLayer>(*ftp_);
        MemoryFtpLayer& server = *layer;
        MainForm& form = load(std::move(layer));
        ASSERT_EQ(form.databaseList.items.size(), 3u);
        form.databaseList.listIndex = c.fileIndex;
        bar_.clear();
        watchBar(form);
        std::int64_t savingFrom = 0;
        auto bar = platform_.onYield;
        platform_.onYield = [&, bar] {
            bar();
            if (form.session().savingTimer.enabled() && !savingFrom)
                savingFrom = form.session().savingTimer.dueAt() - 15000;
        };
        form.startUpdate();

        EXPECT_EQ(form.session().databaseFile, c.file);
        EXPECT_EQ(std::count(server.log.begin(), server.log.end(), "RETR " + c.file), 1);
        EXPECT_EQ(k7_.received, ftp_->files[c.file] + kMarkers);
        EXPECT_EQ(form.statusLabel.caption, text::Success);
        const auto from80 = std::find(bar_.begin(), bar_.end(), 80);
        ASSERT_NE(from80, bar_.end());
        EXPECT_EQ(std::vector<int>(from80, bar_.end()), c.barAfterTransfer);
        EXPECT_GE(platform_.tick() - savingFrom, c.seconds * 1000);
        EXPECT_LE(platform_.tick() - savingFrom, c.seconds * 1000 + 2001);
        EXPECT_TRUE(windowIsIdle(form));
    }
}

TEST_F(UpdateTest, BarClimbsFrom10To25DuringTheDownloadThenByLinesTowards80) {
    MainForm& form = loadWithServer();
    watchBar(form);
    form.startUpdate();
    // 110 lines: three lines a step, 36 steps from where the download left the bar.
    const std::vector<int> expectedStart{0, 5, 10};
    ASSERT_GE(bar_.size(), 5u);
    EXPECT_EQ(std::vector<int>(bar_.begin(), bar_.begin() + 3), expectedStart);
    EXPECT_NE(std::find(bar_.begin(), bar_.end(), 25), bar_.end());
    EXPECT_NE(std::find(bar_.begin(), bar_.end(), 25 + 36), bar_.end());
    EXPECT_EQ(std::find(bar_.begin(), bar_.end(), 25 + 37), bar_.end());
    EXPECT_EQ(form.statusLabel.caption, text::Success);
}

TEST_F(UpdateTest, RefusedLoginMarksTheNextFailedSessionAsFailed) {
    ftp_->users.clear();
    MainForm& form = loadWithServer();
    form.startUpdate();
    ASSERT_EQ(platform_.boxes.size(), 1u);
    EXPECT_EQ(platform_.boxes[0].title, text::LoginRefusedTitle);
    EXPECT_TRUE(form.session().loginRefused);
    EXPECT_EQ(form.statusLabel.caption, text::Failed);
    EXPECT_EQ(form.progressBar.value, 0);
    EXPECT_TRUE(windowIsIdle(form));

    k7_.silent = true;
    form.startUpdate();
    EXPECT_EQ(form.statusLabel.caption, text::Failed);  // not the give-up text
    EXPECT_EQ(platform_.boxes.size(), 1u);
    EXPECT_TRUE(windowIsIdle(form));
}

// An error in each region of stage 7, answered Yes (the session starts again from the wake-up
// and succeeds) or No (the update fails).
struct TransferFailure {
    const char* name;
    enum class Region { FileProcessing, Sending, AfterSending } region;
    int answer;
    std::string box;
    bool workFileStays;  // after No: the file is deleted only once all lines have gone out
};

void PrintTo(const TransferFailure& c, std::ostream* os) {
    *os << c.name;
}

class TransferFailureTest : public UpdateTest,
                            public ::testing::WithParamInterface<TransferFailure> {
  protected:
    // Makes the region's error happen once.
    void breakOnce(MainForm& form, TransferFailure::Region region) {
        switch (region) {
            case TransferFailure::Region::FileProcessing:
                // The working file disappears between the download and its counting.
                platform_.onYield = [this, &form, removed = false]() mutable {
                    if (!removed && form.session().stage == 7 &&
                        form.statusLabel.caption != text::Sending) {
                        removed = true;
                        fs::remove(workFile());
                    }
                };
                break;
            case TransferFailure::Region::Sending:
                k7_.vanishAfterLines = 30;  // the 31st line finds the device gone
                break;
            case TransferFailure::Region::AfterSending:
                k7_.vanishAfterLines = 110;  // every line went out; the end marker finds it gone
                break;
        }
    }
};

TEST_P(TransferFailureTest, ShowsItsBoxThenRestartsOrFails) {
    const TransferFailure& c = GetParam();
    platform_.answers = {c.answer};
    MainForm& form = loadWithServer();
    breakOnce(form, c.region);
    form.startUpdate();

    ASSERT_EQ(platform_.boxes.size(), 1u);
    EXPECT_EQ(platform_.boxes[0].title, text::FailedTitle);
    EXPECT_EQ(platform_.boxes[0].flags, 36);
    EXPECT_EQ(platform_.boxes[0].text, c.box);
    EXPECT_TRUE(windowIsIdle(form));
    if (c.answer == mb::Yes) {
        EXPECT_EQ(port_.opens, 2);
        EXPECT_EQ(k7_.wakeUpTimes.size(), 2u);
        EXPECT_EQ(std::count(ftp_->log.begin(), ftp_->log.end(), "RETR LocationsMid.txt"), 2);
        EXPECT_EQ(form.statusLabel.caption, text::Success);
        EXPECT_EQ(k7_.received, ftp_->files["LocationsMid.txt"] + kMarkers);
        EXPECT_FALSE(fs::exists(workFile()));
    } else {
        EXPECT_EQ(form.statusLabel.caption, text::Failed);
        EXPECT_EQ(form.progressBar.value, 0);
        EXPECT_EQ(port_.opens, 1);
        // A working file not yet deleted stays until the next download replaces it.
        EXPECT_EQ(fs::exists(workFile()), c.workFileStays);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Regions, TransferFailureTest,
    ::testing::Values(TransferFailure{"FileProcessingYes", TransferFailure::Region::FileProcessing,
                                      mb::Yes, text::fileProcessingBox("File not found"), false},
                      TransferFailure{"FileProcessingNo", TransferFailure::Region::FileProcessing,
                                      mb::No, text::fileProcessingBox("File not found"), false},
                      TransferFailure{"SendingYes", TransferFailure::Region::Sending, mb::Yes,
                                      text::sendingBox("Device lost"), true},
                      TransferFailure{"SendingNo", TransferFailure::Region::Sending, mb::No,
                                      text::sendingBox("Device lost"), true},
                      TransferFailure{"AfterSendingYes", TransferFailure::Region::AfterSending,
                                      mb::Yes, text::afterSendingBox("Device lost"), false},
                      TransferFailure{"AfterSendingNo", TransferFailure::Region::AfterSending,
                                      mb::No, text::afterSendingBox("Device lost"), false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(UpdateTest, ThreeFailedDownloadsThenANewConnectionTwoSecondsLater) {
    ftp_->files.erase("LocationsMid.txt");
    MainForm& form = loadWithServer();
    platform_.onBox = [&](const ShownBox&) {
        if (platform_.boxes.size() == 6)
            form.stopUpdate();
    };
    form.startUpdate();
    ASSERT_EQ(platform_.boxes.size(), 6u);
    for (const ShownBox& box : platform_.boxes) {
        EXPECT_EQ(box.title, "Erreur");
        EXPECT_EQ(box.flags, mb::Critical);
    }
    EXPECT_EQ(platform_.boxes[3].at - platform_.boxes[2].at, 2001);
    EXPECT_EQ(std::count_if(ftp_->log.begin(), ftp_->log.end(),
                            [](const std::string& l) { return l.rfind("CONNECT", 0) == 0; }),
              2);
    EXPECT_EQ(form.statusLabel.caption, text::Stopped);
    EXPECT_TRUE(windowIsIdle(form));
}

TEST_F(UpdateTest, WorkingFileThatCannotBeWrittenAsksToRetryTheDownload) {
    std::filesystem::create_directories(workFile() / "in-the-way");
    platform_.onBox = [&](const ShownBox& box) {
        if (box.flags == 36)  // the user clears the way, then answers Yes
            std::filesystem::remove_all(workFile());
    };
    platform_.answers = {mb::Yes};
    MainForm& form = loadWithServer();
    form.startUpdate();
    ASSERT_GE(platform_.boxes.size(), 1u);
    EXPECT_EQ(platform_.boxes[0].title, text::FailedTitle);
    EXPECT_EQ(platform_.boxes[0].text, text::DownloadBox);
    EXPECT_EQ(form.statusLabel.caption, text::Success);
    EXPECT_EQ(port_.opens, 1);  // the device was not woken again
}

TEST_F(UpdateTest, CloseDuringTheDownloadStopsWithoutABox) {
    ftp_->files["LocationsMid.txt"] = database(3000);
    ftp_->yieldWhileWaiting = true;
    MainForm& form = loadWithServer();
    bool closed = false;
    platform_.onYield = [&] {
        if (!closed && ftp_->reads == 5) {
            closed = true;
            form.stopUpdate();
        }
    };
    form.startUpdate();
    EXPECT_TRUE(closed);
    EXPECT_EQ(form.statusLabel.caption, text::Stopped);
    EXPECT_TRUE(platform_.boxes.empty());
    EXPECT_TRUE(windowIsIdle(form));
    EXPECT_EQ(k7_.received, "");
    EXPECT_EQ(ftp_->openHandles(), 0u);
}

TEST_F(UpdateTest, CloseWhileLinesAreSentStopsTheStream) {
    MainForm& form = loadWithServer();
    bool closed = false;
    platform_.onYield = [&] {
        if (form.session().stage == 7 && k7_.received.size() > 200 && !closed) {
            closed = true;
            form.stopUpdate();
        }
    };
    form.startUpdate();
    EXPECT_EQ(form.statusLabel.caption, text::Stopped);
    EXPECT_TRUE(platform_.boxes.empty());
    const std::string sent = k7_.received;
    EXPECT_LT(sent.size(), ftp_->files["LocationsMid.txt"].size());
    EXPECT_EQ(sent.find('\x03'), std::string::npos);  // no end marker after a stop
    EXPECT_TRUE(windowIsIdle(form));
    // The stopped update's working file stays while the program runs, and goes with it.
    EXPECT_TRUE(fs::exists(workFile()));
    form.unload();
    EXPECT_FALSE(fs::exists(workFile()));
}

// ---- Stage 7: pacing, progress, filler -------------------------------------------------------

// How many line ends reached the device: the data lines, as long as no end marker came.
int linesIn(const std::string& received) {
    int n = 0;
    for (std::size_t at = received.find("\r\n"); at != std::string::npos;
         at = received.find("\r\n", at + 2))
        ++n;
    return n;
}

TEST_F(UpdateTest, EveryLineWaitsOneDelayOf23MillisecondsAfterTheOneBefore) {
    MainForm& form = loadWithServer();
    std::int64_t sendingFrom = -1;
    platform_.onYield = [&] {
        if (sendingFrom < 0 && form.statusLabel.caption == text::Sending)
            sendingFrom = platform_.tick();
    };
    form.startUpdate();
    ASSERT_EQ(form.statusLabel.caption, text::Success);

    // waitFor(23) returns once the clock has passed start + 23: on a clock that a real system reads
    // at any moment within a millisecond that is 23 to 24 ms; on the exact virtual clock, 24.
    ASSERT_EQ(k7_.dataTimes.size(), 110u + 2u);  // the lines, then the two end markers
    EXPECT_EQ(k7_.dataTimes[0] - sendingFrom, 24);
    for (std::size_t i = 1; i < 110; ++i)
        EXPECT_EQ(k7_.dataTimes[i] - k7_.dataTimes[i - 1], 24) << "line " << i + 1;
    // The end markers follow the last line without a wait.
    EXPECT_EQ(k7_.dataTimes[110], k7_.dataTimes[109]);
}

struct ProgressCase {
    int lines;
    std::vector<int> percents;  // every percentage shown while sending, in order
};

TEST_F(UpdateTest, SendingShowsAStepAndAPercentageEveryLinesPerStepLines) {
    // A step every lLinesCount / 55 + 1 lines: 1 up to 54 lines, 2 from 55; the percentage is
    // rounded down.
    std::vector<int> every54, every55;
    for (int k = 1; k <= 54; ++k)
        every54.push_back(k * 100 / 54);
    for (int k = 2; k <= 54; k += 2)
        every55.push_back(k * 100 / 55);
    const ProgressCase cases[] = {
        {1, {100}},
        {7, {14, 28, 42, 57, 71, 85, 100}},
        {54, every54},
        {55, every55},
    };
    ASSERT_EQ(every54.back(), 100);
    ASSERT_EQ(every55.back(), 98);
    for (const ProgressCase& c : cases) {
        SCOPED_TRACE(std::to_string(c.lines) + " lines");
        nextRow();
        ftp_->files["LocationsMid.txt"] = database(c.lines);
        MainForm& form = load(std::make_unique<MemoryFtpLayer>(*ftp_));
        // Each percentage with the bar shown beside it, as seen at the session's yields.
        std::vector<std::string> shown;
        std::vector<int> bars;
        int barBefore = -1;
        platform_.onYield = [&] {
            const std::string& status = form.statusLabel.caption;
            if (status == text::Sending)
                barBefore = form.progressBar.value;
            if (status.rfind(text::SendingPercent, 0) == 0 &&
                (shown.empty() || shown.back() != status)) {
                shown.push_back(status);
                bars.push_back(form.progressBar.value);
            }
        };
        form.startUpdate();
        ASSERT_EQ(form.statusLabel.caption, text::Success);

        std::vector<std::string> expected;
        for (int percent : c.percents)
            expected.push_back(text::SendingPercent + std::to_string(percent) + "%");
        EXPECT_EQ(shown, expected);
        // The last update is seen while the filler is made, when the bar already shows 80.
        EXPECT_EQ(barBefore, 25);
        for (std::size_t i = 0; i + 1 < bars.size(); ++i)
            EXPECT_EQ(bars[i], 25 + static_cast<int>(i) + 1) << shown[i];
        EXPECT_EQ(k7_.received, database(c.lines) + kMarkers);
    }
}

constexpr std::string_view kFillerAlphabet =
    "AB CD EFG HIJ KLMN OPQR ST UVW XYZ 12 34 567 8 90 akjhiuervb ajshdgj 1283768";

// Filler: 2000 to 3999 pieces of ten characters, each taken from the alphabet at one of its
// first 66 positions.
::testing::AssertionResult isFiller(std::string_view text) {
    if (text.size() % 10 != 0 || text.size() < 20000 || text.size() > 39990)
        return ::testing::AssertionFailure() << "filler of " << text.size() << " characters";
    for (std::size_t at = 0; at < text.size(); at += 10) {
        const std::size_t found = kFillerAlphabet.find(text.substr(at, 10));
        if (found == std::string_view::npos || found > 65)
            return ::testing::AssertionFailure()
                   << "piece " << at / 10 << ": " << text.substr(at, 10);
    }
    return ::testing::AssertionSuccess();
}

TEST_F(UpdateTest, WorkingFileIsOverwrittenWithTheDateTimeAndFillerBeforeItIsDeleted) {
    MainForm& form = loadWithServer();
    // A second name for the downloaded file keeps what the overwrite leaves in it once the working
    // file's name is deleted.
    const fs::path kept = appDir() / "kept.hd";
    platform_.onYield = [&] {
        if (form.session().stage == 7 && fs::exists(workFile()) && !fs::exists(kept))
            fs::create_hard_link(workFile(), kept);
    };
    form.startUpdate();
    ASSERT_EQ(form.statusLabel.caption, text::Success);
    ASSERT_FALSE(fs::exists(workFile()));
    ASSERT_TRUE(fs::exists(kept));

    const std::string line = readFile(kept);
    const std::string stamp =
        "12-10-2026 14:05:09 ";  // the platform's clock: 10 Dec 2026, 14:05:09
    ASSERT_GE(line.size(), stamp.size() + 2);
    EXPECT_EQ(line.substr(0, stamp.size()), stamp);
    EXPECT_EQ(line.substr(line.size() - 2), "\r\n");
    EXPECT_TRUE(
        isFiller(std::string_view(line).substr(stamp.size(), line.size() - stamp.size() - 2)));
}

TEST_F(UpdateTest, MakeRandomTextYieldsOncePerPieceOfTheAlphabet) {
    MainForm& form = loadWithServer();
    std::set<std::size_t> lengths;
    std::set<std::string> starts;
    for (int run = 0; run < 40; ++run) {
        const std::int64_t yieldsBefore = platform_.yields;
        const std::string filler = form.session().makeFillerText();
        ASSERT_TRUE(isFiller(filler));
        EXPECT_EQ(platform_.yields - yieldsBefore, static_cast<std::int64_t>(filler.size() / 10));
        lengths.insert(filler.size());
        for (std::size_t at = 0; at < filler.size(); at += 10)
            starts.insert(filler.substr(at, 10));
    }
    // Drawn afresh each time: lengths differ, and the pieces start everywhere in the first 66.
    EXPECT_GT(lengths.size(), 30u);
    EXPECT_EQ(starts.size(), 66u);
}

TEST_F(UpdateTest, MakeRandomTextRunsFromTheShortestToTheLongestFiller) {
    MainForm& form = loadWithServer();
    // The first draw sets the number of pieces, each later one where a piece starts; the draws
    // at both ends of [0, 1) give the fewest and the most pieces, the first and the last start.
    const struct {
        double draw;
        std::size_t pieces;
        std::size_t start;
    } ends[] = {{0.0, 2000, 0}, {0.99999999, 3999, 65}};
    for (const auto& end : ends) {
        SCOPED_TRACE(end.draw);
        form.session().setRandomSource([&] { return end.draw; });
        const std::string filler = form.session().makeFillerText();
        EXPECT_EQ(filler.size(), end.pieces * 10);
        EXPECT_EQ(filler.substr(0, 10), kFillerAlphabet.substr(end.start, 10));
        EXPECT_TRUE(isFiller(filler));
    }
}

// ---- Close during stage 7 ------------------------------------------------------------------

class CloseDuringTransfer : public UpdateTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(CloseDuringTransfer, StopsWhereItLandsAndChangesNothingMore) {
    const std::string where = GetParam();
    ftp_->files["LocationsMid.txt"] = database(20);  // a step and a percentage every line
    MainForm& form = loadWithServer();
    std::int64_t closedAt = -1;
    int barAtClose = -1;
    std::string statusAtClose;
    std::size_t receivedAtClose = 0;
    const auto close = [&] {
        closedAt = platform_.tick();
        barAtClose = form.progressBar.value;
        statusAtClose = form.statusLabel.caption;
        receivedAtClose = k7_.received.size();
        form.stopUpdate();
    };
    int countingYields = 0;
    bool scheduled = false;
    platform_.onYield = [&] {
        if (closedAt >= 0 || scheduled || form.session().stage != 7)
            return;
        if (where == "Counting" && form.statusLabel.caption == text::Sending) {
            if (++countingYields == 5)
                close();
        } else if (where == "InsideTheWait" && linesIn(k7_.received) == 4) {
            // After the 4th line, 10 ms into the 23 ms wait before the 5th, not at a yield.
            scheduled = true;
            platform_.after(10, close);
        } else if (where == "MakingTheFiller" && form.progressBar.value == 80) {
            close();
        }
    };
    form.startUpdate();

    ASSERT_GE(closedAt, 0) << "never closed";
    if (where == "Counting") {
        EXPECT_EQ(receivedAtClose, 0u);
    }
    if (where == "InsideTheWait") {
        EXPECT_EQ(closedAt, k7_.dataTimes[3] + 10);
    }
    EXPECT_EQ(form.statusLabel.caption, text::Stopped);
    EXPECT_TRUE(platform_.boxes.empty());
    EXPECT_TRUE(windowIsIdle(form));
    EXPECT_EQ(form.session().stage, 7);
    EXPECT_EQ(form.progressBar.value, barAtClose);
    EXPECT_EQ(k7_.received.size(), receivedAtClose);
    EXPECT_EQ(k7_.received.find('\x03'), std::string::npos);  // no end marker
    if (where == "MakingTheFiller") {
        EXPECT_EQ(statusAtClose, text::SendingPercent + "100%");
        // Emptied for the filler, which was never written.
        ASSERT_TRUE(fs::exists(workFile()));
        EXPECT_EQ(fs::file_size(workFile()), 0u);
    } else {
        EXPECT_EQ(readFile(workFile()), ftp_->files["LocationsMid.txt"]);
    }
}

INSTANTIATE_TEST_SUITE_P(Stage7, CloseDuringTransfer,
                         ::testing::Values("Counting", "InsideTheWait", "MakingTheFiller"),
                         [](const auto& info) { return std::string(info.param); });

}  // namespace
}  // namespace vigie::test
