#include "tools/ordwell-sort/messages.h"

#include <cstdio>

namespace ordwell::cli {

void Complain(std::string_view message) {
  // Written without allocating: the message may be that memory ran out.
  constexpr std::string_view kPrefix = "ordwell-sort: ";
  char line[512];
  if (kPrefix.size() + message.size() + 1 <= sizeof line) {
    kPrefix.copy(line, kPrefix.size());
    message.copy(line + kPrefix.size(), message.size());
    line[kPrefix.size() + message.size()] = '\n';
    (void)!std::fwrite(line, 1, kPrefix.size() + message.size() + 1, stderr);
    return;
  }
  (void)!std::fwrite(kPrefix.data(), 1, kPrefix.size(), stderr);
  (void)!std::fwrite(message.data(), 1, message.size(), stderr);
  (void)!std::fwrite("\n", 1, 1, stderr);
}

std::string DescribeFile(std::string_view name) {
  if (name == "-") return "standard input";
  return QuoteText(name);
}

std::string QuoteText(std::string_view text) {
  std::string described = "'";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\n') {
      described += "\\n";
    } else if (c == '\t') {
      described += "\\t";
    } else if (c == '\\' || c == '\'') {
      described += '\\';
      described += c;
    } else if (byte < 0x20 || byte == 0x7F) {
      static constexpr char kHex[] = "0123456789abcdef";
      described += "\\x";
      described += kHex[byte >> 4];
      described += kHex[byte & 0xF];
    } else {
      described += c;
    }
  }
  return described + "'";
}

}  // namespace ordwell::cli
