// ordwell-sort: sorts a list read from files or standard input with the same code as the window
// and writes the result on standard output.

#include <fcntl.h>
#include <getopt.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <new>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <type_traits>
#include <utility>
#include <vector>

#include "ordwell_version.h"
#include "sorting/sort_list.h"
#include "sorting/sorted_list.h"
#include "tools/ordwell-sort/stream_text.h"

namespace {

constexpr int kExitRefused = 1;
constexpr int kExitBadInput = 2;
constexpr int kExitFailure = 3;

constexpr std::u16string_view kLineBreak = u"\r\n";

constexpr std::string_view kUsage =
    "Usage: ordwell-sort [OPTION]... [FILE]...\n"
    "Sort the items of the FILEs in ascending order, ignoring letter case, and write them to\n"
    "standard output. Several FILEs make one list. With no FILE, or when FILE is -, read\n"
    "standard input.\n"
    "\n"
    "By default every line is an item. A line break at the end of a FILE ends its last item, a\n"
    "UTF-8 byte-order mark at its start is skipped, and the output ends with a line break.\n"
    "Input without the input separator is one item, written as it is; a warning says so when\n"
    "the separator is not a line break. Empty input writes nothing.\n"
    "\n"
    "Options:\n"
    "  -i, --input-separator=TEXT   the text between the items of the input\n"
    "                               (default: a line break)\n"
    "  -o, --output-separator=TEXT  the text to put between the items of the output\n"
    "                               (default: a line break)\n"
    "  -u, --unique                 of items equal but for letter case, write only the first\n"
    "  -r, --reverse                write the items in descending order\n"
    "      --exact                  sort as the window's Sort button does: the input is the list\n"
    "                               text as it is, the output has no line break added, and a\n"
    "                               list that is empty or lacks the input separator is refused\n"
    "  -h, --help                   display this help and exit\n"
    "      --version                output version information and exit\n"
    "\n"
    "In TEXT, \\n stands for a line break, \\t for a tab and \\\\ for a backslash; -i ', ' -o ', '\n"
    "gives the window's separators. Input and output are UTF-8; line breaks are LF on output\n"
    "(CR LF is accepted on input). Nothing is trimmed: a space next to a separator that is\n"
    "not part of it stays in the item.\n"
    "\n"
    "Exit status:\n"
    " 0  the list was sorted and written (also when it is one item, or empty)\n"
    " 1  --exact refused the list\n"
    " 2  a FILE could not be read, the input is not valid UTF-8, or the command line is wrong\n"
    " 3  the output could not be written, or memory ran out\n";

void Complain(const std::string& message) {
  const std::string line = "ordwell-sort: " + message + "\n";
  (void)!std::fwrite(line.data(), 1, line.size(), stderr);
}

// All of one input: mapped when it is a regular file, else read into memory.
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
          ::lseek(fd, 0, SEEK_END);  // consumed, as reading would leave it (standard input twice)
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
      case 'n': unescaped.push_back('\n'); break;
      case 't': unescaped.push_back('\t'); break;
      case '\\': unescaped.push_back('\\'); break;
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
  std::u16string inputSeparator{kLineBreak};
  std::u16string outputSeparator{kLineBreak};
  bool exact = false;
  bool unique = false;
  bool reverse = false;
  std::vector<std::string> files;  // none: standard input
};

// Parses the command line; returns an exit status when the program should stop here.
std::optional<int> ParseArguments(int argc, char** argv, Options& options) {
  enum : int { kExact = 256, kVersion };
  static const option kLongOptions[] = {
      {"input-separator", required_argument, nullptr, 'i'},
      {"output-separator", required_argument, nullptr, 'o'},
      {"unique", no_argument, nullptr, 'u'},
      {"reverse", no_argument, nullptr, 'r'},
      {"exact", no_argument, nullptr, kExact},
      {"help", no_argument, nullptr, 'h'},
      {"version", no_argument, nullptr, kVersion},
      {nullptr, 0, nullptr, 0},
  };
  opterr = 0;  // the messages below say more
  for (;;) {
    const int previous = optind;
    const int code = getopt_long(argc, argv, ":i:o:urh", kLongOptions, nullptr);
    if (code == -1) break;
    // The option as given: a long one from its argument, a short one (maybe in a group) by letter.
    const std::string_view raw = optind > previous ? argv[optind - 1] : argv[previous];
    std::string given(raw);
    if (given.starts_with("--")) {
      given = given.substr(0, given.find('='));
    } else if (optopt > 0 && optopt < 256) {
      given = std::string{'-', static_cast<char>(optopt)};
    }
    switch (code) {
      case 'i':
      case 'o': {
        std::string problem;
        std::optional<std::u16string> separator = ParseSeparator(optarg, problem);
        if (!separator) {
          Complain(problem);
          return kExitBadInput;
        }
        (code == 'i' ? options.inputSeparator : options.outputSeparator) = std::move(*separator);
        break;
      }
      case 'u': options.unique = true; break;
      case 'r': options.reverse = true; break;
      case kExact: options.exact = true; break;
      case 'h': return ordwell::cli::WriteAll(STDOUT_FILENO, kUsage) ? 0 : kExitFailure;
      case kVersion: {
        const std::string version = std::string("ordwell-sort ") + ordwell::version::kVersionString + "\n";
        return ordwell::cli::WriteAll(STDOUT_FILENO, version) ? 0 : kExitFailure;
      }
      case ':': Complain("option '" + given + "' needs a separator text (see --help)"); return kExitBadInput;
      default:
        // A known long option has its code in optopt; an unknown one has 0 there.
        if (raw.starts_with("--") && raw.find('=') != std::string_view::npos && optopt != 0) {
          Complain("option '" + given + "' takes no value (see --help)");
        } else {
          Complain("unknown option '" + given + "' (see --help)");
        }
        return kExitBadInput;
    }
  }
  for (int i = optind; i < argc; ++i) options.files.emplace_back(argv[i]);
  return std::nullopt;
}

