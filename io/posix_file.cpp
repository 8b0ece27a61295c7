#include "io/posix_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <exception>
#include <thread>

namespace ordwell::io {

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

UniqueFd::~UniqueFd() {
  if (fd_ >= 0) ::close(fd_);
}

bool UniqueFd::Close() noexcept {
  const int fd = std::exchange(fd_, -1);
  return fd < 0 || ::close(fd) == 0;
}

UniqueFd Open(const char* path, int flags, mode_t mode) noexcept {
  for (;;) {
    const int fd = ::open(path, flags | O_CLOEXEC, mode);
    if (fd >= 0 || errno != EINTR) return UniqueFd(fd);
  }
}

ssize_t ReadSome(int fd, void* data, std::size_t size) noexcept {
  for (;;) {
    const ssize_t n = ::read(fd, data, size);
    if (n >= 0 || errno != EINTR) return n;
  }
}

bool WriteAll(int fd, std::string_view data) noexcept {
  while (!data.empty()) {
    const ssize_t n = ::write(fd, data.data(), data.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

void OwnedBytes::clear() noexcept {
  buffer_.Release();
  size_ = 0;
}

namespace {

// Reads `size` bytes of `fd` from `at` on into `data`, fewer at the file's end; returns how many,
// or -1 with errno set.
ssize_t ReadAt(int fd, char* data, std::size_t size, off_t at) noexcept {
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = ::pread(fd, data + done, size - done, at + static_cast<off_t>(done));
    if (n < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
  }
  return static_cast<ssize_t>(done);
}

// Reads the `size` bytes of a regular file that follow `offset` into `data`, its two halves side
// by side (copying a large file into fresh memory is mostly page faults and copies, which two
// cores share), and moves the file offset past them; returns how many bytes from the start were
// read, fewer when the file shrank, or -1 with errno set. Returns 0, reading nothing, when no
// thread can be started.
ssize_t ReadInHalves(int fd, char* data, std::size_t size, off_t offset) {
  const std::size_t half = size / 2;
  ssize_t second = -1;
  int secondError = 0;
  std::jthread helper;
  try {
    helper = std::jthread([&] {
      second = ReadAt(fd, data + half, size - half, offset + static_cast<off_t>(half));
      secondError = errno;
    });
  } catch (const std::exception&) {
    return 0;
  }
  const ssize_t first = ReadAt(fd, data, half, offset);
  const int firstError = errno;
  helper.join();
  if (first < 0 || second < 0) {
    errno = first < 0 ? firstError : secondError;
    return -1;
  }
  // Both halves are one piece only when the first is whole.
  const ssize_t got = static_cast<std::size_t>(first) < half ? first : first + second;
  if (::lseek(fd, offset + static_cast<off_t>(got), SEEK_SET) < 0) return -1;
  return got;
}

}  // namespace

int ReadAll(int fd, std::size_t limit, OwnedBytes& out) {
  out.clear();
  // A regular file's size is only a first guess: another process may grow or shrink it while it
  // is read, so what follows trusts nothing but what the reads return.
  std::size_t capacity = std::size_t{1} << 16;
  std::size_t expected = 0;
  off_t offset = -1;
  struct stat info {};
  if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0) {
    offset = ::lseek(fd, 0, SEEK_CUR);
    expected =
        info.st_size > offset ? static_cast<std::size_t>(info.st_size - std::max<off_t>(offset, 0)) : 0;
    // +1 so that the end is seen without growing the buffer.
    capacity = expected + 1;
  }
  capacity = std::min(capacity, limit + 1);
  out.buffer_ = BigBuffer<char>(capacity, Access::kSequential);
  constexpr std::size_t kMinReadInHalves = std::size_t{16} << 20;
  if (offset >= 0 && expected >= kMinReadInHalves && expected < capacity &&
      std::thread::hardware_concurrency() > 1) {
    const ssize_t got = ReadInHalves(fd, out.buffer_.data(), expected, offset);
    if (got < 0) return errno;
    out.size_ = static_cast<std::size_t>(got);
  }
  for (;;) {
    const std::size_t held = out.buffer_.size();
    if (out.size_ == held) {
      if (out.size_ > limit) break;
      BigBuffer<char> larger(std::min(held + held / 2 + 1, limit + 1), Access::kSequential);
      std::memcpy(larger.data(), out.buffer_.data(), out.size_);
      out.buffer_ = std::move(larger);
    }
    const ssize_t got = ReadSome(fd, out.buffer_.data() + out.size_, out.buffer_.size() - out.size_);
    if (got < 0) return errno;
    if (got == 0) return 0;
    out.size_ += static_cast<std::size_t>(got);
  }
  out.size_ = limit;
  return EFBIG;
}

}  // namespace ordwell::io
