#include <gtest/gtest.h>

#include <string>
#include <vector>

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

struct Utf8Case {
    std::string bytes;
    bool valid;
    std::string repaired;  // validUtf8: each byte outside a well-formed sequence is U+FFFD
};

TEST(TextTest, OnlyWellFormedUtf8CountsAsUtf8) {
    const std::string r = "\xEF\xBF\xBD";
    const Utf8Case cases[] = {
        {"", true, ""},
        {"Accès refusé, 日本, 😀", true, "Accès refusé, 日本, 😀"},
        {"Acc\xE8s refus\xE9", false, "Acc" + r + "s refus" + r},  // Windows-1252
        {"\xC3", false, r},                                        // cut short at the end
        {"\xC3(", false, r + "("},                                 // cut short before ASCII
        {"\xC0\xAF", false, r + r},                                // overlong "/"
        {"\xE0\x80\xAF", false, r + r + r},                        // overlong, three bytes
        {"\xED\xA0\x80", false, r + r + r},                        // a surrogate
        {"\xF4\x90\x80\x80", false, r + r + r + r},                // past U+10FFFF
        {"\xF4\x8F\xBF\xBF", true, "\xF4\x8F\xBF\xBF"},            // U+10FFFF itself
        {"\xFF", false, r},
    };
    for (const Utf8Case& c : cases) {
        EXPECT_EQ(isUtf8(c.bytes), c.valid) << c.bytes;
        EXPECT_EQ(validUtf8(c.bytes), c.repaired) << c.bytes;
        EXPECT_TRUE(isUtf8(validUtf8(c.bytes))) << c.bytes;
    }
}

// A server's reply: UTF-8 kept as it is, anything else read in the Western code page.
TEST(TextTest, ServerRepliesAreUtf8OrWindows1252) {
    struct Case {
        std::string bytes;
        std::string text;
    };
    for (const Case& c :
         std::vector<Case>{{"230 Login successful.", "230 Login successful."},
                           {"530 Acc\xE8s refus\xE9.", "530 Accès refusé."},
                           {"257 \"/\" est le r\xE9pertoire courant \x80",
                            "257 \"/\" est le répertoire courant €"},
                           {"530 Accès refusé.", "530 Accès refusé."},
                           // One byte that cannot be UTF-8 makes the whole reply 8-bit.
                           {"230 \xC3\xA9t\xE9", "230 Ã©té"}})
        EXPECT_EQ(utf8OrCp1252(c.bytes), c.text) << c.bytes;
}

TEST(TextTest, TrimAndNumberEntries) {
    EXPECT_EQ(trimSpaces("  3 - In Use "), "3 - In Use");
    EXPECT_EQ(trimSpaces("   "), "");
    EXPECT_EQ(numberText(3), " 3");
    EXPECT_EQ(numberText(-3), "-3");
}

}  // namespace
}  // namespace vigie
