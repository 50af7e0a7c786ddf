#pragma once
// Small helpers shared by the Windows serial tests.

#include <windows.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <ostream>
#include <string>

#include "core/runtime_error.h"
#include "serial/port_probe.h"
#include "serial/win32_serial_port.h"

namespace vigie {

inline void PrintTo(ProbeResult result, std::ostream* out) {
    static constexpr const char* kNames[] = {"Opened", "NotFound", "AccessDenied", "OtherError"};
    *out << kNames[static_cast<int>(result)];
}

}  // namespace vigie

namespace vigie::test {

// The run-time error number an action raises; 0 when it raises none.
inline std::int32_t errorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const RuntimeError& e) {
        return e.Number;
    }
    return 0;
}

// Polls until done() holds; false when it still does not after the given time (a guard against
// hanging, not a measure of speed).
inline bool pollUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        ::Sleep(1);
    }
    return true;
}

// The value of a variable the Linux-side driver sets; "" when unset.
inline std::string driverSetting(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

inline void openPort(Win32SerialPort& port, int number,
                     const std::string& settings = "38400,N,8,1") {
    port.setCommPort(static_cast<std::int16_t>(number));
    port.setSettings(settings);
    port.setInputLen(0);
    port.setPortOpen(true);
}

}  // namespace vigie::test
