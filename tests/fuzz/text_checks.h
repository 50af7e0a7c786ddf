#pragma once
// Promises of the Windows-1252 text helpers: the device's and the settings file's bytes shown in
// the window, and the window's text measured in device bytes.

#include <string>
#include <string_view>

#include "core/text.h"
#include "tests/fuzz/check_support.h"
#include "tests/support/utf8.h"

namespace vigie::fuzz {

// The functions under test; the replay test swaps in broken ones to prove the checks notice.
struct TextSubject {
    std::string (*toUtf8)(std::string_view) = &cp1252ToUtf8;
    std::string (*toCp1252)(std::string_view) = &utf8ToCp1252;
    std::string (*upper)(std::string_view) = &upperCp1252;
    std::string (*trim)(std::string_view) = &trimSpaces;
};

using test::decodeUtf8;

// The capital of a character shown by a Windows-1252 byte, when the code page has it: the
// Latin-1 small letters but the sharp s and y with diaeresis, and the four the code page adds.
inline char32_t capitalOf(char32_t cp) {
    if ((cp >= U'a' && cp <= U'z') || (cp >= 0xE0 && cp <= 0xFE && cp != 0xF7))
        return cp - 0x20;
    switch (cp) {
        case 0xFF:
            return 0x178;  // y with diaeresis
        case 0x161:
            return 0x160;  // s caron
        case 0x153:
            return 0x152;  // oe
        case 0x17E:
            return 0x17D;  // z caron
        default:
            return cp;
    }
}

// The input is read both as Windows-1252 bytes and as the window's UTF-8 text.
inline void checkText(std::string_view input, Findings& f, const TextSubject& s = {}) {
    // Device bytes to the window and back. This holds for every byte, the five the code page
    // leaves unassigned (0x81 0x8D 0x8F 0x90 0x9D) included: they travel as the C1 controls of the
    // same value, so a name holding one still logs in with the bytes the device sent.
    const std::string utf8 = s.toUtf8(input);
    std::u32string points;
    f.expect(decodeUtf8(utf8, points), "bytes shown in the window are not valid UTF-8");
    f.expect(points.size() == input.size(), "a byte does not become exactly one character");
    f.expect(s.toCp1252(utf8) == input, "bytes do not survive the trip through the window");

    // The window's text to device bytes: one byte per character, '?' for those the code page
    // lacks, and never more bytes than the UTF-8 text had, whatever it holds.
    const std::string bytes = s.toCp1252(input);
    f.expect(bytes.size() <= input.size(), "converting to the code page makes text longer");
    if (decodeUtf8(input, points)) {
        f.expect(bytes.size() == points.size(), "a character does not become exactly one byte");
        // A byte shows the character it came from; a '?' was one, or stands for a character
        // that no byte of the code page shows.
        std::u32string shownByBytes;  // the character each byte shows, built on first need
        const auto noByteShows = [&](char32_t cp) {
            if (shownByBytes.empty()) {
                std::u32string shown;
                for (int c = 0; c < 256; ++c) {
                    const bool one =
                        decodeUtf8(s.toUtf8(std::string(1, static_cast<char>(c))), shown) &&
                        shown.size() == 1;
                    shownByBytes += one ? shown[0] : char32_t{0xFFFFFFFF};
                }
            }
            return shownByBytes.find(cp) == std::u32string::npos;
        };
        bool faithful = bytes.size() == points.size();
        for (std::size_t i = 0; faithful && i < bytes.size(); ++i) {
            std::u32string back;
            faithful = decodeUtf8(s.toUtf8(bytes.substr(i, 1)), back) && back.size() == 1 &&
                       (back[0] == points[i] || (bytes[i] == '?' && noByteShows(points[i])));
        }
        f.expect(faithful, "a character becomes a byte that shows another character");
    }

    // Upper case, judged on the characters shown: every lower-case letter whose capital the code
    // page has becomes that capital, everything else stays. Same length, and stable.
    const std::string upper = s.upper(input);
    f.expect(upper.size() == input.size(), "upper case changes the length");
    f.expect(s.upper(upper) == upper, "upper case is not stable");
    std::u32string shownUpper;
    bool capitals = decodeUtf8(s.toUtf8(upper), shownUpper) && decodeUtf8(utf8, points) &&
                    shownUpper.size() == points.size();
    for (std::size_t i = 0; capitals && i < points.size(); ++i)
        capitals = shownUpper[i] == capitalOf(points[i]);
    f.expect(capitals, "upper case does not give the capital of each letter");

    // Trimming removes blanks at both ends only.
    const std::string trimmed = s.trim(input);
    const auto first = input.find_first_not_of(' ');
    f.expect(trimmed.empty() ? first == std::string_view::npos
                             : input.substr(first).starts_with(trimmed) &&
                                   input.substr(first + trimmed.size()).find_first_not_of(' ') ==
                                       std::string_view::npos &&
                                   trimmed.back() != ' ',
             "trimming does not remove exactly the blanks at both ends");
}

}  // namespace vigie::fuzz
