// The update log's file: its lines, the masking of secrets, its size limit, a log that cannot be
// written, and where it lives.

#include "core/update_log.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "app/user_folders.h"
#include "core/file_path.h"
#include "tests/support/files.h"
#include "tests/support/scoped_env.h"
#include "tests/support/temp_dir.h"

namespace vigie {
namespace {

namespace fs = std::filesystem;
using test::readFile;
using test::writeFile;

#ifdef _WIN32
const std::string kEnd = "\r\n";
#else
const std::string kEnd = "\n";
#endif

const DateTime kWhen{2026, 3, 7, 9, 4, 5, 7};

class UpdateLogTest : public ::testing::Test {
  protected:
    fs::path file() const { return dir_.path() / "état" / "updates.log"; }
    UpdateLog log() const { return UpdateLog(pathText(file())); }
    test::TempDir dir_;
};

TEST_F(UpdateLogTest, OneStampedLinePerEventInItsOwnFolder) {
    UpdateLog log = this->log();
    log.write(kWhen, "Démarrage");
    log.write({2026, 12, 31, 23, 59, 58, 999},
              "Message « Erreur » : ligne 1\r\nligne 2\nligne 3\r");
    EXPECT_EQ(readFile(file()), "2026-03-07 09:04:05.007 Démarrage" + kEnd +
                                    "2026-12-31 23:59:58.999 Message « Erreur » : ligne 1 / "
                                    "ligne 2 / ligne 3 / " +
                                    kEnd);
    EXPECT_TRUE(log.working());
}

TEST_F(UpdateLogTest, SecretsAreWrittenMaskedWhereverTheyAppear) {
    UpdateLog log = this->log();
    log.hide("4321CBA", "(mot de passe)");
    log.hide("ABC1234", "AB****4");
    log.hide("", "never");  // nothing to hide: no effect
    log.write(kWhen, "ABC1234 puis 4321CBA puis ABC1234ABC1234");
    EXPECT_EQ(readFile(file()),
              "2026-03-07 09:04:05.007 AB****4 puis (mot de passe) puis AB****4AB****4" + kEnd);

    // A name that is its own password is shown as the name, masked.
    log.hide("ABBA", "(mot de passe)");
    log.hide("ABBA", "AB*A");
    log.write(kWhen, "ABBA");
    EXPECT_NE(readFile(file()).find("AB*A" + kEnd), std::string::npos);
}

TEST_F(UpdateLogTest, BytesThatAreNotUtf8AreWrittenAsReplacementCharacters) {
    // A system text in the ANSI code page ("Accès refusé" in Windows-1252) beside valid text.
    UpdateLog log = this->log();
    log.write(kWhen, "Port refusé : Acc\xE8s refus\xE9");
    EXPECT_EQ(readFile(file()),
              "2026-03-07 09:04:05.007 Port refusé : Acc\uFFFDs refus\uFFFD" + kEnd);
}

TEST(MaskedDeviceName, KeepsTheFirstTwoAndTheLastCharacters) {
    const std::pair<std::string, std::string> cases[] = {
        {"ABC1234", "AB****4"}, {"ABCD", "AB*D"}, {"ABC", "***"}, {"A", "*"}, {"", ""}};
    for (const auto& [name, shown] : cases)
        EXPECT_EQ(maskedDeviceName(name), shown) << name;
}

// Past 1 MiB the file becomes updates.log.1 (replacing an older one) and a new file starts; no
// line is cut in two.
TEST_F(UpdateLogTest, PastItsLimitTheFileMovesAsideAndANewOneStarts) {
    UpdateLog log = this->log();
    const std::string text(1000, 'x');
    const std::size_t lineSize = 24 + text.size() + kEnd.size();
    const std::size_t linesThatFit = UpdateLog::SizeLimit / lineSize;
    for (std::size_t i = 0; i < linesThatFit; ++i)
        log.write(kWhen, text);
    EXPECT_FALSE(fs::exists(fs::path(file()) += ".1"));
    EXPECT_EQ(fs::file_size(file()), linesThatFit * lineSize);

    log.write(kWhen, "the line past the limit");
    const fs::path older = fs::path(file()) += ".1";
    ASSERT_TRUE(fs::exists(older));
    EXPECT_EQ(fs::file_size(older), linesThatFit * lineSize);
    EXPECT_EQ(readFile(file()), "2026-03-07 09:04:05.007 the line past the limit" + kEnd);

    for (std::size_t i = 0; i < linesThatFit; ++i)
        log.write(kWhen, text);
    EXPECT_EQ(readFile(older).rfind("2026-03-07 09:04:05.007 the line past the limit", 0), 0u);
    EXPECT_LE(fs::file_size(file()), UpdateLog::SizeLimit);
}

// A log folder that cannot be made (a file is in the way) is left alone after the first failure,
// even once the way is clear: no second try in the middle of an update.
TEST_F(UpdateLogTest, ALogThatCannotBeWrittenIsLeftAlone) {
    writeFile(file().parent_path(), "in the way");
    UpdateLog log = this->log();
    log.write(kWhen, "first");
    EXPECT_FALSE(log.working());
    fs::remove(file().parent_path());
    log.write(kWhen, "second");
    EXPECT_FALSE(fs::exists(file()));

    UpdateLog none;  // no path: logs nothing, and fails nothing
    none.write(kWhen, "nothing");
    EXPECT_TRUE(none.working());
}

#ifdef _WIN32
TEST(UpdateLogPath, IsInTheUsersLocalAppData) {
    test::ScopedEnv env("XDG_STATE_HOME", "C:\\state");  // a Linux setting that must not matter
    const char* localAppData = std::getenv("LOCALAPPDATA");
    ASSERT_NE(localAppData, nullptr);
    EXPECT_EQ(filePath(updateLogPath()), fs::path(localAppData) / "VIGIE K7" / "updates.log");
}
#else
TEST(UpdateLogPath, IsInTheUsersStateFolder) {
    struct Case {
        const char* xdgState;  // nullptr: unset
        const char* expected;
    };
    const Case cases[] = {
        {"/srv/state", "/srv/state/vigie-k7/updates.log"},
        {nullptr, "/home/hélène/.local/state/vigie-k7/updates.log"},
        {"relative/state", "/home/hélène/.local/state/vigie-k7/updates.log"},  // not absolute
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.xdgState ? c.xdgState : "(unset)");
        test::ScopedEnv env("HOME", "/home/hélène");
        if (c.xdgState)
            env.set("XDG_STATE_HOME", c.xdgState);
        else
            env.unset("XDG_STATE_HOME");
        EXPECT_EQ(updateLogPath(), c.expected);
    }
}
#endif

}  // namespace
}  // namespace vigie
