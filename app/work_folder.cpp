#include "app/work_folder.h"

#include <filesystem>

#ifdef _WIN32
#include <windows.h>

#include "core/wide_text.h"
#else
#include <unistd.h>
#endif

#include "app/user_folders.h"
#include "core/file_path.h"

namespace vigie {

#ifdef _WIN32

bool canCreateFilesIn(const std::string& folder) {
    // A drive's root ("P:\\") ends in its separator already.
    const bool separated = !folder.empty() && (folder.back() == '\\' || folder.back() == '/');
    const std::wstring probe =
        widen(folder + (separated ? "" : "\\") + "vigie-k7-write-test.tmp");
    HANDLE file = ::CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    ::CloseHandle(file);
    return true;
}

#else

bool canCreateFilesIn(const std::string& folder) {
    return access(folder.c_str(), W_OK) == 0;
}

#endif

std::string workFolder(const std::string& appPath) {
    if (canCreateFilesIn(appPath))
        return appPath;
    const std::string folder = userCacheFolder();
    // A folder that cannot be made shows up as a working file that cannot be created, with the
    // download's own error handling.
    std::error_code ignored;
    std::filesystem::create_directories(filePath(folder), ignored);
    return folder;
}

}  // namespace vigie
