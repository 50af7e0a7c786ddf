#include "core/rtf_reader.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

// Checks the promises the windows rely on: valid UTF-8, no control characters but tab and line
// feed, and text no longer than three bytes per input byte.
void check(std::string_view input, const std::string& text) {
    if (text.size() > 3 * input.size()) {
        std::abort();
    }
    std::size_t i = 0;
    while (i < text.size()) {
        const auto b = static_cast<unsigned char>(text[i]);
        std::size_t len = b < 0x80 ? 1 : b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : 2;
        if ((b < 0x20 && b != '\t' && b != '\n') || (b >= 0x80 && b < 0xC2) || b > 0xF4 ||
            i + len > text.size()) {
            std::abort();
        }
        char32_t cp = len == 1 ? b : b & (0x7F >> len);
        for (std::size_t k = 1; k < len; ++k) {
            const auto c = static_cast<unsigned char>(text[i + k]);
            if ((c & 0xC0) != 0x80) {
                std::abort();
            }
            cp = (cp << 6) | (c & 0x3F);
        }
        const char32_t minimum[] = {0, 0, 0x80, 0x800, 0x10000};
        if (cp < minimum[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            std::abort();
        }
        i += len;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    check(input, vigie::rtfToText(input));
    return 0;
}
