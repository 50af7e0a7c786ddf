#pragma once
// The folder of the settings file "HD.ini", chosen at start-up. On Windows the drive root's Temp
// folder comes first, as it always has; a program on a network path (\\serveur\partage\...) has
// no drive root, and a drive whose root refuses new folders, or whose Temp folder refuses the
// file, would otherwise end the program: the settings then live in the user's own folder,
// %LOCALAPPDATA%\VIGIE K7. The program reads the file from where it writes it.

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace vigie {

// What the choice asks of the machine.
struct SettingsFolderProbes {
    // Finds the folder, or makes it (with its parents); true when it is there afterwards.
    std::function<bool(const std::string& folder)> folderReady;
    // Whether that HD.ini can be written at shut-down: made anew in its folder, or, when it is
    // there, deleted first (a read-only one included).
    std::function<bool(const std::string& iniFile)> iniWritable;
};

// The drive root's "Temp\" (windowsTempPath) when the program's folder starts with a drive root
// ("C:\") and that folder can be found or made and HD.ini written there; otherwise userFolder
// with a trailing backslash, under the same conditions; nothing when neither will do.
std::optional<std::string> chooseSettingsFolder(std::string_view appPath,
                                                const std::string& userFolder,
                                                const SettingsFolderProbes& probes);

// The settings folder this program uses, with a trailing separator, its folder made; "" when it
// can be neither found nor made. On Linux: $XDG_CONFIG_HOME/vigie-k7/ (settingsFolder).
std::string settingsFolderInUse(std::string_view appPath);

}  // namespace vigie
