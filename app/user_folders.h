#pragma once
// The user's own folders for the program, created by whoever writes there.

#include <string>

namespace vigie {

// Where the working file goes when the program's folder cannot be written: on Linux
// $XDG_CACHE_HOME/vigie-k7 (by default ~/.cache/vigie-k7), on Windows %LOCALAPPDATA%\VIGIE K7.
std::string userCacheFolder();
// Where the program keeps its log: on Linux $XDG_STATE_HOME/vigie-k7 (by default
// ~/.local/state/vigie-k7), on Windows %LOCALAPPDATA%\VIGIE K7.
std::string userStateFolder();
// The log of the updates, updates.log in the user's state folder.
std::string updateLogPath();

}  // namespace vigie
