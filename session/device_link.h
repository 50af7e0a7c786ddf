#pragma once
// The text dialogue with the K7 over the serial line: the bytes the program sends, how it
// recognises what the device sends, and the login fields cut from the device's first request.
//
// Everything here works on raw bytes, one byte per character, exactly as they cross the line.
// Recognition is a case-sensitive search over the whole receive buffer: the device frames nothing,
// so a keyword counts as soon as it is anywhere in the buffer, and the CR that completes a request
// may be anywhere too (even ahead of the keyword).

#include <string>
#include <string_view>

namespace vigie::link {

using namespace std::string_view_literals;

// ---- Sent by the program ----------------------------------------------------------------------
inline constexpr std::string_view WakeUp = "\x02\x10\x03"sv;        // STX DLE ETX
inline constexpr std::string_view Ack = "\r\n0\r\n"sv;              // CR LF "0" CR LF
inline constexpr std::string_view TransferStart = "\r\n150\r\n"sv;  // CR LF "150" CR LF
inline constexpr std::string_view EndOfData = "\x03\r\n"sv;         // ETX CR LF
inline constexpr std::string_view TransferDone = "\r\n368\r\n"sv;   // CR LF "368" CR LF
// One line of the database file as it goes out: its text, then CR LF.
std::string DataLine(std::string_view line);

// ---- Sent by the device -----------------------------------------------------------------------
inline constexpr std::string_view UserNameRequest = "T#FTPUN"sv;
inline constexpr std::string_view PasswordRequest = "T#FTPPW"sv;
inline constexpr std::string_view FileRequest = "T#FTPFILEP"sv;
inline constexpr std::string_view GetRequest = "T#FTPGET"sv;
inline constexpr std::string_view EndReport = "T#END"sv;

// The reply to the wake-up: SOH, STX and ETX each somewhere in the buffer, in any order; or the
// device has already gone on to its user-name request ("FTPUN" anywhere).
bool isWakeUpReply(std::string_view buffer);
// A request counts once its keyword and a CR are both somewhere in the buffer.
bool hasRequest(std::string_view buffer, std::string_view keyword);
// The device reports that it has stored the data.
bool hasEndReport(std::string_view buffer);

// The device's user name: the 7 bytes right after the first "FTPUN" in the buffer (fewer when the
// buffer ends sooner), upper-cased. "" when the buffer holds no "FTPUN".
std::string cutUserName(std::string_view buffer);
// The login password derived from the user name: its bytes in reverse order.
std::string passwordFor(std::string_view userName);

}  // namespace vigie::link
