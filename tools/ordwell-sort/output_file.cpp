#include "tools/ordwell-sort/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "io/posix_file.h"
#include "tools/ordwell-sort/messages.h"

namespace ordwell::cli {
namespace {

// Returns the real path behind `name` when it is a symbolic link that leads somewhere, else `name`.
std::string ResolveLink(const std::string& name) {
  struct stat info {};
  if (::lstat(name.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return name;
  const std::unique_ptr<char, decltype(&std::free)> real(::realpath(name.c_str(), nullptr), &std::free);
  return real != nullptr ? std::string(real.get()) : name;
}

// Returns the folder part of `path`, with its final slash ("" for the current folder).
std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

bool MakeStandardOutput(int fd) {
  if (fd == STDOUT_FILENO) return true;
  while (::dup2(fd, STDOUT_FILENO) < 0) {
    if (errno != EINTR) return false;
  }
  ::close(fd);
  return true;
}

}  // namespace

OutputFile::~OutputFile() {
  if (!temporary_.empty() && !committed_) ::unlink(temporary_.c_str());
}

bool OutputFile::Open(const std::string& name) {
  name_ = name;
  target_ = ResolveLink(name);
  const auto fail = [&](int error) {
    Complain("cannot create " + DescribeFile(name_) + ": " + std::strerror(error));
    if (!temporary_.empty()) ::unlink(temporary_.c_str());
    temporary_.clear();
    return false;
  };
  struct stat existing {};
  const bool exists = ::stat(target_.c_str(), &existing) == 0;
  if (exists && !S_ISREG(existing.st_mode)) {
    // Renaming would put a regular file in the place of a device or a pipe: write to it instead.
    const io::UniqueFd fd = io::Open(target_.c_str(), O_WRONLY | O_TRUNC);
    if (!fd.valid() || !MakeStandardOutput(fd.get())) return fail(errno);
    return true;
  }
  std::string pattern = FolderOf(target_) + ".ordwell-sort-XXXXXX";
  const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
  if (fd < 0) return fail(errno);
  temporary_ = pattern;
  // A new FILE gets the permissions the umask allows a new file; a replaced one keeps its own
  // (and its owner, where that is allowed).
  mode_t mode = 0666;
  if (exists) {
    mode = existing.st_mode & 07777;
    if (::fchown(fd, existing.st_uid, existing.st_gid) != 0) {
      // Only the owner may be changed by a user who is not root: keep the user's then.
    }
  } else {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    mode &= ~mask;
  }
  if (::fchmod(fd, mode) != 0 || !MakeStandardOutput(fd)) {
    const int error = errno;
    ::close(fd);
    return fail(error);
  }
  return true;
}

bool OutputFile::Commit() {
  committed_ = true;
  if (temporary_.empty()) return true;
  // The data reaches the disk before the name does, so a crash cannot leave an empty FILE.
  if (::fsync(STDOUT_FILENO) != 0 || ::rename(temporary_.c_str(), target_.c_str()) != 0) {
    const int error = errno;
    ::unlink(temporary_.c_str());
    Complain("cannot write " + DescribeFile(name_) + ": " + std::strerror(error));
    return false;
  }
  return true;
}

}  // namespace ordwell::cli
