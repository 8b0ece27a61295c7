// Feeds arbitrary file contents, names and values to ReadIniValue and WriteIniValue on a real
// file and checks that reads agree with an in-memory parse, that reads leave the file alone, and
// that a write either changes one line (or adds lines) and reads back, or leaves the file as it was.
#include <fuzzer/FuzzedDataProvider.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <system_error>

#include "prefs/ini_text.h"
#include "prefs/mod_standard.h"
#include "prefs/value_codec.h"

namespace {

namespace fs = std::filesystem;
using ordwell::modStandard::ReadIniValue;
using ordwell::modStandard::WriteIniValue;
namespace prefs = ordwell::prefs;

void Check(bool condition) {
  if (!condition) std::abort();
}

// A folder for one input, on a memory file system when there is one so that fsync is cheap.
// libFuzzer ends a run without destroying statics, so each input cleans up after itself.
class WorkDir {
 public:
  WorkDir() {
    const fs::path base = access("/dev/shm", W_OK) == 0 ? fs::path("/dev/shm") : fs::temp_directory_path();
    std::string pattern = (base / "ordwell-prefs-fuzz-XXXXXX").string();
    Check(mkdtemp(pattern.data()) != nullptr);
    dir_ = pattern;
  }
  WorkDir(const WorkDir&) = delete;
  WorkDir& operator=(const WorkDir&) = delete;
  ~WorkDir() {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  fs::path File() const { return dir_ / "Prefs.ini"; }

 private:
  fs::path dir_;
};

void WriteBytes(const fs::path& file, std::string_view bytes) {
  std::ofstream(file, std::ios::binary | std::ios::trunc)
      .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string ReadBytes(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A name or value: mostly the real ones and near misses, sometimes arbitrary 16-bit text.
std::u16string TakeText(FuzzedDataProvider& data, bool isName) {
  static constexpr std::array<std::u16string_view, 10> kNames = {
      u"Prefs", u"DelimiterIn", u"DelimiterOut", u"OptionsOpen", u" prefs ", u"DELIMITERIN", u"a=b", u"[x]",
      u"",      u"k\r\n"};
  static constexpr std::array<std::u16string_view, 8> kValues = {
      u", ", u"\r\n", u"True", u"", u" \t\"x\" ", u"lsSpc", u"a\rb", u"\u00E9\U0001F600"};
  if (data.ConsumeBool()) {
    return std::u16string(isName ? kNames[data.ConsumeIntegralInRange<std::size_t>(0, kNames.size() - 1)]
                                 : kValues[data.ConsumeIntegralInRange<std::size_t>(0, kValues.size() - 1)]);
  }
  std::u16string text;
  for (std::size_t n = data.ConsumeIntegralInRange<std::size_t>(0, 24); n > 0 && data.remaining_bytes() > 0;
       --n) {
    // Mostly ASCII so that separators, blanks and "=" turn up often; sometimes any unit at all.
    text.push_back(data.ConsumeBool() ? static_cast<char16_t>(data.ConsumeIntegralInRange<int>(0, 127))
                                      : data.ConsumeIntegral<char16_t>());
  }
  return text;
}

// What a read must return, worked out from the bytes in memory rather than from the disk.
std::u16string ExpectedRead(std::string_view bytes, std::u16string_view section, std::u16string_view key,
                            std::u16string_view fallback) {
  const std::string s = prefs::ToUtf8(section);
  const std::string k = prefs::ToUtf8(key);
  if (prefs::TrimBlanks(s).empty() || prefs::TrimBlanks(k).empty()) return std::u16string(fallback);
  const auto stored = prefs::FindValue(bytes, prefs::TrimBlanks(s), prefs::TrimBlanks(k));
  if (!stored || stored->empty() || stored->find('\0') != std::string_view::npos) {
    return std::u16string(fallback);
  }
  return prefs::UnescapeValue(prefs::FromUtf8(*stored));
}

// A write may change bytes within one line, or insert whole new text; nothing else.
bool ChangesOneLineOrInserts(std::string_view before, std::string_view after) {
  std::size_t prefix = 0;
  while (prefix < before.size() && prefix < after.size() && before[prefix] == after[prefix]) ++prefix;
  std::size_t suffix = 0;
  while (suffix < before.size() - prefix && suffix < after.size() - prefix &&
         before[before.size() - 1 - suffix] == after[after.size() - 1 - suffix]) {
    ++suffix;
  }
  const std::string_view removed = before.substr(prefix, before.size() - prefix - suffix);
  const std::string_view added = after.substr(prefix, after.size() - prefix - suffix);
  if (removed.find_first_of("\r\n") != std::string_view::npos) return false;
  return removed.empty() || added.find_first_of("\r\n") == std::string_view::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  FuzzedDataProvider data(bytes, size);
  const WorkDir work;
  const fs::path file = work.File();
  const std::u16string section = TakeText(data, true);
  const std::u16string key = TakeText(data, true);
  const std::u16string value = TakeText(data, false);
  const std::string contents = data.ConsumeRemainingBytesAsString();
  WriteBytes(file, contents);

  const std::u16string fallback = u"<fallback lsSpc>";
  Check(ReadIniValue(section, key, fallback, file) == ExpectedRead(contents, section, key, fallback));
  Check(ReadBytes(file) == contents);

  const bool written = WriteIniValue(section, key, value, file);
  const std::string after = ReadBytes(file);
  if (!written) {
    Check(after == contents);
    return 0;
  }
  Check(ChangesOneLineOrInserts(contents, after));
  const std::u16string stored = prefs::EscapeValue(prefs::FromUtf8(prefs::ToUtf8(value)));
  const std::u16string expected = stored.empty() ? fallback : prefs::UnescapeValue(stored);
  Check(ReadIniValue(section, key, fallback, file) == expected);
  Check(ReadIniValue(section, key, fallback, file) == ExpectedRead(after, section, key, fallback));
  return 0;
}
