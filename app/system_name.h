#pragma once
// The system the program runs on, for the log: "Debian GNU/Linux 12 (bookworm), Linux 6.1.0" or
// "Windows 10.0.19045".

#include <string>

namespace vigie {

std::string systemDescription();

#ifdef _WIN32
// The version of the common controls library the windows use, as DllGetVersion tells it:
// "6.10.19041" when the manifest's request for version 6 took, 5.8x when the system's look is
// not the program's. "absente" or "inconnue" when the library or its answer is missing.
std::string commonControlsVersion();
#endif

}  // namespace vigie
