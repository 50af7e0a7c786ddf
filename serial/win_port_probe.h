#pragma once
// What the Windows port probe concludes from the error CreateFileW left for \\.\ComN, and how it
// reads the system's registry values of ports.

#include <cstdint>
#include <string>
#include <string_view>

#include "serial/port_probe.h"

namespace vigie {

// 5 (access denied): held by another program; 2 (file not found): no such port; anything else:
// neither listed nor counted.
ProbeResult probeResultForError(std::uint32_t win32Error);

// A REG_SZ value as the registry hands it over: a byte count that may or may not hold the closing
// NUL (nothing obliges the writer to put one), or an odd count from a broken writer.
std::wstring registryText(const wchar_t* data, std::uint32_t byteCount);

}  // namespace vigie
