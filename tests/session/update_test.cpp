// Whole sessions in virtual time: the download, the transfer to the device, the saving phase, and
// the failures with their boxes.

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/session/session_fixture.h"
#include "tests/support/memory_ftp_layer.h"

namespace vigie::test {
namespace {

const std::string kSuccess =
    "K7 mis à jour.\r\nVous pouvez maintenant fermer ce programme et déconnecter le K7 de votre "
    "ordinateur.";
const std::string kFailed = "La mise à jour du K7 a échoué.";
const std::string kStopped = "La mise à jour du K7 s'est arrêtée.";
const std::string kFailedTitle = "La mise à jour du K7 a échoué";

std::string database(int lines) {
    std::string text;
    for (int i = 1; i <= lines; ++i)
        text += "4.8" + std::to_string(i) + ",45.7,FIXE,50,Ch\xEAne " + std::to_string(i) + "\r\n";
    return text;
}

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
    FrmMain& loadWithServer() { return load(std::move(layer_)); }
    std::filesystem::path workFile() const { return appDir() / "temp.hd"; }

    // Every value the bar takes, in order, without repeats.
    std::vector<int> watchBar(const FrmMain& form) {
        platform_.onYield = [this, &form] {
            if (bar_.empty() || bar_.back() != form.prgb1.value)
                bar_.push_back(form.prgb1.value);
        };
        return {};
    }

