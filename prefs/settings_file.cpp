#include "prefs/settings_file.h"

#include <atomic>
#include <cerrno>
#include <charconv>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include "prefs/ini_text.h"

namespace ordwell::prefs {
namespace {

// Owns a file descriptor and closes it on scope exit.
class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  Fd(Fd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  Fd& operator=(Fd&&) = delete;
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  // Closes now and reports whether the close succeeded (it can report a late write error).
  bool Close() {
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0;
  }

 private:
  int fd_;
};

// Opens for reading without ever blocking: a FIFO or device at the path must not hang the caller.
Fd OpenForReading(const std::filesystem::path& file) {
  return Fd(::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
}

bool IsRegularFile(int fd, struct stat* info) { return ::fstat(fd, info) == 0 && S_ISREG(info->st_mode); }

// Reads up to `size` bytes, retrying interrupted calls; returns the count, 0 at the end, -1 on error.
ssize_t ReadSome(int fd, char* data, std::size_t size) {
  for (;;) {
    const ssize_t n = ::read(fd, data, size);
    if (n >= 0 || errno != EINTR) return n;
  }
}

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

// The settings file a path stands for: a symbolic link is followed, so the link stays and its
// target gets the new content.
std::filesystem::path ResolveTarget(const std::filesystem::path& file) {
  std::error_code ec;
  if (std::filesystem::is_symlink(file, ec)) {
    std::filesystem::path target = std::filesystem::canonical(file, ec);
    if (!ec) return target;
  }
  return file;
}

// Creates a new, empty temporary file next to `target`; its name starts with a dot and the
// target's name so a leftover from a crash is easy to recognise.
Fd CreateTemporaryNextTo(const std::filesystem::path& target, std::filesystem::path* created) {
  static std::atomic<unsigned> counter{0};
  std::string stem(".");
  stem.append(target.filename().string()).append(".").append(std::to_string(::getpid())).append("-");
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::filesystem::path candidate = target;
    candidate.replace_filename(stem + std::to_string(counter++) + ".tmp");
    Fd fd(::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666));
    if (fd.valid()) {
      *created = std::move(candidate);
      return fd;
    }
    if (errno != EEXIST) break;
  }
  return Fd(-1);
}

// Flushes the folder entry of a rename to disk; a folder that cannot be opened or flushed
// (some file systems refuse) leaves the rename merely not yet durable, which is no failure.
void SyncFolderOf(const std::filesystem::path& target) {
  std::filesystem::path folder = target.parent_path();
  if (folder.empty()) folder = ".";
  const Fd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.valid()) ::fsync(dir.get());
}

// Whether the caller may replace the existing file `file`, described by `info`: it must pass the
// kernel's write-permission check for the caller's effective ids, and some write bit must be set,
// since root passes that check for any file and a file nobody may write is meant to stay as it is.
bool MayWrite(const std::filesystem::path& file, const struct stat& info) {
  return (info.st_mode & 0222) != 0 && ::faccessat(AT_FDCWD, file.c_str(), W_OK, AT_EACCESS) == 0;
}

// Returns the process id in the name of a temporary this writer makes for `target`,
// ".<name>.<pid>-<n>.tmp", or 0 when `name` is not such a temporary.
pid_t TemporaryOwner(std::string_view name, std::string_view target) {
  const auto digits = [&name](char end) {
    std::size_t n = 0;
    while (n < name.size() && name[n] >= '0' && name[n] <= '9') ++n;
    if (n == 0 || n >= name.size() || name[n] != end) return std::string_view();
    std::string_view taken = name.substr(0, n);
    name.remove_prefix(n + 1);
    return taken;
  };
  if (!name.starts_with('.')) return 0;
  name.remove_prefix(1);
  if (!name.starts_with(target)) return 0;
  name.remove_prefix(target.size());
  if (!name.starts_with('.')) return 0;
  name.remove_prefix(1);
  const std::string_view pid = digits('-');
  if (pid.empty() || digits('.').empty() || name != "tmp") return 0;
  pid_t value = 0;
  const auto [end, ec] = std::from_chars(pid.data(), pid.data() + pid.size(), value);
  return ec == std::errc() && end == pid.data() + pid.size() ? value : 0;
}

