#include "window/settings_location.h"

#include <QCoreApplication>
#include <QFile>
#include <QString>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <system_error>
#include <vector>

#include <fcntl.h>
#include <pwd.h>
#include <unistd.h>

#include "prefs/mod_standard.h"

namespace ordwell::services {

namespace {

namespace fs = std::filesystem;

fs::path FromQtPath(const QString& path) { return fs::path(QFile::encodeName(path).toStdString()); }

// Writes one line to standard error at once.
void PrintLine(const std::string& text) {
  const std::string line = text + "\n";
  std::fputs(line.c_str(), stderr);
  std::fflush(stderr);
}

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

fs::path HomeFolder() {
  // A relative HOME would put the settings under whatever folder the program was started in.
  const std::string home = Environment("HOME");
  if (!home.empty() && home.front() == '/') return fs::path(home);
  const long hint = ::sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(hint > 0 ? static_cast<std::size_t>(hint) : 16384);
  struct passwd entry {};
  struct passwd* found = nullptr;
  int error = 0;
  while ((error = ::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found)) == ERANGE &&
         buffer.size() < (std::size_t{1} << 20)) {
    buffer.resize(buffer.size() * 2);
  }
  if (error == 0 && found != nullptr && found->pw_dir != nullptr && found->pw_dir[0] == '/') {
    return fs::path(found->pw_dir);
  }
  return {};
}

fs::path UserConfigFolder() {
  // The same rule QStandardPaths follows on this platform, taken from the environment's bytes,
  // except that a home folder that is not an absolute path is not used.
  const std::string configHome = Environment("XDG_CONFIG_HOME");
  if (!configHome.empty() && configHome.front() == '/') return fs::path(configHome) / "Ordwell";
  const fs::path home = HomeFolder();
  if (home.empty()) return {};
  return home / ".config" / "Ordwell";
}

fs::path SettingsFolderFor(const fs::path& exeFolder, const fs::path& userConfigFolder) {
  if (IsInstalledLayout(exeFolder)) return userConfigFolder;
  std::error_code ec;
  if (fs::exists(exeFolder / kSettingsFileName, ec)) return exeFolder;
  // Asks whether this process may write there, without writing anything.
  if (::faccessat(AT_FDCWD, exeFolder.c_str(), W_OK, AT_EACCESS) == 0) return exeFolder;
  return userConfigFolder;
}

std::error_code MakeSettingsFolder(const fs::path& settingsFile) {
  std::error_code ec;
  if (settingsFile.has_parent_path()) fs::create_directories(settingsFile.parent_path(), ec);
  return ec;
}

void ReportSaveFailure(const fs::path& settingsFile, std::string_view whyNot) {
  // The path goes out as the file system's bytes, exactly as the user would type it.
  PrintLine("ordwell: could not save the settings to " + settingsFile.native() + ": " + std::string(whyNot));
}

void SaveSettings(std::u16string_view section, std::span<const modStandard::IniValue> values,
                  const fs::path& settingsFile) {
  if (settingsFile.empty()) {
    PrintLine("ordwell: could not save the settings: no home folder is known for this user");
    return;
  }
  if (const std::error_code error = MakeSettingsFolder(settingsFile)) {
    ReportSaveFailure(settingsFile, error.message());
    return;
  }
  const modStandard::WriteOutcome outcome = modStandard::WriteIniValues(section, values, settingsFile);
  bool written = true;
  for (const modStandard::WriteFailure& failure : outcome.Failures) {
    ReportSaveFailure(settingsFile, modStandard::Describe(failure));
    written = written && !failure.Key.empty();
  }
  if (written && outcome.LockError) {
    PrintLine("ordwell: saved the settings to " + settingsFile.native() +
              " without locking it: " + outcome.LockError.message());
  }
}

}  // namespace ordwell::services
