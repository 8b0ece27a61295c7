#include "tools/ordwell-sort/messages.h"

#include <cstdio>

namespace ordwell::cli {

void Complain(std::string_view message) {
  std::string line = "ordwell-sort: ";
  line.append(message).append("\n");
  (void)!std::fwrite(line.data(), 1, line.size(), stderr);
}

std::string DescribeFile(std::string_view name) {
  if (name == "-") return "standard input";
  std::string described = "'";
  for (const char c : name) {
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
