// The quicksort's order (defined in sorting/sort_list.h) on hand-worked cases, its bounds, and its
// stack depth on an adversarial input.

#include <gtest/gtest.h>
#include <pthread.h>

#include <cstdint>
#include <cstdio>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "sorting/quick_sort.h"
#include "sorting/tests/random_lists.h"
#include "sorting/tests/reference_sort.h"

namespace ordwell {
namespace {

using Items = std::vector<std::u16string>;

Items Sorted(Items items) {
  QuickSortAscending(items, 0, static_cast<std::int32_t>(items.size()) - 1);
  return items;
}

TEST(QuickSortAscending, OrdersCaseVariantsAndDuplicatesAsTheExchangesLeaveThem) {
  EXPECT_EQ(Sorted({u"b", u"B", u"a"}), (Items{u"a", u"B", u"b"}));
  EXPECT_EQ(Sorted({u"B", u"b", u"A", u"a"}), (Items{u"A", u"a", u"B", u"b"}));
  EXPECT_EQ(Sorted({u"pear", u"Apple", u"apple", u"Pear"}), (Items{u"apple", u"Apple", u"Pear", u"pear"}));
  // The first middle index, 2.5, rounds to the even 2.
  EXPECT_EQ(Sorted({u"A", u"Aa", u"c", u"A", u"a", u"c"}), (Items{u"a", u"A", u"A", u"Aa", u"c", u"c"}));
  // The first middle index, 1.5, rounds to 2, not down to 1.
  EXPECT_EQ(Sorted({u"b", u"a", u"b", u"A"}), (Items{u"a", u"A", u"b", u"b"}));
  // Each call keeps its own scan indexes.
  EXPECT_EQ(Sorted({u"A", u"c", u"C"}), (Items{u"A", u"C", u"c"}));
}

TEST(QuickSortAscending, ComparesLowerCaseFormsByUnitCode) {
  EXPECT_EQ(Sorted({u"apples", u"Zebra", u"", u"apple"}), (Items{u"", u"apple", u"apples", u"Zebra"}));
  EXPECT_EQ(Sorted({u"9", u"10", u"2"}), (Items{u"10", u"2", u"9"}));
  EXPECT_EQ(Sorted({u"a", u"_", u"\u00E9", u"z", u"0"}), (Items{u"0", u"_", u"a", u"z", u"\u00E9"}));
  // Beyond ASCII the simple mapping applies per unit: "\u00C9" and "\u00E9" tie, "\u00C9" sorts
  // after "z", and a supplementary letter keeps its surrogate units (0xD801 > "\u00E9").
  EXPECT_EQ(Sorted({u"\U00010400", u"\u00C9", u"z"}), (Items{u"z", u"\u00C9", u"\U00010400"}));
  // A key that is a prefix of another sorts first, also when the rest is a NUL.
  const std::u16string withNul(u"ab\0", 3);
  EXPECT_EQ(Sorted({withNul, u"AB"}), (Items{u"AB", withNul}));
}

TEST(QuickSortAscending, TouchesOnlyTheGivenRangeAndRejectsBoundsOutsideTheArray) {
  Items items{u"d", u"c", u"b", u"a"};
  QuickSortAscending(items, 1, 2);
  EXPECT_EQ(items, (Items{u"d", u"b", u"c", u"a"}));

  // An empty or one-element range does nothing, wherever it points.
  QuickSortAscending(items, 3, 3);
  QuickSortAscending(items, 7, 2);
  QuickSortAscending(items, -5, -9);
  EXPECT_EQ(items, (Items{u"d", u"b", u"c", u"a"}));

  EXPECT_THROW(QuickSortAscending(items, -1, 2), std::out_of_range);
  EXPECT_THROW(QuickSortAscending(items, 0, 4), std::out_of_range);
  EXPECT_THROW(QuickSortAscending(items, 0, INT32_MAX), std::out_of_range);
  EXPECT_EQ(items, (Items{u"d", u"b", u"c", u"a"}));
}

// Items on which the quicksort steps go about n/2 calls deep, as digits.
Items AdversarialInput(std::int32_t count) {
  Items items;
  for (const int v : testing::AdversaryValues(count)) {
    char digits[16];
    std::snprintf(digits, sizeof digits, "%07d", v);
    items.emplace_back(digits, digits + 7);
  }
  return items;
}

// Sorts `items` on a thread with a 64 KiB stack.
void SortOnSmallStack(Items& items) {
  pthread_attr_t attributes;
  ASSERT_EQ(pthread_attr_init(&attributes), 0);
  ASSERT_EQ(pthread_attr_setstacksize(&attributes, 64 * 1024), 0);
  pthread_t thread;
  const auto run = [](void* argument) -> void* {
    auto* sorted = static_cast<Items*>(argument);
    QuickSortAscending(*sorted, 0, static_cast<std::int32_t>(sorted->size()) - 1);
    return nullptr;
  };
  ASSERT_EQ(pthread_create(&thread, &attributes, run, &items), 0);
  ASSERT_EQ(pthread_join(thread, nullptr), 0);
  pthread_attr_destroy(&attributes);
}

TEST(QuickSortAscending, SortsAdversarialInputsWithinASmallStack) {
  // The quicksort steps, run as written (reference_sort.h), recurse thousands of calls deep on
  // these inputs; with the smaller side taken first and the larger looped on, a 64 KiB stack is
  // plenty (the recursion as written needs several times that). Digits have no case variants and
  // are only ranked; the letter keys in random case run the quicksort steps over ranks.
  constexpr std::int32_t kCount = 6000;
  std::mt19937 rng(7);
  for (const Items& input : {AdversarialInput(kCount), testing::AdversaryItems(rng, kCount, 2, 2)}) {
    Items expected = input;
    reference::QuickSortAscending(expected, 0, kCount - 1);
    Items actual = input;
    SortOnSmallStack(actual);
    EXPECT_EQ(actual, expected);
  }
}

}  // namespace
}  // namespace ordwell
