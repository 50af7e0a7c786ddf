#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "core/data_files.h"
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
    DataFiles files;
    const auto n = files.freeFile();
    const std::string path = tempFile(content);
    files.openInput(n, path);
    std::vector<std::string> lines;
    while (!files.eof(n))
        lines.push_back(files.lineInput(n));
    files.close(n);
    std::filesystem::remove(path);
    return lines;
}

TEST(DataFilesTest, LinesEndAtCrAtCrLfOrAtALoneLf) {
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

TEST(DataFilesTest, NumbersAndErrors) {
    DataFiles files;
    EXPECT_EQ(files.freeFile(), 1);
    const std::string path = tempFile("x");
    files.openInput(1, path);
    EXPECT_EQ(files.freeFile(), 2);
    EXPECT_THROW(files.openInput(1, path), RuntimeError);
    EXPECT_EQ(files.lineInput(1), "x");
    try {
        files.lineInput(1);
        FAIL() << "reading past the end must fail";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.Number, err::InputPastEnd);
    }
    files.close(1);
    files.close(1);  // closing twice is harmless
    try {
        files.openInput(3, path + ".missing");
        FAIL() << "a missing file must fail";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.Number, err::FileNotFound);
    }
    EXPECT_THROW(files.eof(7), RuntimeError);

    files.openOutput(2, path);
    files.printLine(2, "01-02-2026");
    files.close(2);
    EXPECT_EQ(test::readFile(path), "01-02-2026\r\n");
    std::filesystem::remove(path);
}

}  // namespace
}  // namespace vigie
