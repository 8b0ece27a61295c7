// ordwell-sort: sorts a list read from files or standard input with the same code as the window
// and writes the result on standard output.

#include <exception>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "io/posix_file.h"
#include "tools/ordwell-sort/byte_path.h"
#include "tools/ordwell-sort/input_files.h"
#include "tools/ordwell-sort/messages.h"
#include "tools/ordwell-sort/options.h"
#include "tools/ordwell-sort/pipelines.h"
#include "tools/ordwell-sort/stream_decode.h"

namespace ordwell::cli {
namespace {

int Run(int argc, char** argv) {
  Options options;
  if (const std::optional<int> status = ParseArguments(argc, argv, options)) return *status;
  if (options.files.empty()) options.files.emplace_back("-");

  std::vector<io::OwnedBytes> inputs;
  inputs.reserve(options.files.size());
  std::vector<std::string_view> pieces;
  std::vector<std::size_t> pieceFile;
  for (std::size_t k = 0; k < options.files.size(); ++k) {
    if (!ReadInput(options.files[k], inputs.emplace_back())) return kExitBadInput;
    const std::string_view bytes = inputs.back().view();
    if (!options.exact && !StreamHasItems(bytes)) continue;
    pieces.push_back(options.exact ? bytes : StreamBody(bytes));
    pieceFile.push_back(k);
  }
  if (!options.exact && pieces.empty()) return 0;

  const std::optional<std::string> direct =
      options.exact ? std::nullopt : DirectSeparator(pieces, options.inputSeparator);
  if (direct) return SortAndWriteBytes(pieces, *direct, options);
  return DecodeSortAndWrite(pieces, pieceFile, std::move(inputs), options);
}

}  // namespace
}  // namespace ordwell::cli

int main(int argc, char** argv) {
  using ordwell::cli::Complain;
  try {
    return ordwell::cli::Run(argc, argv);
  } catch (const std::bad_alloc&) {
    Complain("not enough memory for this list");
  } catch (const std::length_error& error) {
    Complain(std::string("the list is too long: ") + error.what());
    return ordwell::cli::kExitBadInput;
  } catch (const std::exception& error) {
    Complain(error.what());
  }
  return ordwell::cli::kExitFailure;
}
