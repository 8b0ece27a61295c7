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

// Returns the items 0 .. count - 1 in the order the steps leave them. Item i's key lies in `keys`
// at records[i]; item 0 stands for array index `origin`; sameText(a, b) tells whether items a and
// b, whose keys are equal, have the same text.
template <class Record, class Unit, class SameText>
BigBuffer<std::uint32_t> SortedOrder(const Record* records, std::size_t count, const Unit* keys,
                                     SameText&& sameText, std::int64_t origin, const ParallelPlan& plan) {
  KeyRanks ranked = RankKeys(records, count, keys, sameText, plan.threads);
  if (!ranked.variants) return std::move(ranked.order);
  ranked.order.Release();
  BigBuffer<RankedItem> items(count);
  for (std::size_t i = 0; i < count; ++i) items[i] = {ranked.ranks[i], static_cast<std::uint32_t>(i)};
  ranked.ranks.Release();
  RankSteps(items.data(), origin).Sort(0, static_cast<std::int64_t>(count) - 1, plan);
  BigBuffer<std::uint32_t> order(count);
  for (std::size_t i = 0; i < count; ++i) order[i] = items[i].item;
  return order;
}

}  // namespace ordwell::detail
