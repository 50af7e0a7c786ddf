#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "core/line_files.h"
#include "core/runtime_error.h"
#include "tests/support/files.h"
#include "tests/support/temp_dir.h"

namespace vigie {
namespace {

// A new file of this process's own folder, holding content.
std::string tempFile(const std::string& content) {
    static const test::TempDir folder;
    static int files = 0;
    const auto path = folder.path() / ("data-" + std::to_string(++files));
    std::ofstream(path, std::ios::binary) << content;
    return path.string();
}

std::vector<std::string> readLines(const std::string& content) {
    LineReader file;
    const std::string path = tempFile(content);
    file.open(path);
    std::vector<std::string> lines;
    while (!file.atEnd())
        lines.push_back(file.readLine());
    file.close();
    std::filesystem::remove(path);
    return lines;
}

TEST(LineFilesTest, LinesEndAtCrAtCrLfOrAtALoneLf) {
    using L = std::vector<std::string>;
    EXPECT_EQ(readLines(""), L{});
    EXPECT_EQ(readLines("a\r\nb\r\n"), (L{"a", "b"}));
    EXPECT_EQ(readLines("a\rb\r"), (L{"a", "b"}));
    EXPECT_EQ(readLines("a\nb\n"), (L{"a", "b"}));  // stored with Unix line ends
    // Mixed ends; the last line has none.
    EXPECT_EQ(readLines("a\nb\r\nc\rd"), (L{"a", "b", "c", "d"}));
    EXPECT_EQ(readLines("\r\n\r\n"), (L{"", ""}));
    EXPECT_EQ(readLines("\n\r\n\n"), (L{"", "", ""}));
    EXPECT_EQ(readLines("a\n\rb"), (L{"a", "", "b"}));  // LF CR is two ends, not one
    EXPECT_EQ(readLines(std::string("\x00\xE9\x03\r\n", 5)), (L{std::string("\x00\xE9\x03", 3)}));
}

int errorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const RuntimeError& e) {
        return e.Number;
    }
    return 0;
}

TEST(LineFilesTest, ErrorsAndWhatIsWritten) {
    const std::string path = tempFile("x");
    LineReader in;
    EXPECT_EQ(errorOf([&] { in.atEnd(); }), err::BadFileNumber);
    in.open(path);
    EXPECT_TRUE(in.isOpen());
    EXPECT_EQ(errorOf([&] { in.open(path); }), err::FileAlreadyOpen);
    EXPECT_EQ(in.readLine(), "x");
    EXPECT_EQ(errorOf([&] { in.readLine(); }), err::InputPastEnd);
    in.close();
    in.close();  // closing twice is harmless
    EXPECT_FALSE(in.isOpen());
    EXPECT_EQ(errorOf([&] { in.open(path + ".missing"); }), err::FileNotFound);
    // Open again after a failure: the same reader reads the file afresh.
    in.open(path);
    EXPECT_EQ(in.readLine(), "x");
    in.close();

    LineWriter out;
    EXPECT_EQ(errorOf([&] { out.writeLine("y"); }), err::BadFileNumber);
    out.open(path);
    out.writeLine("01-02-2026");
    out.writeLine("");
    out.close();
    EXPECT_EQ(test::readFile(path), "01-02-2026\r\n\r\n");
    EXPECT_EQ(errorOf([&] { out.open(path + ".missing/folder/file"); }), err::PathFileAccess);
    std::filesystem::remove(path);
}

}  // namespace
}  // namespace vigie
