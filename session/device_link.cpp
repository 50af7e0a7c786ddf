#include "session/device_link.h"

#include "core/text.h"

namespace vigie::link {

namespace {
constexpr char CR = '\r';
constexpr std::string_view NameMarker = "FTPUN";
constexpr std::size_t NameLength = 7;
}  // namespace

std::string DataLine(std::string_view line) {
    std::string out;
    out.reserve(line.size() + 2);
    out.append(line);
    out.append("\r\n");
    return out;
}

bool isWakeUpReply(std::string_view buffer) {
    const bool controls = buffer.find('\x01') != std::string_view::npos &&
                          buffer.find('\x02') != std::string_view::npos &&
                          buffer.find('\x03') != std::string_view::npos;
    return controls || buffer.find(NameMarker) != std::string_view::npos;
}

bool hasRequest(std::string_view buffer, std::string_view keyword) {
    return buffer.find(keyword) != std::string_view::npos &&
           buffer.find(CR) != std::string_view::npos;
}

bool hasEndReport(std::string_view buffer) {
    return buffer.find(EndReport) != std::string_view::npos;
}

std::string cutUserName(std::string_view buffer) {
    // The position is kept as a size, not a 16-bit number: a device that floods the line before
    // its request must not turn a valid name into an overflow.
    const auto at = buffer.find(NameMarker);
    if (at == std::string_view::npos)
        return "";
    return upperCp1252(buffer.substr(at + NameMarker.size(), NameLength));
}

std::string passwordFor(std::string_view userName) {
    return std::string(userName.rbegin(), userName.rend());
}

}  // namespace vigie::link
