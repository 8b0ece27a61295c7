#include "tools/ordwell-sort/pipelines.h"

#include <optional>
#include <utility>

#include "io/posix_file.h"
#include "sorting/sort_list.h"
#include "sorting/sorted_list.h"
#include "tools/ordwell-sort/byte_path.h"
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

int SortAndWriteBytes(std::span<const std::string_view> pieces, const ByteSort& plan,
                      const Options& options) {
  std::string joined;
  std::string_view text = pieces.front();
  if (pieces.size() > 1) {
    for (std::size_t k = 0; k < pieces.size(); ++k) {
      if (k != 0) joined += plan.joint;
      joined += pieces[k];
    }
    text = joined;
  }
  const std::optional<ordwell::SortedUtf8List> sorted = ordwell::SortStreamText(text, plan.separator);
  const std::string_view ending = options.exact ? "" : "\n";
  ByteWriter out(STDOUT_FILENO);
  const auto writeItem = [&out, &plan](std::string_view item) {
    if (plan.crLfInItems) {
      out.WriteLineFeeds(item);
    } else {
      out.Write(item);
    }
  };
  if (!sorted) {
    if (options.exact) {
      Complain(std::string(ordwell::kRefusalMessage.begin(), ordwell::kRefusalMessage.end()));
      return kExitRefused;
    }
    WarnOneItem(options);
    writeItem(text);
    out.Write(ending);
    return WriteStatus(out.Finish());
  }
  const std::string outputSeparator = OutputBytes(options.outputSeparator);
  const auto writeAll = [&](const auto& items) {
    if (!plan.crLfInItems) {
      EncodeItems(items, std::string_view(outputSeparator), ending, 0, items.size(), out);
      return;
    }
    for (std::size_t i = 0; i < items.size(); ++i) {
      if (i != 0) out.Write(outputSeparator);
      writeItem(items[i]);
    }
    out.Write(ending);
  };
  if (options.unique || options.reverse) {
    writeAll(Arrange(*sorted, options.unique, options.reverse));
  } else {
    writeAll(*sorted);
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
