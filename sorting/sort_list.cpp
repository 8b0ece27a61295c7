#include "sorting/sort_list.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <stdexcept>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "sorting/detail/record_sort.h"
#include "sorting/sort_key.h"
#include "sorting/sort_list_detail.h"

namespace ordwell {
namespace {

constexpr std::size_t kNotFound = static_cast<std::size_t>(-1);

// Returns the index of the first `unit` in text[from, size), or kNotFound.
std::size_t FindUnit(const char16_t* text, std::size_t size, std::size_t from, char16_t unit) noexcept {
  std::size_t i = from;
#if defined(__SSE2__)
  const __m128i wanted = _mm_set1_epi16(static_cast<short>(unit));
  for (; i + 8 <= size; i += 8) {
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i));
    const int mask = _mm_movemask_epi8(_mm_cmpeq_epi16(block, wanted));
    if (mask != 0) return i + static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(mask))) / 2;
  }
#endif
  for (; i < size; ++i) {
    if (text[i] == unit) return i;
  }
  return kNotFound;
}

// Finds the next non-empty separator at or after `from`, case-sensitively by unit; kNotFound if none.
std::size_t FindSeparator(std::u16string_view text, std::u16string_view separator,
                          std::size_t from) noexcept {
  const std::size_t size = text.size();
  const std::size_t length = separator.size();
  if (length > size) return kNotFound;
  const std::size_t last = size - length;  // the last position a match can start at
  const char16_t first = separator[0];
  while (from <= last) {
    const std::size_t at = FindUnit(text.data(), last + 1, from, first);
    if (at == kNotFound) return kNotFound;
    if (std::memcmp(text.data() + at + 1, separator.data() + 1, (length - 1) * sizeof(char16_t)) == 0)
      return at;
    from = at + 1;
  }
  return kNotFound;
}

// Counts the items splitting gives: one more than the non-overlapping separator matches.
std::size_t CountItems(std::u16string_view text, std::u16string_view separator, std::size_t firstMatch) {
  if (separator.empty()) return 1;
  std::size_t count = 1;
  for (std::size_t at = firstMatch; at != kNotFound; at = FindSeparator(text, separator, at + separator.size()))
    ++count;
  return count;
}

template <class Record>
std::u16string SortAndJoin(std::u16string_view text, std::u16string_view inputSeparator,
                           std::u16string_view outputSeparator, std::size_t count,
                           std::unique_ptr<char16_t[]> keys, const detail::ParallelPlan& plan) {
  auto records = std::make_unique_for_overwrite<Record[]>(count);
  {
    std::size_t start = 0;
    std::size_t item = 0;
    const auto add = [&](std::size_t end) {
      Record& r = records[item++];
      r.offset = static_cast<decltype(r.offset)>(start);
      r.length = static_cast<decltype(r.length)>(end - start);
      r.prefix = detail::KeyPrefix(keys.get() + start, end - start);
    };
    if (!inputSeparator.empty()) {
      for (std::size_t at = FindSeparator(text, inputSeparator, 0); at != kNotFound;
           at = FindSeparator(text, inputSeparator, start)) {
        add(at);
        start = at + inputSeparator.size();
      }
    }
    add(text.size());
  }

  detail::RecordSorter<Record>(records.get(), keys.get())
      .Sort(0, static_cast<std::int64_t>(count) - 1, plan);
  keys.reset();

  // Items total the text minus the separators between them.
  const std::size_t itemUnits = text.size() - (count - 1) * inputSeparator.size();
  std::u16string joined(itemUnits + (count - 1) * outputSeparator.size(), u'\0');
  char16_t* out = joined.data();
  const char16_t* source = text.data();
  constexpr std::size_t kPrefetchAhead = 16;
  for (std::size_t i = 0; i < count; ++i) {
    if (i + kPrefetchAhead < count) __builtin_prefetch(source + records[i + kPrefetchAhead].offset);
    if (i != 0) {
      std::memcpy(out, outputSeparator.data(), outputSeparator.size() * sizeof(char16_t));
      out += outputSeparator.size();
    }
    const Record& r = records[i];
    std::memcpy(out, source + r.offset, static_cast<std::size_t>(r.length) * sizeof(char16_t));
    out += r.length;
  }
  return joined;
}

}  // namespace

namespace detail {

SortResult SortListTextWith(std::u16string_view listText, std::u16string_view inputSeparator,
                            std::u16string_view outputSeparator, const SortOptions& options) {
  SortResult result;
  const std::size_t firstMatch = inputSeparator.empty() ? 0 : FindSeparator(listText, inputSeparator, 0);
  if (listText.empty() || firstMatch == kNotFound) {
    result.refused = true;
    return result;
  }
  const std::size_t count = CountItems(listText, inputSeparator, firstMatch);
  if (count > static_cast<std::uint64_t>(options.maxItems))
    throw std::length_error("SortListText: the list has more items than a 32-bit index can address");

  auto keys = std::make_unique_for_overwrite<char16_t[]>(listText.size());
  LowerCaseUnits(listText.data(), keys.get(), listText.size());

  ParallelPlan plan;
  plan.threads = options.threads != 0 ? options.threads : AutoThreads(count);
  plan.grain = options.grain;
  if (!options.wideRecords && listText.size() <= std::numeric_limits<std::uint32_t>::max()) {
    result.text = SortAndJoin<CompactRecord>(listText, inputSeparator, outputSeparator, count,
                                             std::move(keys), plan);
  } else {
    result.text = SortAndJoin<WideRecord>(listText, inputSeparator, outputSeparator, count,
                                          std::move(keys), plan);
  }
  return result;
}

}  // namespace detail

SortResult SortListText(std::u16string_view listText, std::u16string_view inputSeparator,
                        std::u16string_view outputSeparator) {
  return detail::SortListTextWith(listText, inputSeparator, outputSeparator, {});
}

}  // namespace ordwell
