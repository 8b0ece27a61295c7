// The sort's work count against its n log^2 n bound on the orders that make the quicksort steps
// (sorting/sort_list.h) quadratic.

#include <gtest/gtest.h>

#include <atomic>
#include <bit>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "sorting/detail/sort_list_detail.h"
#include "sorting/tests/random_lists.h"

namespace ordwell {
namespace {

// The bound the fuzzer holds the sort to, for short keys: 32 n ceil(log2 n)^2 + 4096.
std::uint64_t WorkBound(std::uint64_t items) {
  const auto levels = static_cast<std::uint64_t>(std::bit_width(items - 1));
  return 32 * items * levels * levels + 4096;
}

std::uint64_t WorkOf(const std::vector<std::u16string>& items, detail::SortOptions options) {
  std::u16string text;
  for (const std::u16string& item : items) text += item + u",";
  text.pop_back();
  std::atomic<std::uint64_t> work{0};
  options.workCount = &work;
  EXPECT_FALSE(detail::SortListTextWith(text, u",", u",", options).refused);
  return work.load();
}

TEST(SortWork, IsCountedAndStaysUnderTheBoundOnQuadraticOrders) {
  constexpr int kCount = 20000;
  std::mt19937 rng(7);
  const std::vector<std::pair<const char*, std::vector<std::u16string>>> lists = {
      {"organ pipe", testing::OrganPipeItems(rng, kCount, 0)},
      {"organ pipe in random case", testing::OrganPipeItems(rng, kCount, 3)},
      {"adversary", testing::AdversaryItems(rng, kCount, 1, 0)},
      {"adversary repeated in random case", testing::AdversaryItems(rng, kCount, 3, 2)},
  };
  detail::SortOptions byTree;
  byTree.scanBudget = 0;
  detail::SortOptions shared;
  shared.threads = 2;
  shared.grain = 64;
  for (const auto& [name, items] : lists) {
    SCOPED_TRACE(name);
    for (const detail::SortOptions& options : {detail::SortOptions{}, byTree, shared}) {
      const std::uint64_t work = WorkOf(items, options);
      EXPECT_GE(work, static_cast<std::uint64_t>(kCount));
      EXPECT_LE(work, WorkBound(kCount));
    }
  }
}

}  // namespace
}  // namespace ordwell
