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
  bool exact = false;
  bool unique = false;
  bool reverse = false;
  std::vector<std::string> files;  // none: standard input
};

// Turns an argument into a separator: \n, \t and \\ escapes, LF as CR LF; nullopt with a message
// in `problem` when the text is not valid.
std::optional<std::u16string> ParseSeparator(std::string_view argument, std::string& problem);

// Parses the command line into `options`; returns an exit status when the program should stop
// here (after --help, --version or a mistake, which it reports).
std::optional<int> ParseArguments(int argc, char** argv, Options& options);

}  // namespace ordwell::cli
