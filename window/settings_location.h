#pragma once

#include <filesystem>
#include <span>
#include <string_view>
#include <system_error>

namespace ordwell::modStandard {
struct IniValue;
}  // namespace ordwell::modStandard

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

// Returns the user's home folder: $HOME when it is an absolute path, otherwise the home the
// password database gives the user; empty when neither is known.
std::filesystem::path HomeFolder();

// Returns the per-user folder for the settings (QStandardPaths' AppConfigLocation for an
// application called "Ordwell": $XDG_CONFIG_HOME/Ordwell when that is an absolute path, or
// <HomeFolder()>/.config/Ordwell); empty when no home folder is known.
std::filesystem::path UserConfigFolder();

// Returns the folder that holds the settings file for an executable in `exeFolder`: that folder
// itself for a portable copy whose settings file exists or whose folder is writable, otherwise
// `userConfigFolder` (empty when there is none).
std::filesystem::path SettingsFolderFor(const std::filesystem::path& exeFolder,
                                        const std::filesystem::path& userConfigFolder);

// Creates the folder that is to hold `settingsFile` when it is missing; returns why it could not
// be made, empty when it is there.
std::error_code MakeSettingsFolder(const std::filesystem::path& settingsFile);

// Prints one line on standard error saying the settings could not be saved to the file, and why.
void ReportSaveFailure(const std::filesystem::path& settingsFile, std::string_view whyNot);

// Saves the values into `section` of `settingsFile` in one locked write, creating its folder
// first; prints one line on standard error for each failure, and one when the file was written
// without the lock. An empty `settingsFile` stands for a user without a home folder.
void SaveSettings(std::u16string_view section, std::span<const modStandard::IniValue> values,
                  const std::filesystem::path& settingsFile);

}  // namespace ordwell::services
