#include "tools/ordwell-sort/options.h"

#include <getopt.h>
#include <unistd.h>

#include <string>
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
    "  -o, --output=FILE            write the result to FILE, not standard output; FILE is\n"
    "                               replaced only once the whole result is written, so it\n"
    "                               may be one of the input FILEs; it keeps its permissions\n"
    "  -t, --input-separator=TEXT   the text between the items of the input\n"
    "                               (default: a line break)\n"
    "  -j, --output-separator=TEXT  the text to join the items of the output with\n"
    "                               (default: a line break)\n"
    "  -z, --zero-terminated        items end with NUL, not a line break, on input and output\n"
    "  -u, --unique                 of items equal but for letter case, write only the one that\n"
    "                               comes first in the input\n"
    "  -r, --reverse                write the items in descending order\n"
    "  -s, --stable                 keep equal items in their input order (the default; with\n"
    "                               --exact, instead of the window's order)\n"
    "  -f, --ignore-case            accepted for sort's sake: letter case is always ignored\n"
    "      --locale[=NAME]          alphabetical order by the collation rules of locale NAME\n"
    "                               (default: the environment's, from LC_ALL, LC_COLLATE or\n"
    "                               LANG): accented letters next to their base letters, letter\n"
    "                               case ignored\n"
    "  -c, --check                  write nothing; say which item is the first out of order\n"
    "  -C                           like -c, but say nothing\n"
    "      --exact                  sort as the window's Sort button does: the input is the list\n"
    "                               text as it is, the output has no line break added, and a\n"
    "                               list that is empty or lacks the input separator is refused\n"
    "  -h, --help                   display this help and exit\n"
    "      --version                output version information and exit\n"
    "\n"
    "Order: items compare by their lower-case forms, character by character by character code\n"
    "(UTF-16), so letter case is ignored, digits and most punctuation come before letters,\n"
    "numbers sort as text (10 before 9), and accented or other non-ASCII letters come after\n"
    "\"z\" (use --locale for alphabetical order). Items equal but for letter case keep their\n"
    "input order; --exact gives the window's order for them instead.\n"
    "\n"
    "In TEXT, \\n stands for a line break, \\t for a tab, \\0 for NUL and \\\\ for a\n"
    "backslash; -t ', ' -j ', ' gives the window's separators. Input and output are UTF-8.\n"
    "Line breaks are LF on output, except that with the default separators a list whose line\n"
    "breaks are all CR LF is written with CR LF. Nothing is trimmed: a space next to a\n"
    "separator that is not part of it stays in the item.\n"
    "\n"
    "Exit status:\n"
    " 0  the list was sorted and written (also when it is one item, or empty); with -c or\n"
    "    -C, the input is in order\n"
    " 1  --exact refused the list; with -c or -C, the input is not in order\n"
    " 2  a FILE could not be read, the input is not valid UTF-8, the output FILE could not be\n"
    "    created, or the command line is wrong\n"
    " 3  the output could not be written, or memory ran out\n";

constexpr std::string_view kVersionTail =
    "Copyright (C) 2026 Quorvane.\n"
    "License: MIT (Expat) <https://opensource.org/licenses/MIT>.\n"
    "This is free software: you are free to change and redistribute it.\n"
    "There is NO WARRANTY, to the extent permitted by law.\n";

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
      case '0': unescaped.push_back('\0'); break;
      case '\\': unescaped.push_back('\\'); break;
      default:
        problem =
            std::string("unknown escape \\") + argument[i] + " in a separator (known: \\n, \\t, \\0, \\\\)";
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
  enum : int { kExact = 256, kVersion, kLocale };
  static const option kLongOptions[] = {
      {"output", required_argument, nullptr, 'o'},
      {"input-separator", required_argument, nullptr, 't'},
      {"output-separator", required_argument, nullptr, 'j'},
      {"zero-terminated", no_argument, nullptr, 'z'},
      {"unique", no_argument, nullptr, 'u'},
      {"reverse", no_argument, nullptr, 'r'},
      {"stable", no_argument, nullptr, 's'},
      {"ignore-case", no_argument, nullptr, 'f'},
      {"locale", optional_argument, nullptr, kLocale},
      {"check", no_argument, nullptr, 'c'},
      {"exact", no_argument, nullptr, kExact},
      {"help", no_argument, nullptr, 'h'},
      {"version", no_argument, nullptr, kVersion},
      {nullptr, 0, nullptr, 0},
  };
  // The options the short forms of an older release meant, which now mean something else or
  // nothing: a hint saves a user the guess.
  const auto hint = [](int letter) -> std::string {
    if (letter == 'i') return "the input separator is -t; ";
    return "";
  };
  bool separatorGiven[2] = {false, false};
  opterr = 0;  // the messages below say more
  for (;;) {
    const int previous = optind;
    const int code = getopt_long(argc, argv, ":o:t:j:zursfcCh", kLongOptions, nullptr);
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
      case 't':
      case 'j': {
        std::string problem;
        std::optional<std::u16string> separator = ParseSeparator(optarg, problem);
        if (!separator) {
          Complain(problem);
          return kExitBadInput;
        }
        (code == 't' ? options.inputSeparator : options.outputSeparator) = std::move(*separator);
        separatorGiven[code == 't' ? 0 : 1] = true;
        break;
      }
      case 'o':
        if (*optarg == '\0') {
          Complain("option '" + given + "' needs a file name (see --help)");
          return kExitBadInput;
        }
        options.output = optarg;
        break;
      case 'z': options.zeroTerminated = true; break;
      case 'u': options.unique = true; break;
      case 'r': options.reverse = true; break;
      case 's': options.stable = true; break;
      case 'f': break;
      case 'c': options.check = true; break;
      case 'C':
        options.check = true;
        options.checkQuietly = true;
        break;
      case kLocale: options.locale = optarg != nullptr ? optarg : ""; break;
      case kExact: options.exact = true; break;
      case 'h': return io::WriteAll(STDOUT_FILENO, kUsage) ? 0 : kExitFailure;
      case kVersion: {
        const std::string version = std::string("ordwell-sort (Ordwell) ") +
                                    ordwell::version::kVersionString + "\n" + std::string(kVersionTail);
        return io::WriteAll(STDOUT_FILENO, version) ? 0 : kExitFailure;
      }
      case ':':
        Complain("option '" + given + "' needs " + (optopt == 'o' ? "a file name" : "a separator text") +
                 " (see --help)");
        return kExitBadInput;
      default:
        // A known long option has its code in optopt; an unknown one has 0 there.
        if (raw.starts_with("--") && raw.find('=') != std::string_view::npos && optopt != 0) {
          Complain("option '" + given + "' takes no value (see --help)");
        } else {
          Complain("unknown option '" + given + "' (" + hint(optopt) + "see --help)");
        }
        return kExitBadInput;
    }
  }
  if (options.exact && (options.locale || options.zeroTerminated)) {
    Complain(std::string("--exact cannot be combined with ") + (options.locale ? "--locale" : "-z") +
             ": it sorts as the window does (see --help)");
    return kExitBadInput;
  }
  if (options.zeroTerminated) {
    if (!separatorGiven[0]) options.inputSeparator = std::u16string(1, u'\0');
    if (!separatorGiven[1]) options.outputSeparator = std::u16string(1, u'\0');
  }
  for (int i = optind; i < argc; ++i) options.files.emplace_back(argv[i]);
  return std::nullopt;
}

}  // namespace ordwell::cli
