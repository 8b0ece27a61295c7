#pragma once

#include <filesystem>
#include <string_view>

// Where the settings file lives. A portable copy keeps Prefs.ini beside its executable; an
// installed copy, or one whose folder cannot be written, keeps it in the user's configuration
// folder. Paths are kept as the file system's bytes throughout, so folders whose names are not
// UTF-8 work.
namespace ordwell::services {

// The file name of the settings file in whichever folder holds it.
inline constexpr std::string_view kSettingsFileName = "Prefs.ini";

// The name of the desktop entry an install puts into <prefix>/share/applications.
inline constexpr std::string_view kDesktopEntryName = "example.quorvane.Ordwell.desktop";

// Returns the folder of the running executable, as the file system names it.
std::filesystem::path ExecutableFolder();

// Returns whether the executable folder is <prefix>/bin of an installed copy, that is whether
// <prefix>/share/applications holds the program's desktop entry.
bool IsInstalledLayout(const std::filesystem::path& exeFolder);

// Returns the per-user folder for the settings (QStandardPaths' AppConfigLocation for an
// application called "Ordwell": $XDG_CONFIG_HOME/Ordwell, or ~/.config/Ordwell).
std::filesystem::path UserConfigFolder();

// Returns the folder that holds the settings file for an executable in `exeFolder`: that folder
// itself for a portable copy whose settings file exists or whose folder is writable, otherwise
// `userConfigFolder`.
std::filesystem::path SettingsFolderFor(const std::filesystem::path& exeFolder,
                                        const std::filesystem::path& userConfigFolder);

// Creates the folder that is to hold `settingsFile` when it is missing; a failure shows up as the
// failure of the write that follows.
void MakeSettingsFolder(const std::filesystem::path& settingsFile);

// Prints one line on standard error saying the settings could not be saved to the file, and why.
void ReportSaveFailure(const std::filesystem::path& settingsFile, std::string_view whyNot);

}  // namespace ordwell::services
