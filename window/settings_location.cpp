#include "window/settings_location.h"

#include <QCoreApplication>
#include <QFile>
#include <QStandardPaths>
#include <QString>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <system_error>

#include <fcntl.h>
#include <unistd.h>

namespace ordwell::services {

namespace {

namespace fs = std::filesystem;

fs::path FromQtPath(const QString& path) { return fs::path(QFile::encodeName(path).toStdString()); }

// The value of an environment variable as bytes, or empty when it is unset.
std::string Environment(const char* name) {
  const char* const value = std::getenv(name);
  return value != nullptr ? std::string(value) : std::string();
}

}  // namespace

fs::path ExecutableFolder() {
  // The link holds the executable's path as raw bytes; Qt's own path would come back through
  // UTF-16 and lose every byte that is not UTF-8.
  std::error_code ec;
  const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  if (!ec && exe.is_absolute()) return exe.parent_path();
  return FromQtPath(QCoreApplication::applicationDirPath());
}

bool IsInstalledLayout(const fs::path& exeFolder) {
  if (exeFolder.filename() != "bin") return false;
  std::error_code ec;
  return fs::is_regular_file(exeFolder.parent_path() / "share" / "applications" / kDesktopEntryName, ec);
}

fs::path UserConfigFolder() {
  // The same rule QStandardPaths follows on this platform, taken from the environment's bytes.
  const std::string configHome = Environment("XDG_CONFIG_HOME");
  if (!configHome.empty() && configHome.front() == '/') return fs::path(configHome) / "Ordwell";
  const std::string home = Environment("HOME");
  if (!home.empty() && home.front() == '/') return fs::path(home) / ".config" / "Ordwell";
  return FromQtPath(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)) / "Ordwell";
}

fs::path SettingsFolderFor(const fs::path& exeFolder, const fs::path& userConfigFolder) {
  if (IsInstalledLayout(exeFolder)) return userConfigFolder;
  std::error_code ec;
  if (fs::exists(exeFolder / kSettingsFileName, ec)) return exeFolder;
  // Asks whether this process may write there, without writing anything.
  if (::faccessat(AT_FDCWD, exeFolder.c_str(), W_OK, AT_EACCESS) == 0) return exeFolder;
  return userConfigFolder;
}

void MakeSettingsFolder(const fs::path& settingsFile) {
  std::error_code ec;
  fs::create_directories(settingsFile.parent_path(), ec);
}

void ReportSaveFailure(const fs::path& settingsFile, std::string_view whyNot) {
  // The path goes out as the file system's bytes, exactly as the user would type it.
  const std::string line =
      "ordwell: could not save the settings to " + settingsFile.native() + ": " + std::string(whyNot) + "\n";
  std::fputs(line.c_str(), stderr);
  std::fflush(stderr);
}

}  // namespace ordwell::services
