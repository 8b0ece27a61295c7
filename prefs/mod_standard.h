#pragma once

#include <chrono>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

// Reading and writing values of the sectioned settings file, with spaces and CR LF line breaks
// stored spelled out as "lsSpc" and "lsCrLf".
namespace ordwell::modStandard {

// Returns the unescaped value of `Key` in `Section` of the file, or `Default` exactly as passed
// when the file, section or key is missing, the stored value is empty or holds a NUL byte, or the
// file cannot be read or is larger than any settings file a write makes.
std::u16string ReadIniValue(std::u16string_view Section, std::u16string_view Key, std::u16string_view Default,
                            const std::filesystem::path& FileName);

// One key and the value to store under it.
struct IniValue {
  std::u16string_view Key;
  std::u16string_view Value;
};

// A value that was not stored, or, with an empty Key, a file that was not written.
struct WriteFailure {
  std::string Key;  // the key as UTF-8
  std::error_code Why;
};

// What a write of several values did.
struct WriteOutcome {
  // Empty when every value is in the file.
  std::vector<WriteFailure> Failures;
  // Why the file was written without the lock other writers take; empty when it held it.
  std::error_code LockError;

  // Returns whether every value is in the file.
  bool Saved() const noexcept { return Failures.empty(); }
};

// How long a write waits for another process's write of the same file before it goes ahead
// without the lock.
inline constexpr std::chrono::milliseconds kLockWait{2000};

// Stores every escaped value under its key in `Section` in one replacement of the file, holding
// the lock on it (waiting at most `LockWait`), so that writers in several processes never mix
// their values; creates the file, section or keys as needed and changes no other byte, and leaves
// a key whose stored value already reads back as the new value as it is. A key or value that
// cannot be stored (a NUL, a line break, a name that would read back as another) is refused alone
// and keeps its stored value; the file is left as it was when the section name cannot be stored,
// the file is not UTF-8 text or too large, the caller may not write it or it cannot be replaced.
WriteOutcome WriteIniValues(std::u16string_view Section, std::span<const IniValue> Values,
                            const std::filesystem::path& FileName,
                            std::chrono::milliseconds LockWait = kLockWait);

// Returns a short English account of a failure: its reason, after the key for a refused value.
std::string Describe(const WriteFailure& Failure);

// Stores one value as WriteIniValues does; returns whether it is in the file.
bool WriteIniValue(std::u16string_view Section, std::u16string_view Key, std::u16string_view Value,
                   const std::filesystem::path& FileName);

// Does what WriteIniValue does; when the write fails, also sets `WhyNot` to a short reason in
// English (the system's message for the call that failed, or why the file or value was refused).
bool WriteIniValue(std::u16string_view Section, std::u16string_view Key, std::u16string_view Value,
                   const std::filesystem::path& FileName, std::string& WhyNot);

}  // namespace ordwell::modStandard
