// ordwell-sort: sorts a list read from files or standard input with the same code as the window
// and writes the result on standard output or to a file.

#include <csignal>
#include <exception>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "io/posix_file.h"
#include "sorting/collated_list.h"
#include "tools/ordwell-sort/byte_path.h"
#include "tools/ordwell-sort/input_files.h"
#include "tools/ordwell-sort/messages.h"
#include "tools/ordwell-sort/options.h"
#include "tools/ordwell-sort/output.h"
#include "tools/ordwell-sort/output_file.h"
#include "tools/ordwell-sort/pipelines.h"
#include "tools/ordwell-sort/stream_decode.h"

namespace ordwell::cli {
namespace {

// Returns the items' text of a NUL-terminated stream: `bytes` without one final NUL.
std::string_view ZeroTerminatedBody(std::string_view bytes) noexcept {
  return bytes.ends_with('\0') ? bytes.substr(0, bytes.size() - 1) : bytes;
}

int Run(int argc, char** argv) {
  Options options;
  if (const std::optional<int> status = ParseArguments(argc, argv, options)) return *status;
  if (options.files.empty()) options.files.emplace_back("-");
  std::optional<Collator> collator;
  if (options.locale) {
    std::string problem;
    const std::string name = options.locale->empty() ? Collator::EnvironmentLocale() : *options.locale;
    collator = Collator::Open(name, problem);
    // An environment's locale unknown to the collation rules falls back to the rules every
    // language shares; a NAME given on the command line must be right.
    if (!collator && options.locale->empty()) collator = Collator::Open("", problem);
    if (!collator) {
      Complain(problem + " (see --help)");
      return kExitBadInput;
    }
  }

  std::vector<io::OwnedBytes> inputs;
  inputs.reserve(options.files.size());
  std::vector<std::string_view> pieces;
  std::vector<std::size_t> pieceFile;
  for (std::size_t k = 0; k < options.files.size(); ++k) {
    if (!ReadInput(options.files[k], inputs.emplace_back())) return kExitBadInput;
    const std::string_view bytes = inputs.back().view();
    if (options.zeroTerminated) {
      if (bytes.empty()) continue;
      // The list text holds every line break as CR LF and gives LF back, so a CR LF inside an
      // item would come out as LF: refused rather than changed.
      if (bytes.find("\r\n") != std::string_view::npos) {
        Complain(DescribeFile(options.files[k]) + " has an item with CR LF in it, which -z cannot keep; " +
                 "nothing was sorted");
        return kExitBadInput;
      }
      pieces.push_back(ZeroTerminatedBody(bytes));
    } else {
      if (!options.exact && !StreamHasItems(bytes)) continue;
      pieces.push_back(options.exact ? bytes : StreamBody(bytes));
    }
    pieceFile.push_back(k);
  }
  if (!options.exact && !options.zeroTerminated && options.inputSeparator == kLineBreak &&
      options.outputSeparator == kLineBreak) {
    std::vector<std::string_view> streams;
    streams.reserve(inputs.size());
    for (const io::OwnedBytes& input : inputs) streams.push_back(input.view());
    options.crLfLineBreaks = LineBreaksAllCrLf(streams);
  }

  // The FILE to write is replaced only after every input was read whole, above.
  OutputFile output;
  if (!options.check && !options.output.empty() && !output.Open(options.output)) return kExitBadInput;
  if (!options.exact && pieces.empty()) return options.check || output.Commit() ? 0 : kExitFailure;

  // The byte path serves every valid UTF-8 input but the alphabetical order and --check.
  const std::optional<ByteSort> direct =
      options.check || collator ? std::nullopt
                                : PlanByteSort(pieces, options.inputSeparator, options.exact,
                                               options.unique || !options.exact || options.stable);
  const int status = direct ? SortAndWriteBytes(pieces, *direct, options)
                            : DecodeSortAndWrite(pieces, pieceFile, std::move(inputs), options,
                                                 collator ? &*collator : nullptr);
  if (status != 0 || options.check || options.output.empty()) return status;
  return output.Commit() ? 0 : kExitFailure;
}

}  // namespace
}  // namespace ordwell::cli

int main(int argc, char** argv) {
  using ordwell::cli::Complain;
  // A file grown past the size limit fails to write, reported and cleaned up, instead of killing
  // the program with a half-written temporary file left behind.
  std::signal(SIGXFSZ, SIG_IGN);
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
