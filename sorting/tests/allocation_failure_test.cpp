// A failed allocation anywhere in a sort, on any of its threads, reaches the caller as
// std::bad_alloc, with every thread the sort started gone; the sort then works again.

#include <gtest/gtest.h>

#include <cstdint>
#include <new>
#include <optional>
#include <random>
#include <string>
#include <string_view>

#include "sorting/detail/sort_list_detail.h"
#include "sorting/tests/allocation_failures.h"

namespace ordwell {
namespace {

enum class Path { kText, kList, kBytes };

struct Row {
  const char* name;
  Path path;
  unsigned threads;
  std::int64_t scanBudget;
};

// An organ pipe over few keys, in random letter case: case variants, duplicates and a rank sort
// of many buckets, with non-ASCII letters for the UTF-16 rows.
std::u16string OrganPipeList(bool wide) {
  constexpr int kCount = 5000;
  constexpr int kKeys = 90;
  std::mt19937 rng(18);
  std::u16string text;
  for (int i = 0; i < kCount; ++i) {
    const int pipe = i < kCount / 2 ? i : kCount - 1 - i;
    const int key = pipe * kKeys / (kCount / 2);
    for (const int letter : {key / 10, key % 10}) {
      const bool upper = (rng() & 1) != 0;
      text += static_cast<char16_t>((upper ? u'A' : u'a') + letter);
    }
    if (wide && key % 3 == 0) text += (rng() & 1) != 0 ? u'\u03A9' : u'\u03C9';
    text += u',';
  }
  text.pop_back();
  return text;
}

// Sorts `list` on the row's path; returns the items joined by ",", or nullopt when refused.
std::optional<std::u16string> Sort(const Row& row, const std::u16string& list) {
  detail::SortOptions options;
  options.threads = row.threads;
  options.grain = 64;
  options.scanBudget = row.scanBudget;
  switch (row.path) {
    case Path::kText: {
      SortResult result = detail::SortListTextWith(list, u",", u",", options);
      if (result.refused) return std::nullopt;
      return std::move(result.text);
    }
    case Path::kList: {
      const std::optional<SortedList> sorted = SortWith(list, u",", options);
      if (!sorted) return std::nullopt;
      return sorted->Join(u",");
    }
    case Path::kBytes: {
      const std::string bytes(list.begin(), list.end());
      std::string joined;
      {
        const std::optional<SortedUtf8List> sorted = SortWith(bytes, ",", options);
        if (!sorted) return std::nullopt;
        joined = sorted->Join(",");
      }
      return std::u16string(joined.begin(), joined.end());
    }
  }
  return std::nullopt;
}

TEST(AllocationFailure, EveryAllocationOfASortFailsInTurnAndReachesTheCaller) {
  const Row rows[] = {
      {"text, 1 thread, ranks at once", Path::kText, 1, 0},
      {"text, 2 threads, ranks at once", Path::kText, 2, 0},
      {"text, 2 threads, ranks later", Path::kText, 2, 5000},
      {"list, 1 thread, ranks later", Path::kList, 1, 5000},
      {"list, 2 threads, ranks at once", Path::kList, 2, 0},
      {"list, 2 threads, ranks later", Path::kList, 2, 5000},
      {"bytes, 1 thread, ranks at once", Path::kBytes, 1, 0},
      {"bytes, 2 threads, ranks at once", Path::kBytes, 2, 0},
      {"bytes, 2 threads, ranks later", Path::kBytes, 2, 5000},
  };
  const testing::DisarmOnExit disarm;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const std::u16string list = OrganPipeList(row.path != Path::kBytes);
    const std::optional<std::u16string> expected = Sort({row.name, row.path, 1, -1}, list);
    ASSERT_TRUE(expected.has_value());
    // Counted after a first run, which starts any thread a runtime keeps for itself.
    ASSERT_EQ(Sort(row, list), expected);
    const int threadsBefore = testing::ThreadsSettlingTo(1);
    int failures = 0;
    for (std::int64_t n = 1;; ++n) {
      SCOPED_TRACE(n);
      testing::FailAllocation(n);
      std::optional<std::u16string> sorted;
      bool threw = false;
      try {
        sorted = Sort(row, list);
      } catch (const std::bad_alloc&) {
        threw = true;
      }
      const bool failed = testing::AllocationFailed();
      testing::FailAllocation(0);
      ASSERT_EQ(testing::ThreadsSettlingTo(threadsBefore), threadsBefore);
      // A failure the sort survives is a thread it could not start: it sorts on fewer.
      if (!threw) {
        EXPECT_EQ(sorted, expected);
      }
      if (!failed) break;
      failures += threw ? 1 : 0;
    }
    EXPECT_GT(failures, 10);
  }
}

}  // namespace
}  // namespace ordwell