    MemoryFtpLayer* ftp_;
    std::unique_ptr<MemoryFtpLayer> layer_;
    std::vector<int> bar_;
};

TEST_F(UpdateTest, EndReportBeforeStage8EndsTheSessionWhenStage8IsReached) {
    k7_.endBeforeStage8 = true;
    FrmMain& form = loadWithServer();
    std::int64_t stage8At = 0, stage9At = 0;
    platform_.onYield = [&] {
        if (form.nStage == 8 && !stage8At)
            stage8At = platform_.tick();
        if (form.nStage == 9 && !stage9At)
            stage9At = platform_.tick();
    };
    form.cmdGo_Click();

    EXPECT_EQ(form.lblStatus.caption, kSuccess);
    EXPECT_TRUE(form.lblStatus.font.bold);
    EXPECT_EQ(form.lblStatus.font.name, "Tahoma");
    EXPECT_EQ(form.prgb1.value, 100);
    // The first pass of stage 8 finds the report; the session ends after that pass's wait.
    EXPECT_LE(stage9At - stage8At, 2001);
    EXPECT_LE(platform_.tick() - stage9At, 2001);
    EXPECT_TRUE(platform_.boxes.empty());
    EXPECT_TRUE(idle(form));
    EXPECT_EQ(k7_.received, ftp_->files["LocationsMid.txt"] + "\x03\r\n\r\n368\r\n");
    EXPECT_FALSE(std::filesystem::exists(workFile()));
    EXPECT_EQ(ftp_->log.front(), "CONNECT ABC1234");
    EXPECT_EQ(ftp_->openHandles(), 0u);
}

struct SavingCase {
    int fileIndex;
    std::int64_t seconds;
    std::vector<int> barAfterTransfer;
};

TEST_F(UpdateTest, WithoutEndReportTheSavingPhaseEndsOnItsTimer) {
    const SavingCase cases[] = {
        {0, 120, {80, 83, 86, 89, 92, 95, 100}},
        {1, 240, {80, 82, 84, 86, 88, 90, 92, 94, 96, 100}},
    };
    for (const SavingCase& c : cases) {
        SCOPED_TRACE(c.fileIndex);
        k7_.endDelay = -1;
        k7_.step = FakeK7::Step::WakeUp;
        auto layer = std::make_unique<MemoryFtpLayer>(*ftp_);
        ftp_ = layer.get();
        FrmMain& form = load(std::move(layer));
        form.cboFile.listIndex = c.fileIndex;
        bar_.clear();
        watchBar(form);
        std::int64_t savingFrom = 0;
        auto bar = platform_.onYield;
        platform_.onYield = [&, bar] {
            bar();
            if (form.tmrUserUpload.enabled() && !savingFrom)
                savingFrom = form.tmrUserUpload.dueAt() - 15000;
        };
        form.cmdGo_Click();

        EXPECT_EQ(form.lblStatus.caption, kSuccess);
        const auto from80 = std::find(bar_.begin(), bar_.end(), 80);
        ASSERT_NE(from80, bar_.end());
        EXPECT_EQ(std::vector<int>(from80, bar_.end()), c.barAfterTransfer);
        EXPECT_GE(platform_.tick() - savingFrom, c.seconds * 1000);
        EXPECT_LE(platform_.tick() - savingFrom, c.seconds * 1000 + 2001);
        EXPECT_TRUE(idle(form));
    }
}

TEST_F(UpdateTest, BarClimbsFrom10To25DuringTheDownloadThenByLinesTowards80) {
    FrmMain& form = loadWithServer();
    watchBar(form);
    form.cmdGo_Click();
    // 110 lines: three lines a step, 36 steps from where the download left the bar.
    const std::vector<int> expectedStart{0, 5, 10};
    ASSERT_GE(bar_.size(), 5u);
    EXPECT_EQ(std::vector<int>(bar_.begin(), bar_.begin() + 3), expectedStart);
    EXPECT_NE(std::find(bar_.begin(), bar_.end(), 25), bar_.end());
    EXPECT_NE(std::find(bar_.begin(), bar_.end(), 25 + 36), bar_.end());
    EXPECT_EQ(std::find(bar_.begin(), bar_.end(), 25 + 37), bar_.end());
    EXPECT_EQ(form.lblStatus.caption, kSuccess);
}

TEST_F(UpdateTest, RefusedLoginMarksTheNextFailedSessionAsFailed) {
    ftp_->users.clear();
    FrmMain& form = loadWithServer();
    form.cmdGo_Click();
    ASSERT_EQ(platform_.boxes.size(), 1u);
    EXPECT_EQ(platform_.boxes[0].title, "Halvorn Devices - Error Message");
    EXPECT_TRUE(form.blnLoginRefused);
    EXPECT_EQ(form.lblStatus.caption, kFailed);
    EXPECT_EQ(form.prgb1.value, 0);
    EXPECT_TRUE(idle(form));

    k7_.silent = true;
    form.cmdGo_Click();
    EXPECT_EQ(form.lblStatus.caption, kFailed);  // not the give-up text
    EXPECT_EQ(platform_.boxes.size(), 1u);
    EXPECT_TRUE(idle(form));
}

TEST_F(UpdateTest, DeviceLostWhileSendingAnsweredYesStartsAgainFromTheWakeUp) {
    k7_.vanishAfterLines = 30;
    platform_.answers = {mb::Yes};
    FrmMain& form = loadWithServer();
    form.cmdGo_Click();

    ASSERT_EQ(platform_.boxes.size(), 1u);
    EXPECT_EQ(platform_.boxes[0].title, kFailedTitle);
    EXPECT_EQ(platform_.boxes[0].flags, 36);
    EXPECT_EQ(platform_.boxes[0].text,
              "Une erreur s'est produite pendant l'envoi du fichier vers le K7 (Device lost). "
              "\r\nVérifiez les raccordements et réessayer. Relancer la mise à jour de Vigie ?");
    EXPECT_EQ(port_.opens, 2);
    EXPECT_EQ(k7_.wakeUpTimes.size(), 2u);
    EXPECT_EQ(std::count(ftp_->log.begin(), ftp_->log.end(), "RETR LocationsMid.txt"), 2);
    EXPECT_EQ(form.lblStatus.caption, kSuccess);
    EXPECT_EQ(k7_.received, ftp_->files["LocationsMid.txt"] + "\x03\r\n\r\n368\r\n");
}

TEST_F(UpdateTest, DeviceLostWhileSendingAnsweredNoFails) {
    k7_.vanishAfterLines = 30;
    platform_.answers = {mb::No};
    FrmMain& form = loadWithServer();
    form.cmdGo_Click();
    ASSERT_EQ(platform_.boxes.size(), 1u);
    EXPECT_EQ(form.lblStatus.caption, kFailed);
    EXPECT_EQ(form.prgb1.value, 0);
    EXPECT_EQ(port_.opens, 1);
    EXPECT_TRUE(idle(form));
    // The working file stays until the next download replaces it.
    EXPECT_TRUE(std::filesystem::exists(workFile()));
}

TEST_F(UpdateTest, ThreeFailedDownloadsThenANewConnectionTwoSecondsLater) {
    ftp_->files.erase("LocationsMid.txt");
    FrmMain& form = loadWithServer();
    platform_.onBox = [&](const ShownBox&) {
        if (platform_.boxes.size() == 6)
            form.cmdClose_Click();
    };
    form.cmdGo_Click();
    ASSERT_EQ(platform_.boxes.size(), 6u);
    for (const ShownBox& box : platform_.boxes) {
        EXPECT_EQ(box.title, "Erreur");
        EXPECT_EQ(box.flags, mb::Critical);
    }
    EXPECT_EQ(platform_.boxes[3].at - platform_.boxes[2].at, 2001);
    EXPECT_EQ(std::count_if(ftp_->log.begin(), ftp_->log.end(),
                            [](const std::string& l) { return l.rfind("CONNECT", 0) == 0; }),
              2);
    EXPECT_EQ(form.lblStatus.caption, kStopped);
    EXPECT_TRUE(idle(form));
}

TEST_F(UpdateTest, WorkingFileThatCannotBeWrittenAsksToRetryTheDownload) {
    std::filesystem::create_directories(workFile() / "in-the-way");
    platform_.onBox = [&](const ShownBox& box) {
        if (box.flags == 36)  // the user clears the way, then answers Yes
            std::filesystem::remove_all(workFile());
    };
    platform_.answers = {mb::Yes};
    FrmMain& form = loadWithServer();
    form.cmdGo_Click();
    ASSERT_GE(platform_.boxes.size(), 1u);
    EXPECT_EQ(platform_.boxes[0].title, kFailedTitle);
    EXPECT_EQ(platform_.boxes[0].text,
              "La tentative de téléchargement de mise à jour a échoué, le serveur est peut-être "
              "occupé, voulez-vous réessayer ?");
    EXPECT_EQ(form.lblStatus.caption, kSuccess);
    EXPECT_EQ(port_.opens, 1);  // the device was not woken again
}

TEST_F(UpdateTest, CloseDuringTheDownloadStopsWithoutABox) {
    ftp_->files["LocationsMid.txt"] = database(3000);
    ftp_->yieldWhileWaiting = true;
    FrmMain& form = loadWithServer();
    bool closed = false;
    platform_.onYield = [&] {
        if (!closed && ftp_->reads == 5) {
            closed = true;
            form.cmdClose_Click();
        }
    };
    form.cmdGo_Click();
    EXPECT_TRUE(closed);
    EXPECT_EQ(form.lblStatus.caption, kStopped);
    EXPECT_TRUE(platform_.boxes.empty());
    EXPECT_TRUE(idle(form));
    EXPECT_EQ(k7_.received, "");
    EXPECT_EQ(ftp_->openHandles(), 0u);
}

TEST_F(UpdateTest, CloseWhileLinesAreSentStopsTheStream) {
    FrmMain& form = loadWithServer();
    bool closed = false;
    platform_.onYield = [&] {
        if (form.nStage == 7 && k7_.received.size() > 200 && !closed) {
            closed = true;
            form.cmdClose_Click();
        }
    };
    form.cmdGo_Click();
    EXPECT_EQ(form.lblStatus.caption, kStopped);
    EXPECT_TRUE(platform_.boxes.empty());
    const std::string sent = k7_.received;
    EXPECT_LT(sent.size(), ftp_->files["LocationsMid.txt"].size());
    EXPECT_EQ(sent.find('\x03'), std::string::npos);  // no end marker after a stop
    EXPECT_TRUE(idle(form));
}

}  // namespace
}  // namespace vigie::test
