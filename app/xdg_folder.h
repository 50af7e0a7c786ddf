#pragma once
// The base folders of a Linux desktop user, as the XDG base-directory rules give them.

#include <string>

namespace vigie {

// $variable when it holds an absolute path, else $HOME/homeSubfolder, else /tmp; no trailing
// separator. xdgFolder("XDG_CONFIG_HOME", ".config") is the user's configuration folder.
std::string xdgFolder(const char* variable, const char* homeSubfolder);

}  // namespace vigie
