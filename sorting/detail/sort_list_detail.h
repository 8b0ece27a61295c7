#pragma once

// Knobs behind SortListText for the tests, the fuzzer and the benchmarks: they change how the
// work is done, never the result.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <string_view>

#include "sorting/sort_list.h"
#include "sorting/sorted_list.h"

namespace ordwell::detail {

struct SortOptions {
  // Worker threads for the sort; 0 picks by list size and the machine's cores.
  unsigned threads = 0;
  // The smallest range handed to another worker.
  std::size_t grain = std::size_t{1} << 14;
  // Use the 64-bit record layout even when the text is small enough for the compact one.
  bool wideRecords = false;
  // Keep 16-bit keys even when every unit would fit in a byte.
  bool wideKeys = false;
  // How many items the quicksort's partitions may cover in all before the ranges left are
  // finished by their keys' ranks, and the scans over ranks may walk past before they find their
  // stops through a tree; 0 does both from the start. Negative picks budgets that keep ordinary
  // lists on the plain steps and bound the time on every list.
  std::int64_t scanBudget = -1;
  // The most items accepted before std::length_error.
  std::int64_t maxItems = std::numeric_limits<std::int32_t>::max();
  // When set, the sort adds its work to it: the elements the partitions' scans step over (walking
  // scans: each record or rank passed; tree-guided scans: 2 * (16 + tree levels) per stop found
  // and per exchange, what a query or an update may read; each tree built: its size), plus, for
  // ranking, one or three reads of each key and m * bit_width(m) for each run of m keys sorted on
  // 64 more bits. Each worker adds its
  // own tally once per task, so counting costs nothing in the loops.
  std::atomic<std::uint64_t>* workCount = nullptr;
};

// SortListText with explicit options.
SortResult SortListTextWith(std::u16string_view listText, std::u16string_view inputSeparator,
                            std::u16string_view outputSeparator, const SortOptions& options);

}  // namespace ordwell::detail

namespace ordwell {

// SortedList::Sort with explicit options.
std::optional<SortedList> SortWith(std::u16string_view listText, std::u16string_view inputSeparator,
                                   const detail::SortOptions& options, TieOrder ties = TieOrder::kExact);

// SortedUtf8List::Sort with explicit options.
std::optional<SortedUtf8List> SortWith(std::string_view listText, std::string_view inputSeparator,
                                       const detail::SortOptions& options, TieOrder ties = TieOrder::kExact);

// SortStreamText with explicit options.
std::optional<SortedUtf8List> SortStreamTextWith(std::string_view listText, std::string_view inputSeparator,
                                                 const detail::SortOptions& options,
                                                 TieOrder ties = TieOrder::kExact);

}  // namespace ordwell
