#pragma once
// The settings file "HD.ini": one line of one-character fields, each after a "*":
//   *<port>*<filter>*[t*]   then CR LF.

#include <string>
#include <string_view>

namespace vigie {

struct IniFields {
    std::string port;    // first character of the port entry; may be empty
    std::string filter;  // "1": port filter on
    std::string test;    // "t": "Test Locations" offered
};

// Splits up to the first seven characters of the file the tolerant way: each field is the character
// after the next "*", empty when there is none.
IniFields splitIniText(std::string_view iniText);
// The line to write, without its CR LF.
std::string buildIniLine(const std::string& portChar, const std::string& filterFlag,
                         const std::string& testFlag);

// The settings folder of a Windows installation: the first three characters of the program's
// folder (its drive root), then "Temp\".
std::string windowsTempPath(std::string_view appPath);
// The settings folder on this system, with a trailing separator. On Linux:
// $XDG_CONFIG_HOME/vigie-k7/ (default ~/.config/vigie-k7/).
std::string settingsFolder(std::string_view appPath);

}  // namespace vigie
