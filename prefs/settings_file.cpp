#include "prefs/settings_file.h"

#include <atomic>
#include <cerrno>
#include <charconv>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <utility>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "prefs/ini_text.h"
#include "prefs/settings_error.h"

namespace ordwell::prefs {
namespace {

namespace fs = std::filesystem;

static_assert(kMaxFileBytes == std::size_t{16} * 1024 * 1024,
              "SettingsErrc::TooLarge's message names the limit");

// The error of the system call that just failed, taken before anything else can change errno.
std::error_code LastError() { return {errno, std::generic_category()}; }

// Why a file described by `info` cannot be a settings file; empty when it can.
std::error_code KindError(const struct stat& info) {
  if (S_ISDIR(info.st_mode)) return std::make_error_code(std::errc::is_a_directory);
  if (!S_ISREG(info.st_mode)) return SettingsErrc::NotRegularFile;
  return {};
}

// Why the caller may not replace the existing file `file`, described by `info`; empty when it
// may. It must pass the kernel's write-permission check for the caller's effective ids, and some
// write bit must be set, since root passes that check for any file and a file nobody may write is
// meant to stay as it is.
std::error_code WriteRefusal(const fs::path& file, const struct stat& info) {
  if ((info.st_mode & 0222) == 0) return std::make_error_code(std::errc::permission_denied);
  if (::faccessat(AT_FDCWD, file.c_str(), W_OK, AT_EACCESS) != 0) return LastError();
  return {};
}

// What this process writes into the names of its temporaries so that another writer can tell
// whether it could still be running: the boot it runs in and its PID namespace. A process id says
// nothing across reboots or from another namespace. "x" stands for what could not be found out.
struct WriterTag {
  std::string boot = "x";  // the boot id's 32 hex digits
  std::string pidNamespace = "x";

  static const WriterTag& OfThisProcess() {
    static const WriterTag tag = Find();
    return tag;
  }

