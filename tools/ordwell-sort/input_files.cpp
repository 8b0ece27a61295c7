#include "tools/ordwell-sort/input_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <limits>

#include "io/posix_file.h"
#include "tools/ordwell-sort/messages.h"

namespace ordwell::cli {
namespace {

// No input is too large to try: memory running out is reported on its own.
constexpr std::size_t kNoLimit = std::numeric_limits<std::size_t>::max() / 2;

bool SameFileState(const struct stat& a, const struct stat& b) {
  return a.st_size == b.st_size && a.st_mtim.tv_sec == b.st_mtim.tv_sec &&
         a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

// Reads `fd` whole; for a regular file, also checks that it did not change meanwhile (a rewrite,
// a truncation by log rotation, an append), since the bytes read would then be a mix of versions.
bool ReadWhole(int fd, const std::string& name, io::OwnedBytes& bytes) {
  struct stat before {};
  const bool regular = ::fstat(fd, &before) == 0 && S_ISREG(before.st_mode);
  const off_t offset = regular ? ::lseek(fd, 0, SEEK_CUR) : 0;
  if (const int error = io::ReadAll(fd, kNoLimit, bytes); error != 0) {
    Complain("cannot read " + DescribeFile(name) + ": " + std::strerror(error));
    return false;
  }
  if (!regular) return true;
  struct stat after {};
  const bool unchanged = ::fstat(fd, &after) == 0 && SameFileState(before, after) &&
                         (offset < 0 || static_cast<off_t>(bytes.size()) == before.st_size - offset);
  if (!unchanged) {
    Complain(DescribeFile(name) + " changed while it was read; sort it again once nothing writes to it");
    return false;
  }
  return true;
}

}  // namespace

bool ReadInput(const std::string& name, io::OwnedBytes& bytes) {
  if (name == "-") return ReadWhole(STDIN_FILENO, name, bytes);
  const io::UniqueFd fd = io::Open(name.c_str(), O_RDONLY);
  if (!fd.valid()) {
    Complain("cannot read " + DescribeFile(name) + ": " + std::strerror(errno));
    return false;
  }
  return ReadWhole(fd.get(), name, bytes);
}

}  // namespace ordwell::cli
