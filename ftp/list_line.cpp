#include "ftp/list_line.h"

#include <algorithm>
#include <cctype>
#include <string_view>
#include <vector>

namespace vigie::ftp {
namespace {

bool allDigits(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        return std::isdigit(static_cast<unsigned char>(c));
    });
}

bool isMonth(std::string_view text) {
    static constexpr std::string_view months[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                                  "jul", "aug", "sep", "oct", "nov", "dec"};
    if (text.size() != 3)
        return false;
    std::string lower(text);
    for (char& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return std::find(std::begin(months), std::end(months), lower) != std::end(months);
}

bool isClockOrYear(std::string_view text) {
    if (text.size() == 4)
        return allDigits(text);
    const std::size_t colon = text.find(':');
    return colon != std::string_view::npos && allDigits(text.substr(0, colon)) &&
           allDigits(text.substr(colon + 1));
}

std::uint64_t toSize(std::string_view digits) {
    std::uint64_t value = 0;
    for (char c : digits)
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
    return value;
}

}  // namespace

bool parseListLine(const std::string& line, std::string& name, std::uint64_t& size) {
    struct Token {
        std::size_t begin, end;
    };
    std::vector<Token> tokens;
    for (std::size_t i = 0; i < line.size() && tokens.size() < 9;) {
        while (i < line.size() && line[i] == ' ')
            ++i;
        if (i == line.size())
            break;
        const std::size_t begin = i;
        while (i < line.size() && line[i] != ' ')
            ++i;
        tokens.push_back({begin, i});
    }
    const auto text = [&](std::size_t k) {
        return std::string_view(line).substr(tokens[k].begin, tokens[k].end - tokens[k].begin);
    };
    if (tokens.size() >= 4 && text(0).size() >= 8 &&
        std::isdigit(static_cast<unsigned char>(line[0]))) {
        // DOS: date, time, size or <DIR>, name
        if (text(0)[2] != '-' || !allDigits(text(2)))
            return false;
        size = toSize(text(2));
        name = line.substr(tokens[3].begin);
        return true;
    }
    if (line.empty() || std::string_view("-dlcbps").find(line[0]) == std::string_view::npos)
        return false;
    for (std::size_t k = 2; k + 2 < tokens.size(); ++k) {
        if (allDigits(text(k - 1)) && isMonth(text(k)) && allDigits(text(k + 1)) &&
            isClockOrYear(text(k + 2))) {
            if (tokens[k + 2].end + 1 >= line.size())
                return false;
            size = toSize(text(k - 1));
            name = line.substr(tokens[k + 2].end + 1);
            if (line[0] == 'l') {
                const std::size_t arrow = name.find(" -> ");
                if (arrow != std::string::npos)
                    name.erase(arrow);
            }
            return true;
        }
    }
    return false;
}

}  // namespace vigie::ftp
