#include <gtest/gtest.h>

#include "app/settings.h"
#include "app/settings_folder.h"
#include "tests/support/scoped_env.h"

#include <set>
#include <vector>

namespace vigie {
namespace {

using test::ScopedEnv;

struct SplitCase {
    const char* text;
    const char* port;
    const char* filter;
    const char* test;
};

TEST(SettingsTest, SplitsFieldsTheTolerantWay) {
    const SplitCase cases[] = {
        {"*3*1*", "3", "1", ""},
        {"*3*1*t*", "3", "1", "t"},
        {"**1*", "*", "1", ""},      // no port: the field is the next star
        {"*5*0*T*", "5", "0", "T"},  // upper-case T is kept as read
        {"", "", "", ""},
        {"*3*1", "3", "1", "*"},  // short line: the third search finds nothing, position 0
        {"abc", "a", "a", "a"},   // no star at all: every field is the first character
        {"*1*1*t*garbage", "1", "1", "t"},  // only seven characters count
        {"*", "", "*", ""},
        // Ports above 9 are kept whole; the seven characters grow by their extra digits.
        {"*14*1*", "14", "1", ""},
        {"*14*1*t*", "14", "1", "t"},
        {"*255*0*t*", "255", "0", "t"},
        {"*255*0*t*garbage", "255", "0", "t"},
        {"*10**t*", "10", "*", "t"},
        {"*12x*1*", "12", "1", ""},  // the digits only; the rest is read as it always was
        {"12345", "1", "1", "1"},    // no star before the number: as before, one character
        {"*1*1*t*", "1", "1", "t"},
    };
    for (const SplitCase& c : cases) {
        const IniFields f = splitIniText(c.text);
        EXPECT_EQ(f.port, c.port) << c.text;
        EXPECT_EQ(f.filter, c.filter) << c.text;
        EXPECT_EQ(f.test, c.test) << c.text;
    }
}

TEST(SettingsTest, BuildsTheLineKeepingOnlyALowerCaseTestField) {
    EXPECT_EQ(buildIniLine("3", "1", ""), "*3*1*");
    EXPECT_EQ(buildIniLine("3", "1", "t"), "*3*1*t*");
    EXPECT_EQ(buildIniLine("3", "0", "T"), "*3*0*");
    EXPECT_EQ(buildIniLine("", "1", ""), "**1*");
    EXPECT_EQ(buildIniLine("14", "1", "t"), "*14*1*t*");
}

TEST(SettingsTest, WindowsTempFolderIsOnTheProgramsDriveRoot) {
    EXPECT_EQ(windowsTempPath("D:\\Outils\\Maj"), "D:\\Temp\\");
    EXPECT_EQ(windowsTempPath("C:\\Outils\\Maj"), "C:\\Temp\\");
    EXPECT_EQ(windowsTempPath("E:\\"), "E:\\Temp\\");
    EXPECT_EQ(windowsTempPath("\\\\serveur\\partage\\Maj"), "\\\\sTemp\\");
}

// The machine as the settings folder's choice sees it: which folders can be found or made, which
// HD.ini files can be written; every question asked, in order.
struct FakeMachine {
    std::set<std::string> folders;   // can be found or made
    std::set<std::string> writable;  // HD.ini files that can be written
    std::vector<std::string> asked;

