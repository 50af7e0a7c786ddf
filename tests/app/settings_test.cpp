#include <gtest/gtest.h>

#include "app/settings.h"
#include "tests/support/scoped_env.h"

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
