#include "prefs/mod_standard.h"

#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include <gtest/gtest.h>

#include "prefs/settings_error.h"
#include "prefs/tests/temp_dir.h"

namespace ordwell::modStandard {
namespace {

namespace fs = std::filesystem;
using prefs::testing::ReadBytes;
using prefs::testing::TempDir;
using prefs::testing::WriteBytes;

const fs::path kData = ORDWELL_PREFS_TEST_DATA;

std::u16string Read(const fs::path& file, std::u16string_view key,
                    std::u16string_view fallback = u"<default>") {
  return ReadIniValue(u"Prefs", key, fallback, file);
}

TEST(ModStandard, WritesDefaultsFileWithExactBytes) {
  const TempDir dir;
  const fs::path file = dir / "Prefs.ini";
  EXPECT_TRUE(WriteIniValue(u"Prefs", u"DelimiterIn", u", ", file));
  EXPECT_TRUE(WriteIniValue(u"Prefs", u"DelimiterOut", u", ", file));
  EXPECT_TRUE(WriteIniValue(u"Prefs", u"OptionsOpen", u"False", file));
  EXPECT_EQ(ReadBytes(file), "[Prefs]\nDelimiterIn=,lsSpc\nDelimiterOut=,lsSpc\nOptionsOpen=False\n");
}

TEST(ModStandard, RoundTripsRealAndAwkwardSeparators) {
  const TempDir dir;
  const fs::path file = dir / "Prefs.ini";
  const std::vector<std::u16string> values = {u", ",      u"\r\n",     u"True",
                                              u"False",   u"\t",       u"\" , \"",
                                              u"'",       u" a\r\nb ", u"\u00E9\u2192\u4E2D\U0001F600",
                                              u"x=y;[z]", u"\t;\t"};
  for (const std::u16string& value : values) {
    ASSERT_TRUE(WriteIniValue(u"Prefs", u"DelimiterIn", value, file));
    EXPECT_EQ(Read(file, u"DelimiterIn"), value);
  }
  // The whole stored value is read: 60 spaces are 300 stored characters.
  ASSERT_TRUE(WriteIniValue(u"Prefs", u"DelimiterIn", std::u16string(60, u' '), file));
  EXPECT_EQ(Read(file, u"DelimiterIn"), std::u16string(60, u' '));
  EXPECT_EQ(ReadBytes(file).size(), std::string("[Prefs]\nDelimiterIn=\n").size() + 300);
  // The escape is not reversible for text that spells it out, as designed.
  ASSERT_TRUE(WriteIniValue(u"Prefs", u"DelimiterIn", u"<lsSpc|lsCrLf>", file));
  EXPECT_EQ(Read(file, u"DelimiterIn"), u"< |\r\n>");
}

TEST(ModStandard, ReadsDefaultExactlyWhenNothingUsableIsStored) {
  const TempDir dir;
  const fs::path file = dir / "Prefs.ini";
  const std::u16string fallback = u",lsSpc kept as passed";
  EXPECT_EQ(Read(file, u"DelimiterIn", fallback), fallback);  // no file
  WriteBytes(file, "[Other]\nDelimiterIn=x\n[Prefs]\nEmpty=\nBlank= \nDelimiterOut=y\n");
  EXPECT_EQ(Read(file, u"DelimiterIn", fallback), fallback);  // key only in another section
  EXPECT_EQ(ReadIniValue(u"Missing", u"DelimiterOut", fallback, file), fallback);
  EXPECT_EQ(Read(file, u"Empty", fallback), fallback);
  EXPECT_EQ(Read(file, u"Blank", fallback), u" ");  // values are not trimmed
  EXPECT_EQ(ReadIniValue(u"", u"DelimiterOut", fallback, file), fallback);
  EXPECT_EQ(Read(dir.path(), u"DelimiterIn", fallback), fallback);          // a directory
  EXPECT_EQ(Read(file / "Prefs.ini", u"DelimiterIn", fallback), fallback);  // parent is a file
  ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
  EXPECT_EQ(Read(dir / "fifo", u"DelimiterIn", fallback), fallback);  // and does not hang
}

TEST(ModStandard, ReadsNamesLooselyValuesExactlyAndNeverChangesTheFile) {
  const TempDir dir;
  const fs::path file = dir / "Prefs.ini";
  const std::string bytes =
      "\xEF\xBB\xBF[ prefs ]\r\n delimiterIN\t=\t\"quoted\" \r\ndelimiterin=second\r\n"
      "Bad=\xFF"
      "ok\r\n[PREFS]\r\nOptionsOpen=True\r\n";
  WriteBytes(file, bytes);
  fs::permissions(file, fs::perms::owner_read);
  const auto before = fs::last_write_time(file);
  EXPECT_EQ(Read(file, u" DelimiterIn "), u"\t\"quoted\" ");
  EXPECT_EQ(Read(file, u"Bad"), u"\uFFFDok");           // ill-formed UTF-8 reads as U+FFFD
  EXPECT_EQ(Read(file, u"OptionsOpen"), u"<default>");  // only the first section counts
  EXPECT_EQ(ReadBytes(file), bytes);
  EXPECT_EQ(fs::last_write_time(file), before);
  EXPECT_EQ(fs::status(file).permissions(), fs::perms::owner_read);
}

TEST(ModStandard, RefusesWhatCannotSitOnOneLineAndLeavesTheFile) {
  const TempDir dir;
  const fs::path file = dir / "Prefs.ini";
  const std::string bytes = "[Prefs]\nDelimiterIn=,lsSpc\n";
  WriteBytes(file, bytes);
  EXPECT_FALSE(WriteIniValue(u"Prefs", u"DelimiterIn", u"a\rb", file));
  EXPECT_FALSE(WriteIniValue(u"Prefs", u"DelimiterIn", u"a\nb", file));
  EXPECT_FALSE(WriteIniValue(u"Prefs", u"DelimiterIn", u"\n\r", file));
  EXPECT_FALSE(WriteIniValue(u"Prefs", u"Delimiter\nIn", u"x", file));
  EXPECT_FALSE(WriteIniValue(u"Pre\r\nfs", u"DelimiterIn", u"x", file));
  EXPECT_FALSE(WriteIniValue(u"Prefs", u"Key=Value", u"x", file));
  EXPECT_FALSE(WriteIniValue(u"Prefs", u" [Key]", u"x", file));
  EXPECT_FALSE(WriteIniValue(u"Pre]fs", u"DelimiterIn", u"x", file));
  EXPECT_FALSE(WriteIniValue(u" \t", u"DelimiterIn", u"x", file));
  EXPECT_FALSE(WriteIniValue(u"Prefs", u"", u"x", file));
  EXPECT_EQ(ReadBytes(file), bytes);
}

TEST(ModStandard, FailedWriteReturnsFalseAndLeavesNoTrace) {
  const TempDir dir;
  const fs::path file = dir / "Prefs.ini";
  WriteBytes(file, "[Prefs]\nDelimiterIn=x\n");
  EXPECT_FALSE(WriteIniValue(u"Prefs", u"DelimiterIn", u"y", file / "Prefs.ini"));  // parent is a file
  EXPECT_FALSE(WriteIniValue(u"Prefs", u"DelimiterIn", u"y", dir / "missing" / "Prefs.ini"));
  fs::create_directory(dir / "folder");
  EXPECT_FALSE(WriteIniValue(u"Prefs", u"DelimiterIn", u"y", dir / "folder"));
  WriteBytes(dir / "utf16.ini", std::string("\xFF\xFE[\0P\0]\0", 8));
  EXPECT_FALSE(WriteIniValue(u"Prefs", u"DelimiterIn", u"y", dir / "utf16.ini"));
  EXPECT_EQ(ReadBytes(dir / "utf16.ini"), std::string("\xFF\xFE[\0P\0]\0", 8));
  if (::geteuid() != 0) {  // root writes into read-only folders anyway
    fs::permissions(dir.path(), fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_FALSE(WriteIniValue(u"Prefs", u"DelimiterIn", u"y", file));
    fs::permissions(dir.path(), fs::perms::owner_all);
  }
  EXPECT_EQ(ReadBytes(file), "[Prefs]\nDelimiterIn=x\n");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 3);
}

TEST(ModStandard, WriteKeepsPermissionsLinksBomAndLineEndings) {
  const TempDir dir;
  const fs::path file = dir / "real.ini";
  WriteBytes(file, "\xEF\xBB\xBF; mine\r\n[Prefs]\r\nDelimiterIn=x");
  fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  fs::create_symlink("real.ini", dir / "Prefs.ini");
  ASSERT_TRUE(WriteIniValue(u"Prefs", u"DelimiterIn", u"a b", dir / "Prefs.ini"));
  ASSERT_TRUE(WriteIniValue(u"Prefs", u"OptionsOpen", u"True", dir / "Prefs.ini"));
  EXPECT_EQ(ReadBytes(file), "\xEF\xBB\xBF; mine\r\n[Prefs]\r\nDelimiterIn=alsSpcb\r\nOptionsOpen=True\r\n");
  EXPECT_TRUE(fs::is_symlink(dir / "Prefs.ini"));
  EXPECT_EQ(fs::status(file).permissions(),
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

TEST(ModStandard, HandEditedFileKeepsEveryOtherLineAfterThreeWrites) {
  const TempDir dir;
  const fs::path file = dir / "Prefs.ini";
  fs::copy_file(kData / "hand_edited.ini", file);
  EXPECT_EQ(Read(file, u"DelimiterIn"), u" ; ");  // the blank after "=" is part of the value
  ASSERT_TRUE(WriteIniValue(u"Prefs", u"DelimiterIn", u"\t|\t", file));
  ASSERT_TRUE(WriteIniValue(u"Prefs", u"OptionsOpen", u"False", file));
  ASSERT_TRUE(WriteIniValue(u"Prefs", u"DelimiterOut", u"\r\n", file));
  EXPECT_EQ(ReadBytes(file), ReadBytes(kData / "hand_edited_after_three_writes.ini"));
}

TEST(ModStandard, HostileFilesNeitherCrashNorLoseBytes) {
  const TempDir dir;
  const fs::path file = dir / "Prefs.ini";
  // Every byte but NUL and CR (which make other cases below), and a megabytes line at the end.
  std::string junk(4096, '\0');
  for (std::size_t i = 0; i < junk.size(); ++i) {
    const auto byte = static_cast<char>((i * 7919) % 251);
    junk[i] = byte == '\0' || byte == '\r' ? 'x' : byte;
  }
  junk += "\n[Prefs]\nDelimiterIn=" + std::string(3'000'000, 'x');
  WriteBytes(file, junk);
  EXPECT_EQ(Read(file, u"DelimiterIn"), std::u16string(3'000'000, u'x'));
  ASSERT_TRUE(WriteIniValue(u"Prefs", u"OptionsOpen", u"True", file));
  EXPECT_EQ(ReadBytes(file), junk + "\nOptionsOpen=True\n");
}

TEST(ModStandard, FileLargerThanAnyWriteMakesReadsAsDefaultsAndStaysUntouched) {
  const TempDir dir;
  const fs::path file = dir / "Prefs.ini";
  // Just over the limit, with the value in the first lines: it is not read all the same.
  const std::string head = "[Prefs]\nDelimiterOut=end\n";
  WriteBytes(file, head + std::string(16 * 1024 * 1024 + 1 - head.size(), ';'));
  EXPECT_EQ(Read(file, u"DelimiterOut"), u"<default>");
  EXPECT_FALSE(WriteIniValue(u"Prefs", u"DelimiterOut", u"x", file));
  EXPECT_EQ(fs::file_size(file), 16 * 1024 * 1024 + 1);
  // A 100 MB sparse file: the size alone decides, no byte of it is read.
  WriteBytes(file, head);
  fs::resize_file(file, 100'000'000);
  EXPECT_EQ(Read(file, u"DelimiterOut"), u"<default>");
  EXPECT_FALSE(WriteIniValue(u"Prefs", u"DelimiterOut", u"x", file));
  EXPECT_EQ(fs::file_size(file), 100'000'000u);
  // At the limit itself the file is read and written as usual.
  WriteBytes(file, head + std::string(16 * 1024 * 1024 - head.size() - 1, ';') + "\n");
  EXPECT_EQ(Read(file, u"DelimiterOut"), u"end");
}

TEST(ModStandard, NeverWritesFilesThatAreNotUtf8Text) {
  const TempDir dir;
  const std::string files[] = {
      std::string("[\0P\0r\0e\0f\0s\0]\0\n\0", 16),     // UTF-16LE without a BOM
      std::string("\xFE\xFF\0[\0P\0]\0\n", 10),         // UTF-16BE
      std::string("\xFF\xFE\0\0[\0\0\0]\0\0\0", 12),    // UTF-32LE
      std::string("\0\0\xFE\xFF\0\0\0[\0\0\0]", 12),    // UTF-32BE
      std::string("[Prefs]\nDelimiterIn=x\n\0\n", 24),  // UTF-8 with a NUL
  };
  for (const std::string& bytes : files) {
    const fs::path file = dir / "Prefs.ini";
    WriteBytes(file, bytes);
    EXPECT_FALSE(WriteIniValue(u"Prefs", u"DelimiterIn", u"y", file));
    EXPECT_EQ(ReadBytes(file), bytes);
  }
}

TEST(ModStandard, KeepsCrOnlyLineEndings) {
  const TempDir dir;
  const fs::path file = dir / "Prefs.ini";
  WriteBytes(file, "; saved on an old system\r[Prefs]\rDelimiterIn=,lsSpc\rOptionsOpen=True");
  EXPECT_EQ(Read(file, u"DelimiterIn"), u", ");
  EXPECT_EQ(Read(file, u"OptionsOpen"), u"True");
  ASSERT_TRUE(WriteIniValue(u"Prefs", u"DelimiterIn", u";", file));
  ASSERT_TRUE(WriteIniValue(u"Prefs", u"DelimiterOut", u"lsCrLf", file));
  EXPECT_EQ(ReadBytes(file),
            "; saved on an old system\r[Prefs]\rDelimiterIn=;\rOptionsOpen=True\r"
            "DelimiterOut=lsCrLf\r");
  EXPECT_EQ(Read(file, u"DelimiterOut"), u"\r\n");
}

// The caller's side of the permission check; as root, a file with no write bit at all stands in
// for one the caller may not write, and another user is played by a child process.
TEST(ModStandard, RefusesFilesTheCallerMayNotWrite) {
  const TempDir dir;
  const fs::path file = dir / "Prefs.ini";
  const std::string bytes = "[Prefs]\nDelimiterIn=x\n";
  WriteBytes(file, bytes);
  fs::permissions(file, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  fs::create_symlink("Prefs.ini", dir / "link");
  EXPECT_FALSE(WriteIniValue(u"Prefs", u"DelimiterIn", u"y", file));
  EXPECT_FALSE(WriteIniValue(u"Prefs", u"DelimiterIn", u"x", file));  // even when nothing changes
  EXPECT_FALSE(WriteIniValue(u"Prefs", u"OptionsOpen", u"True", dir / "link"));
  EXPECT_EQ(ReadBytes(file), bytes);
  EXPECT_EQ(fs::status(file).permissions(),
            fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  EXPECT_EQ(Read(file, u"DelimiterIn"), u"x");

  if (::geteuid() != 0) GTEST_SKIP() << "another user's file needs root to set up";
  // Another user's 0644 file in a folder anyone may write, without the sticky bit: the rename
  // would be allowed, the write is not.
  fs::permissions(
      file, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::others_read);
  fs::permissions(dir.path(), fs::perms::all);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const bool dropped = ::setgroups(0, nullptr) == 0 && ::setgid(65534) == 0 && ::setuid(65534) == 0;
    ::_exit(!dropped ? 2 : WriteIniValue(u"Prefs", u"DelimiterIn", u"y", file) ? 1 : 0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
  struct stat info {};
  ASSERT_EQ(::stat(file.c_str(), &info), 0);
  EXPECT_EQ(info.st_uid, 0u);
  EXPECT_EQ(ReadBytes(file), bytes);
}

// The tag a writer puts into its temporaries' names: this boot's id and this PID namespace.
std::string WriterTag() {
  std::string boot;
  for (const char c : ReadBytes("/proc/sys/kernel/random/boot_id")) {
    if (c != '-' && c != '\n') boot.push_back(c);
  }
  struct stat ns {};
  EXPECT_EQ(::stat("/proc/self/ns/pid", &ns), 0);
  return boot + "-" + std::to_string(ns.st_ino);
}

TEST(ModStandard, WriteSweepsOnlyTemporariesOfWritersProvablyGone) {
  const TempDir dir;
  const fs::path file = dir / "Prefs.ini";
  const pid_t gone = ::fork();
  ASSERT_GE(gone, 0);
  if (gone == 0) ::_exit(0);
  ASSERT_EQ(::waitpid(gone, nullptr, 0), gone);
  const std::string tag = WriterTag();
  ASSERT_EQ(tag.find('-'), 32u) << tag;
  std::string otherBoot = tag;
  otherBoot[0] = otherBoot[0] == '0' ? '1' : '0';
  const std::string otherNamespace = tag + "7";
  const std::string dead = std::to_string(gone);
  const std::string live = std::to_string(::getppid());
  const std::vector<std::string> stale = {".Prefs.ini." + tag + "-" + dead + "-0.tmp",
                                          ".Prefs.ini." + tag + "-" + dead + "-17.tmp"};
  const std::vector<std::string> kept = {
      ".Prefs.ini." + tag + "-" + live + "-0.tmp",  // its writer may be at work
      ".Prefs.ini." + tag + "-" + std::to_string(::getpid()) + "-99.tmp",
      ".Prefs.ini." + otherBoot + "-" + dead + "-0.tmp",       // that id may be running after a reboot
      ".Prefs.ini." + otherNamespace + "-" + dead + "-0.tmp",  // or in another PID namespace
      ".Prefs.ini." + dead + "-0.tmp",                         // nothing says where it ran
      ".Prefs.ini.x-x-" + dead + "-0.tmp",
      ".Other.ini." + tag + "-" + dead + "-0.tmp",      // another file's
      ".Prefs.ini." + tag + "-" + dead + "-0.tmp.bak",  // not this writer's pattern
      ".Prefs.ini." + tag + "-" + dead + "-.tmp",
      ".Prefs.ini." + tag + "-0-0.tmp",
      "Prefs.ini." + tag + "-" + dead + "-0.tmp"};
  for (const std::string& name : stale) WriteBytes(dir / name, "[Prefs]\n");
  for (const std::string& name : kept) WriteBytes(dir / name, "[Prefs]\n");
  ASSERT_TRUE(WriteIniValue(u"Prefs", u"DelimiterIn", u"x", file));
  for (const std::string& name : stale) EXPECT_FALSE(fs::exists(dir / name)) << name;
  for (const std::string& name : kept) EXPECT_TRUE(fs::exists(dir / name)) << name;
}

TEST(ModStandard, EmptyValueIsStoredEmptyAndReadsAsDefault) {
  const TempDir dir;
  const fs::path file = dir / "Prefs.ini";
  ASSERT_TRUE(WriteIniValue(u"Prefs", u"DelimiterIn", u"x", file));
  ASSERT_TRUE(WriteIniValue(u"Prefs", u"DelimiterIn", u"", file));
  EXPECT_EQ(ReadBytes(file), "[Prefs]\nDelimiterIn=\n");
  EXPECT_EQ(Read(file, u"DelimiterIn", u", "), u", ");
  // An unpaired surrogate cannot be stored; it comes back as U+FFFD.
  ASSERT_TRUE(WriteIniValue(u"Prefs", u"DelimiterIn", std::u16string{u'a', char16_t{0xD83D}}, file));
  EXPECT_EQ(Read(file, u"DelimiterIn"), u"a\uFFFD");
}

TEST(ModStandard, FailedWriteSaysWhyAndSuccessLeavesTheReasonAlone) {
  const TempDir dir;
  const fs::path file = dir / "Prefs.ini";
  WriteBytes(file, "[Prefs]\n");
  std::string whyNot = "untouched";
  EXPECT_TRUE(WriteIniValue(u"Prefs", u"DelimiterIn", u"x", file, whyNot));
  EXPECT_EQ(whyNot, "untouched");
  // A failing system call gives its own message, even with a stale errno from before.
  errno = EEXIST;
  EXPECT_FALSE(WriteIniValue(u"Prefs", u"DelimiterIn", u"x", file / "Prefs.ini", whyNot));
  EXPECT_EQ(whyNot, std::generic_category().message(ENOTDIR));
  EXPECT_FALSE(WriteIniValue(u"Prefs", u"DelimiterIn", u"x", dir / "missing" / "Prefs.ini", whyNot));
  EXPECT_EQ(whyNot, std::generic_category().message(ENOENT));
  // A refused file has no system error behind it.
  errno = EACCES;
  WriteBytes(dir / "utf16.ini", std::string("\xFF\xFE[\0P\0]\0", 8));
  EXPECT_FALSE(WriteIniValue(u"Prefs", u"DelimiterIn", u"x", dir / "utf16.ini", whyNot));
  EXPECT_EQ(whyNot, make_error_code(prefs::SettingsErrc::NotText).message());
}

}  // namespace
}  // namespace ordwell::modStandard
