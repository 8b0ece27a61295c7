#pragma once

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

#include "io/posix_file.h"

// Reading, locking and atomically replacing the settings file on disk.
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
  // Why the file is Unusable; empty otherwise.
  std::error_code error;
  // Why the caller may not replace the file that was read (see ReplaceFileContents); empty when
  // it may.
  std::error_code notWritable;
};

// Returns the whole content of the file, Missing when nothing is there, and Unusable with the
// reason when the path cannot be read, is not a regular file or holds more than kMaxFileBytes.
FileContents ReadWholeFile(const std::filesystem::path& file);

// Returns the file a settings path stands for: symbolic links are followed to their last target,
// which need not exist yet (a write creates it). Sets `error` when a link cannot be read or the
// links loop.
std::filesystem::path ResolveTarget(const std::filesystem::path& file, std::error_code& error);

// Replaces the file's content by `bytes` through a temporary file in the same folder that is
// flushed to disk and renamed over it, keeping the old file's owner (where allowed) and
// permissions; a symbolic link stays and its target gets the content. Returns why the content
// is not in place, empty on success. An existing file the caller may not write (no write
// permission for the caller, or no write bit at all, which holds even for root) is refused. On
// failure the old file is left as it was; on success the temporaries left in the folder by
// earlier writers of the same file that provably no longer run are removed.
std::error_code ReplaceFileContents(const std::filesystem::path& file, std::string_view bytes);

// An advisory lock (flock) on a lock file beside the settings file, named "." + its name +
// ".lock", held while the object lives, so that writers in several processes take turns.
class FileLock {
 public:
  // Takes the lock for the file `file` stands for, waiting at most `wait` for other holders.
  static FileLock Acquire(const std::filesystem::path& file, std::chrono::milliseconds wait);

  // Returns why the lock is not held (SettingsErrc::LockBusy after the wait), empty when it is.
  const std::error_code& error() const noexcept { return error_; }

 private:
  io::UniqueFd fd_;
  std::error_code error_;
};

}  // namespace ordwell::prefs
