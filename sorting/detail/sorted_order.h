#pragma once

// The order the quicksort steps leave a list in, found in O(n log^2 n) at worst: the keys are
// ranked by a fast sort; when no rank holds two different texts that order is the result (equal
// texts cannot be told apart), otherwise the steps run over the ranks.

#include <cstddef>
#include <cstdint>
#include <utility>

#include "sorting/detail/big_buffer.h"
#include "sorting/detail/key_ranks.h"
#include "sorting/detail/rank_steps.h"
#include "sorting/detail/scan_tree.h"

namespace ordwell::detail {

// Calls emit(position, item) for position 0 .. count - 1 with the item the steps leave there.
// Item i's key lies in `keys` at records[i]; item 0 stands for array index `origin`;
// sameText(a, b) tells whether items a and b, whose keys are equal, have the same text.
template <class Record, class Unit, class SameText, class Emit>
void SortedOrder(const Record* records, std::size_t count, const Unit* keys, SameText&& sameText,
                 std::int64_t origin, const ParallelPlan& plan, Emit&& emit) {
  KeyOrder sorted = SortKeys(records, count, keys, sameText, plan.threads);
  if (!sorted.variants) {
    for (std::size_t i = 0; i < count; ++i) emit(i, sorted.entries[i].item);
    return;
  }
  // Dense ranks: comparing them is comparing keys.
  BigBuffer<std::uint32_t> ranks(count);
  BigBuffer<std::uint32_t> items(count);
  std::uint32_t rank = 0;
  for (std::size_t i = 0; i < count; ++i) {
    if (i != 0 && sorted.same[i] == 0) ++rank;
    ranks[sorted.entries[i].item] = rank;
  }
  sorted = {};
  for (std::size_t i = 0; i < count; ++i) items[i] = static_cast<std::uint32_t>(i);
  RankSteps(ranks.data(), items.data(), origin).Sort(0, static_cast<std::int64_t>(count) - 1, plan);
  for (std::size_t i = 0; i < count; ++i) emit(i, items[i]);
}

}  // namespace ordwell::detail
