// The port probe on Windows: open \\.\ComN without sharing and read the system's answer; the
// system's list of ports and their names.

#include "serial/win_port_probe.h"

// clang-format off
#include <windows.h>
#include <initguid.h>
#include <devguid.h>
#include <setupapi.h>
// clang-format on

#include <algorithm>
#include <set>
#include <string>

#include "core/wide_text.h"
#include "serial/linux_port_probe.h"
#include "serial/parallel_probe.h"
#include "serial/port_names.h"

namespace vigie {
namespace {

// A text of the system's, for the window and the log: without control characters.
std::string shownText(const std::wstring& text) {
    std::wstring kept;
    for (wchar_t c : text)
        if (c >= 0x20 && c != 0x7F)
            kept += c;
    return narrow(kept);
}

// The ports' names as Device Manager shows them ("USB-SERIAL CH340 (COM14)"), by port number.
// Any user may read them; a device without a friendly name gives its description instead.
std::map<int, std::string> deviceManagerNames() {
    std::map<int, std::string> names;
    HDEVINFO devices =
        ::SetupDiGetClassDevsW(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
    if (devices == INVALID_HANDLE_VALUE)
        return names;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD i = 0; ::SetupDiEnumDeviceInfo(devices, i, &device); ++i) {
        HKEY key = ::SetupDiOpenDevRegKey(devices, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV,
                                          KEY_QUERY_VALUE);
        if (key == INVALID_HANDLE_VALUE)
            continue;
        wchar_t portName[64];
        DWORD type = 0;
        DWORD size = sizeof portName;
        const LSTATUS read = ::RegQueryValueExW(key, L"PortName", nullptr, &type,
                                                reinterpret_cast<BYTE*>(portName), &size);
        ::RegCloseKey(key);
        if (read != ERROR_SUCCESS || type != REG_SZ)
            continue;
        const int port = portNumberOfName(narrow(registryText(portName, size)));
        if (port == 0)
            continue;
        for (DWORD property : {SPDRP_FRIENDLYNAME, SPDRP_DEVICEDESC}) {
            wchar_t text[256];
            DWORD textType = 0;
            if (::SetupDiGetDeviceRegistryPropertyW(devices, &device, property, &textType,
                                                    reinterpret_cast<BYTE*>(text), sizeof text,
                                                    &size) &&
                textType == REG_SZ) {
                names[port] = shownText(registryText(text, size));
                if (!names[port].empty())
                    break;
            }
        }
    }
    ::SetupDiDestroyDeviceInfoList(devices);
    return names;
}

}  // namespace

ProbeResult probeResultForError(std::uint32_t win32Error) {
    switch (win32Error) {
        case ERROR_ACCESS_DENIED:
            return ProbeResult::AccessDenied;
        case ERROR_FILE_NOT_FOUND:
            return ProbeResult::NotFound;
        default:
            return ProbeResult::OtherError;
    }
}

std::wstring registryText(const wchar_t* data, std::uint32_t byteCount) {
    std::wstring text(data, byteCount / sizeof(wchar_t));
    const auto end = text.find(L'\0');
    if (end != std::wstring::npos)
        text.resize(end);
    return text;
}

ProbeResult SystemPortProbe::probe(int portNumber) {
    // The "\\.\" prefix reaches every port, COM10 and above included.
    const std::wstring path = L"\\\\.\\Com" + std::to_wstring(portNumber);
    HANDLE handle = ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
        ::CloseHandle(handle);
        return ProbeResult::Opened;
    }
    return probeResultForError(::GetLastError());
}

std::map<int, ProbeResult> SystemPortProbe::probeAll(const std::vector<int>& ports,
                                                     std::chrono::milliseconds limit) {
    return probeSideBySide([](int n) { return SystemPortProbe().probe(n); }, ports, limit);
}

std::vector<int> SystemPortProbe::listedPorts() {
    // The serial ports present now, as their drivers registered them: every user may read this
    // key; it is missing on a machine that has none.
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_QUERY_VALUE,
                        &key) != ERROR_SUCCESS)
        return {};
    std::set<int> ports;
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        DWORD nameLength = static_cast<DWORD>(std::size(name));
        wchar_t data[64];
        DWORD size = sizeof data;
        DWORD type = 0;
        const LSTATUS status = ::RegEnumValueW(key, i, name, &nameLength, nullptr, &type,
                                               reinterpret_cast<BYTE*>(data), &size);
        if (status == ERROR_NO_MORE_ITEMS)
            break;
        // A value too long for a port's name is none; the next one may be.
        if (status != ERROR_SUCCESS || type != REG_SZ)
            continue;
        if (const int port = portNumberOfName(narrow(registryText(data, size))))
            ports.insert(port);
    }
    ::RegCloseKey(key);
    return {ports.begin(), ports.end()};
}

std::map<int, std::string> SystemPortProbe::describePorts(const std::vector<int>& ports) {
    const std::map<int, std::string> names = deviceManagerNames();
    std::map<int, std::string> descriptions;
    for (int n : ports) {
        const auto name = names.find(n);
        descriptions[n] =
            describePort(name == names.end() ? "" : name->second, "COM" + std::to_string(n));
    }
    return descriptions;
}

}  // namespace vigie