 private:
  static WriterTag Find() {
    WriterTag tag;
    const io::UniqueFd fd = io::Open("/proc/sys/kernel/random/boot_id", O_RDONLY | O_NOCTTY);
    char text[64];
    const ssize_t n = fd.valid() ? io::ReadSome(fd.get(), text, sizeof text) : -1;
    std::string boot;
    for (ssize_t i = 0; i < n; ++i) {
      const char c = text[i];
      if ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')) boot.push_back(c);
    }
    if (boot.size() == 32) tag.boot = boot;
    struct stat ns {};
    if (::stat("/proc/self/ns/pid", &ns) == 0) tag.pidNamespace = std::to_string(ns.st_ino);
    return tag;
  }
};

// Takes a run of decimal digits ended by `end` from the front of `name`; empty when there is none.
std::string_view TakeDigits(std::string_view& name, char end) {
  std::size_t n = 0;
  while (n < name.size() && name[n] >= '0' && name[n] <= '9') ++n;
  if (n == 0 || n >= name.size() || name[n] != end) return {};
  const std::string_view taken = name.substr(0, n);
  name.remove_prefix(n + 1);
  return taken;
}

// Returns the process id in the name of a temporary this writer makes for `target`,
// ".<target>.<boot>-<pid namespace>-<pid>-<n>.tmp", when the writer ran in this boot and this PID
// namespace, where the id can be checked; 0 for any other name.
pid_t TemporaryOwner(std::string_view name, std::string_view target, const WriterTag& mine) {
  if (!name.starts_with('.')) return 0;
  name.remove_prefix(1);
  if (!name.starts_with(target)) return 0;
  name.remove_prefix(target.size());
  if (!name.starts_with('.')) return 0;
  name.remove_prefix(1);
  if (mine.boot == "x" || !name.starts_with(mine.boot)) return 0;
  name.remove_prefix(mine.boot.size());
  if (!name.starts_with('-')) return 0;
  name.remove_prefix(1);
  if (TakeDigits(name, '-') != mine.pidNamespace) return 0;
  const std::string_view pid = TakeDigits(name, '-');
  if (pid.empty() || TakeDigits(name, '.').empty() || name != "tmp") return 0;
  pid_t value = 0;
  const auto [end, ec] = std::from_chars(pid.data(), pid.data() + pid.size(), value);
  return ec == std::errc() && end == pid.data() + pid.size() ? value : 0;
}

// Creates a new, empty temporary file next to `target`; its name starts with a dot and the
// target's name so a leftover from a crash is easy to recognise, and carries the writer's tag.
io::UniqueFd CreateTemporaryNextTo(const fs::path& target, fs::path& created, std::error_code& error) {
  static std::atomic<unsigned> counter{0};
  const WriterTag& tag = WriterTag::OfThisProcess();
  std::string stem(".");
  stem.append(target.filename().native()).append(".").append(tag.boot).append("-").append(tag.pidNamespace);
  stem.append("-").append(std::to_string(::getpid())).append("-");
  for (int attempt = 0; attempt < 100; ++attempt) {
    fs::path candidate = target;
    candidate.replace_filename(stem + std::to_string(counter++) + ".tmp");
    io::UniqueFd fd = io::Open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOCTTY, 0666);
    if (fd.valid()) {
      created = std::move(candidate);
      return fd;
    }
    if (errno != EEXIST) break;
  }
  error = LastError();
  return {};
}

fs::path FolderOf(const fs::path& target) {
  const fs::path folder = target.parent_path();
  return folder.empty() ? fs::path(".") : folder;
}

// Flushes the folder entry of a rename to disk; a folder that cannot be opened or flushed
// (some file systems refuse) leaves the rename merely not yet durable, which is no failure.
void SyncFolderOf(const fs::path& target) {
  const io::UniqueFd dir = io::Open(FolderOf(target).c_str(), O_RDONLY | O_DIRECTORY);
  if (dir.valid()) ::fsync(dir.get());
}

// Removes the temporaries next to `target` that writers left behind when they were killed: those
// named after the target whose process provably no longer runs. Another process of this program
// may be writing right now, so a live id, or a name from another boot or PID namespace, or one
// that cannot be read, keeps its file.
void RemoveStaleTemporaries(const fs::path& target) {
  const std::string name = target.filename().native();
  const WriterTag& mine = WriterTag::OfThisProcess();
  std::error_code ec;
  for (fs::directory_iterator it(FolderOf(target), ec), end; !ec && it != end; it.increment(ec)) {
    const pid_t owner = TemporaryOwner(it->path().filename().native(), name, mine);
    if (owner <= 0 || owner == ::getpid()) continue;
    struct stat info {};
    if (::lstat(it->path().c_str(), &info) != 0 || !S_ISREG(info.st_mode)) continue;
    if (::kill(owner, 0) == -1 && errno == ESRCH) ::unlink(it->path().c_str());
  }
}

}  // namespace

std::optional<std::string> ReadStoredValue(const fs::path& file, std::string_view section,
                                           std::string_view key) {
  // The settings file is small; reading it whole lets the reader and the writer share one parse.
  const FileContents contents = ReadWholeFile(file);
  if (contents.state != FileContents::State::Read) return std::nullopt;
  const std::optional<std::string_view> value = FindValue(contents.bytes, section, key);
  if (!value) return std::nullopt;
  return std::string(*value);
}

FileContents ReadWholeFile(const fs::path& file) {
  // Opened without blocking: a FIFO or device at the path must not hang the caller.
  const io::UniqueFd fd = io::Open(file.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY);
  if (!fd.valid()) {
    const std::error_code error = LastError();
    if (error == std::errc::no_such_file_or_directory) return {};
    return {FileContents::State::Unusable, {}, error, {}};
  }
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0) return {FileContents::State::Unusable, {}, LastError(), {}};
  if (const std::error_code kind = KindError(info)) return {FileContents::State::Unusable, {}, kind, {}};
  if (static_cast<std::size_t>(info.st_size) > kMaxFileBytes) {
    return {FileContents::State::Unusable, {}, SettingsErrc::TooLarge, {}};
  }
  // The file may grow or shrink while it is read; what read() returns counts, within the limit.
  io::OwnedBytes bytes;
  const int error = io::ReadAll(fd.get(), kMaxFileBytes, bytes);
  if (error == EFBIG) return {FileContents::State::Unusable, {}, SettingsErrc::TooLarge, {}};
  if (error != 0) return {FileContents::State::Unusable, {}, {error, std::generic_category()}, {}};
  return {FileContents::State::Read, std::string(bytes.view()), {}, WriteRefusal(file, info)};
}

