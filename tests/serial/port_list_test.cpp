// The port list: the probe run over COM1 to COM12 with its messages, the default list, and the
// fallback when probing fails.

#include <gtest/gtest.h>

#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "core/runtime_error.h"
#include "tests/support/form_fixture.h"

namespace vigie::test {
namespace {

using R = ProbeResult;
using Items = std::vector<std::string>;

const std::string kTitle = "Vigie K7 Updater - Port COM Erreur";
const std::string kNoPort =
    "Aucun port COM n'a été détecté. \r\n"
    "Votre PC peut avoir ses ports COM désactivés.  \r\n"
    "Si votre PC n'a aucun port COM, un adaptateur \r\n"
    "de RS232 à USB est disponible.";
const std::string kNoFreePort =
    "Aucun port disponible de COM n'a été détecté. \r\n"
    "Veuillez libérer un port Com/Série \r\n"
    "pour utiliser votre VIGIE K7.";

Items defaultList() {
    Items items;
    for (int n = 1; n <= 12; ++n)
        items.push_back(" " + std::to_string(n));
    return items;
}

struct ProbeCase {
    const char* what;
    std::map<int, R> ports;  // the others are absent
    Items items;
    int selected;
    std::string box;  // "" for none
};

// Test lists show the row by its description.
void PrintTo(const ProbeCase& c, std::ostream* os) {
    *os << c.what;
}

class PortListProbeRun : public FormFixture, public ::testing::WithParamInterface<ProbeCase> {};

TEST_P(PortListProbeRun, ListsWhatTheProbeFound) {
    const ProbeCase& c = GetParam();
    FrmMain& form = makeForm();
    probe_.results = c.ports;
    form.mnuMainFilter.checked = false;

    form.mnuMainFilter_Click();

    EXPECT_TRUE(form.mnuMainFilter.checked);
    EXPECT_EQ(probe_.probed, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}));
    EXPECT_EQ(form.cboPort.items, c.items);
    EXPECT_EQ(form.cboPort.listIndex, c.selected);
    if (c.box.empty()) {
        EXPECT_TRUE(platform_.boxes.empty());
    } else {
        ASSERT_EQ(platform_.boxes.size(), 1u);
        EXPECT_EQ(platform_.boxes[0].text, c.box);
        EXPECT_EQ(platform_.boxes[0].flags, mb::OkOnly);
        EXPECT_EQ(platform_.boxes[0].title, kTitle);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, PortListProbeRun,
    ::testing::Values(
        ProbeCase{"TwoFreePorts", {{1, R::Opened}, {3, R::Opened}}, {" 1", " 3"}, 0, ""},
        ProbeCase{"InUseBelowFreeIsSelected",
                  {{1, R::AccessDenied}, {3, R::Opened}},
                  {"1 - In Use", " 3"},
                  0,
                  ""},
        ProbeCase{"NoPortAtAll", {}, {}, -1, kNoPort},
        ProbeCase{"OnlyAPortInUse", {{4, R::AccessDenied}}, {"4 - In Use"}, -1, kNoFreePort},
        ProbeCase{"OtherErrorsAreNeitherListedNorCounted",
                  {{2, R::OtherError}, {7, R::OtherError}},
                  {},
                  -1,
                  ""},
        ProbeCase{"InUseAmongOtherErrors",
                  {{5, R::OtherError}, {6, R::AccessDenied}},
                  {"6 - In Use"},
                  -1,
                  kNoFreePort},
        ProbeCase{"TwoDigitPorts",
                  {{10, R::Opened}, {11, R::AccessDenied}, {12, R::Opened}, {13, R::Opened}},
                  {" 10", "11 - In Use", " 12"},
                  0,
                  ""},
        ProbeCase{"EveryPortFree",
                  {{1, R::Opened},
                   {2, R::Opened},
                   {3, R::Opened},
                   {4, R::Opened},
                   {5, R::Opened},
                   {6, R::Opened},
                   {7, R::Opened},
                   {8, R::Opened},
                   {9, R::Opened},
                   {10, R::Opened},
                   {11, R::Opened},
                   {12, R::Opened}},
                  defaultList(),
                  0,
                  ""}),
    [](const ::testing::TestParamInfo<ProbeCase>& info) { return info.param.what; });

class PortListTest : public FormFixture {};

TEST_F(PortListTest, ChoosingTheItemAgainTogglesBetweenDefaultListAndProbing) {
    FrmMain& form = makeForm();
    probe_.results = {{2, R::Opened}};
    form.mnuMainFilter.checked = false;
    form.mnuMainFilter_Click();
    ASSERT_EQ(form.cboPort.items, Items{" 2"});

    form.mnuMainFilter_Click();  // filter off: the default list, without probing
    EXPECT_FALSE(form.mnuMainFilter.checked);
    EXPECT_EQ(form.cboPort.items, defaultList());
    EXPECT_EQ(form.cboPort.listIndex, 0);
    EXPECT_EQ(probe_.probed.size(), 12u);

    probe_.results = {{5, R::Opened}};
    form.mnuMainFilter_Click();  // on again: a new probe run
    EXPECT_TRUE(form.mnuMainFilter.checked);
    EXPECT_EQ(form.cboPort.items, Items{" 5"});
    EXPECT_EQ(probe_.probed.size(), 24u);
    EXPECT_TRUE(platform_.boxes.empty());
}

// Fails at one port after the others have answered.
class FailingProbe : public PortProbe {
  public:
    explicit FailingProbe(int failAt) : failAt_(failAt) {}
    ProbeResult probe(int n) override {
        if (n == failAt_)
            throw RuntimeError(5, "PortProbe", "Invalid procedure call");
        return n % 2 ? ProbeResult::Opened : ProbeResult::AccessDenied;
    }

  private:
    int failAt_;
};

TEST_F(PortListTest, AFailingProbeFallsBackToTheDefaultList) {
    for (int failAt : {1, 7, 12}) {
        SCOPED_TRACE(failAt);
        FailingProbe failing(failAt);
        VirtualPlatform platform(appPath());
        FrmMain form(platform, port_, failing, nullptr);
        form.mnuMainFilter.checked = false;

        form.mnuMainFilter_Click();

        ASSERT_EQ(platform.boxes.size(), 1u);
        EXPECT_EQ(platform.boxes[0].text,
                  "Une erreur s'est produite pendant la vérification des ports COM disponibles. "
                  "\r\nChangement à la liste par défaut.");
        EXPECT_EQ(platform.boxes[0].flags, mb::Information);
        EXPECT_EQ(platform.boxes[0].title, "Vigie Updater");
        EXPECT_FALSE(form.mnuMainFilter.checked);
        // The entries appended before the failure are gone.
        EXPECT_EQ(form.cboPort.items, defaultList());
        EXPECT_EQ(form.cboPort.listIndex, 0);
    }
}

}  // namespace
}  // namespace vigie::test
