#pragma once
// The system the program runs on, for the log: "Debian GNU/Linux 12 (bookworm), Linux 6.1.0" or
// "Windows 10.0.19045".

#include <string>

namespace vigie {

std::string systemDescription();

}  // namespace vigie
