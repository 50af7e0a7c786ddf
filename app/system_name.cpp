#include "app/system_name.h"

#ifdef _WIN32
#include <windows.h>

#include <shlwapi.h>
#else
#include <sys/utsname.h>

#include <fstream>
#endif

namespace vigie {

#ifdef _WIN32

std::string commonControlsVersion() {
    // The library the windows use, as the program's start loaded it (from System32, in the
    // version the manifest's activation context chose). Never loaded here: a process without
    // windows (a test) would start the whole window system for one log line.
    HMODULE module = ::GetModuleHandleW(L"comctl32.dll");
    if (!module)
        return "non chargée";
    const auto getVersion = reinterpret_cast<DLLGETVERSIONPROC>(
        reinterpret_cast<void*>(::GetProcAddress(module, "DllGetVersion")));
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
