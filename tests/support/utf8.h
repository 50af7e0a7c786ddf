#pragma once
// Strict UTF-8 for the tests: shortest forms only, no surrogates, nothing past U+10FFFF.

#include <string>
#include <string_view>

namespace vigie::test {

// The code points of the text; false when it is not strict UTF-8.
inline bool decodeUtf8(std::string_view text, std::u32string& out) {
    out.clear();
    for (std::size_t i = 0; i < text.size();) {
        const auto b = static_cast<unsigned char>(text[i]);
        const std::size_t len = b < 0x80   ? 1
                                : b < 0xC2 ? 0
                                : b < 0xE0 ? 2
                                : b < 0xF0 ? 3
                                : b < 0xF5 ? 4
                                           : 0;
        if (len == 0 || i + len > text.size())
            return false;
        char32_t cp = len == 1 ? b : b & (0x7F >> len);
        for (std::size_t k = 1; k < len; ++k) {
            const auto c = static_cast<unsigned char>(text[i + k]);
            if ((c & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (c & 0x3F);
        }
        const char32_t minimum[] = {0, 0, 0x80, 0x800, 0x10000};
        if (cp < minimum[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        out += cp;
        i += len;
    }
    return true;
}

inline bool isValidUtf8(std::string_view text) {
    std::u32string ignored;
    return decodeUtf8(text, ignored);
}

}  // namespace vigie::test
