#include <QApplication>
#include <QCoreApplication>
#include <QStandardPaths>
#include <QTest>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <system_error>

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "prefs/mod_standard.h"
#include "window/frm_main.h"
#include "window/settings_location.h"
#include "window/tests/window_test_support.h"

namespace fs = std::filesystem;
using ordwell::FrmMain;
using ordwell::services::AppFacts;
using ordwell::services::SettingsFolderFor;

namespace {

// A fresh folder removed with its content at scope exit; unlike QTemporaryDir it also removes
// names that are not UTF-8.
class ScratchDir {
 public:
  ScratchDir() {
    std::string pattern = (fs::temp_directory_path() / "ordwell-settings-XXXXXX").string();
    if (::mkdtemp(pattern.data()) != nullptr) path_ = pattern;
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  ~ScratchDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

fs::path PathOf(const ScratchDir& dir) { return dir.path(); }

void WriteFile(const fs::path& file, const std::string& bytes) {
  std::ofstream(file, std::ios::binary) << bytes;
}

std::string ReadFile(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Makes <root>/bin and, for an installed copy, <root>/share/applications with the desktop entry.
fs::path MakeBinFolder(const fs::path& root, bool installed) {
  fs::create_directories(root / "bin");
  if (installed) {
    fs::create_directories(root / "share" / "applications");
    WriteFile(root / "share" / "applications" / ordwell::services::kDesktopEntryName, "[Desktop Entry]\n");
  }
  return root / "bin";
}

// Runs `body` with standard error sent to a file and returns what it printed.
template <typename Body>
std::string CaptureStderr(const fs::path& file, Body body) {
  std::fflush(stderr);
  const int saved = ::dup(STDERR_FILENO);
  const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  ::dup2(fd, STDERR_FILENO);
  ::close(fd);
  body();
  std::fflush(stderr);
  ::dup2(saved, STDERR_FILENO);
  ::close(saved);
  return ReadFile(file);
}

}  // namespace

class SettingsLocationTest : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void settingsFolderFollowsTheLayout_data();
  void settingsFolderFollowsTheLayout();
  void readOnlyFolderWithoutSettingsUsesTheConfigFolder();
  void userConfigFolderIsQtsAppConfigLocationWithItsBytes();
  void installedCopyCreatesTheConfigFolderOnSave();
  void settingsRoundTripInAFolderNamedWithALatin1Byte();
  void failedSavePrintsOneLineNamingTheFileAndTheReason();
  void homeIsUsedOnlyWhenAbsolute_data();
  void homeIsUsedOnlyWhenAbsolute();
  void folderThatCannotBeMadeReportsWhy();
  void separatorWithANulKeepsItsStoredValueAndSaysSo();
  void noHomeFolderSavesNothingAndSaysSo();
  void cleanup();

 private:
  std::unique_ptr<ScratchDir> root_;
  QByteArray home_ = qgetenv("HOME");
  bool hadHome_ = qEnvironmentVariableIsSet("HOME");
};

void SettingsLocationTest::cleanup() {
  if (hadHome_) {
    qputenv("HOME", home_);
  } else {
    qunsetenv("HOME");
  }
}

void SettingsLocationTest::init() {
  root_ = std::make_unique<ScratchDir>();
  QVERIFY(!root_->path().empty());
  qputenv("XDG_CONFIG_HOME", (root_->path() / "config").c_str());
}

void SettingsLocationTest::settingsFolderFollowsTheLayout_data() {
  QTest::addColumn<bool>("installed");
  QTest::addColumn<bool>("settingsBeside");
  QTest::addColumn<bool>("expectBeside");
  QTest::newRow("portable, first run") << false << false << true;
  QTest::newRow("portable with its settings file") << false << true << true;
  QTest::newRow("installed, first run") << true << false << false;
  QTest::newRow("installed ignores a settings file in bin") << true << true << false;
}

void SettingsLocationTest::settingsFolderFollowsTheLayout() {
  QFETCH(bool, installed);
  QFETCH(bool, settingsBeside);
  QFETCH(bool, expectBeside);
  const fs::path bin = MakeBinFolder(PathOf(*root_) / "prefix", installed);
  if (settingsBeside) WriteFile(bin / "Prefs.ini", "[Prefs]\n");
  const fs::path config = PathOf(*root_) / "config" / "Ordwell";
  QCOMPARE(SettingsFolderFor(bin, config), expectBeside ? bin : config);
}

void SettingsLocationTest::readOnlyFolderWithoutSettingsUsesTheConfigFolder() {
  const fs::path app = PathOf(*root_) / "app";
  fs::create_directories(app);
  fs::permissions(app, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                           fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
  const fs::path config = PathOf(*root_) / "config" / "Ordwell";
  if (::geteuid() != 0) {
    QCOMPARE(SettingsFolderFor(app, config), config);
  } else {
    // Root may write into any folder, so the question is asked by a child that has given up root.
    fs::permissions(PathOf(*root_), fs::perms::others_exec, fs::perm_options::add);
    const pid_t child = ::fork();
    if (child == 0) {
      const bool dropped = ::setgid(65534) == 0 && ::setuid(65534) == 0;
      ::_exit(!dropped ? 2 : SettingsFolderFor(app, config) == config ? 0 : 1);
    }
    int status = 0;
    QCOMPARE(::waitpid(child, &status, 0), child);
    QVERIFY(WIFEXITED(status));
    QCOMPARE(WEXITSTATUS(status), 0);
  }
  // A settings file that is already there is still used where it is.
  fs::permissions(app, fs::perms::owner_write, fs::perm_options::add);
  WriteFile(app / "Prefs.ini", "[Prefs]\n");
  fs::permissions(app, fs::perms::owner_write, fs::perm_options::remove);
  QCOMPARE(SettingsFolderFor(app, config), app);
  fs::permissions(app, fs::perms::owner_write, fs::perm_options::add);  // so it can be removed
}

void SettingsLocationTest::userConfigFolderIsQtsAppConfigLocationWithItsBytes() {
  QCOMPARE(QString::fromStdString(ordwell::services::UserConfigFolder().string()),
           QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation));
  const QByteArray latin1 = QByteArray(root_->path().c_str()) + "/caf\xE9";
  qputenv("XDG_CONFIG_HOME", latin1);
  QCOMPARE(ordwell::services::UserConfigFolder().native(), latin1.toStdString() + "/Ordwell");
}

void SettingsLocationTest::installedCopyCreatesTheConfigFolderOnSave() {
  const fs::path bin = MakeBinFolder(PathOf(*root_) / "prefix", true);
  const fs::path folder = SettingsFolderFor(bin, ordwell::services::UserConfigFolder());
  {
    FrmMain form(AppFacts::WithPath(folder));
    QVERIFY(form.close());
  }
  QCOMPARE(ReadFile(PathOf(*root_) / "config" / "Ordwell" / "Prefs.ini"),
           std::string("[Prefs]\nDelimiterIn=,lsSpc\nDelimiterOut=,lsSpc\nOptionsOpen=False\n"));
  QVERIFY(!fs::exists(bin / "Prefs.ini"));
}

void SettingsLocationTest::settingsRoundTripInAFolderNamedWithALatin1Byte() {
  const fs::path app = PathOf(*root_) / "caf\xE9";
  fs::create_directories(app);
  const fs::path folder = SettingsFolderFor(app, ordwell::services::UserConfigFolder());
  QCOMPARE(folder, app);
  {
    FrmMain form(AppFacts::WithPath(folder));
    ordwell::testing::SetTextOf(ordwell::testing::Control(form, "txtDelimiterOut"), " ; ");
    QVERIFY(form.close());
  }
  QCOMPARE(ReadFile(app / "Prefs.ini"),
           std::string("[Prefs]\nDelimiterIn=,lsSpc\nDelimiterOut=lsSpc;lsSpc\nOptionsOpen=False\n"));
  FrmMain again(AppFacts::WithPath(folder));
  QCOMPARE(ordwell::testing::TextOf(ordwell::testing::Control(again, "txtDelimiterOut")), QString(" ; "));
}

void SettingsLocationTest::failedSavePrintsOneLineNamingTheFileAndTheReason() {
  // A settings folder that is a file fails for root too.
  const fs::path notAFolder = PathOf(*root_) / "caf\xE9";
  WriteFile(notAFolder, "x");
  std::string printed;
  {
    FrmMain form(AppFacts::WithPath(notAFolder));
    printed = CaptureStderr(PathOf(*root_) / "stderr.txt", [&] { form.close(); });
  }
  QCOMPARE(printed, "ordwell: could not save the settings to " + (notAFolder / "Prefs.ini").native() + ": " +
                        std::generic_category().message(ENOTDIR) + "\n");
  QCOMPARE(ReadFile(notAFolder), std::string("x"));
}

void SettingsLocationTest::homeIsUsedOnlyWhenAbsolute_data() {
  QTest::addColumn<bool>("set");
  QTest::addColumn<QByteArray>("home");
  QTest::addColumn<bool>("fromEnvironment");
  QTest::newRow("absolute") << true << QByteArray("/srv/caf\xE9") << true;
  QTest::newRow("relative") << true << QByteArray("rel/home") << false;
  QTest::newRow("dot") << true << QByteArray(".") << false;
  QTest::newRow("empty") << true << QByteArray() << false;
  QTest::newRow("unset") << false << QByteArray() << false;
}

void SettingsLocationTest::homeIsUsedOnlyWhenAbsolute() {
  QFETCH(bool, set);
  QFETCH(QByteArray, home);
  QFETCH(bool, fromEnvironment);
  qunsetenv("XDG_CONFIG_HOME");
  if (set) {
    qputenv("HOME", home);
  } else {
    qunsetenv("HOME");
  }
  const struct passwd* const entry = ::getpwuid(::getuid());
  QVERIFY(entry != nullptr);
  const fs::path expected = fromEnvironment ? fs::path(home.toStdString()) : fs::path(entry->pw_dir);
  QCOMPARE(ordwell::services::HomeFolder(), expected);
  QCOMPARE(ordwell::services::UserConfigFolder(), expected / ".config" / "Ordwell");
}

void SettingsLocationTest::folderThatCannotBeMadeReportsWhy() {
  // A folder inside a read-only one; root may write anywhere, so the save runs in a child that
  // has given up root when the test runs as root.
  const fs::path readOnly = PathOf(*root_) / "ro";
  fs::create_directories(readOnly);
  fs::permissions(readOnly, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
  fs::permissions(PathOf(*root_), fs::perms::others_exec, fs::perm_options::add);
  const fs::path file = readOnly / "Ordwell" / "Prefs.ini";
  const fs::path printedTo = PathOf(*root_) / "stderr.txt";
  const pid_t child = ::fork();
  if (child == 0) {
    bool dropped = false;
    const ordwell::modStandard::IniValue value{u"OptionsOpen", u"True"};
    CaptureStderr(printedTo, [&] {
      dropped = ::geteuid() != 0 || (::setgid(65534) == 0 && ::setuid(65534) == 0);
      ordwell::services::SaveSettings(u"Prefs", {&value, 1}, file);
    });
    ::_exit(dropped ? 0 : 2);
  }
  int status = 0;
  QCOMPARE(::waitpid(child, &status, 0), child);
  QVERIFY(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  QCOMPARE(ReadFile(printedTo), "ordwell: could not save the settings to " + file.native() + ": " +
                                    std::generic_category().message(EACCES) + "\n");
  fs::permissions(readOnly, fs::perms::owner_write, fs::perm_options::add);  // so it can be removed
}

void SettingsLocationTest::separatorWithANulKeepsItsStoredValueAndSaysSo() {
  const fs::path app = PathOf(*root_) / "app";
  fs::create_directories(app);
  WriteFile(app / "Prefs.ini", "[Prefs]\nDelimiterIn=;\n");
  std::string printed;
  {
    FrmMain form(AppFacts::WithPath(app));
    ordwell::testing::SetTextOf(ordwell::testing::Control(form, "txtDelimiterIn"),
                                QString::fromUtf16(u"a\0b", 3));
    ordwell::testing::SetTextOf(ordwell::testing::Control(form, "txtDelimiterOut"), " - ");
    printed = CaptureStderr(PathOf(*root_) / "stderr.txt", [&] { form.close(); });
  }
  QCOMPARE(printed, "ordwell: could not save the settings to " + (app / "Prefs.ini").native() +
                        ": DelimiterIn: the value holds a NUL character; its stored value is kept\n");
  QCOMPARE(ReadFile(app / "Prefs.ini"),
           std::string("[Prefs]\nDelimiterIn=;\nDelimiterOut=lsSpc-lsSpc\nOptionsOpen=False\n"));
}

void SettingsLocationTest::noHomeFolderSavesNothingAndSaysSo() {
  const fs::path cwd = fs::current_path();
  fs::current_path(PathOf(*root_));
  std::string printed;
  {
    FrmMain form(AppFacts::WithPath({}));
    printed = CaptureStderr(PathOf(*root_) / "stderr.txt", [&] { form.close(); });
  }
  fs::current_path(cwd);
  QCOMPARE(printed,
           std::string("ordwell: could not save the settings: no home folder is known for this user\n"));
  QVERIFY(!fs::exists(PathOf(*root_) / "Prefs.ini"));
}

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("Ordwell"));
  SettingsLocationTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "settings_location_test.moc"
