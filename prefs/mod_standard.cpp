#include "prefs/mod_standard.h"

#include <cerrno>
#include <exception>
#include <optional>
#include <system_error>

#include "prefs/ini_text.h"
#include "prefs/settings_file.h"
#include "prefs/value_codec.h"

namespace ordwell::modStandard {
namespace {

bool HoldsLineBreak(std::string_view text) { return text.find_first_of("\r\n") != std::string_view::npos; }

// Whether lines added in UTF-8 would corrupt the file: text saved as UTF-16 or UTF-32 (with a
// byte-order mark, or without one, when its ASCII characters leave NUL bytes between them), or
// anything else with a NUL in it, is no UTF-8 text file and is left alone.
bool IsNotUtf8Text(std::string_view bytes) {
  return bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF") ||
         bytes.find('\0') != std::string_view::npos;
}

}  // namespace

std::u16string ReadIniValue(std::u16string_view Section, std::u16string_view Key, std::u16string_view Default,
                            const std::filesystem::path& FileName) {
  try {
    const std::string section = prefs::ToUtf8(Section);
    const std::string key = prefs::ToUtf8(Key);
    const std::string_view sectionName = prefs::TrimBlanks(section);
    const std::string_view keyName = prefs::TrimBlanks(key);
    if (sectionName.empty() || keyName.empty()) return std::u16string(Default);

    const std::optional<std::string> stored = prefs::ReadStoredValue(FileName, sectionName, keyName);
    if (!stored || stored->empty()) return std::u16string(Default);
    return prefs::UnescapeValue(prefs::FromUtf8(*stored));
  } catch (const std::exception&) {
    // Settings that cannot be read fall back to the defaults, whatever the reason.
    return std::u16string(Default);
  }
}

bool WriteIniValue(std::u16string_view Section, std::u16string_view Key, std::u16string_view Value,
                   const std::filesystem::path& FileName) {
  try {
    const std::string section = prefs::ToUtf8(Section);
    const std::string key = prefs::ToUtf8(Key);
    const std::string value = prefs::ToUtf8(prefs::EscapeValue(Value));
    const std::string_view sectionName = prefs::TrimBlanks(section);
    const std::string_view keyName = prefs::TrimBlanks(key);
    // Anything that would read back differently, or spill onto another line, is refused.
    if (sectionName.empty() || HoldsLineBreak(sectionName) ||
        sectionName.find(']') != std::string_view::npos) {
      return false;
    }
    if (keyName.empty() || HoldsLineBreak(keyName) || keyName.find('=') != std::string_view::npos ||
        keyName.starts_with('[')) {
      return false;
    }
    if (HoldsLineBreak(value)) return false;

    const prefs::FileContents old = prefs::ReadWholeFile(FileName);
    if (old.state == prefs::FileContents::State::Unusable || !old.writable || IsNotUtf8Text(old.bytes)) {
      return false;
    }

    const std::string updated = prefs::WithValue(old.bytes, sectionName, keyName, value);
    if (updated.size() > prefs::kMaxFileBytes) return false;
    if (old.state == prefs::FileContents::State::Read && updated == old.bytes) return true;
    return prefs::ReplaceFileContents(FileName, updated);
  } catch (const std::exception&) {
    return false;
  }
}

bool WriteIniValue(std::u16string_view Section, std::u16string_view Key, std::u16string_view Value,
                   const std::filesystem::path& FileName, std::string& WhyNot) {
  // The writer fails either in a system call, which leaves its reason in errno, or by refusing
  // what it read, which touches no errno; starting from zero tells the two apart.
  errno = 0;
  if (WriteIniValue(Section, Key, Value, FileName)) return true;
  const int error = errno;
  WhyNot = error != 0 ? std::generic_category().message(error)
                      : "not a settings file this program can change safely";
  return false;
}

}  // namespace ordwell::modStandard
