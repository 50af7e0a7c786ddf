// The port probe on Windows: open \\.\ComN without sharing and read the system's answer.

#include "serial/win_port_probe.h"

#include <windows.h>

#include <string>

#include "serial/linux_port_probe.h"

namespace vigie {

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

ProbeResult SystemPortProbe::probe(int portNumber) {
    // The "\\.\" prefix reaches every port, COM10 and above included.
    const std::string path = "\\\\.\\Com" + std::to_string(portNumber);
    HANDLE handle = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
        ::CloseHandle(handle);
        return ProbeResult::Opened;
    }
    return probeResultForError(::GetLastError());
}

}  // namespace vigie
