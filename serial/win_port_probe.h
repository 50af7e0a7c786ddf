#pragma once
// What the Windows port probe concludes from the error CreateFileA left for \\.\ComN.

#include <cstdint>

#include "serial/port_probe.h"

namespace vigie {

// 5 (access denied): held by another program; 2 (file not found): no such port; anything else:
// neither listed nor counted.
ProbeResult probeResultForError(std::uint32_t win32Error);

}  // namespace vigie
