#include "tools/ordwell-sort/pipelines.h"

#include <optional>
#include <utility>

#include "io/posix_file.h"
#include "sorting/sort_list.h"
#include "sorting/sorted_list.h"
#include "tools/ordwell-sort/messages.h"
#include "tools/ordwell-sort/options.h"
#include "tools/ordwell-sort/output.h"
#include "tools/ordwell-sort/stream_decode.h"

namespace ordwell::cli {
namespace {

// Says so when the input is one item because a separator other than a line break never occurs.
void WarnOneItem(const Options& options) {
  if (options.inputSeparator != kLineBreak && !options.inputSeparator.empty()) {
    Complain("warning: the input separator '" + DescribeSeparator(options.inputSeparator) +
             "' does not occur, so the input is one item (see -i in --help)");
  }
}

}  // namespace

int SortAndWriteBytes(std::span<const std::string_view> pieces, const std::string& separator,
                      const Options& options) {
  std::string joined;
  std::string_view text = pieces.front();
  if (pieces.size() > 1) {
    for (std::size_t k = 0; k < pieces.size(); ++k) {
      if (k != 0) joined += separator;
      joined += pieces[k];
    }
    text = joined;
  }
  const std::optional<ordwell::SortedAsciiList> sorted = ordwell::SortedAsciiList::Sort(text, separator);
  const std::string outputSeparator = OutputBytes(options.outputSeparator);
  constexpr std::string_view kEnding = "\n";
  ByteWriter out(STDOUT_FILENO);
  if (!sorted) {
    WarnOneItem(options);
    out.Write(text);
    out.Write(kEnding);
  } else if (options.unique || options.reverse) {
    const auto order = Arrange(*sorted, options.unique, options.reverse);
    EncodeItems(order, std::string_view(outputSeparator), kEnding, 0, order.size(), out);
  } else {
    EncodeItems(*sorted, std::string_view(outputSeparator), kEnding, 0, sorted->size(), out);
  }
  return WriteStatus(out.Finish());
}

int DecodeSortAndWrite(std::span<const std::string_view> pieces, std::span<const std::size_t> pieceFile,
                       std::vector<io::OwnedBytes> inputs, const Options& options) {
  // The list: the streams' texts joined by the input separator (with --exact, the bytes of the
  // inputs one after the other).
  const DecodedText list = DecodeStreamTexts(
      pieces, options.exact ? std::u16string_view() : std::u16string_view(options.inputSeparator));
  if (!list.valid) {
    const std::size_t k = pieceFile[list.errorPiece];
    const std::size_t offset =
        list.errorOffset + static_cast<std::size_t>(pieces[list.errorPiece].data() - inputs[k].view().data());
    Complain(DescribeFile(options.files[k]) + " is not valid UTF-8 (at byte offset " +
             std::to_string(offset) + ")");
    return kExitBadInput;
  }
  inputs.clear();
  const std::u16string_view ending = options.exact ? std::u16string_view() : kLineBreak;

  const std::optional<ordwell::SortedList> sorted =
      ordwell::SortedList::Sort(list.Text(), options.inputSeparator);
  bool written = false;
  if (!sorted) {
    if (options.exact) {
      // The message is ASCII.
      Complain(std::string(ordwell::kRefusalMessage.begin(), ordwell::kRefusalMessage.end()));
      return kExitRefused;
    }
    // The separator does not occur: the list is one item, sorted already.
    WarnOneItem(options);
    written = WriteText(list.Text(), ending);
  } else if (options.unique || options.reverse) {
    written = WriteSorted(Arrange(*sorted, options.unique, options.reverse), options.outputSeparator, ending);
  } else {
    written = WriteSorted(*sorted, options.outputSeparator, ending);
  }
  return WriteStatus(written);
}

}  // namespace ordwell::cli
