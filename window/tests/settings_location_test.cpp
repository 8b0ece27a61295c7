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
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

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

 private:
  std::unique_ptr<ScratchDir> root_;
};

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

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("Ordwell"));
  SettingsLocationTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "settings_location_test.moc"
