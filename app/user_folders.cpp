#include "app/user_folders.h"

#ifdef _WIN32
#include <windows.h>
// after windows.h, which they build on
#include <knownfolders.h>
#include <shlobj.h>

#include "core/wide_text.h"
#else
#include "app/xdg_folder.h"
#endif

namespace vigie {

#ifdef _WIN32

namespace {

// %LOCALAPPDATA%\VIGIE K7: the user's own, not roaming with the profile.
std::string localAppDataFolder() {
    PWSTR path = nullptr;
    std::string folder;
    if (SUCCEEDED(::SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &path)))
        folder = narrow(path) + "\\VIGIE K7";
    ::CoTaskMemFree(path);
    return folder;
}

}  // namespace

std::string userCacheFolder() {
    return localAppDataFolder();
}

std::string userStateFolder() {
    return localAppDataFolder();
}

std::string updateLogPath() {
    const std::string folder = userStateFolder();
    return folder.empty() ? "" : folder + "\\updates.log";
}

#else

std::string userCacheFolder() {
    return xdgFolder("XDG_CACHE_HOME", ".cache") + "/vigie-k7";
}

std::string userStateFolder() {
    return xdgFolder("XDG_STATE_HOME", ".local/state") + "/vigie-k7";
}

std::string updateLogPath() {
    return userStateFolder() + "/updates.log";
}

#endif

}  // namespace vigie
