#include "tools/ordwell-sort/pipelines.h"

#include <cstddef>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "io/posix_file.h"
#include "sorting/collated_list.h"
#include "sorting/sort_list.h"
#include "sorting/sorted_list.h"
#include "tools/ordwell-sort/arrange.h"
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

// The output separator as written: CR LF stays CR LF for a CR LF list.
std::u16string_view OutputSeparatorOf(const Options& options) {
  return options.crLfLineBreaks ? kCrLfOutput : std::u16string_view(options.outputSeparator);
}

// What follows the last item: nothing with --exact, NUL with -z, else a line break.
std::u16string_view EndingOf(const Options& options) {
  if (options.exact) return {};
  if (options.zeroTerminated) return {u"\0", 1};
  return options.crLfLineBreaks ? kCrLfOutput : kLineBreak;
}

Arrangement ArrangementOf(const Options& options) {
  return {.inputOrderTies = !options.exact || options.stable,
          .unique = options.unique,
          .reverse = options.reverse};
}

// Where the sort leaves equal keys: in input order unless the quicksort's own order is asked for,
// and anywhere when only one of each is kept (arranging picks the first in the input).
ordwell::TieOrder TiesOf(const Options& options) {
  const Arrangement how = ArrangementOf(options);
  if (how.inputOrderTies) return ordwell::TieOrder::kInput;
  return how.unique ? ordwell::TieOrder::kAny : ordwell::TieOrder::kExact;
}

// Returns `sorted` arranged for output, or nullopt when the sort left it so: ascending, with
// equal keys in input order.
template <typename List>
std::optional<ArrangedItems<List>> ArrangeSorted(const List& sorted, const Options& options) {
  const Arrangement how = ArrangementOf(options);
  if (how.inputOrderTies && !how.unique && !how.reverse) return std::nullopt;
  const auto sameKey = [&sorted](std::size_t i) { return sorted.SameKeyAsPrevious(i); };
  return Arrange(sorted, sameKey, how);
}

// Checks the order of `items`, in input order, under `compare`; returns the exit status.
template <typename Items, typename Compare>
int CheckOrder(const Items& items, Compare&& compare, const Options& options) {
  const std::optional<std::size_t> disorder = FirstDisorder(items, compare, options.reverse, options.unique);
  if (!disorder) return 0;
  if (!options.checkQuietly) {
    std::string item;
    if constexpr (std::is_same_v<std::remove_cvref_t<decltype(items[0])>, std::string_view>) {
      item = items[*disorder];
    } else {
      item = OutputBytes(items[*disorder]);
    }
    Complain("item " + std::to_string(*disorder + 1) + " is out of order: " + QuoteText(item));
  }
  return kExitRefused;
}

// Puts the items of `text` in alphabetical order by `collator` and writes them; returns the exit
// status.
int CollateAndWrite(std::u16string_view text, const Collator& collator, const Options& options) {
  const std::u16string_view ending = EndingOf(options);
  std::vector<std::u16string_view> sorted;
  std::vector<bool> sameAsPrevious;
  {
    // The split list and the order go before the writing, which needs neither.
    const SplitList<char16_t> items(text, options.inputSeparator);
    if (items.size() == 1 && !options.inputSeparator.empty()) {
      WarnOneItem(options);
      return WriteStatus(WriteText(text, ending), options.output);
    }
    CollatedOrder collated = CollateItems(
        items.size(), [&items](std::size_t i) { return items[i]; }, collator);
    // The sorted views are gathered in one pass, whose independent reads overlap their cache
    // misses, before the writing, which would wait on each in turn.
    sorted.resize(items.size());
    for (std::size_t i = 0; i < sorted.size(); ++i) sorted[i] = items[collated.order[i]];
    sameAsPrevious = std::move(collated.sameAsPrevious);
  }
  const auto sameKey = [&](std::size_t i) { return static_cast<bool>(sameAsPrevious[i]); };
  const auto arranged = Arrange(sorted, sameKey, ArrangementOf(options));
  const std::u16string_view separator = OutputSeparatorOf(options);
  return WriteStatus(
      arranged ? WriteSorted(*arranged, separator, ending) : WriteSorted(sorted, separator, ending),
      options.output);
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
  const std::optional<ordwell::SortedUtf8List> sorted =
      ordwell::SortStreamText(text, plan.separator, TiesOf(options));
  const std::string outputSeparator = OutputBytes(OutputSeparatorOf(options));
  const std::string ending = OutputBytes(EndingOf(options));
  if (!sorted) {
    if (options.exact) {
      Complain(std::string(ordwell::kRefusalMessage.begin(), ordwell::kRefusalMessage.end()));
      return kExitRefused;
    }
    WarnOneItem(options);
  }
  const auto arranged = sorted ? ArrangeSorted(*sorted, options) : std::nullopt;
  if (sorted && !plan.crLfInItems) {
    return WriteStatus(arranged ? WriteSortedBytes(*arranged, outputSeparator, ending)
                                : WriteSortedBytes(*sorted, outputSeparator, ending),
                       options.output);
  }
  ByteWriter out(STDOUT_FILENO);
  const auto writeItem = [&out, &plan](std::string_view item) {
    if (plan.crLfInItems) {
      out.WriteLineFeeds(item);
    } else {
      out.Write(item);
    }
  };
  if (!sorted) {
    writeItem(text);
  } else {
    const auto writeAll = [&](const auto& items) {
      for (std::size_t i = 0; i < items.size(); ++i) {
        if (i != 0) out.Write(outputSeparator);
        writeItem(items[i]);
      }
    };
    if (arranged) {
      writeAll(*arranged);
    } else {
      writeAll(*sorted);
    }
  }
  out.Write(ending);
  return WriteStatus(out.Finish(), options.output);
}

int DecodeSortAndWrite(std::span<const std::string_view> pieces, std::span<const std::size_t> pieceFile,
                       std::vector<io::OwnedBytes> inputs, const Options& options, const Collator* collator) {
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
  const std::u16string_view ending = EndingOf(options);
  const std::u16string_view separator = OutputSeparatorOf(options);

  if (options.check) {
    const SplitList<char16_t> items(list.Text(), options.inputSeparator);
    if (collator != nullptr) {
      const auto compare = [collator](std::u16string_view a, std::u16string_view b) {
        return collator->Compare(a, b);
      };
      return CheckOrder(items, compare, options);
    }
    const auto compare = [](std::u16string_view a, std::u16string_view b) { return CompareKeys(a, b); };
    return CheckOrder(items, compare, options);
  }
  if (collator != nullptr) return CollateAndWrite(list.Text(), *collator, options);

  const std::optional<ordwell::SortedList> sorted =
      ordwell::SortedList::Sort(list.Text(), options.inputSeparator, TiesOf(options));
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
  } else {
    const auto arranged = ArrangeSorted(*sorted, options);
    written = arranged ? WriteSorted(*arranged, separator, ending) : WriteSorted(*sorted, separator, ending);
  }
  return WriteStatus(written, options.output);
}

}  // namespace ordwell::cli
