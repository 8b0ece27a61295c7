#include "sorting/quick_sort.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <utility>

#include "sorting/detail/key_prefix.h"
#include "sorting/detail/quicksort_driver.h"
#include "sorting/detail/record_steps.h"
#include "sorting/detail/sort_key.h"

namespace ordwell {

void QuickSortAscending(std::vector<std::u16string>& sarray, std::int32_t inLow, std::int32_t inHi) {
  if (inLow >= inHi) return;
  if (inLow < 0 || static_cast<std::size_t>(inHi) >= sarray.size())
    throw std::out_of_range("QuickSortAscending: the range lies outside the array");

  const auto count = static_cast<std::size_t>(inHi - inLow) + 1;
  const auto first = sarray.begin() + inLow;
  std::size_t units = 0;
  for (std::size_t i = 0; i < count; ++i) units += first[static_cast<std::ptrdiff_t>(i)].size();

  // Every key is lower-cased once into one buffer; the records point into it.
  auto keys = std::make_unique_for_overwrite<char16_t[]>(units);
  std::vector<detail::IndexedRecord> records(count);
  std::size_t offset = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const std::u16string& item = first[static_cast<std::ptrdiff_t>(i)];
    LowerCaseUnits(item.data(), keys.get() + offset, item.size());
    records[i] = {detail::KeyPrefix(keys.get() + offset, item.size()), offset, item.size(), i};
    offset += item.size();
  }
  const auto sameText = [first](const detail::IndexedRecord& a, const detail::IndexedRecord& b) {
    return first[static_cast<std::ptrdiff_t>(a.index)] == first[static_cast<std::ptrdiff_t>(b.index)];
  };

  detail::ParallelPlan plan;
  plan.threads = detail::AutoThreads(count);
  detail::RecordSteps<detail::IndexedRecord, detail::StoredKeys<char16_t>, decltype(sameText)>(
      records.data(), {keys.get()}, sameText, inLow)
      .Sort(0, static_cast<std::int64_t>(count) - 1, plan);

  std::vector<std::u16string> sorted;
  sorted.reserve(count);
  for (const detail::IndexedRecord& r : records)
    sorted.push_back(std::move(first[static_cast<std::ptrdiff_t>(r.index)]));
  std::move(sorted.begin(), sorted.end(), first);
}

}  // namespace ordwell
