#include <gtest/gtest.h>

#include "app/document_windows.h"
#include "app/layout.h"
#include "tests/support/form_fixture.h"

namespace vigie::test {
namespace {

class WindowTest : public FormFixture {};

TEST_F(WindowTest, DotsGrowToTenThenStartAgain) {
    MainForm& form = makeForm();
    form.dotsLabel.caption = "";
    form.setTimerEnabled(form.dotsTimer, true);
    std::vector<std::string> seen;
    for (int tick = 0; tick < 12; ++tick) {
        platform_.advance(1456);
        seen.push_back(form.dotsLabel.caption);
    }
    EXPECT_EQ(seen[0], ".");
    EXPECT_EQ(seen[9], "..........");
    EXPECT_EQ(seen[10], "");
    EXPECT_EQ(seen[11], ".");

    form.dotsLabel.caption = "longer than ten";
    form.addDot();
    EXPECT_EQ(form.dotsLabel.caption, "");
}

TEST_F(WindowTest, DotsTickEvery1456Milliseconds) {
    MainForm& form = makeForm();
    form.setTimerEnabled(form.dotsTimer, true);
    platform_.advance(1455);
    EXPECT_EQ(form.dotsLabel.caption, "...");  // the design-time caption, untouched so far
    platform_.advance(1);
    EXPECT_EQ(form.dotsLabel.caption, "....");
}

TEST_F(WindowTest, ResizeRestoresTheFixedSizeUnlessMinimized) {
    MainForm& form = makeForm();
    form.outerWidth = 9000;
    form.outerHeight = 100;
    form.windowState = WindowState::Minimized;
    form.keepFixedSize();
    EXPECT_EQ(form.outerWidth, 9000);
    form.windowState = WindowState::Normal;
    form.keepFixedSize();
    EXPECT_EQ(form.outerWidth, 5970);
    EXPECT_EQ(form.outerHeight, 4965);
}

TEST_F(WindowTest, WebItemsOpenTheSameSupportPageAndHelpIsModal) {
    MainForm& form = makeForm();
    form.openTroubleshootingPage();
    form.openDownloadPage();
    ASSERT_EQ(platform_.urls.size(), 2u);
    EXPECT_EQ(platform_.urls[0], platform_.urls[1]);
    EXPECT_EQ(platform_.urls[0].substr(platform_.urls[0].size() - 19), "/telechargement.php");
    form.showHelp();
    EXPECT_EQ(platform_.helpShown, 1);
    EXPECT_TRUE(platform_.boxes.empty());
}

// Both front ends hand a menu command to the form by its item's name.
TEST_F(WindowTest, EveryMenuItemReachesItsOwnHandlerByName) {
    MainForm& form = makeForm();
    ASSERT_TRUE(form.load());
    const bool filterBefore = form.portFilterMenu.checked;
    struct Seen {
        bool filter;
        int help;
        size_t urls;
        bool ended;
    };
    auto seen = [&] {
        return Seen{form.portFilterMenu.checked != filterBefore, platform_.helpShown,
                    platform_.urls.size(), platform_.ended};
    };
    const std::vector<std::pair<std::string, Seen>> rows = {
        {"mnuMainFilter", {true, 0, 0, false}},          {"MnuMainHelp", {true, 1, 0, false}},
        {"mnuMainTroubleshooting", {true, 1, 1, false}}, {"mnuMainDownload", {true, 1, 2, false}},
        {"mnuNoSuchItem", {true, 1, 2, false}},          {"MnuMainExit", {true, 1, 2, true}},
    };
    size_t menuNamesSeen = 0;
    for (const auto& [name, want] : rows) {
        form.menuCommand(name);
        const Seen now = seen();
        EXPECT_EQ(now.filter, want.filter) << name;
        EXPECT_EQ(now.help, want.help) << name;
        EXPECT_EQ(now.urls, want.urls) << name;
        EXPECT_EQ(now.ended, want.ended) << name;
        for (const layout::MenuEntry& m : layout::menu())
            menuNamesSeen += (m.name == name);
    }
    EXPECT_EQ(menuNamesSeen, layout::menu().size());  // every item of the menu has its row
}

TEST_F(WindowTest, BottomStripLiesBelowTheVisibleClientArea) {
    // At the imposed size the client area ends above Top 4440: the strip must exist but stay
    // hidden.
    for (const char* name : {"Label3", "Label7", "Label5", "Label11"})
        EXPECT_GE(layout::control(name).top, 4440) << name;
    for (const char* name : {"cmdGo", "cmdClose", "cboPort", "cboFile", "lblStatus", "prgb1"}) {
        const layout::Control& c = layout::control(name);
        EXPECT_LT(c.top + c.height, 4440) << name;
    }
    EXPECT_EQ(layout::control("cmdGo").tabIndex, 0);
}

TEST_F(WindowTest, DocumentsFallBackToTheirMessageInWhiteTahoma) {
    const DocumentWindow help = frmHelp_Load(appPath());
    EXPECT_FALSE(help.loaded);
    EXPECT_EQ(help.text, "Text File in Use or Could Not Be Found (Userguide.rtf)");
    EXPECT_EQ(help.caption, "Help - User Guide");
    const DocumentWindow start = frmStart_Load(appPath());
    EXPECT_EQ(start.text, "Text File in Use or Could Not Be Found (M4Start.rtf)");
    EXPECT_EQ(start.caption, "VIGIE K7 Téléchargement - Instructions");
    for (const DocumentWindow* w : {&help, &start}) {
        EXPECT_EQ(w->fontSize, 9);
        EXPECT_EQ(w->textColor, 0xFFFFFFu);
        EXPECT_EQ(w->backColor, 0x000000u);
    }
    EXPECT_EQ(help.fontName, "tahoma");
    EXPECT_EQ(start.fontName, "Tahoma");
}

TEST_F(WindowTest, DocumentInOtherFontsIsShownAsPlainText) {
    writeFile(appDir() / "UserGuide.rtf",
              "{\\rtf1\\ansi{\\fonttbl{\\f0 Courier;}}{\\colortbl;\\red255\\green0\\blue0;}"
              "\\f0\\cf1\\fs40 Guide d'utilisation\\par Connexion du K7}");
    const DocumentWindow help = frmHelp_Load(appPath());
    EXPECT_TRUE(help.loaded);
    EXPECT_NE(help.text.find("Guide d'utilisation"), std::string::npos);
    EXPECT_EQ(help.text.find("Courier"), std::string::npos);
    EXPECT_EQ(help.fontName, "tahoma");
    EXPECT_EQ(help.textColor, 0xFFFFFFu);

    writeFile(appDir() / "UserGuide.rtf", "plain text is not a rich-text document");
    EXPECT_FALSE(frmHelp_Load(appPath()).loaded);
}

}  // namespace
}  // namespace vigie::test
