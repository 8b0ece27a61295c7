// ordwell-sort: sorts the list read on standard input with the same code as the window and writes
// the result on standard output.

#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <tuple>
#include <utility>

#include "ordwell_version.h"
#include "sorting/sort_list.h"
#include "sorting/sorted_list.h"
#include "tools/ordwell-sort/stream_text.h"

namespace {

constexpr int kExitRefused = 1;
constexpr int kExitBadInput = 2;
constexpr int kExitFailure = 3;

constexpr std::string_view kUsage =
    "Usage: ordwell-sort [OPTION]... < LIST > SORTED\n"
    "Sorts the items of the list on standard input in ascending order, ignoring letter case,\n"
    "and writes them to standard output.\n"
    "\n"
    "  -i, --input-separator TEXT   the text between the items of the input (default \", \")\n"
    "  -o, --output-separator TEXT  the text to put between the items of the output (default \", \")\n"
    "      --help                   show this help and exit\n"
    "      --version                show the version and exit\n"
    "\n"
    "In TEXT, \\n stands for a line break, \\t for a tab and \\\\ for a backslash.\n"
    "Input and output are UTF-8; line breaks are LF (CR LF is accepted on input).\n"
    "Empty items are kept: a line break at the end of a line-per-item list is an empty last item,\n"
    "which sorts first.\n"
    "\n"
    "Exit status: 0 when sorted, 1 when the list is refused (empty, or without the input\n"
    "separator), 2 for input that is not valid UTF-8 or a wrong command line.\n";

void Complain(const std::string& message) {
  const std::string line = "ordwell-sort: " + message + "\n";
  (void)!std::fwrite(line.data(), 1, line.size(), stderr);
}

bool WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t written = ::write(fd, data.data(), data.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

// All of standard input: mapped when it is a regular file, else read into memory.
class Input {
 public:
  Input() = default;
  Input(const Input&) = delete;
  Input& operator=(const Input&) = delete;
  ~Input() {
    if (mapped_ != nullptr) ::munmap(mapped_, mappedSize_);
  }

  // Takes in all of `fd`; false (with errno set) when reading fails.
  bool Load(int fd) {
    struct stat info {};
    std::size_t capacity = 1 << 16;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0) {
      const off_t offset = ::lseek(fd, 0, SEEK_CUR);
      const auto size = static_cast<std::size_t>(info.st_size);
      if (offset == 0) {
        void* mapped = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
        if (mapped != MAP_FAILED) {
          mapped_ = mapped;
          mappedSize_ = size;
          return true;
        }
      }
      capacity = size + 1;
    }
    data_.resize(capacity);
    std::size_t used = 0;
    for (;;) {
      if (used == data_.size()) data_.resize(data_.size() * 2);
      const ssize_t got = ::read(fd, data_.data() + used, data_.size() - used);
      if (got < 0) {
        if (errno == EINTR) continue;
        return false;
      }
      if (got == 0) break;
      used += static_cast<std::size_t>(got);
    }
    data_.resize(used);
    return true;
  }

  std::string_view Bytes() const {
    if (mapped_ != nullptr) return {static_cast<const char*>(mapped_), mappedSize_};
    return data_;
  }

 private:
  std::string data_;
  void* mapped_ = nullptr;
  std::size_t mappedSize_ = 0;
};

// Turns an argument into a separator: \n, \t and \\ escapes, LF as CR LF; nullopt with a message
// in `problem` when the text is not valid.
std::optional<std::u16string> ParseSeparator(std::string_view argument, std::string& problem) {
  std::string unescaped;
  for (std::size_t i = 0; i < argument.size(); ++i) {
    if (argument[i] != '\\') {
      unescaped.push_back(argument[i]);
      continue;
    }
    if (++i == argument.size()) {
      problem = "a separator cannot end with a single backslash (write \\\\ for a backslash)";
      return std::nullopt;
    }
    switch (argument[i]) {
      case 'n':
        unescaped.push_back('\n');
        break;
      case 't':
        unescaped.push_back('\t');
        break;
      case '\\':
        unescaped.push_back('\\');
        break;
      default:
        problem = std::string("unknown escape \\") + argument[i] + " in a separator (known: \\n, \\t, \\\\)";
        return std::nullopt;
    }
  }
  ordwell::cli::DecodedText decoded = ordwell::cli::DecodeStreamText(unescaped);
  if (!decoded.valid) {
    problem = "a separator is not valid UTF-8";
    return std::nullopt;
  }
  return std::u16string(decoded.Text());
}

struct Options {
  std::u16string inputSeparator = u", ";
  std::u16string outputSeparator = u", ";
};

// Parses the command line; returns an exit status when the program should stop here.
std::optional<int> ParseArguments(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (argument == "--help") {
      return WriteAll(STDOUT_FILENO, kUsage) ? 0 : kExitFailure;
    }
    if (argument == "--version") {
      const std::string version = std::string("ordwell-sort ") + ordwell::version::kVersionString + "\n";
      return WriteAll(STDOUT_FILENO, version) ? 0 : kExitFailure;
    }
    std::u16string* target = nullptr;
    std::optional<std::string_view> value;
    for (const auto& [shortName, longName, field] :
         {std::tuple{"-i", "--input-separator", &options.inputSeparator},
          std::tuple{"-o", "--output-separator", &options.outputSeparator}}) {
      const std::string_view longPrefix = longName;
      if (argument == shortName || argument == longPrefix) {
        target = field;
        if (i + 1 < argc) value = argv[++i];
      } else if (argument.starts_with(longPrefix) && argument.size() > longPrefix.size() &&
                 argument[longPrefix.size()] == '=') {
        target = field;
        value = argument.substr(longPrefix.size() + 1);
      }
    }
    if (target == nullptr) {
      Complain("unknown option '" + std::string(argument) + "' (see --help)");
      return kExitBadInput;
    }
    if (!value) {
      Complain("option '" + std::string(argument) + "' needs a separator text (see --help)");
      return kExitBadInput;
    }
    std::string problem;
    std::optional<std::u16string> separator = ParseSeparator(*value, problem);
    if (!separator) {
      Complain(problem);
      return kExitBadInput;
    }
    *target = std::move(*separator);
  }
  return std::nullopt;
}

