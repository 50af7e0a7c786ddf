// The port list: the probe run over COM1 to COM12 and the system's ports above them, with its
// messages and its time limit; the default list; the ports' names; and the fallback when probing
// fails.

#include <gtest/gtest.h>

#include <algorithm>
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
    std::string box;                          // "" for none
    std::vector<int> listed = {};             // the system's list of ports
    std::map<int, std::int64_t> delays = {};  // how long a port takes to answer, in ms
};

// Test lists show the row by its description.
void PrintTo(const ProbeCase& c, std::ostream* os) {
    *os << c.what;
}

class PortListProbeRun : public FormFixture, public ::testing::WithParamInterface<ProbeCase> {};

TEST_P(PortListProbeRun, ListsWhatTheProbeFound) {
    const ProbeCase& c = GetParam();
    MainForm& form = makeForm();
    probe_.results = c.ports;
    probe_.listed = c.listed;
    probe_.delays = c.delays;
    form.portFilterMenu.checked = false;
    const std::int64_t start = platform_.tick();

    form.togglePortFilter();

    EXPECT_TRUE(form.portFilterMenu.checked);
    // Every port up to 12 and every listed port above, side by side, once.
    std::vector<int> expectedProbes{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    std::vector<int> above = c.listed;
    std::sort(above.begin(), above.end());
    for (int n : above)
        if (n > 12 && n <= 255)
            expectedProbes.push_back(n);
    EXPECT_EQ(probe_.probed, expectedProbes);
    EXPECT_EQ(probe_.limits, std::vector<std::int64_t>{1000});
    // However slow the ports, the list is ready within the probes' limit.
    EXPECT_LE(platform_.tick() - start, 1500);
    // The silent ports are named in the log, for support: those the system does not list are
    // left out, those it lists are offered.
    std::string silent, silentPresent;
    for (int n : expectedProbes) {
        if (!c.delays.count(n) || c.delays.at(n) <= 1000)
            continue;
        std::string& names =
            std::count(c.listed.begin(), c.listed.end(), n) ? silentPresent : silent;
        names += (names.empty() ? "COM" : ", COM") + std::to_string(n);
    }
    const std::string log = readFile(logFile());
    if (silent.empty() && silentPresent.empty()) {
        EXPECT_EQ(log.find("sans réponse"), std::string::npos) << log;
    }
    EXPECT_EQ(log.find("laissés hors de la liste : " + silent) != std::string::npos,
              !silent.empty())
        << log;
    EXPECT_EQ(log.find("présents dans la liste du système et proposés comme libres : " +
                       silentPresent) != std::string::npos,
              !silentPresent.empty())
        << log;
    EXPECT_EQ(form.portList.items, c.items);
    EXPECT_EQ(form.portList.listIndex, c.selected);
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
        ProbeCase{"PortsAboveTwelveFollowInOrder",
                  {{3, R::Opened}, {15, R::Opened}, {27, R::AccessDenied}},
                  {" 3", " 15", "27 - In Use"},
                  0,
                  "",
                  {27, 3, 15}},
        ProbeCase{"AListedPortAboveTwelveInUse",
                  {{15, R::AccessDenied}},
                  {"15 - In Use"},
                  -1,
                  kNoFreePort,
                  {15}},
        ProbeCase{"TheOnlyPortIsComFourteen", {{14, R::Opened}}, {" 14"}, 0, "", {14}},
        ProbeCase{"TheOnlyPortIsComFourteenInUse",
                  {{14, R::AccessDenied}},
                  {"14 - In Use"},
                  -1,
                  kNoFreePort,
                  {14}},
        // A port that went away since the system listed it is absent like the others.
        ProbeCase{"AListedPortGoneMeanwhile", {}, {}, -1, kNoPort, {20}},
        ProbeCase{"PortsAboveTheHighestAreNotOffered",
                  {{3, R::Opened}, {256, R::Opened}},
                  {" 3"},
                  0,
                  "",
                  {3, 256, 300}},
        // Ports that take 10 s to answer (a Bluetooth port failing) count as ports that do not
        // answer: neither listed nor counted, unless the system lists them as present: then the
        // user may need them, and they are offered as free.
        ProbeCase{"SlowPortsAreLeftOutUnlessTheSystemListsThem",
                  {{2, R::Opened}, {5, R::Opened}, {16, R::Opened}, {17, R::AccessDenied}},
                  {" 5", " 16", "17 - In Use"},
                  0,
                  "",
                  {16, 17},
                  {{2, 10000}, {16, 10000}, {5, 999}, {17, 1000}}},
        ProbeCase{"APresentPortThatNeverAnswersIsOffered",
                  {{3, R::AccessDenied}},
                  {" 1", "3 - In Use", " 15"},
                  0,
                  "",
                  {1, 3, 15},
                  {{1, 10000}, {15, 10000}}},
        ProbeCase{"APresentPortInUseSlowToAnswerIsOfferedFree",
                  {{2, R::AccessDenied}},
                  {" 2"},
                  0,
                  "",
                  {2},
                  {{2, 5000}}},
        ProbeCase{"SlowPortsDoNotCountAsAbsent", {}, {}, -1, "", {}, {{4, 10000}}},
        ProbeCase{
            "SlowPortsDoNotCountAsInUse", {{4, R::AccessDenied}}, {}, -1, "", {}, {{4, 1001}}},
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
    MainForm& form = makeForm();
    probe_.results = {{2, R::Opened}};
    form.portFilterMenu.checked = false;
    form.togglePortFilter();
    ASSERT_EQ(form.portList.items, Items{" 2"});

    form.togglePortFilter();  // filter off: the default list, without probing
    EXPECT_FALSE(form.portFilterMenu.checked);
    EXPECT_EQ(form.portList.items, defaultList());
    EXPECT_EQ(form.portList.listIndex, 0);
    EXPECT_EQ(probe_.probed.size(), 12u);

    probe_.results = {{5, R::Opened}};
    form.togglePortFilter();  // on again: a new probe run
    EXPECT_TRUE(form.portFilterMenu.checked);
    EXPECT_EQ(form.portList.items, Items{" 5"});
    EXPECT_EQ(probe_.probed.size(), 24u);
    EXPECT_TRUE(platform_.boxes.empty());
}

TEST_F(PortListTest, TheDefaultListOffersTheSystemsPortsAboveTwelveWithoutProbing) {
    MainForm& form = makeForm();
    probe_.listed = {27, 3, 15};
    form.portFilterMenu.checked = true;

    form.togglePortFilter();

    Items expected = defaultList();
    expected.insert(expected.end(), {" 15", " 27"});
    EXPECT_EQ(form.portList.items, expected);
    EXPECT_EQ(form.portList.listIndex, 0);
    EXPECT_TRUE(probe_.probed.empty());
    EXPECT_TRUE(platform_.boxes.empty());
}

TEST_F(PortListTest, EachEntryTellsThePortsName) {
    MainForm& form = makeForm();
    probe_.listed = {15, 27};
    probe_.names = {{15, "USB-SERIAL CH340"}, {27, "Standard Serial over Bluetooth link"}};
    probe_.results = {{1, R::Opened}, {15, R::Opened}, {27, R::AccessDenied}};
    form.portFilterMenu.checked = false;

    form.togglePortFilter();  // probed
    ASSERT_EQ(form.portList.items, (Items{" 1", " 15", "27 - In Use"}));
    EXPECT_EQ(form.portList.toolTip(), "COM1");  // a port without a name: its device
    form.portList.listIndex = 1;
    EXPECT_EQ(form.portList.toolTip(), "USB-SERIAL CH340 (COM15)");
    form.portList.listIndex = 2;
    EXPECT_EQ(form.portList.toolTip(), "Standard Serial over Bluetooth link (COM27)");

    form.togglePortFilter();  // the default list
    ASSERT_EQ(form.portList.listCount(), 14);
    EXPECT_EQ(form.portList.toolTips.size(), 14u);
    form.portList.listIndex = 12;
    EXPECT_EQ(form.portList.toolTip(), "USB-SERIAL CH340 (COM15)");
    form.portList.listIndex = 13;
    EXPECT_EQ(form.portList.toolTip(), "Standard Serial over Bluetooth link (COM27)");
    form.portList.listIndex = -1;
    EXPECT_EQ(form.portList.toolTip(), "");
}

TEST_F(PortListTest, AFailingProbeFallsBackToTheDefaultList) {
    for (int failAt : {1, 7, 12}) {
        SCOPED_TRACE(failAt);
        FakeProbe failing;
        for (int n = 1; n <= 12; ++n)
            failing.results[n] = n % 2 ? R::Opened : R::AccessDenied;
        failing.failAt = failAt;
        VirtualPlatform platform(appPath());
        MainForm form(platform, port_, failing, nullptr);
        form.portFilterMenu.checked = false;

        form.togglePortFilter();

        ASSERT_EQ(platform.boxes.size(), 1u);
        EXPECT_EQ(platform.boxes[0].text,
                  "Une erreur s'est produite pendant la vérification des ports COM disponibles. "
                  "\r\nChangement à la liste par défaut.");
        EXPECT_EQ(platform.boxes[0].flags, mb::Information);
        EXPECT_EQ(platform.boxes[0].title, "Vigie Updater");
        EXPECT_FALSE(form.portFilterMenu.checked);
        // The entries appended before the failure are gone.
        EXPECT_EQ(form.portList.items, defaultList());
        EXPECT_EQ(form.portList.listIndex, 0);
    }
}

}  // namespace
}  // namespace vigie::test
