#pragma once

#include <string>
#include <string_view>

// The command's exit statuses and how it speaks on standard error.
namespace ordwell::cli {

inline constexpr int kExitRefused = 1;
inline constexpr int kExitBadInput = 2;
inline constexpr int kExitFailure = 3;

// Writes "ordwell-sort: `message`" and a line break on standard error.
void Complain(std::string_view message);

// Returns `text` in quotes, with control characters, backslashes and quotes escaped ("\n" for a
// line break), so odd text cannot break a message.
std::string QuoteText(std::string_view text);

// Returns how a FILE operand is named in messages: "standard input" for "-", else the name in
// quotes with control characters and quotes escaped, so an odd name cannot break the message.
std::string DescribeFile(std::string_view name);

}  // namespace ordwell::cli