// Returns the sorted items to write with --unique (the first of each run of equal keys) and
// --reverse applied.
template <typename List>
auto Arrange(const List& items, bool unique, bool reverse) {
  std::vector<std::remove_cvref_t<decltype(items[0])>> order;
  order.reserve(items.size());
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (!unique || order.empty() || !ordwell::EqualSortKeys(order.back(), items[i]))
      order.push_back(items[i]);
  }
  if (reverse) std::reverse(order.begin(), order.end());
  return order;
}

// Encodes items [from, to) with separators before all but item 0 into `out`, and `ending` after
// the last item of the list.
template <typename Items, typename Text, typename Writer>
void EncodeItems(const Items& items, Text separator, Text ending, std::size_t from, std::size_t to,
                 Writer& out) {
  // The items lie scattered over the list text; ask for each one a little ahead of its turn.
  constexpr std::size_t kAhead = 16;
  for (std::size_t i = from; i < to; ++i) {
    if (i + kAhead < to) __builtin_prefetch(items[i + kAhead].data());
    if (i != 0) out.Write(separator);
    out.Write(items[i]);
  }
  if (to == items.size()) out.Write(ending);
}

// Returns the first unit written from item `from` on (its separator first), or 0 when none is.
template <typename Items>
char16_t FirstUnitFrom(const Items& items, std::u16string_view separator, std::u16string_view ending,
                       std::size_t from) {
  if (from != 0 && !separator.empty()) return separator.front();
  for (std::size_t i = from; i < items.size(); ++i) {
    if (!items[i].empty()) return items[i].front();
    if (!separator.empty()) return separator.front();
  }
  return ending.empty() ? 0 : ending.front();
}

// Writes the items joined by `separator` (what SortListText gives), then `ending`, straight from
// the list text, so the joined text never exists as a whole. A large list's second half is
// encoded into memory on another core meanwhile.
template <typename Items>
bool WriteSorted(const Items& items, std::u16string_view separator, std::u16string_view ending) {
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
          EncodeItems(items, separator, ending, count / 2, count, memory);
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
  EncodeItems(items, separator, ending, 0, half, out);
  if (!out.Finish(half < count ? FirstUnitFrom(items, separator, ending, half) : 0)) return false;
  if (half == count) return true;
  helper.join();
  if (secondHalfDone) return ordwell::cli::WriteAll(STDOUT_FILENO, secondHalf);
  ordwell::cli::StreamWriter rest(STDOUT_FILENO);
  EncodeItems(items, separator, ending, half, count, rest);
  return rest.Finish();
}

// Writes `text` and then `ending` on standard output.
bool WriteText(std::u16string_view text, std::u16string_view ending) {
  ordwell::cli::StreamWriter out(STDOUT_FILENO);
  out.Write(text);
  out.Write(ending);
  return out.Finish();
}

// Returns `text` as it is written on standard output: UTF-8, each CR LF as LF.
std::string OutputBytes(std::u16string_view text) {
  std::string encoded;
  ordwell::cli::StreamWriter memory(&encoded, 64);
  memory.Write(text);
  memory.Finish();
  return encoded;
}

// Returns a separator as the user would write it on the command line.
std::string DescribeSeparator(std::u16string_view separator) {
  std::string described;
  for (const char c : OutputBytes(separator)) {
    if (c == '\n') {
      described += "\\n";
    } else if (c == '\t') {
      described += "\\t";
    } else if (c == '\\') {
      described += "\\\\";
    } else {
      described += c;
    }
  }
  return described;
}

// Reads one FILE (standard input for "-") into `input`; false with a message when it cannot.
bool ReadInput(const std::string& name, Input& input) {
  if (name == "-") {
    if (input.Load(STDIN_FILENO)) return true;
    Complain(std::string("cannot read standard input: ") + std::strerror(errno));
    return false;
  }
  const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
  const bool loaded = fd >= 0 && input.Load(fd);
  const int error = errno;
  if (fd >= 0) ::close(fd);
  if (!loaded) Complain("cannot read '" + name + "': " + std::strerror(error));
  return loaded;
}

