#include "prefs/mod_standard.h"

#include <exception>
#include <new>
#include <optional>
#include <system_error>

#include "prefs/ini_text.h"
#include "prefs/settings_error.h"
#include "prefs/settings_file.h"
#include "prefs/value_codec.h"

namespace ordwell::modStandard {
namespace {

using prefs::SettingsErrc;

bool HoldsLineBreak(std::string_view text) { return text.find_first_of("\r\n") != std::string_view::npos; }

bool HoldsNul(std::string_view text) { return text.find('\0') != std::string_view::npos; }

// Whether a file would not be UTF-8 text: text saved as UTF-16 or UTF-32 (with a byte-order mark,
// or without one, when its ASCII characters leave NUL bytes between them), or anything else with
// a NUL in it, is no UTF-8 text file and is left alone.
bool IsNotUtf8Text(std::string_view bytes) {
  return bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF") || HoldsNul(bytes);
}

// Why a trimmed section name cannot be stored so that it reads back; empty when it can.
std::error_code SectionNameError(std::string_view name) {
  if (HoldsNul(name)) return SettingsErrc::HoldsNul;
  if (name.empty() || HoldsLineBreak(name) || name.find(']') != std::string_view::npos) {
    return SettingsErrc::NotStorable;
  }
  return {};
}

// Why a trimmed key name cannot be stored so that it reads back; empty when it can.
std::error_code KeyNameError(std::string_view name) {
  if (HoldsNul(name)) return SettingsErrc::HoldsNul;
  if (name.empty() || HoldsLineBreak(name) || name.find('=') != std::string_view::npos ||
      name.starts_with('[')) {
    return SettingsErrc::NotStorable;
  }
  return {};
}

// What a read returns for stored bytes, before the caller's default stands in for nothing.
std::u16string ReadsAs(std::string_view stored) { return prefs::UnescapeValue(prefs::FromUtf8(stored)); }

// A value ready to go into the file: trimmed key and escaped UTF-8 value.
struct Entry {
  std::string key;
  std::string value;
};

// The file's bytes with the entries in place, or nothing when the file already holds them.
struct Change {
  std::error_code error;
  std::optional<std::string> bytes;
};

Change PlanChange(const std::filesystem::path& file, std::string_view section,
                  const std::vector<Entry>& entries) {
  const prefs::FileContents old = prefs::ReadWholeFile(file);
  if (old.state == prefs::FileContents::State::Unusable) return {old.error, {}};
  if (old.notWritable) return {old.notWritable, {}};
  std::string updated = old.bytes;
  for (const Entry& entry : entries) {
    // A value that reads back the same keeps its bytes, so that an untouched setting whose bytes
    // are not UTF-8 is not rewritten as the replacement characters it was shown with.
    const std::optional<std::string_view> stored = prefs::FindValue(updated, section, entry.key);
    if (stored && !HoldsNul(*stored) && ReadsAs(*stored) == ReadsAs(entry.value)) continue;
    updated = prefs::WithValue(updated, section, entry.key, entry.value);
  }
  // Checked on the result, so that a NUL an older writer stored in one of these values goes away.
  if (IsNotUtf8Text(updated)) return {SettingsErrc::NotText, {}};
  if (updated.size() > prefs::kMaxFileBytes) return {SettingsErrc::TooLarge, {}};
  if (old.state == prefs::FileContents::State::Read && updated == old.bytes) return {};
  return {{}, std::move(updated)};
}

std::error_code ErrorOf(const std::exception_ptr& caught) {
  try {
    std::rethrow_exception(caught);
  } catch (const std::bad_alloc&) {
    return std::make_error_code(std::errc::not_enough_memory);
  } catch (const std::system_error& e) {
    return e.code();
  } catch (...) {
    return std::make_error_code(std::errc::io_error);
  }
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
    // A NUL can only be there from an older writer; no separator holds one.
    if (!stored || stored->empty() || HoldsNul(*stored)) return std::u16string(Default);
    return ReadsAs(*stored);
  } catch (const std::exception&) {
    // Settings that cannot be read fall back to the defaults, whatever the reason.
    return std::u16string(Default);
  }
}

WriteOutcome WriteIniValues(std::u16string_view Section, std::span<const IniValue> Values,
                            const std::filesystem::path& FileName, std::chrono::milliseconds LockWait) {
  WriteOutcome outcome;
  try {
    const std::string section = prefs::ToUtf8(Section);
    const std::string_view sectionName = prefs::TrimBlanks(section);
    if (const std::error_code error = SectionNameError(sectionName)) {
      outcome.Failures.push_back({{}, error});
      return outcome;
    }
    std::vector<Entry> entries;
    for (const IniValue& value : Values) {
      const std::string key = prefs::ToUtf8(value.Key);
      Entry entry{std::string(prefs::TrimBlanks(key)), prefs::ToUtf8(prefs::EscapeValue(value.Value))};
      std::error_code error = KeyNameError(entry.key);
      if (!error && HoldsNul(entry.value)) error = SettingsErrc::HoldsNul;
      if (!error && HoldsLineBreak(entry.value)) error = SettingsErrc::NotStorable;
      if (error) {
        outcome.Failures.push_back({key, error});
      } else {
        entries.push_back(std::move(entry));
      }
    }
    if (entries.empty()) return outcome;

    // A first look without the lock: a file that is refused, or that already holds the values,
    // needs no lock, and leaves no lock file behind.
    Change change = PlanChange(FileName, sectionName, entries);
    if (!change.error && change.bytes) {
      const prefs::FileLock lock = prefs::FileLock::Acquire(FileName, LockWait);
      outcome.LockError = lock.error();
      // Another writer may have replaced the file meanwhile; its other lines are kept.
      change = PlanChange(FileName, sectionName, entries);
      if (!change.error && change.bytes) change.error = prefs::ReplaceFileContents(FileName, *change.bytes);
    }
    if (change.error) outcome.Failures.push_back({{}, change.error});
  } catch (...) {
    outcome.Failures.push_back({{}, ErrorOf(std::current_exception())});
  }
  return outcome;
}

std::string Describe(const WriteFailure& Failure) {
  if (Failure.Key.empty()) return Failure.Why.message();
  return Failure.Key + ": " + Failure.Why.message() + "; its stored value is kept";
}

bool WriteIniValue(std::u16string_view Section, std::u16string_view Key, std::u16string_view Value,
                   const std::filesystem::path& FileName) {
  const IniValue value{Key, Value};
  return WriteIniValues(Section, {&value, 1}, FileName).Saved();
}

bool WriteIniValue(std::u16string_view Section, std::u16string_view Key, std::u16string_view Value,
                   const std::filesystem::path& FileName, std::string& WhyNot) {
  const IniValue value{Key, Value};
  const WriteOutcome outcome = WriteIniValues(Section, {&value, 1}, FileName);
  if (outcome.Saved()) return true;
  WhyNot = outcome.Failures.front().Why.message();
  return false;
}

}  // namespace ordwell::modStandard
