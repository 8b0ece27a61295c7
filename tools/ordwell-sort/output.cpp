#include "tools/ordwell-sort/output.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "tools/ordwell-sort/byte_path.h"
#include "tools/ordwell-sort/messages.h"

namespace ordwell::cli {

bool WriteText(std::u16string_view text, std::u16string_view ending) {
  StreamWriter out(STDOUT_FILENO);
  out.Write(text);
  out.Write(ending);
  return out.Finish();
}

std::string OutputBytes(std::u16string_view text) {
  std::string encoded;
  StreamWriter memory(&encoded, 64);
  memory.Write(text);
  memory.Finish();
  return encoded;
}

std::string DescribeSeparator(std::u16string_view separator) {
  std::string described;
  for (const char c : OutputBytes(separator)) {
    if (c == '\n') {
      described += "\\n";
    } else if (c == '\t') {
      described += "\\t";
    } else if (c == '\0') {
      described += "\\0";
    } else if (c == '\\') {
      described += "\\\\";
    } else {
      described += c;
    }
  }
  return described;
}

int WriteStatus(bool written, const std::string& output) {
  if (written) return 0;
  const int error = errno;
  Complain("cannot write " + (output.empty() ? std::string("standard output") : DescribeFile(output)) + ": " +
           std::strerror(error));
  return kExitFailure;
}

bool LineBreaksAllCrLf(std::span<const std::string_view> streams) noexcept {
  // Most lists have no CR at all: one fast search settles them.
  const auto hasCr = [](std::string_view bytes) { return ContainsByte(bytes, '\r'); };
  if (std::none_of(streams.begin(), streams.end(), hasCr)) return false;
  bool any = false;
  for (const std::string_view bytes : streams) {
    for (std::size_t i = bytes.find_first_of("\r\n"); i != std::string_view::npos;
         i = bytes.find_first_of("\r\n", i + 1)) {
      if (bytes[i] == '\n' || i + 1 == bytes.size() || bytes[i + 1] != '\n') return false;
      any = true;
      ++i;  // past the LF of the pair
    }
  }
  return any;
}

}  // namespace ordwell::cli
