#pragma once
// Promises of the settings line: how "HD.ini" is read at start-up and written at the end.

#include <string>
#include <string_view>

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
// is the first one. Only the first seven bytes of the file are read.
inline IniFields modelSplit(std::string_view file, std::size_t bytesRead = 7) {
    const std::string_view text = file.substr(0, bytesRead);
    const auto search = [&](std::size_t start) -> std::size_t {
        for (std::size_t pos = start; pos >= 1 && pos <= text.size(); ++pos) {
            if (text[pos - 1] == '*')
                return pos;
        }
        return 0;
    };
    const auto oneAt = [&](std::size_t pos) {
        return pos >= 1 && pos <= text.size() ? std::string(1, text[pos - 1]) : std::string();
    };
    IniFields f;
    std::size_t star = search(1);
    f.port = oneAt(star + 1);
    star = search(star + 1);
    f.filter = oneAt(star + 1);
    star = search(star + 1);
    f.test = oneAt(star + 1);
    return f;
}

inline bool sameFields(const IniFields& a, const IniFields& b) {
    return a.port == b.port && a.filter == b.filter && a.test == b.test;
}

inline bool isDigitField(const std::string& field) {
    return field.size() == 1 && field[0] >= '0' && field[0] <= '9';
}

// A field written from `value` reads back as `value`; an empty one reads back as something the
// start-up treats as absent (not a digit).
inline bool readsBackAs(const std::string& read, const std::string& written) {
    return written.empty() ? !isDigitField(read) : read == written;
}

// The input is a whole settings file. Its first three bytes also serve as the port, filter and
// test values of a line to write, so the fuzzer explores the write-then-read cycle too.
inline void checkSettings(std::string_view input, Findings& f, const SettingsSubject& s = {}) {
    const IniFields fields = s.split(input);
    f.expect(fields.port.size() <= 1 && fields.filter.size() <= 1 && fields.test.size() <= 1,
             "a field is longer than one character");
    f.expect(sameFields(fields, s.split(input.substr(0, 7))), "bytes past the seventh count");
    f.expect(sameFields(fields, modelSplit(input)), "the fields differ from the tolerant reading");

    // Shut-down writes back the test field exactly as start-up read it: "Test Locations" must
    // survive any number of runs, and must not appear from nowhere. The port written is the one
    // shown, which start-up picked from a digit field or left to the list's first (here: none).
    const std::string shownPort = isDigitField(fields.port) ? fields.port : std::string();
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
    const std::string port = value(0);
    const std::string filter = value(1);
    const std::string test = value(2);
    const std::string line = s.build(port, filter, test);
    f.expect(line.size() <= 7, "the written line does not fit in the seven bytes read back");
    // What follows the line in the file must not matter.
    for (const std::string& file : {line, line + "\r\n", line + "\r\n" + std::string(input)}) {
        const IniFields back = s.split(file);
        f.expect(readsBackAs(back.port, port), "the port does not read back as written");
        f.expect(readsBackAs(back.filter, filter), "the filter flag does not read back as written");
        f.expect((back.test == "t") == (test == "t"),
                 "the test field does not read back as written");
    }
}

}  // namespace vigie::fuzz
