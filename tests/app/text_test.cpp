#include <gtest/gtest.h>

#include "core/text.h"

namespace vigie {
namespace {

TEST(TextTest, Windows1252RoundTripsEveryAssignedByte) {
    std::string all;
    for (int b = 1; b < 256; ++b)
        all += static_cast<char>(b);
    EXPECT_EQ(utf8ToCp1252(cp1252ToUtf8(all)), all);
    EXPECT_EQ(cp1252ToUtf8("\xE9\x80\x92"), "é€’");
    EXPECT_EQ(utf8ToCp1252("Téléchargement ✓"),
              "T\xE9l\xE9"
              "chargement ?");
}

TEST(TextTest, UpperCaseFollowsTheCodePage) {
    EXPECT_EQ(upperCp1252("abc1234"), "ABC1234");
    EXPECT_EQ(upperCp1252("\xE9\xFF\x9C\xF7\xDF"), "\xC9\x9F\x8C\xF7\xDF");  // é ÿ œ ÷ ß
    EXPECT_EQ(upperCp1252(std::string("a\0b", 3)), std::string("A\0B", 3));
}

TEST(TextTest, TrimAndNumberEntries) {
    EXPECT_EQ(trimSpaces("  3 - In Use "), "3 - In Use");
    EXPECT_EQ(trimSpaces("   "), "");
    EXPECT_EQ(numberText(3), " 3");
    EXPECT_EQ(numberText(-3), "-3");
}

}  // namespace
}  // namespace vigie
