#pragma once
// The settings file "HD.ini": one line of fields, each after a "*":
//   *<port>*<filter>*[t*]   then CR LF.
// The port is the port's whole number ("*14*1*"); the other fields are one character each. Files
// of older versions, which kept only the port's first character, read as they always did.

#include <string>
#include <string_view>

namespace vigie {

struct IniFields {
    std::string port;    // the port's digits, or the one character found there; may be empty
    std::string filter;  // "1": port filter on
    std::string test;    // "t": "Test Locations" offered
};

// How many bytes of the file the reading needs at most.
constexpr std::size_t kIniBytesRead = 64;

// Splits the start of the file the tolerant way: each field is the character after the next "*",
// empty when there is none, within the first seven characters; a port field of several digits is
// taken whole, and widens those seven characters by its extra digits.
IniFields splitIniText(std::string_view iniText);
// The line to write, without its CR LF; portField is the port's number, or "".
std::string buildIniLine(const std::string& portField, const std::string& filterFlag,
                         const std::string& testFlag);

// The settings folder of a Windows installation: the first three characters of the program's
// folder (its drive root), then "Temp\".
std::string windowsTempPath(std::string_view appPath);
// The settings folder on this system, with a trailing separator. On Linux:
// $XDG_CONFIG_HOME/vigie-k7/ (default ~/.config/vigie-k7/).
std::string settingsFolder(std::string_view appPath);

}  // namespace vigie
