#pragma once
// Where the working file of a download is written.

#include <string>

namespace vigie {

// The program's folder, when the user may write there. On Linux a program installed for the whole
// system lies in a folder its users cannot write, so the working file goes to the user's cache
// folder instead ($XDG_CACHE_HOME/vigie-k7, by default ~/.cache/vigie-k7), created on the way.
std::string workFolder(const std::string& appPath);

}  // namespace vigie
