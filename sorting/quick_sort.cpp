#include "sorting/quick_sort.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <utility>

#include "sorting/detail/big_buffer.h"
#include "sorting/detail/key_prefix.h"
#include "sorting/detail/sorted_order.h"
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
  std::vector<detail::WideRecord> records(count);
  std::size_t offset = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const std::u16string& item = first[static_cast<std::ptrdiff_t>(i)];
    LowerCaseUnits(item.data(), keys.get() + offset, item.size());
    records[i] = {offset, item.size()};
    offset += item.size();
  }
  const auto sameText = [first](std::uint32_t a, std::uint32_t b) {
    return first[static_cast<std::ptrdiff_t>(a)] == first[static_cast<std::ptrdiff_t>(b)];
  };

  detail::ParallelPlan plan;
  plan.threads = detail::AutoThreads(count);
  std::vector<std::u16string> sorted(count);
  detail::SortedOrder(records.data(), count, keys.get(), sameText, inLow, plan,
                      [&](std::size_t position, std::uint32_t item) {
                        sorted[position] = std::move(first[static_cast<std::ptrdiff_t>(item)]);
                      });
  std::move(sorted.begin(), sorted.end(), first);
}

}  // namespace ordwell
