#pragma once
// Promises of the settings line: how "HD.ini" is read at start-up and written at the end.

#include <string>
#include <string_view>
#include <vector>

#include "app/settings.h"
#include "tests/fuzz/check_support.h"

namespace vigie::fuzz {

// The functions under test; the replay test swaps in broken ones to prove the checks notice.
struct SettingsSubject {
    IniFields (*split)(std::string_view) = &splitIniText;
    std::string (*build)(const std::string&, const std::string&,
                         const std::string&) = &buildIniLine;
};

// The tolerant reading written the long way, with 1-based positions: a search for "*" gives 0
// when there is none (or when it would start past the end), and the character "after" position 0
// is the first one. The first seven bytes of the file are read; a port field of several digits
// right after the first "*" is taken whole, and the bytes read grow by its extra digits.
// wholePorts false: the reading of older versions, one character per field.
inline IniFields modelSplit(std::string_view file, std::size_t bytesRead = 7,
                            bool wholePorts = true) {
    const auto searchIn = [](std::string_view text, std::size_t start) -> std::size_t {
        for (std::size_t pos = start; pos >= 1 && pos <= text.size(); ++pos) {
            if (text[pos - 1] == '*')
                return pos;
        }
        return 0;
    };
    std::size_t star = searchIn(file.substr(0, bytesRead), 1);
    std::size_t digits = 0;
    while (wholePorts && star >= 1 && star + digits < file.size() && file[star + digits] >= '0' &&
           file[star + digits] <= '9')
        ++digits;
    const std::string_view text = file.substr(0, bytesRead + (digits > 1 ? digits - 1 : 0));
    const auto oneAt = [&](std::size_t pos) {
        return pos >= 1 && pos <= text.size() ? std::string(1, text[pos - 1]) : std::string();
    };
    IniFields f;
    f.port = digits > 1 ? std::string(text.substr(star, digits)) : oneAt(star + 1);
    star = searchIn(text, star + 1);
    f.filter = oneAt(star + 1);
    star = searchIn(text, star + 1);
    f.test = oneAt(star + 1);
    return f;
}

// How many bytes the reading takes into account: seven, and a whole port's extra digits.
inline std::size_t bytesThatCount(std::string_view file) {
    const IniFields f = modelSplit(file);
    return 7 + (f.port.size() > 1 ? f.port.size() - 1 : 0);
}

inline bool sameFields(const IniFields& a, const IniFields& b) {
    return a.port == b.port && a.filter == b.filter && a.test == b.test;
}

inline bool isDigitField(const std::string& field) {
    return field.size() == 1 && field[0] >= '0' && field[0] <= '9';
}

inline bool isDigits(const std::string& field) {
    return !field.empty() && field.find_first_not_of("0123456789") == std::string::npos;
}

// The port of an entry of the list, as the shut-down writes it: 1 to 255, no leading zero.
inline bool isPortNumber(const std::string& field) {
    return isDigits(field) && field.size() <= 3 && field[0] != '0' && std::stoi(field) <= 255;
}

// A field written from `value` reads back as `value`; an empty one reads back as something the
// start-up treats as absent (not a digit).
inline bool readsBackAs(const std::string& read, const std::string& written) {
    return written.empty() ? !isDigitField(read) : read == written;
}

// The input is a whole settings file. Its first three bytes also serve as the port, filter and
// test values of a line to write, so the fuzzer explores the write-then-read cycle too; its first
// byte also as a port number.
inline void checkSettings(std::string_view input, Findings& f, const SettingsSubject& s = {}) {
    const IniFields fields = s.split(input);
    f.expect(fields.filter.size() <= 1 && fields.test.size() <= 1,
             "a field other than the port is longer than one character");
    f.expect(fields.port.size() <= 1 || isDigits(fields.port),
             "a port field of several characters that are not all digits");
    f.expect(sameFields(fields, s.split(input.substr(0, bytesThatCount(input)))),
             "bytes past the seventh (and the port's extra digits) count");
    f.expect(sameFields(fields, modelSplit(input)), "the fields differ from the tolerant reading");
    // Files of older versions, whose ports had one digit, read as they always did.
    if (fields.port.size() <= 1)
        f.expect(sameFields(fields, modelSplit(input, 7, false)),
                 "a file of an older version reads differently");

    // Shut-down writes back the test field exactly as start-up read it: "Test Locations" must
    // survive any number of runs, and must not appear from nowhere. The port written is the one
    // shown, which start-up picked from a port number or left to the list's first (here: none).
    const std::string shownPort = isPortNumber(fields.port) ? fields.port : std::string();
    for (const char* filter : {"0", "1"}) {
        const IniFields again = s.split(s.build(shownPort, filter, fields.test) + "\r\n");
        f.expect((again.test == "t") == (fields.test == "t"),
                 "the test field changes across a start-up and shut-down");
        f.expect(again.filter == filter, "the filter flag does not survive a shut-down");
        f.expect(readsBackAs(again.port, shownPort), "the shown port does not survive a shut-down");
    }

    if (input.size() < 3)
        return;
    // '*' is the separator and cannot be a value; it stands for "no value" here.
    const auto value = [&](std::size_t i) {
        return input[i] == '*' ? std::string() : std::string(1, input[i]);
    };
    const std::string filter = value(1);
    const std::string test = value(2);
    std::vector<std::string> ports{value(0)};
    if (const int number = static_cast<unsigned char>(input[0]); number >= 1)
        ports.push_back(std::to_string(number));
    for (const std::string& port : ports) {
        const std::string line = s.build(port, filter, test);
        f.expect(line.size() <= 7 + (port.size() > 1 ? port.size() - 1 : 0),
                 "the written line is longer than its fields");
        // What follows the line in the file must not matter.
        for (const std::string& file : {line, line + "\r\n", line + "\r\n" + std::string(input)}) {
            const IniFields back = s.split(file);
            f.expect(readsBackAs(back.port, port), "the port does not read back as written");
            f.expect(readsBackAs(back.filter, filter),
                     "the filter flag does not read back as written");
            f.expect((back.test == "t") == (test == "t"),
                     "the test field does not read back as written");
            // An older version still finds the port's first digit and the filter; the test field
            // too while the line fits in its seven characters.
            const IniFields old = modelSplit(file, 7, false);
            f.expect(readsBackAs(old.port, port.substr(0, 1)),
                     "an older version misreads the port");
            f.expect(readsBackAs(old.filter, filter), "an older version misreads the filter flag");
            if (line.size() <= 8)
                f.expect((old.test == "t") == (test == "t"),
                         "an older version misreads the test field");
        }
    }
}

}  // namespace vigie::fuzz
