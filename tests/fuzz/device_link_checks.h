#pragma once
// Promises of the device-message recognisers and of the login fields cut from the device's
// first request.

#include <algorithm>
#include <string>
#include <string_view>

#include "core/text.h"
#include "session/device_link.h"
#include "tests/fuzz/check_support.h"

namespace vigie::fuzz {

// The functions under test; the replay test swaps in broken ones to prove the checks notice.
struct DeviceLinkSubject {
    bool (*isWakeUpReply)(std::string_view) = &link::isWakeUpReply;
    bool (*hasRequest)(std::string_view, std::string_view) = &link::hasRequest;
    bool (*hasEndReport)(std::string_view) = &link::hasEndReport;
    std::string (*cutUserName)(std::string_view) = &link::cutUserName;
    std::string (*passwordFor)(std::string_view) = &link::passwordFor;
};

inline constexpr std::string_view kKeywords[] = {link::UserNameRequest, link::PasswordRequest,
                                                 link::FileRequest, link::GetRequest,
                                                 link::EndReport};

inline void checkPassword(std::string_view name, Findings& f, const DeviceLinkSubject& s) {
    const std::string password = s.passwordFor(name);
    f.expect(password.size() == name.size(), "the password is not as long as the name");
    f.expect(s.passwordFor(password) == name, "the password reversed again is not the name");
    f.expect(name.empty() || (password.front() == name.back() && password.back() == name.front()),
             "the password is not the name in reverse order");
}

// What is recognised in a buffer stays recognised when more bytes arrive: the receive buffer only
// grows while the program waits.
inline void checkGrowth(std::string_view part, std::string_view whole, Findings& f,
                        const DeviceLinkSubject& s) {
    f.expect(!s.isWakeUpReply(part) || s.isWakeUpReply(whole),
             "a wake-up reply is lost as the buffer grows");
    f.expect(!s.hasEndReport(part) || s.hasEndReport(whole),
             "an end report is lost as the buffer grows");
    for (std::string_view keyword : kKeywords)
        f.expect(!s.hasRequest(part, keyword) || s.hasRequest(whole, keyword),
                 "a request is lost as the buffer grows");
    const std::string partName = s.cutUserName(part);
    f.expect(!occurs(part, "FTPUN") || s.cutUserName(whole).starts_with(partName),
             "the name cut from a growing buffer changes its first bytes");
}

// The input is the receive buffer. Its first byte n also splits it into a free keyword (the n % 9
// bytes after it) and a buffer to search (the rest), so the fuzzer explores hasRequest's search
// with keywords of its own.
inline void checkDeviceLink(std::string_view input, Findings& f, const DeviceLinkSubject& s = {}) {
    const bool cr = occurs(input, "\r");
    const bool controls = occurs(input, "\x01") && occurs(input, "\x02") && occurs(input, "\x03");
    f.expect(s.isWakeUpReply(input) == (controls || occurs(input, "FTPUN")),
             "the wake-up reply is not SOH, STX and ETX anywhere, or FTPUN");
    f.expect(s.hasEndReport(input) == occurs(input, "T#END"),
             "the end report is not T#END anywhere");
    for (std::string_view keyword : kKeywords)
        f.expect(s.hasRequest(input, keyword) == (cr && occurs(input, keyword)),
                 "a request is not its keyword and a CR anywhere");
    if (!input.empty()) {
        const std::size_t n = static_cast<unsigned char>(input[0]) % 9;
        const std::string_view keyword = input.substr(1, n);
        const std::string_view buffer = input.substr(std::min(input.size(), 1 + n));
        f.expect(s.hasRequest(buffer, keyword) == (occurs(buffer, "\r") && occurs(buffer, keyword)),
                 "a free keyword is not found the way a plain search finds it");
    }

    const std::string name = s.cutUserName(input);
    f.expect(name.size() <= 7, "the name is longer than 7 bytes");
    const std::size_t at = firstAt(input, "FTPUN");
    if (at > input.size()) {
        f.expect(name.empty(), "a name is cut from a buffer without FTPUN");
    } else {
        const std::string_view after = input.substr(at + 5);
        f.expect(name.size() == std::min<std::size_t>(7, after.size()),
                 "the name is not the 7 bytes after the first FTPUN");
        bool sameBytes = name.size() <= after.size();
        for (std::size_t i = 0; sameBytes && i < name.size(); ++i)
            sameBytes = name[i] == upperCp1252(after.substr(i, 1))[0];
        f.expect(sameBytes, "the name is not the upper case of the bytes after the first FTPUN");
    }
    f.expect(upperCp1252(name) == name, "the name is not upper case");
    checkPassword(name, f, s);
    checkPassword(input.substr(0, 64), f, s);

    checkGrowth(input.substr(0, input.size() / 2), input, f, s);
    if (const std::size_t firstCr = firstAt(input, "\r"); firstCr < input.size())
        checkGrowth(input.substr(0, firstCr), input, f, s);
}

}  // namespace vigie::fuzz
