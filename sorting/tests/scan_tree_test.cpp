// The tree that guides the quicksort's scans against plain walks, across block boundaries and
// after exchanges.

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <utility>
#include <vector>

#include "sorting/detail/scan_tree.h"

namespace ordwell {
namespace {

std::int64_t WalkFirstAtLeast(const std::vector<std::uint32_t>& ranks, std::int64_t from, std::int64_t limit,
                              std::uint32_t pivot) {
  while (from < limit && ranks[static_cast<std::size_t>(from)] < pivot) ++from;
  return from;
}

std::int64_t WalkLastAtMost(const std::vector<std::uint32_t>& ranks, std::int64_t from, std::int64_t limit,
                            std::uint32_t pivot) {
  while (from > limit && ranks[static_cast<std::size_t>(from)] > pivot) --from;
  return from;
}

TEST(ScanTree, FindsTheStopsAPlainWalkFindsAlsoAfterExchanges) {
  std::mt19937 rng(5);
  // Few distinct ranks (extremes shared by many items) and many (each exchange moves them).
  for (const std::uint32_t spread : {40U, 1U << 20}) {
    for (const std::int64_t size : {1, 2, 15, 16, 17, 33, 200, 1000, 5000}) {
      SCOPED_TRACE(testing::Message() << "spread " << spread << ", size " << size);
      std::vector<std::uint32_t> ranks(static_cast<std::size_t>(size) + 10);
      for (std::uint32_t& rank : ranks) rank = std::uniform_int_distribution<std::uint32_t>(0, spread)(rng);
      // The tree covers [lo, hi] only; the ranks around it must not matter.
      const std::int64_t lo = 5;
      const std::int64_t hi = lo + size - 1;
      detail::ScanTree tree(ranks.data(), lo, hi);
      std::uniform_int_distribution<std::int64_t> index(lo, hi);
      for (int round = 0; round < 400; ++round) {
        const std::uint32_t pivot = std::uniform_int_distribution<std::uint32_t>(0, spread + 1)(rng);
        std::int64_t a = index(rng);
        std::int64_t b = index(rng);
        if (a > b) std::swap(a, b);
        // Forward from a, stopping short of the limit b; backward from b, stopping above a.
        ASSERT_EQ(tree.FirstAtLeast(a, b, pivot), WalkFirstAtLeast(ranks, a, b, pivot));
        ASSERT_EQ(tree.LastAtMost(b, a, pivot), WalkLastAtMost(ranks, b, a, pivot));
        std::swap(ranks[static_cast<std::size_t>(a)], ranks[static_cast<std::size_t>(b)]);
        tree.Exchanged(a, b);
      }
    }
  }
}

}  // namespace
}  // namespace ordwell
