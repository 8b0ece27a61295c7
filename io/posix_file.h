#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string_view>
#include <utility>

#include "io/big_buffer.h"

// Small POSIX file helpers shared by the settings library and the command-line tool: a file
// descriptor owner, reads and writes that survive interruptions, and reading a whole stream into
// memory the program owns.
namespace ordwell::io {

// Owns a file descriptor and closes it when destroyed.
class UniqueFd {
 public:
  UniqueFd() noexcept = default;
  explicit UniqueFd(int fd) noexcept : fd_(fd) {}
  UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept;
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  ~UniqueFd();

  // Returns the descriptor, -1 when none is owned.
  int get() const noexcept { return fd_; }

  // Returns whether a descriptor is owned.
  bool valid() const noexcept { return fd_ >= 0; }

  // Closes the descriptor now; returns whether close succeeded (it can report a late write error).
  bool Close() noexcept;

 private:
  int fd_ = -1;
};

// Opens `path` with `flags` (O_CLOEXEC is added), again after an interruption; the result is
// invalid, with errno set, when opening fails.
UniqueFd Open(const char* path, int flags, mode_t mode = 0) noexcept;

// Reads up to `size` bytes, again after an interruption; returns the count, 0 at the end of the
// stream, or -1 with errno set.
ssize_t ReadSome(int fd, void* data, std::size_t size) noexcept;

// Writes all of `data`, again after an interruption or a short write; returns false when a write
// fails (errno tells why).
bool WriteAll(int fd, std::string_view data) noexcept;

// Bytes read into memory that the program owns, so no other process can change them.
class OwnedBytes {
 public:
  // Returns the bytes.
  std::string_view view() const noexcept { return {buffer_.data(), size_}; }

  // Returns the number of bytes.
  std::size_t size() const noexcept { return size_; }

  // Releases the memory.
  void clear() noexcept;

 private:
  friend int ReadAll(int, std::size_t, OwnedBytes&);
  BigBuffer<char> buffer_;
  std::size_t size_ = 0;
};

// Reads `fd` to its end into `out`, sized from fstat for a regular file and grown by half again
// for a stream; returns 0 on success, EFBIG when the stream holds more than `limit` bytes (`out`
// then holds the first `limit`), or the errno of the failed read. Throws std::bad_alloc.
int ReadAll(int fd, std::size_t limit, OwnedBytes& out);

}  // namespace ordwell::io
