// Saving several settings at once: one locked replacement per save, refusals with their real
// reasons, and bytes the save does not change kept as they were.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <filesystem>
#include <functional>
#include <string>
#include <system_error>
#include <vector>

#include <gtest/gtest.h>

#include "prefs/mod_standard.h"
#include "prefs/settings_error.h"
#include "prefs/tests/temp_dir.h"

namespace ordwell::modStandard {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using prefs::SettingsErrc;
using prefs::testing::ReadBytes;
using prefs::testing::TempDir;
using prefs::testing::WriteBytes;

// The three settings the window saves when it closes.
struct Settings {
  std::u16string in;
  std::u16string out;
  std::u16string open;

  WriteOutcome Save(const fs::path& file, std::chrono::milliseconds wait = kLockWait) const {
    const std::array<IniValue, 3> values = {IniValue{u"DelimiterIn", in}, IniValue{u"DelimiterOut", out},
                                            IniValue{u"OptionsOpen", open}};
    return WriteIniValues(u"Prefs", values, file, wait);
  }
  static Settings Load(const fs::path& file) {
    return {ReadIniValue(u"Prefs", u"DelimiterIn", u", ", file),
            ReadIniValue(u"Prefs", u"DelimiterOut", u", ", file),
            ReadIniValue(u"Prefs", u"OptionsOpen", u"False", file)};
  }
  bool operator==(const Settings&) const = default;
};

// Every name in a folder, with the bytes of the regular files.
std::vector<std::pair<fs::path, std::string>> Snapshot(const fs::path& dir) {
  std::vector<std::pair<fs::path, std::string>> names;
  for (const auto& entry : fs::recursive_directory_iterator(dir)) {
    names.emplace_back(entry.path(),
                       fs::is_regular_file(entry.symlink_status()) ? ReadBytes(entry.path()) : "");
  }
  return names;
}

const Settings kMine{u" | ", u"\r\n", u"True"};

TEST(SettingsSave, FailuresNameTheirRealCause) {
  struct Case {
    const char* name;
    std::function<fs::path(const fs::path& dir)> setUp;
    std::error_code expected;
  };
  const std::string utf16 = "\xFF\xFE[\0P\0]\0"s;
  const std::vector<Case> cases = {
      {"read-only file",
       [](const fs::path& dir) {
         WriteBytes(dir / "Prefs.ini", "[Prefs]\n");
         fs::permissions(dir / "Prefs.ini",
                         fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
         return dir / "Prefs.ini";
       },
       std::make_error_code(std::errc::permission_denied)},
      {"oversized file",
       [](const fs::path& dir) {
         WriteBytes(dir / "Prefs.ini", "[Prefs]\n");
         fs::resize_file(dir / "Prefs.ini", 16 * 1024 * 1024 + 1);
         return dir / "Prefs.ini";
       },
       SettingsErrc::TooLarge},
      {"UTF-16 file",
       [&utf16](const fs::path& dir) {
         WriteBytes(dir / "Prefs.ini", utf16);
         return dir / "Prefs.ini";
       },
       SettingsErrc::NotText},
      {"folder", [](const fs::path& dir) { return dir; }, std::make_error_code(std::errc::is_a_directory)},
      {"FIFO",
       [](const fs::path& dir) {
         ::mkfifo((dir / "Prefs.ini").c_str(), 0600);
         return dir / "Prefs.ini";
       },
       SettingsErrc::NotRegularFile},
      {"missing folder", [](const fs::path& dir) { return dir / "missing" / "Prefs.ini"; },
       std::make_error_code(std::errc::no_such_file_or_directory)},
      {"parent is a file",
       [](const fs::path& dir) {
         WriteBytes(dir / "file", "x");
         return dir / "file" / "Prefs.ini";
       },
       std::make_error_code(std::errc::not_a_directory)},
      {"links in a loop",
       [](const fs::path& dir) {
         fs::create_symlink("b.ini", dir / "Prefs.ini");
         fs::create_symlink("Prefs.ini", dir / "b.ini");
         return dir / "Prefs.ini";
       },
       std::make_error_code(std::errc::too_many_symbolic_link_levels)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const TempDir dir;
    const fs::path file = c.setUp(dir.path());
    const auto before = Snapshot(dir.path());
    const WriteOutcome outcome = kMine.Save(file);
    ASSERT_EQ(outcome.Failures.size(), 1u);
    EXPECT_EQ(outcome.Failures[0].Key, "");
    EXPECT_EQ(outcome.Failures[0].Why, c.expected) << outcome.Failures[0].Why.message();
    EXPECT_EQ(Describe(outcome.Failures[0]), c.expected.message());
    EXPECT_EQ(Snapshot(dir.path()), before);  // nothing changed, nothing left behind
  }
}

TEST(SettingsSave, RefusedValueKeepsItsStoredValueAndTheOthersAreSaved) {
  struct Case {
    std::u16string in;
    std::error_code expected;
  };
  const std::vector<Case> cases = {
      {u"a\0b"s, SettingsErrc::HoldsNul},
      {u"\0"s, SettingsErrc::HoldsNul},
      {u"a\rb", SettingsErrc::NotStorable},
      {u"\n", SettingsErrc::NotStorable},
  };
  for (const Case& c : cases) {
    const TempDir dir;
    const fs::path file = dir / "Prefs.ini";
    WriteBytes(file, "[Prefs]\nDelimiterIn=;\n");
    const WriteOutcome outcome = Settings{c.in, u"-", u"True"}.Save(file);
    ASSERT_EQ(outcome.Failures.size(), 1u);
    EXPECT_EQ(outcome.Failures[0].Key, "DelimiterIn");
    EXPECT_EQ(outcome.Failures[0].Why, c.expected);
    EXPECT_EQ(Describe(outcome.Failures[0]),
              "DelimiterIn: " + c.expected.message() + "; its stored value is kept");
    EXPECT_EQ(ReadBytes(file), "[Prefs]\nDelimiterIn=;\nDelimiterOut=-\nOptionsOpen=True\n");
  }
}

TEST(SettingsSave, ValuesThatReadBackTheSameKeepTheirBytes) {
  struct Case {
    const char* name;
    std::string file;
    std::string expected;  // after loading the three settings and saving them with the panel open
  };
  const std::vector<Case> cases = {
      {"invalid UTF-8 in untouched keys",
       "; \xFF\r\n[Prefs]\r\nDelimiterIn=\xC3(\r\nDelimiterOut=\xFF lsSpc\r\n",
       "; \xFF\r\n[Prefs]\r\nDelimiterIn=\xC3(\r\nDelimiterOut=\xFF lsSpc\r\nOptionsOpen=True\r\n"},
      {"blanks stored in other spellings",
       "[Prefs]\nDelimiterIn= \nDelimiterOut=a lsSpc\nOptionsOpen=False\n",
       "[Prefs]\nDelimiterIn= \nDelimiterOut=a lsSpc\nOptionsOpen=True\n"},
      {"a NUL an older writer stored reads as the default and goes",
       "[Prefs]\nDelimiterIn=a\0b\nDelimiterOut=x\n"s,
       "[Prefs]\nDelimiterIn=,lsSpc\nDelimiterOut=x\nOptionsOpen=True\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const TempDir dir;
    const fs::path file = dir / "Prefs.ini";
    WriteBytes(file, c.file);
    Settings loaded = Settings::Load(file);
    loaded.open = u"True";
    EXPECT_TRUE(loaded.Save(file).Saved());
    EXPECT_EQ(ReadBytes(file), c.expected);
  }
}

TEST(SettingsSave, DanglingLinksAreFollowedAndStayLinks) {
  struct Case {
    const char* name;
    std::vector<std::pair<std::string, std::string>> links;  // link name, where it points
    std::string target;
  };
  const std::vector<Case> cases = {
      {"relative", {{"Prefs.ini", "real.ini"}}, "real.ini"},
      {"into a subfolder", {{"Prefs.ini", "sub/real.ini"}}, "sub/real.ini"},
      {"absolute", {{"Prefs.ini", "<dir>/real.ini"}}, "real.ini"},
      {"a chain", {{"Prefs.ini", "sub/middle"}, {"sub/middle", "../real.ini"}}, "real.ini"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const TempDir dir;
    fs::create_directory(dir / "sub");
    for (const auto& [link, to] : c.links) {
      const std::string resolved = to.starts_with("<dir>") ? dir.path().string() + to.substr(5) : to;
      fs::create_symlink(resolved, dir / link);
    }
    ASSERT_TRUE(kMine.Save(dir / "Prefs.ini").Saved());
    for (const auto& link : c.links) EXPECT_TRUE(fs::is_symlink(dir / link.first)) << link.first;
    EXPECT_EQ(ReadBytes(dir / c.target),
              "[Prefs]\nDelimiterIn=lsSpc|lsSpc\nDelimiterOut=lsCrLf\nOptionsOpen=True\n");
    EXPECT_EQ(Settings::Load(dir / "Prefs.ini"), kMine);
  }
}

TEST(SettingsSave, WaitsABoundedTimeForTheLockThenSavesAndSaysSo) {
  const TempDir dir;
  const fs::path file = dir / "Prefs.ini";
  EXPECT_EQ(kMine.Save(file).LockError, std::error_code());
  const int held = ::open((dir / ".Prefs.ini.lock").c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_EQ(::flock(held, LOCK_EX), 0);
  const Settings other{u";", u";", u"False"};
  const WriteOutcome outcome = other.Save(file, std::chrono::milliseconds(50));
  ::close(held);
  EXPECT_TRUE(outcome.Saved());
  EXPECT_EQ(outcome.LockError, SettingsErrc::LockBusy);
  EXPECT_EQ(Settings::Load(file), other);
  // A save that changes nothing takes no lock at all.
  EXPECT_EQ(other.Save(file, std::chrono::milliseconds(0)).LockError, std::error_code());
}

// Two processes close at the same moment, each saving its own three settings, on a fresh file in
// even rounds and on an existing one in odd rounds: the file ends up with one of them whole.
TEST(SettingsSave, ConcurrentSavesLeaveOneProcessesSettingsWhole) {
  const TempDir dir;
  const fs::path file = dir / "Prefs.ini";
  const std::array<Settings, 2> writers = {Settings{u"A in", u"A out", u"True"},
                                           Settings{u"B-in", u"B-out", u"False"}};
  int mixed = 0;
  int malformed = 0;
  std::array<int, 2> wins = {0, 0};
  for (int round = 0; round < 100; ++round) {
    if (round % 2 == 0) {
      fs::remove(file);
    } else {
      WriteBytes(file, "; kept\n[Prefs]\nOptionsOpen=x\n[Other]\nKey=1\n");
    }
    int start[2];
    ASSERT_EQ(::pipe(start), 0);
    std::array<pid_t, 2> children{};
    for (std::size_t i = 0; i < 2; ++i) {
      children[i] = ::fork();
      ASSERT_GE(children[i], 0);
      if (children[i] == 0) {
        ::close(start[1]);
        char go = 0;
        (void)!::read(start[0], &go, 1);  // both start when the parent closes its end
        if (i == 1) ::usleep(static_cast<useconds_t>(round % 25) * 400);  // varies who goes first
        ::_exit(writers[i].Save(file).Saved() ? 0 : 1);
      }
    }
    ::close(start[0]);
    ::close(start[1]);
    for (const pid_t child : children) {
      int status = 0;
      ASSERT_EQ(::waitpid(child, &status, 0), child);
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "round " << round;
    }
    const Settings result = Settings::Load(file);
    if (result == writers[0] || result == writers[1]) {
      ++wins[result == writers[0] ? 0 : 1];
    } else {
      ++mixed;
    }
    const std::string bytes = ReadBytes(file);
    const bool keptOthers = round % 2 == 0 || bytes.starts_with("; kept\n[Prefs]\n");
    if (!keptOthers || bytes.find("DelimiterOut=") != bytes.rfind("DelimiterOut=")) ++malformed;
  }
  EXPECT_EQ(mixed, 0);
  EXPECT_EQ(malformed, 0);
  EXPECT_EQ(wins[0] + wins[1], 100);
}

}  // namespace
}  // namespace ordwell::modStandard
