#pragma once
// Where the working file of a download is written.

#include <string>

namespace vigie {

// The program's folder, when the user may create files there. Otherwise (a program installed for
// the whole system, under Program Files, or run from a read-only share) the user's own folder for
// it, created on the way: on Linux the cache folder ($XDG_CACHE_HOME/vigie-k7, by default
// ~/.cache/vigie-k7), on Windows %LOCALAPPDATA%\VIGIE K7.
std::string workFolder(const std::string& appPath);
// Whether a file can be created in the folder (on Windows, by trying: the rights that decide are
// many, and a folder's read-only attribute says nothing).
bool canCreateFilesIn(const std::string& folder);

}  // namespace vigie
