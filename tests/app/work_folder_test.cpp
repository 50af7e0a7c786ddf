// Where the working file goes: the program's folder when it can be written, else the user's cache.

#include "app/work_folder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "tests/support/scoped_env.h"
#include "tests/support/temp_dir.h"

namespace vigie {
namespace {

namespace fs = std::filesystem;
using test::ScopedEnv;

class WorkFolderTest : public ::testing::Test {
  protected:
    WorkFolderTest() { fs::create_directories(root_ / "program"); }
    test::TempDir dir_;
    const fs::path root_ = dir_.path();
};

TEST_F(WorkFolderTest, WritableProgramFolderKeepsTheWorkingFile) {
    ScopedEnv env("XDG_CACHE_HOME", (root_ / "cache").string());
    EXPECT_EQ(workFolder((root_ / "program").string()), (root_ / "program").string());
    EXPECT_FALSE(fs::exists(root_ / "cache"));
}

#ifdef _WIN32
// A folder where no file can be created (here one that is not there) sends the working file to
// the user's own folder, which is created; the same folder however HOME and XDG say.
TEST_F(WorkFolderTest, UnwritableProgramFolderUsesTheUsersLocalAppData) {
    ScopedEnv env("XDG_CACHE_HOME", (root_ / "cache").string());
    const char* localAppData = std::getenv("LOCALAPPDATA");
    ASSERT_NE(localAppData, nullptr);
    const fs::path expected = fs::path(localAppData) / "VIGIE K7";
    EXPECT_EQ(fs::path(workFolder((root_ / "absent" / "vigie-k7").string())), expected);
    EXPECT_TRUE(fs::is_directory(expected));
    EXPECT_FALSE(fs::exists(root_ / "cache"));
    EXPECT_FALSE(fs::exists(root_ / "absent"));
}
#else
// A folder the user cannot write to (here one that is not there, which even root cannot write
// into) sends the working file to the cache folder, which is created.
TEST_F(WorkFolderTest, UnwritableProgramFolderUsesTheUsersCache) {
    const std::string program = (root_ / "absent" / "lib" / "vigie-k7").string();
    struct Case {
        std::string xdgCache;  // empty: unset
        fs::path expected;
    };
    const Case cases[] = {
        {(root_ / "cache").string(), root_ / "cache" / "vigie-k7"},
        {"", root_ / "home" / ".cache" / "vigie-k7"},
        {"relative/cache", root_ / "home" / ".cache" / "vigie-k7"},  // not absolute: ignored
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.xdgCache);
        ScopedEnv env("HOME", (root_ / "home").string());
        if (c.xdgCache.empty())
            env.unset("XDG_CACHE_HOME");
        else
            env.set("XDG_CACHE_HOME", c.xdgCache);
        EXPECT_EQ(workFolder(program), c.expected.string());
        EXPECT_TRUE(fs::is_directory(c.expected));
    }
    EXPECT_FALSE(fs::exists(root_ / "absent"));
}
#endif

}  // namespace
}  // namespace vigie
