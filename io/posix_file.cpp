#include "io/posix_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

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

int ReadAll(int fd, std::size_t limit, OwnedBytes& out) {
  out.clear();
  // A regular file's size is only a first guess: another process may grow or shrink it while it
  // is read, so the read loop below trusts nothing but what read() returns.
  std::size_t capacity = std::size_t{1} << 16;
  struct stat info {};
  if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0) {
    const off_t offset = std::max<off_t>(::lseek(fd, 0, SEEK_CUR), 0);
    // +1 so that the end is seen without growing the buffer.
    capacity = info.st_size > offset ? static_cast<std::size_t>(info.st_size - offset) + 1 : 1;
  }
  capacity = std::min(capacity, limit + 1);
  out.buffer_ = BigBuffer<char>(capacity, Access::kSequential);
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
