// Decodes the fuzzer's bytes into a list text and two separators, sorts them with SortListText
// (sometimes split over threads, with the wide record layout, or with the quicksort's scans
// guided by the tree from the start or from some point on) and aborts on any difference from
// the plain form of the order (sorting/tests/reference_sort.h; the order is defined in
// sorting/sort_list.h), or when the sort's work exceeds its bound of n log^2 n for n items (plus
// the keys' length times log n, for ranking keys 64 bits at a time), so that a quadratic path is
// found however fast the machine. Every list that is valid UTF-16 (no lone surrogate half) is also
// sorted from its UTF-8 bytes and must give the same text, and with ties in input order must give
// a stable sort's.

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "sorting/detail/separator_search.h"
#include "sorting/detail/sort_list_detail.h"
#include "sorting/sort_list.h"
#include "sorting/sorted_list.h"
#include "sorting/tests/reference_sort.h"
#include "sorting/tests/utf8_text.h"

namespace {

// Most bytes pick from a small case-rich alphabet, so that ties and separators are common; a
// 0xFF byte takes the next two bytes as a raw 16-bit unit.
constexpr char16_t kAlphabet[] = {u'a',      u'A',      u'b',      u'B',      u',',      u' ',
                                  u'\r',     u'\n',     u'\u00E9', u'\u00C9', u'\u03A3', u'\u03C3',
                                  u'\u03C2', u'\u0130', u'i',      u'I',      u'\u0131', u'\0',
                                  u'\xD801', u'\xDC00', u'_',      u'z',      u'Z',      u'0',
                                  u'\u023A', u'\u2C65', u'\u212A', u'\uE000', u'\uFF21', u'\uFF41'};

std::u16string Decode(const std::uint8_t*& data, const std::uint8_t* end, std::size_t maxUnits) {
  std::u16string text;
  while (data < end && text.size() < maxUnits) {
    const std::uint8_t byte = *data++;
    if (byte == 0xFF && end - data >= 2) {
      text.push_back(static_cast<char16_t>(data[0] | (data[1] << 8)));
      data += 2;
    } else {
      text.push_back(kAlphabet[byte % (sizeof kAlphabet / sizeof kAlphabet[0])]);
    }
  }
  return text;
}

// The most work the sort may do on `items` items totalling `units` key units.
std::uint64_t WorkBound(std::uint64_t items, std::uint64_t units) {
  constexpr std::uint64_t kFactor = 32;
  constexpr std::uint64_t kSlack = 4096;
  const auto levels = static_cast<std::uint64_t>(std::bit_width(items > 1 ? items - 1 : 1));
  return kFactor * (items * levels * levels + units / 4 * levels) + kSlack;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const std::uint8_t layout = data[0];
  const std::uint8_t flavour = data[1];
  const std::uint8_t* cursor = data + 2;
  const std::uint8_t* const end = data + size;
  const std::u16string inputSeparator = Decode(cursor, end, layout & 3);
  const std::u16string outputSeparator = Decode(cursor, end, (layout >> 2) & 3);
  const std::u16string list = Decode(cursor, end, size);

  ordwell::detail::SortOptions options;
  if ((flavour & 1) != 0) {
    options.threads = 2;
    options.grain = 2;
  }
  options.wideRecords = (flavour & 2) != 0;
  // The scans use the tree from the start, or switch to it after a few items.
  if ((flavour & 4) != 0) options.scanBudget = flavour >> 3;
  std::atomic<std::uint64_t> work{0};
  options.workCount = &work;
  const ordwell::SortResult actual =
      ordwell::detail::SortListTextWith(list, inputSeparator, outputSeparator, options);
  const ordwell::SortResult expected =
      ordwell::reference::SortListText(list, inputSeparator, outputSeparator);
  if (actual.refused != expected.refused || actual.text != expected.text) std::abort();
  if (!actual.refused) {
    std::uint64_t items = 1;
    if (!inputSeparator.empty())
      ordwell::detail::ForEachSeparator(list, inputSeparator, [&items](std::size_t) { ++items; });
    if (work.load() > WorkBound(items, list.size())) std::abort();
  }

  // A list sorted from its UTF-8 bytes, keys lower-cased as they are read, gives the same text.
  const std::optional<std::string> byteList = ordwell::testing::Utf8Of(list);
  const std::optional<std::string> byteInput = ordwell::testing::Utf8Of(inputSeparator);
  const std::optional<std::string> byteOutput = ordwell::testing::Utf8Of(outputSeparator);
  if (byteList && byteInput && byteOutput) {
    const std::optional<ordwell::SortedUtf8List> bytes = ordwell::SortWith(*byteList, *byteInput, options);
    if (bytes.has_value() == expected.refused) std::abort();
    if (bytes && bytes->Join(*byteOutput) != ordwell::testing::Utf8Of(expected.text)) std::abort();
    // With ties in input order (a quicksort with a tie break, or merged runs) the items are those
    // of a stable sort by key.
    if (!expected.refused) {
      std::vector<std::u16string> items = ordwell::reference::Split(list, inputSeparator);
      std::stable_sort(items.begin(), items.end(), [](const std::u16string& a, const std::u16string& b) {
        return ordwell::reference::LowerCase(a) < ordwell::reference::LowerCase(b);
      });
      std::u16string joined;
      for (std::size_t i = 0; i < items.size(); ++i) joined += (i == 0 ? u"" : outputSeparator) + items[i];
      const std::optional<ordwell::SortedUtf8List> stable =
          ordwell::SortWith(*byteList, *byteInput, options, ordwell::TieOrder::kInput);
      if (!stable || stable->Join(*byteOutput) != ordwell::testing::Utf8Of(joined)) std::abort();
    }
  }
  return 0;
}
