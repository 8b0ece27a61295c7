#include "tools/ordwell-sort/options.h"

#include <getopt.h>
#include <unistd.h>

#include <utility>

#include "io/posix_file.h"
#include "ordwell_version.h"
#include "tools/ordwell-sort/messages.h"
#include "tools/ordwell-sort/stream_decode.h"

namespace ordwell::cli {
namespace {

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

}  // namespace

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
  DecodedText decoded = DecodeStreamText(unescaped);
  if (!decoded.valid) {
    problem = "a separator is not valid UTF-8";
    return std::nullopt;
  }
  return std::u16string(decoded.Text());
}

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
      case 'h': return io::WriteAll(STDOUT_FILENO, kUsage) ? 0 : kExitFailure;
      case kVersion: {
        const std::string version = std::string("ordwell-sort ") + ordwell::version::kVersionString + "\n";
        return io::WriteAll(STDOUT_FILENO, version) ? 0 : kExitFailure;
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

}  // namespace ordwell::cli