// Encodes items [from, to) with separators before all but item 0 into `out`.
void EncodeItems(const ordwell::SortedList& items, std::u16string_view separator, std::size_t from,
                 std::size_t to, ordwell::cli::StreamWriter& out) {
  // The items lie scattered over the list text; ask for each one a little ahead of its turn.
  constexpr std::size_t kAhead = 16;
  for (std::size_t i = from; i < to; ++i) {
    if (i + kAhead < to) __builtin_prefetch(items[i + kAhead].data());
    if (i != 0) out.Write(separator);
    out.Write(items[i]);
  }
}

// Returns the first unit written from item `from` on (its separator first), or 0 when none is.
char16_t FirstUnitFrom(const ordwell::SortedList& items, std::u16string_view separator, std::size_t from) {
  if (from != 0 && !separator.empty()) return separator.front();
  for (std::size_t i = from; i < items.size(); ++i) {
    if (!items[i].empty()) return items[i].front();
    if (!separator.empty()) return separator.front();
  }
  return 0;
}

// Writes the items joined by `separator` (what SortListText gives) straight from the list text,
// so the joined text never exists as a whole. A large list's second half is encoded into memory
// on another core meanwhile.
bool WriteSorted(const ordwell::SortedList& items, std::u16string_view separator) {
  constexpr std::size_t kMinItemsToSplit = 100'000;
  const std::size_t count = items.size();
  std::size_t half = count;
  std::string secondHalf;
  bool secondHalfDone = false;
  std::jthread helper;
  if (count >= kMinItemsToSplit && std::thread::hardware_concurrency() > 1) {
    try {
      helper = std::jthread([&] {
        try {
          ordwell::cli::StreamWriter memory(&secondHalf);
          EncodeItems(items, separator, count / 2, count, memory);
          secondHalfDone = memory.Finish();
        } catch (const std::bad_alloc&) {
          secondHalf.clear();  // this thread's work is redone below
        }
      });
      half = count / 2;
    } catch (const std::system_error&) {
      // No thread to spare: everything is written from here.
    }
  }
  ordwell::cli::StreamWriter out(STDOUT_FILENO);
  EncodeItems(items, separator, 0, half, out);
  if (!out.Finish(half < count ? FirstUnitFrom(items, separator, half) : 0)) return false;
  if (half == count) return true;
  helper.join();
  if (secondHalfDone) return WriteAll(STDOUT_FILENO, secondHalf);
  ordwell::cli::StreamWriter rest(STDOUT_FILENO);
  EncodeItems(items, separator, half, count, rest);
  return rest.Finish();
}

int Run(int argc, char** argv) {
  Options options;
  if (const std::optional<int> status = ParseArguments(argc, argv, options)) return *status;

  ordwell::cli::DecodedText list;
  {
    Input input;
    if (!input.Load(STDIN_FILENO)) {
      Complain(std::string("cannot read standard input: ") + std::strerror(errno));
      return kExitFailure;
    }
    list = ordwell::cli::DecodeStreamText(input.Bytes());
  }
  if (!list.valid) {
    Complain("the input is not valid UTF-8 (at byte offset " + std::to_string(list.errorOffset) + ")");
    return kExitBadInput;
  }
  const std::optional<ordwell::SortedList> sorted =
      ordwell::SortedList::Sort(list.Text(), options.inputSeparator);
  if (!sorted) {
    // The message is ASCII.
    Complain(std::string(ordwell::kRefusalMessage.begin(), ordwell::kRefusalMessage.end()));
    return kExitRefused;
  }
  if (!WriteSorted(*sorted, options.outputSeparator)) {
    Complain(std::string("cannot write standard output: ") + std::strerror(errno));
    return kExitFailure;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Run(argc, argv);
  } catch (const std::bad_alloc&) {
    Complain("not enough memory for this list");
  } catch (const std::length_error& error) {
    Complain(std::string("the list is too long: ") + error.what());
    return kExitBadInput;
  } catch (const std::exception& error) {
    Complain(error.what());
  }
  return kExitFailure;
}
