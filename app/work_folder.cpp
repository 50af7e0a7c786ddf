#include "app/work_folder.h"

#include <filesystem>

#ifndef _WIN32
#include <unistd.h>
#endif

#include "app/xdg_folder.h"

namespace vigie {

std::string workFolder(const std::string& appPath) {
#ifdef _WIN32
    return appPath;
#else
    if (access(appPath.c_str(), W_OK) == 0)
        return appPath;
    const std::string folder = xdgFolder("XDG_CACHE_HOME", ".cache") + "/vigie-k7";
    // A folder that cannot be made shows up as a working file that cannot be created, with the
    // download's own error handling.
    std::error_code ignored;
    std::filesystem::create_directories(folder, ignored);
    return folder;
#endif
}

}  // namespace vigie
