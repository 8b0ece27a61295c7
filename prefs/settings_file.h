#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

// Reading and atomically replacing the settings file on disk.
namespace ordwell::prefs {

// The largest settings file that is read or written, before and after a change. A separator
// file never comes near it; it bounds the memory and time a hostile or mistaken file can take.
inline constexpr std::size_t kMaxFileBytes = std::size_t{16} * 1024 * 1024;

// Returns the stored bytes after "=" of `key` in the first `section` of the file; nothing when
// the file is missing, unreadable, not a regular file or larger than kMaxFileBytes, or when the
// section or key is missing.
std::optional<std::string> ReadStoredValue(const std::filesystem::path& file, std::string_view section,
                                           std::string_view key);

// What a write found at the settings path.
struct FileContents {
  enum class State { Missing, Read, Unusable };
  State state = State::Missing;
  std::string bytes;
  // Whether the caller may replace the file that was read (see ReplaceFileContents).
  bool writable = true;
};

// Returns the whole content of the file, Missing when nothing is there, and Unusable when the
// path cannot be read, is not a regular file or holds more than kMaxFileBytes.
FileContents ReadWholeFile(const std::filesystem::path& file);

// Replaces the file's content by `bytes` through a temporary file in the same folder that is
// flushed to disk and renamed over it, keeping the old file's owner (where allowed) and
// permissions; returns whether the new content is in place. An existing file the caller may not
// write (no write permission for the caller, or no write bit at all, which holds even for root)
// is refused. On failure the old file is left as it was; on success temporaries left in the
// folder by earlier writers of the same file whose processes are gone are removed.
bool ReplaceFileContents(const std::filesystem::path& file, std::string_view bytes);

}  // namespace ordwell::prefs
