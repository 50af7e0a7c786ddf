#include "serial/port_properties.h"

#include <vector>

#include "core/runtime_error.h"
#include "serial/port_names.h"

namespace vigie {
namespace {

constexpr std::int32_t kInvalidPropertyValue = 380;

[[noreturn]] void invalid() {
    throw RuntimeError(kInvalidPropertyValue, "MSComm1", "Invalid property value");
}

std::vector<std::string> splitFields(const std::string& text) {
    std::vector<std::string> fields(1);
    for (char c : text) {
        if (c == ',')
            fields.emplace_back();
        else if (c != ' ')
            fields.back() += c;
    }
    return fields;
}

bool allDigits(const std::string& s) {
    if (s.empty())
        return false;
    for (char c : s)
        if (c < '0' || c > '9')
            return false;
    return true;
}

}  // namespace

LineSettings parseLineSettings(const std::string& text) {
    const std::vector<std::string> f = splitFields(text);
    if (f.size() != 4 || !allDigits(f[0]) || f[0].size() > 9 || f[1].size() != 1)
        invalid();
    LineSettings s;
    s.baudRate = static_cast<std::int32_t>(std::stol(f[0]));
    if (s.baudRate <= 0)
        invalid();
    switch (f[1][0] | 0x20) {
        case 'n':
            s.parity = Parity::None;
            break;
        case 'e':
            s.parity = Parity::Even;
            break;
        case 'o':
            s.parity = Parity::Odd;
            break;
        case 'm':
            s.parity = Parity::Mark;
            break;
        case 's':
            s.parity = Parity::Space;
            break;
        default:
            invalid();
    }
    if (f[2].size() != 1 || f[2][0] < '5' || f[2][0] > '8')
        invalid();
    s.dataBits = f[2][0] - '0';
    if (f[3] == "1")
        s.stopBits = StopBits::One;
    else if (f[3] == "1.5")
        s.stopBits = StopBits::OneAndHalf;
    else if (f[3] == "2")
        s.stopBits = StopBits::Two;
    else
        invalid();
    return s;
}

std::int16_t checkedPortNumber(std::int16_t port) {
    if (port < 1 || port > kHighestPort)
        throw RuntimeError(err::InvalidPortNumber, "MSComm1", "Invalid port number");
    return port;
}

std::int16_t checkedInputLen(std::int16_t len) {
    if (len < 0)
        invalid();
    return len;
}

}  // namespace vigie