fs::path ResolveTarget(const fs::path& file, std::error_code& error) {
  error.clear();
  fs::path path = file;
  // As many links as the kernel itself follows before it gives up with ELOOP.
  for (int hops = 0; hops < 40; ++hops) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
    const fs::path link = fs::read_symlink(path, error);
    if (error) return {};
    path = link.is_absolute() ? link : path.parent_path() / link;
  }
  error = std::make_error_code(std::errc::too_many_symbolic_link_levels);
  return {};
}

std::error_code ReplaceFileContents(const fs::path& file, std::string_view bytes) {
  std::error_code error;
  const fs::path target = ResolveTarget(file, error);
  if (error) return error;
  if (!target.has_filename()) return std::make_error_code(std::errc::is_a_directory);

  struct stat old {};
  const bool hadFile = ::stat(target.c_str(), &old) == 0;
  if (!hadFile && errno != ENOENT) return LastError();
  if (hadFile) {
    if (const std::error_code refusal = KindError(old)) return refusal;
    if (const std::error_code refusal = WriteRefusal(target, old)) return refusal;
  }

  fs::path temporary;
  io::UniqueFd fd = CreateTemporaryNextTo(target, temporary, error);
  if (!fd.valid()) return error;

  const auto fail = [&](std::error_code why) {
    ::unlink(temporary.c_str());
    return why;
  };
  if (hadFile) {
    // Handing the file back to its owner only works for root or within the owner's groups, so
    // a failure there is no failure of the write. It goes first because it clears set-id bits.
    (void)!::fchown(fd.get(), old.st_uid, old.st_gid);
    if (::fchmod(fd.get(), old.st_mode & 07777) != 0) return fail(LastError());
  }
  if (!io::WriteAll(fd.get(), bytes) || ::fsync(fd.get()) != 0) return fail(LastError());
  if (!fd.Close()) return fail(LastError());
  if (::rename(temporary.c_str(), target.c_str()) != 0) return fail(LastError());
  SyncFolderOf(target);
  RemoveStaleTemporaries(target);
  return {};
}

FileLock FileLock::Acquire(const fs::path& file, std::chrono::milliseconds wait) {
  FileLock lock;
  const fs::path target = ResolveTarget(file, lock.error_);
  if (lock.error_) return lock;
  fs::path path = target;
  path.replace_filename("." + target.filename().native() + ".lock");
  // Someone else's lock file may be readable only; flock works on a descriptor opened to read.
  constexpr int kFlags = O_NOFOLLOW | O_NONBLOCK | O_NOCTTY;
  io::UniqueFd fd = io::Open(path.c_str(), O_RDWR | O_CREAT | kFlags, 0666);
  if (!fd.valid() && errno == EACCES) fd = io::Open(path.c_str(), O_RDONLY | kFlags);
  if (!fd.valid()) {
    lock.error_ = LastError();
    return lock;
  }
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
    lock.error_ = SettingsErrc::NotRegularFile;
    return lock;
  }
  const auto deadline = std::chrono::steady_clock::now() + wait;
  for (;;) {
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) == 0) {
      lock.fd_ = std::move(fd);
      return lock;
    }
    if (errno != EWOULDBLOCK && errno != EINTR) {
      lock.error_ = LastError();
      return lock;
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      lock.error_ = SettingsErrc::LockBusy;
      return lock;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

}  // namespace ordwell::prefs
