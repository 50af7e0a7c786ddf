#include "app/system_name.h"

#ifdef _WIN32
#include <windows.h>

#include <shlwapi.h>

#include "core/system_library.h"
#else
#include <sys/utsname.h>

#include <fstream>
#endif

namespace vigie {

#ifdef _WIN32

std::string commonControlsVersion() {
    // From System32, as the windows load it: the activation context of the manifest decides
    // which version that is.
    const auto getVersion = systemFunction<DLLGETVERSIONPROC>(L"comctl32.dll", "DllGetVersion");
    if (!getVersion)
        return "absente";
    DLLVERSIONINFO info{};
    info.cbSize = sizeof info;
    if (FAILED(getVersion(&info)))
        return "inconnue";
    return std::to_string(info.dwMajorVersion) + "." + std::to_string(info.dwMinorVersion) + "." +
           std::to_string(info.dwBuildNumber);
}

std::string systemDescription() {
    // GetVersionEx answers what the manifest allows; the system's own call tells the truth.
    using GetVersion = LONG(WINAPI*)(OSVERSIONINFOW*);
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof info;
    HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    auto rtlGetVersion = reinterpret_cast<GetVersion>(
        reinterpret_cast<void*>(::GetProcAddress(ntdll, "RtlGetVersion")));
    if (!rtlGetVersion || rtlGetVersion(&info) != 0)
        return "Windows";
    std::string text = "Windows " + std::to_string(info.dwMajorVersion) + "." +
                       std::to_string(info.dwMinorVersion) + "." +
                       std::to_string(info.dwBuildNumber);
    using WineVersion = const char*(CDECL*)();
    if (auto wine = reinterpret_cast<WineVersion>(
            reinterpret_cast<void*>(::GetProcAddress(ntdll, "wine_get_version"))))
        text += " (Wine " + std::string(wine()) + ")";
    return text;
}

#else

std::string systemDescription() {
    std::string distribution = "Linux";
    std::ifstream release("/etc/os-release");
    for (std::string line; std::getline(release, line);) {
        if (line.rfind("PRETTY_NAME=", 0) == 0) {
            distribution = line.substr(12);
            if (distribution.size() >= 2 && distribution.front() == '"' &&
                distribution.back() == '"')
                distribution = distribution.substr(1, distribution.size() - 2);
        }
    }
    utsname name{};
    if (uname(&name) == 0)
        return distribution + ", " + name.sysname + " " + name.release;
    return distribution;
}

#endif

}  // namespace vigie
