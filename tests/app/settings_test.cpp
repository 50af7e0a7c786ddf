#include <gtest/gtest.h>

#include <cstdlib>

#include "app/settings.h"

namespace vigie {
namespace {

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
}

TEST(SettingsTest, WindowsTempFolderIsOnTheProgramsDriveRoot) {
    EXPECT_EQ(windowsTempPath("D:\\Outils\\Maj"), "D:\\Temp\\");
    EXPECT_EQ(windowsTempPath("C:\\Outils\\Maj"), "C:\\Temp\\");
    EXPECT_EQ(windowsTempPath("E:\\"), "E:\\Temp\\");
    EXPECT_EQ(windowsTempPath("\\\\serveur\\partage\\Maj"), "\\\\sTemp\\");
}

TEST(SettingsTest, LinuxFolderFollowsXdgConfigHome) {
    const char* old = std::getenv("XDG_CONFIG_HOME");
    const std::string saved = old ? old : "";
    setenv("XDG_CONFIG_HOME", "/srv/cfg", 1);
    EXPECT_EQ(settingsFolder("/opt/vigie"), "/srv/cfg/vigie-k7/");
    setenv("XDG_CONFIG_HOME", "relative/ignored", 1);  // not absolute: the default applies
    setenv("HOME", "/home/u", 1);
    EXPECT_EQ(settingsFolder("/opt/vigie"), "/home/u/.config/vigie-k7/");
    if (old)
        setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
    else
        unsetenv("XDG_CONFIG_HOME");
}

}  // namespace
}  // namespace vigie
