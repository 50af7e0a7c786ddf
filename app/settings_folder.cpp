#include "app/settings_folder.h"

#include <filesystem>
#include <system_error>

#ifdef _WIN32
#include <windows.h>

#include "app/user_folders.h"
#include "app/work_folder.h"
#include "core/wide_text.h"
#endif

#include "app/settings.h"
#include "core/file_path.h"

namespace vigie {
namespace {

namespace fs = std::filesystem;

bool isDriveRoot(std::string_view path) {
    if (path.size() < 3)
        return false;
    const char letter = path[0];
    return ((letter >= 'A' && letter <= 'Z') || (letter >= 'a' && letter <= 'z')) &&
           path[1] == ':' && (path[2] == '\\' || path[2] == '/');
}

bool usable(const std::string& folder, const SettingsFolderProbes& probes) {
    return probes.folderReady(folder) && probes.iniWritable(folder + "HD.ini");
}

bool folderReady(const std::string& folder) {
    std::error_code ec;
    if (fs::is_directory(filePath(folder), ec))
        return true;
    fs::create_directories(filePath(folder), ec);
    return fs::is_directory(filePath(folder), ec);
}

#ifdef _WIN32

bool iniWritable(const std::string& iniFile) {
    const std::string folder = iniFile.substr(0, iniFile.find_last_of("\\/"));
    if (!canCreateFilesIn(folder))
        return false;
    // The rights that shut-down uses on a file that is there: its attributes cleared (a
    // read-only file), then deleted. A folder of that name cannot be opened so.
    HANDLE file = ::CreateFileW(widen(iniFile).c_str(), DELETE | FILE_WRITE_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        ::CloseHandle(file);
        return true;
    }
    return ::GetLastError() == ERROR_FILE_NOT_FOUND;
}

#endif

}  // namespace

std::optional<std::string> chooseSettingsFolder(std::string_view appPath,
                                                const std::string& userFolder,
                                                const SettingsFolderProbes& probes) {
    if (isDriveRoot(appPath)) {
        const std::string driveTemp = windowsTempPath(appPath);
        if (usable(driveTemp, probes))
            return driveTemp;
    }
    if (userFolder.empty())
        return std::nullopt;
    const std::string own = userFolder + "\\";
    if (usable(own, probes))
        return own;
    return std::nullopt;
}

std::string settingsFolderInUse(std::string_view appPath) {
#ifdef _WIN32
    return chooseSettingsFolder(appPath, userStateFolder(), {folderReady, iniWritable})
        .value_or("");
#else
    const std::string folder = settingsFolder(appPath);
    return folderReady(folder) ? folder : "";
#endif
}

}  // namespace vigie
