#include "app/xdg_folder.h"

#include <cstdlib>

namespace vigie {

std::string xdgFolder(const char* variable, const char* homeSubfolder) {
    if (const char* value = std::getenv(variable); value && *value == '/')
        return value;
    if (const char* home = std::getenv("HOME"); home && *home)
        return std::string(home) + "/" + homeSubfolder;
    return "/tmp";
}

}  // namespace vigie
