#include "app/work_folder.h"

#include <cstdlib>
#include <filesystem>

#ifndef _WIN32
#include <unistd.h>
#endif

namespace vigie {

std::string workFolder(const std::string& appPath) {
#ifdef _WIN32
    return appPath;
#else
    if (access(appPath.c_str(), W_OK) == 0)
        return appPath;
    std::string base;
    if (const char* xdg = std::getenv("XDG_CACHE_HOME"); xdg && *xdg == '/')
        base = xdg;
    else if (const char* home = std::getenv("HOME"); home && *home)
        base = std::string(home) + "/.cache";
    else
        base = "/tmp";
    const std::string folder = base + "/vigie-k7";
    // A folder that cannot be made shows up as a working file that cannot be created, with the
    // download's own error handling.
    std::error_code ignored;
    std::filesystem::create_directories(folder, ignored);
    return folder;
#endif
}

}  // namespace vigie
