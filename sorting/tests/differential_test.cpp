// The library's sorts against the plain form of their order (reference_sort.h, defined in
// sorting/sort_list.h), on thousands of seeded random arrays and list texts.

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "sorting/detail/sort_list_detail.h"
#include "sorting/quick_sort.h"
#include "sorting/sort_list.h"
#include "sorting/sorted_list.h"
#include "sorting/tests/random_lists.h"
#include "sorting/tests/reference_sort.h"

namespace ordwell {
namespace {

TEST(Differential, QuickSortMatchesTheReferenceOnRandomArraysAndRanges) {
  for (std::uint32_t seed = 1; seed <= 3000; ++seed) {
    SCOPED_TRACE(seed);
    std::mt19937 rng(seed);
    const std::size_t count = std::uniform_int_distribution<std::size_t>(1, 70)(rng);
    std::vector<std::u16string> actual = testing::RandomItems(rng, count);
    std::vector<std::u16string> expected = actual;
    // Mostly the whole array, sometimes an inner range that must leave the rest alone.
    std::int32_t low = 0;
    auto high = static_cast<std::int32_t>(count) - 1;
    if (seed % 4 == 0) {
      std::uniform_int_distribution<std::int32_t> bound(0, high);
      low = bound(rng);
      high = bound(rng);
      if (low > high) std::swap(low, high);
    }
    if (low < high) reference::QuickSortAscending(expected, low, high);
    QuickSortAscending(actual, low, high);
    ASSERT_EQ(actual, expected);
  }
}

TEST(Differential, SortListTextMatchesTheReferenceWhateverTheWorkSplit) {
  detail::SortOptions parallel;
  parallel.threads = 2;
  parallel.grain = 2;
  detail::SortOptions wide;
  wide.wideRecords = true;
  wide.wideKeys = true;
  for (std::uint32_t seed = 1; seed <= 3000; ++seed) {
    // The scans switch to the tree from the start or at some point along the way.
    parallel.scanBudget = static_cast<std::int64_t>(seed % 7) * 5 - 1;
    wide.scanBudget = static_cast<std::int64_t>(seed % 3) * 10;
    SCOPED_TRACE(seed);
    std::mt19937 rng(seed);
    const std::u16string inputSeparator = testing::RandomSeparator(rng);
    const std::u16string outputSeparator = testing::RandomSeparator(rng);
    // Short lists of anything; longer ones of Latin-1 only (one-byte keys) or with long shared
    // prefixes, where the cached prefixes move on to later units.
    testing::Flavour flavour;
    flavour.latin1Only = seed % 2 == 0;
    flavour.longStems = seed % 3 == 0;
    const std::size_t count = std::uniform_int_distribution<std::size_t>(0, seed % 5 == 0 ? 300 : 60)(rng);
    const std::u16string list = testing::RandomListText(rng, inputSeparator, count, flavour);

    const SortResult expected = reference::SortListText(list, inputSeparator, outputSeparator);
    const SortResult plain = SortListText(list, inputSeparator, outputSeparator);
    ASSERT_EQ(plain.refused, expected.refused);
    ASSERT_EQ(plain.text, expected.text);
    // Other threads and the wide record layout change the work, never the result.
    if (seed % 3 == 0 || seed % 7 != 0) {
      const SortResult onThreads = detail::SortListTextWith(list, inputSeparator, outputSeparator, parallel);
      ASSERT_EQ(onThreads.text, expected.text);
    }
    const SortResult withWideRecords = detail::SortListTextWith(list, inputSeparator, outputSeparator, wide);
    ASSERT_EQ(withWideRecords.text, expected.text);
    // The sorted items one by one are the same, in the same order.
    const std::optional<SortedList> items = SortedList::Sort(list, inputSeparator);
    ASSERT_EQ(items.has_value(), !expected.refused);
    if (items) {
      std::u16string joined;
      for (std::size_t i = 0; i < items->size(); ++i) {
        if (i != 0) joined += u'\x1F';
        joined += (*items)[i];
      }
      ASSERT_EQ(joined, reference::SortListText(list, inputSeparator, u"\x1F").text);
      ASSERT_EQ(items->Join(outputSeparator), expected.text);
    }
  }
}

// Items joined by CR LF.
std::u16string Lines(const std::vector<std::u16string>& items) {
  std::u16string text;
  for (const std::u16string& item : items) {
    if (&item != &items.front()) text += u"\r\n";
    text += item;
  }
  return text;
}

TEST(Differential, QuadraticShapesMatchTheStepsOverRanksWhateverTheScans) {
  // Orders on which the quicksort steps are quadratic, with and without case variants, checked
  // against the reference's steps over integer ranks.
  std::mt19937 rng(11);
  constexpr int kCount = 30000;
  const std::vector<std::pair<const char*, std::vector<std::u16string>>> shapes = {
      {"organ pipe in random case", testing::OrganPipeItems(rng, kCount, 3)},
      {"organ pipe in lower case", testing::OrganPipeItems(rng, kCount, 0)},
      {"adversary in random case", testing::AdversaryItems(rng, kCount, 3, 2)},
      {"adversary built whole, two variants of one key",
       [&] {
         std::vector<std::u16string> items = testing::AdversaryItems(rng, kCount, 1, 0);
         // The last item becomes a case variant of the first (their keys start with "k").
         items.back() = items.front();
         items.back()[0] = u'K';
         return items;
       }()},
  };
  for (const auto& [name, items] : shapes) {
    SCOPED_TRACE(name);
    std::vector<std::u16string> sorted = items;
    reference::QuickSortByRanks(sorted);
    const std::u16string expected = Lines(sorted);
    const std::u16string list = Lines(items);
    std::uniform_int_distribution<std::int64_t> budget(1, std::int64_t{kCount} * 40);
    for (const unsigned threads : {1u, 2u}) {
      for (const std::int64_t scanBudget : {std::int64_t{-1}, std::int64_t{0}, budget(rng), budget(rng)}) {
        SCOPED_TRACE(::testing::Message() << threads << " threads, scan budget " << scanBudget);
        detail::SortOptions options;
        options.threads = threads;
        options.grain = 256;
        options.scanBudget = scanBudget;
        ASSERT_EQ(detail::SortListTextWith(list, u"\r\n", u"\r\n", options).text, expected);
      }
    }
  }
}

TEST(Differential, LargeListsSortedOnSeveralThreadsMatchTheReference) {
  // Large enough for the automatic choice of threads, with long shared prefixes and many ties.
  for (std::uint32_t seed = 1; seed <= 2; ++seed) {
    SCOPED_TRACE(seed);
    std::mt19937 rng(seed);
    std::u16string list;
    testing::Flavour flavour;
    flavour.maxPieces = 6;
    flavour.longStems = seed == 2;
    for (const std::u16string& item : testing::RandomItems(rng, 70000, flavour)) {
      list += item;
      list += u"\r\n";
    }
    const SortResult expected = reference::SortListText(list, u"\r\n", u"|");
    ASSERT_EQ(SortListText(list, u"\r\n", u"|").text, expected.text);
  }
}

}  // namespace
}  // namespace ordwell
