#include "tools/ordwell-sort/output.h"

#include <cerrno>
#include <cstring>

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
    } else if (c == '\\') {
      described += "\\\\";
    } else {
      described += c;
    }
  }
  return described;
}

int WriteStatus(bool written) {
  if (written) return 0;
  Complain(std::string("cannot write standard output: ") + std::strerror(errno));
  return kExitFailure;
}

}  // namespace ordwell::cli