// Removes the temporaries next to `target` that writers left behind when they were killed: those
// named after the target whose process no longer runs. Another process of this program may be
// writing right now, so a live id, or one that cannot be checked, keeps its file.
void RemoveStaleTemporaries(const std::filesystem::path& target) {
  std::filesystem::path folder = target.parent_path();
  if (folder.empty()) folder = ".";
  const std::string name = target.filename().string();
  std::error_code ec;
  for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const pid_t owner = TemporaryOwner(it->path().filename().native(), name);
    if (owner <= 0 || owner == ::getpid()) continue;
    struct stat info {};
    if (::lstat(it->path().c_str(), &info) != 0 || !S_ISREG(info.st_mode)) continue;
    if (::kill(owner, 0) == -1 && errno == ESRCH) ::unlink(it->path().c_str());
  }
}

}  // namespace

std::optional<std::string> ReadStoredValue(const std::filesystem::path& file, std::string_view section,
                                           std::string_view key) {
  // The settings file is small; reading it whole lets the reader and the writer share one parse.
  const FileContents contents = ReadWholeFile(file);
  if (contents.state != FileContents::State::Read) return std::nullopt;
  const std::optional<std::string_view> value = FindValue(contents.bytes, section, key);
  if (!value) return std::nullopt;
  return std::string(*value);
}

FileContents ReadWholeFile(const std::filesystem::path& file) {
  const Fd fd = OpenForReading(file);
  if (!fd.valid()) {
    return {errno == ENOENT ? FileContents::State::Missing : FileContents::State::Unusable, {}};
  }
  struct stat info {};
  if (!IsRegularFile(fd.get(), &info) || static_cast<std::size_t>(info.st_size) > kMaxFileBytes) {
    return {FileContents::State::Unusable, {}};
  }
  FileContents contents{FileContents::State::Read, {}, MayWrite(file, info)};
  contents.bytes.resize(static_cast<std::size_t>(info.st_size));
  std::size_t filled = 0;
  // The file may grow or shrink while it is read; read until the end, within the limit.
  for (;;) {
    if (filled == contents.bytes.size()) contents.bytes.resize(filled + 4096);
    const ssize_t n = ReadSome(fd.get(), contents.bytes.data() + filled, contents.bytes.size() - filled);
    if (n < 0) return {FileContents::State::Unusable, {}};
    if (n == 0) break;
    filled += static_cast<std::size_t>(n);
    if (filled > kMaxFileBytes) return {FileContents::State::Unusable, {}};
  }
  contents.bytes.resize(filled);
  return contents;
}

bool ReplaceFileContents(const std::filesystem::path& file, std::string_view bytes) {
  const std::filesystem::path target = ResolveTarget(file);
  if (!target.has_filename()) return false;

  struct stat old {};
  const bool hadFile = ::stat(target.c_str(), &old) == 0;
  if (hadFile && (!S_ISREG(old.st_mode) || !MayWrite(target, old))) return false;

  std::filesystem::path temporary;
  Fd fd = CreateTemporaryNextTo(target, &temporary);
  if (!fd.valid()) return false;

  bool ok = true;
  if (hadFile) {
    // Handing the file back to its owner only works for root or within the owner's groups, so
    // a failure there is no failure of the write. It goes first because it clears set-id bits.
    (void)!::fchown(fd.get(), old.st_uid, old.st_gid);
    ok = ::fchmod(fd.get(), old.st_mode & 07777) == 0;
  }
  ok = ok && WriteAll(fd.get(), bytes) && ::fsync(fd.get()) == 0;
  ok = fd.Close() && ok;
  ok = ok && ::rename(temporary.c_str(), target.c_str()) == 0;
  if (!ok) {
    ::unlink(temporary.c_str());
    return false;
  }
  SyncFolderOf(target);
  RemoveStaleTemporaries(target);
  return true;
}

}  // namespace ordwell::prefs
