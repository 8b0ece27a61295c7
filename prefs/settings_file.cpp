#include "prefs/settings_file.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <string>
#include <system_error>
#include <utility>

#include <fcntl.h>
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

// Gathers the bytes of one line, keeping at most kMaxFileBytes of it.
class LineBuffer {
 public:
  void Append(std::string_view bytes) {
    const std::size_t room = kMaxFileBytes - line_.size();
    if (bytes.size() > room) overlong_ = true;
    line_.append(bytes.substr(0, room));
  }
  // Returns the line without a CR that ended it before the LF.
  std::string_view Content(bool endedByLf) const {
    std::string_view content = line_;
    if (endedByLf && !overlong_ && content.ends_with('\r')) content.remove_suffix(1);
    return content;
  }
  bool overlong() const { return overlong_; }
  void Clear() {
    line_.clear();
    overlong_ = false;
  }

 private:
  std::string line_;
  bool overlong_ = false;
};

}  // namespace

std::optional<std::string> ReadStoredValue(const std::filesystem::path& file, std::string_view section,
                                           std::string_view key) {
  const Fd fd = OpenForReading(file);
  struct stat info {};
  if (!fd.valid() || !IsRegularFile(fd.get(), &info)) return std::nullopt;

  ValueLookup lookup(section, key);
  LineBuffer line;
  bool firstLine = true;
  // Hands one complete line to the lookup; says whether the search is over, and with what.
  auto finishLine = [&](bool endedByLf, std::optional<std::string>* result) {
    std::string_view content = line.Content(endedByLf);
    if (firstLine && content.starts_with(kUtf8Bom)) content.remove_prefix(kUtf8Bom.size());
    firstLine = false;
    const ValueLookup::Step step = lookup.Feed(content);
    if (step == ValueLookup::Step::Found) {
      // A value cut at the buffer's end would come back corrupted; it reads as not there.
      if (!line.overlong()) *result = std::string(lookup.Value());
      return true;
    }
    line.Clear();
    return step == ValueLookup::Step::NotThere;
  };

  std::array<char, 64 * 1024> chunk{};
  bool pending = false;  // bytes of an unfinished line are in `line`
  for (;;) {
    const ssize_t n = ReadSome(fd.get(), chunk.data(), chunk.size());
    if (n < 0) return std::nullopt;
    if (n == 0) break;
    std::string_view bytes(chunk.data(), static_cast<std::size_t>(n));
    for (std::size_t lf = bytes.find('\n'); lf != std::string_view::npos; lf = bytes.find('\n')) {
      line.Append(bytes.substr(0, lf));
      bytes.remove_prefix(lf + 1);
      pending = false;
      std::optional<std::string> result;
      if (finishLine(true, &result)) return result;
    }
    if (!bytes.empty()) {
      line.Append(bytes);
      pending = true;
    }
  }
  std::optional<std::string> result;
  if (pending) finishLine(false, &result);
  return result;
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
  FileContents contents{FileContents::State::Read, {}};
  contents.bytes.resize(static_cast<std::size_t>(info.st_size));
  std::size_t filled = 0;
  // The file may grow or shrink while it is read; read until the end, within the limit.
  for (;;) {
    if (filled == contents.bytes.size()) {
      if (filled > kMaxFileBytes) return {FileContents::State::Unusable, {}};
      contents.bytes.resize(filled + 4096);
    }
    const ssize_t n = ReadSome(fd.get(), contents.bytes.data() + filled, contents.bytes.size() - filled);
    if (n < 0) return {FileContents::State::Unusable, {}};
    if (n == 0) break;
    filled += static_cast<std::size_t>(n);
  }
  contents.bytes.resize(filled);
  return contents;
}

bool ReplaceFileContents(const std::filesystem::path& file, std::string_view bytes) {
  const std::filesystem::path target = ResolveTarget(file);
  if (!target.has_filename()) return false;

  struct stat old {};
  const bool hadFile = ::stat(target.c_str(), &old) == 0;
  if (hadFile && !S_ISREG(old.st_mode)) return false;

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
  return true;
}

}  // namespace ordwell::prefs
