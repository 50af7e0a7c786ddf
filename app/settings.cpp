#include "app/settings.h"

#include "app/xdg_folder.h"

namespace vigie {
namespace {

std::string charAfter(std::string_view text, size_t pos1) {
    // pos1 is 1-based; the character after it is at 0-based index pos1.
    return pos1 < text.size() ? std::string(1, text[pos1]) : std::string();
}

size_t findStar(std::string_view text, size_t from1) {
    if (from1 == 0 || from1 > text.size())
        return 0;
    const auto p = text.find('*', from1 - 1);
    return p == std::string_view::npos ? 0 : p + 1;
}

}  // namespace

IniFields splitIniText(std::string_view iniText) {
    std::string_view text = iniText.substr(0, 7);
    IniFields f;
    size_t p = findStar(text, 1);
    f.port = charAfter(text, p);
    if (p > 0) {
        // The port's whole number: the digits up to the next "*".
        size_t digits = 0;
        while (p + digits < iniText.size() && iniText[p + digits] >= '0' &&
               iniText[p + digits] <= '9')
            ++digits;
        if (digits > 1) {
            f.port = std::string(iniText.substr(p, digits));
            text = iniText.substr(0, 7 + digits - 1);
        }
    }
    p = findStar(text, p + 1);
    f.filter = charAfter(text, p);
    p = findStar(text, p + 1);
    f.test = charAfter(text, p);
    return f;
}

std::string buildIniLine(const std::string& portField, const std::string& filterFlag,
                         const std::string& testFlag) {
    std::string line = "*" + portField + "*" + filterFlag + "*";
    if (testFlag == "t")
        line += "t*";
    return line;
}

std::string windowsTempPath(std::string_view appPath) {
    return std::string(appPath.substr(0, 3)) + "Temp\\";
}

std::string settingsFolder(std::string_view appPath) {
#ifdef _WIN32
    return windowsTempPath(appPath);
#else
    (void)appPath;
    return xdgFolder("XDG_CONFIG_HOME", ".config") + "/vigie-k7/";
#endif
}

}  // namespace vigie
