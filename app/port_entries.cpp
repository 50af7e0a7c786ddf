#include "app/port_entries.h"

#include "core/text.h"

namespace vigie {

std::string portEntryDigits(std::string_view entry) {
    const std::string text = trimSpaces(entry);
    std::size_t end = 0;
    while (end < text.size() && text[end] >= '0' && text[end] <= '9')
        ++end;
    return text.substr(0, end);
}

int portEntryNumber(std::string_view entry) {
    const std::string digits = portEntryDigits(entry);
    return digits.empty() || digits.size() > 3 ? 0 : std::stoi(digits);
}

}  // namespace vigie
