#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The command line of ordwell-sort.
namespace ordwell::cli {

// A line break as the list text holds it.
inline constexpr std::u16string_view kLineBreak = u"\r\n";

// What the command line asks for.
struct Options {
  std::u16string inputSeparator{kLineBreak};
  std::u16string outputSeparator{kLineBreak};
  // Whether items end with NUL instead of a line break, on input and output.
  bool zeroTerminated = false;
  bool exact = false;
  bool unique = false;
  bool reverse = false;
  // Whether equal keys keep their input order with --exact too (they always do without it).
  bool stable = false;
  // Whether to only check that the input is in order; quietly (status only) with -C.
  bool check = false;
  bool checkQuietly = false;
  // Alphabetical order by this locale's collation rules ("" picks the environment's locale).
  std::optional<std::string> locale;
  // Where the result goes; empty: standard output.
  std::string output;
  std::vector<std::string> files;  // none: standard input
  // Set once the input is read: the default separators are in use and every line break of the
  // input is CR LF, so the output's are too.
  bool crLfLineBreaks = false;
};

// Turns an argument into a separator: \n, \t, \0 and \\ escapes, LF as CR LF; nullopt with a message
// in `problem` when the text is not valid.
std::optional<std::u16string> ParseSeparator(std::string_view argument, std::string& problem);

// Parses the command line into `options`; returns an exit status when the program should stop
// here (after --help, --version or a mistake, which it reports).
std::optional<int> ParseArguments(int argc, char** argv, Options& options);

}  // namespace ordwell::cli
