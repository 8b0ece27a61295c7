#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

// Reading and atomically replacing the settings file on disk.
namespace ordwell::prefs {

// The largest settings file a write accepts, before and after the change, and the longest
// stored value a read returns. A separator file never comes near it; it bounds the memory a
// hostile or mistaken file can take.
inline constexpr std::size_t kMaxFileBytes = std::size_t{16} * 1024 * 1024;

// Returns the stored bytes after "=" of `key` in the first `section` of the file, streaming it
// line by line; nothing when the file is missing, unreadable or not a regular file, when the
// section or key is missing, or when the stored value is longer than kMaxFileBytes.
std::optional<std::string> ReadStoredValue(const std::filesystem::path& file, std::string_view section,
                                           std::string_view key);

// What a write found at the settings path.
struct FileContents {
  enum class State { Missing, Read, Unusable };
  State state = State::Missing;
  std::string bytes;
};

// Returns the whole content of the file, Missing when nothing is there, and Unusable when the
// path cannot be read, is not a regular file or holds more than kMaxFileBytes.
FileContents ReadWholeFile(const std::filesystem::path& file);

// Replaces the file's content by `bytes` through a temporary file in the same folder that is
// flushed to disk and renamed over it, keeping the old file's permissions; returns whether the
// new content is in place. On failure the old file is left as it was.
bool ReplaceFileContents(const std::filesystem::path& file, std::string_view bytes);

}  // namespace ordwell::prefs