    SettingsFolderProbes probes() {
        return {[this](const std::string& folder) {
                    asked.push_back("folder " + folder);
                    return folders.count(folder) != 0;
                },
                [this](const std::string& ini) {
                    asked.push_back("ini " + ini);
                    return writable.count(ini) != 0;
                }};
    }
};

constexpr const char* kUser = "C:\\Users\\Hélène\\AppData\\Local\\VIGIE K7";

TEST(SettingsFolderTest, TheDriveRootComesFirstThenTheUsersOwnFolder) {
    const std::string user = kUser;
    const std::string own = user + "\\";
    struct Case {
        const char* appPath;
        std::set<std::string> folders;
        std::set<std::string> writable;
        std::optional<std::string> chosen;
    };
    const Case cases[] = {
        // The drive root as always, the user's folder never looked at.
        {"D:\\Outils\\Maj",
         {"D:\\Temp\\", own},
         {"D:\\Temp\\HD.ini", own + "HD.ini"},
         "D:\\Temp\\"},
        {"E:\\", {"E:\\Temp\\"}, {"E:\\Temp\\HD.ini"}, "E:\\Temp\\"},
        // A root that refuses the Temp folder.
        {"D:\\Outils\\Maj", {own}, {"D:\\Temp\\HD.ini", own + "HD.ini"}, own},
        // A Temp folder that refuses the file.
        {"D:\\Outils\\Maj", {"D:\\Temp\\", own}, {own + "HD.ini"}, own},
        // A network path has no drive root: its first three characters mean nothing.
        {"\\\\serveur\\partage\\Maj",
         {"\\\\sTemp\\", own},
         {"\\\\sTemp\\HD.ini", own + "HD.ini"},
         own},
        // Neither will do.
        {"D:\\Outils\\Maj", {"D:\\Temp\\"}, {}, std::nullopt},
        {"D:\\Outils\\Maj", {own}, {"D:\\Temp\\HD.ini"}, std::nullopt},
    };
    for (const Case& c : cases) {
        FakeMachine machine{c.folders, c.writable, {}};
        EXPECT_EQ(chooseSettingsFolder(c.appPath, user, machine.probes()), c.chosen)
            << c.appPath << " " << testing::PrintToString(c.folders)
            << testing::PrintToString(c.writable);
    }
}

TEST(SettingsFolderTest, AsksAboutTheDriveRootBeforeTheUsersFolderAndNothingMore) {
    const std::string user = kUser;
    FakeMachine machine{{"D:\\Temp\\", user + "\\"}, {user + "\\HD.ini"}, {}};
    chooseSettingsFolder("D:\\Outils", user, machine.probes());
    EXPECT_EQ(machine.asked,
              (std::vector<std::string>{"folder D:\\Temp\\", "ini D:\\Temp\\HD.ini",
                                        "folder " + user + "\\", "ini " + user + "\\HD.ini"}));

    // The network path's meaningless folder is not even tried (on Windows it would be a server
    // named "sTemp" looked for on the network).
    machine.asked.clear();
    chooseSettingsFolder("\\\\serveur\\partage", user, machine.probes());
    EXPECT_EQ(machine.asked,
              (std::vector<std::string>{"folder " + user + "\\", "ini " + user + "\\HD.ini"}));

    // No user folder known: nothing to fall back on.
    machine.asked.clear();
    EXPECT_EQ(chooseSettingsFolder("\\\\serveur\\partage", "", machine.probes()), std::nullopt);
    EXPECT_TRUE(machine.asked.empty());
}

#ifdef _WIN32
TEST(SettingsTest, SettingsFolderIsTheTempFolderOfTheProgramsDrive) {
    ScopedEnv env("XDG_CONFIG_HOME", "C:\\cfg");  // a Linux setting that must not matter here
    EXPECT_EQ(settingsFolder("D:\\Outils\\Maj"), "D:\\Temp\\");
    EXPECT_EQ(settingsFolder("T:\\"), "T:\\Temp\\");
}
#else
TEST(SettingsTest, LinuxFolderFollowsXdgConfigHome) {
    ScopedEnv env("XDG_CONFIG_HOME", "/srv/cfg");
    EXPECT_EQ(settingsFolder("/opt/vigie"), "/srv/cfg/vigie-k7/");
    env.set("XDG_CONFIG_HOME", "relative/ignored");  // not absolute: the default applies
    env.set("HOME", "/home/u");
    EXPECT_EQ(settingsFolder("/opt/vigie"), "/home/u/.config/vigie-k7/");
}
#endif

}  // namespace
}  // namespace vigie