// Returns the exit status after writing standard output; says why when `written` is false,
// before anything else can change errno.
int WriteStatus(bool written) {
  if (written) return 0;
  Complain(std::string("cannot write standard output: ") + std::strerror(errno));
  return kExitFailure;
}

// Says so when the input is one item because a separator other than a line break never occurs.
void WarnOneItem(const Options& options) {
  if (options.inputSeparator != kLineBreak && !options.inputSeparator.empty()) {
    Complain("warning: the input separator '" + DescribeSeparator(options.inputSeparator) +
             "' does not occur, so the input is one item (see -i in --help)");
  }
}

// Sorts the list straight from the bytes of `pieces`, joined by `separator`, which
// DirectSeparator found: the items are slices of the input, written as they are. Returns the
// exit status.
int SortAndWriteBytes(std::span<const std::string_view> pieces, const std::string& separator,
                      const Options& options) {
  std::string joined;
  std::string_view text = pieces.front();
  if (pieces.size() > 1) {
    for (std::size_t k = 0; k < pieces.size(); ++k) {
      if (k != 0) joined += separator;
      joined += pieces[k];
    }
    text = joined;
  }
  const std::optional<ordwell::SortedAsciiList> sorted = ordwell::SortedAsciiList::Sort(text, separator);
  const std::string outputSeparator = OutputBytes(options.outputSeparator);
  constexpr std::string_view kEnding = "\n";
  ordwell::cli::ByteWriter out(STDOUT_FILENO);
  if (!sorted) {
    WarnOneItem(options);
    out.Write(text);
    out.Write(kEnding);
  } else if (options.unique || options.reverse) {
    const auto order = Arrange(*sorted, options.unique, options.reverse);
    EncodeItems(order, std::string_view(outputSeparator), kEnding, 0, order.size(), out);
  } else {
    EncodeItems(*sorted, std::string_view(outputSeparator), kEnding, 0, sorted->size(), out);
  }
  return WriteStatus(out.Finish());
}

// Decodes the list, sorts it and writes it; the path for any input, and for --exact. The inputs,
// which `pieces` view, are released once decoded. Returns the exit status.
int DecodeSortAndWrite(std::span<const std::string_view> pieces, std::span<const std::size_t> pieceFile,
                       std::vector<std::unique_ptr<Input>> inputs, const Options& options) {
  // The list: the streams' texts joined by the input separator (with --exact, the bytes of the
  // inputs one after the other).
  const ordwell::cli::DecodedText list = ordwell::cli::DecodeStreamTexts(
      pieces, options.exact ? std::u16string_view() : std::u16string_view(options.inputSeparator));
  if (!list.valid) {
    const std::size_t k = pieceFile[list.errorPiece];
    const std::string& name = options.files[k];
    const std::size_t offset = list.errorOffset + static_cast<std::size_t>(pieces[list.errorPiece].data() -
                                                                           inputs[k]->Bytes().data());
    Complain((name == "-" ? std::string("standard input") : "'" + name + "'") +
             " is not valid UTF-8 (at byte offset " + std::to_string(offset) + ")");
    return kExitBadInput;
  }
  inputs.clear();
  const std::u16string_view ending = options.exact ? std::u16string_view() : kLineBreak;

  const std::optional<ordwell::SortedList> sorted =
      ordwell::SortedList::Sort(list.Text(), options.inputSeparator);
  bool written = false;
  if (!sorted) {
    if (options.exact) {
      // The message is ASCII.
      Complain(std::string(ordwell::kRefusalMessage.begin(), ordwell::kRefusalMessage.end()));
      return kExitRefused;
    }
    // The separator does not occur: the list is one item, sorted already.
    WarnOneItem(options);
    written = WriteText(list.Text(), ending);
  } else if (options.unique || options.reverse) {
    written = WriteSorted(Arrange(*sorted, options.unique, options.reverse), options.outputSeparator, ending);
  } else {
    written = WriteSorted(*sorted, options.outputSeparator, ending);
  }
  return WriteStatus(written);
}

int Run(int argc, char** argv) {
  Options options;
  if (const std::optional<int> status = ParseArguments(argc, argv, options)) return *status;
  if (options.files.empty()) options.files.emplace_back("-");

  std::vector<std::unique_ptr<Input>> inputs;
  std::vector<std::string_view> pieces;
  std::vector<std::size_t> pieceFile;
  for (std::size_t k = 0; k < options.files.size(); ++k) {
    inputs.push_back(std::make_unique<Input>());
    if (!ReadInput(options.files[k], *inputs.back())) return kExitBadInput;
    const std::string_view bytes = inputs.back()->Bytes();
    if (!options.exact && !ordwell::cli::StreamHasItems(bytes)) continue;
    pieces.push_back(options.exact ? bytes : ordwell::cli::StreamBody(bytes));
    pieceFile.push_back(k);
  }
  if (!options.exact && pieces.empty()) return 0;

  const std::optional<std::string> direct =
      options.exact ? std::nullopt : ordwell::cli::DirectSeparator(pieces, options.inputSeparator);
  if (direct) return SortAndWriteBytes(pieces, *direct, options);
  return DecodeSortAndWrite(pieces, pieceFile, std::move(inputs), options);
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
