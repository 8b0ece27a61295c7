// The sort of UTF-8 bytes against the sort of the same list in UTF-16: for valid UTF-8 both must
// give the same items in the same order, ties included, whatever the scripts.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <numeric>
#include <optional>
#include <random>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "sorting/detail/sort_list_detail.h"
#include "sorting/sorted_list.h"
#include "sorting/tests/reference_sort.h"
#include "sorting/tests/utf8_text.h"

namespace ordwell {
namespace {

using testing::ToUtf8;

template <class Char>
std::optional<std::vector<std::string>> Items(const std::optional<BasicSortedList<Char>>& sorted) {
  if (!sorted) return std::nullopt;
  std::vector<std::string> items;
  for (std::size_t i = 0; i < sorted->size(); ++i) {
    if constexpr (sizeof(Char) == 1) {
      items.emplace_back((*sorted)[i]);
    } else {
      items.push_back(ToUtf8((*sorted)[i]));
    }
  }
  return items;
}

// Pieces from many scripts in both cases; the letters whose lower case has another UTF-8 length
// (U+0130, U+023A, U+023E, U+1E9E, U+2126, U+212A, U+212B, U+2C62, U+2C6F, U+A78D, U+A7AE);
// U+E000-U+FFFF beside characters beyond U+FFFF (which keep their case); ASCII and NUL.
const std::vector<std::u16string>& Pieces() {
  static const std::vector<std::u16string> pieces = {u"a",
                                                     u"A",
                                                     u"i",
                                                     u"I",
                                                     u"k",
                                                     u"K",
                                                     u"z",
                                                     u"_",
                                                     u" ",
                                                     u"0",
                                                     u"ab",
                                                     u"AB",
                                                     u"\u00E9",
                                                     u"\u00C9",
                                                     u"\u00DF",
                                                     u"\u00E5",
                                                     u"\u0131",
                                                     u"\u0130",
                                                     u"\u023A",
                                                     u"\u2C65",
                                                     u"\u023E",
                                                     u"\u2C66",
                                                     u"\u1E9E",
                                                     u"\u2126",
                                                     u"\u03A9",
                                                     u"\u03C9",
                                                     u"\u212A",
                                                     u"\u212B",
                                                     u"\u2C62",
                                                     u"\u026B",
                                                     u"\u2C6F",
                                                     u"\u0250",
                                                     u"\uA78D",
                                                     u"\u0265",
                                                     u"\uA7AE",
                                                     u"\u026A",
                                                     u"\u03A3",
                                                     u"\u03C3",
                                                     u"\u03C2",
                                                     u"\u0414",
                                                     u"\u0434",
                                                     u"\u0401",
                                                     u"\u0451",
                                                     u"\u0531",
                                                     u"\u0561",
                                                     u"\u10A0",
                                                     u"\u2D00",
                                                     u"\u1C90",
                                                     u"\u10D0",
                                                     u"\u13A0",
                                                     u"\uAB70",
                                                     u"\u4E2D",
                                                     u"\u6587",
                                                     u"\uD55C",
                                                     u"\u0639",
                                                     u"\u05E9",
                                                     u"\u0915",
                                                     u"\u0E01",
                                                     u"\u01C5",
                                                     u"\u00FF",
                                                     u"\u0178",
                                                     u"\u07FF",
                                                     u"\u0800",
                                                     u"\uD7FF",
                                                     u"\uE000",
                                                     u"\uF8FF",
                                                     u"\uFF21",
                                                     u"\uFF41",
                                                     u"\uFFFD",
                                                     u"\uFEFF",
                                                     u"\uFFFF",
                                                     u"\U00010000",
                                                     u"\U00010400",
                                                     u"\U00010428",
                                                     u"\U0001F600",
                                                     u"\U0001D400",
                                                     u"\U0010FFFF",
                                                     std::u16string(1, u'\0'),
                                                     u"Stem of a longer item, ",
                                                     u"STEM OF A LONGER ITEM, \u0130 "};
  return pieces;
}

std::u16string RandomItem(std::mt19937& rng, int maxPieces) {
  std::u16string item;
  std::uniform_int_distribution<std::size_t> which(0, Pieces().size() - 1);
  for (int n = std::uniform_int_distribution<int>(0, maxPieces)(rng); n > 0; --n)
    item += Pieces()[which(rng)];
  return item;
}

TEST(Utf8List, SortsRandomListsAsTheUtf16SortDoesWhateverTheWorkSplit) {
  const std::vector<std::u16string> separators = {u"\n",   u", ",         u"",  u"\u0130",      u"\u00E9",
                                                  u"\r\n", u"\U0001F600", u"a", u"\uFF21\uFF21"};
  std::mt19937 rng(16);
  for (int round = 0; round < 600; ++round) {
    SCOPED_TRACE(::testing::Message() << "round " << round);
    const std::u16string& separator = separators[static_cast<std::size_t>(round) % separators.size()];
    std::vector<std::u16string> pool;
    for (int n = std::uniform_int_distribution<int>(1, 40)(rng); n > 0; --n)
      pool.push_back(RandomItem(rng, round % 4 == 0 ? 12 : 4));
    std::u16string list;
    const int count = std::uniform_int_distribution<int>(0, round % 5 == 0 ? 3000 : 60)(rng);
    for (int i = 0; i < count; ++i) {
      if (i != 0 || rng() % 10 == 0) list += separator;
      list += pool[std::uniform_int_distribution<std::size_t>(0, pool.size() - 1)(rng)];
    }
    const auto expected = Items(SortWith(list, separator, {}));
    detail::SortOptions options;
    options.threads = 1 + static_cast<unsigned>(round % 2);
    options.grain = 64;
    options.scanBudget = round % 3 == 0 ? 0 : (round % 3 == 1 ? -1 : static_cast<std::int64_t>(rng() % 4000));
    options.wideRecords = round % 5 == 0;
    ASSERT_EQ(Items(SortWith(ToUtf8(list), ToUtf8(separator), options)), expected);
    // With ties in any order, the same items come out with the same key at every position.
    auto anyTies = Items(SortWith(ToUtf8(list), ToUtf8(separator), options, TieOrder::kAny));
    ASSERT_EQ(anyTies.has_value(), expected.has_value());
    if (anyTies) {
      for (std::size_t i = 0; i < anyTies->size(); ++i)
        ASSERT_TRUE(EqualSortKeys(std::string_view((*anyTies)[i]), std::string_view((*expected)[i]))) << i;
      auto exact = *expected;
      std::sort(exact.begin(), exact.end());
      std::sort(anyTies->begin(), anyTies->end());
      ASSERT_EQ(*anyTies, exact);
      // With ties in input order, the items are those of a stable sort by key.
      std::vector<std::u16string> stable = reference::Split(list, separator);
      std::stable_sort(stable.begin(), stable.end(), [](const std::u16string& x, const std::u16string& y) {
        return reference::LowerCase(x) < reference::LowerCase(y);
      });
      std::vector<std::string> stableBytes;
      for (const std::u16string& item : stable) stableBytes.push_back(ToUtf8(item));
      ASSERT_EQ(Items(SortWith(ToUtf8(list), ToUtf8(separator), options, TieOrder::kInput)), stableBytes);
    }
    // Equal keys agree with the UTF-16 ones, also between neighbours in the order, which share
    // the longest prefixes.
    if (pool.size() >= 2) {
      ASSERT_EQ(EqualSortKeys(std::string_view(ToUtf8(pool[0])), std::string_view(ToUtf8(pool[1]))),
                EqualSortKeys(std::u16string_view(pool[0]), std::u16string_view(pool[1])));
    }
    for (std::size_t i = 1; expected && i < expected->size(); ++i) {
      const std::string& a = (*expected)[i - 1];
      const std::string& b = (*expected)[i];
      ASSERT_EQ(
          EqualSortKeys(std::string_view(a), std::string_view(b)),
          EqualSortKeys(std::u16string_view(testing::Utf16Of(a)), std::u16string_view(testing::Utf16Of(b))))
          << i;
    }
  }
}

// Returns `bytes` with each LF that does not follow a CR made a CR LF, as a stream's text reads.
std::string LineFeedsAsCrLf(std::string_view bytes) {
  std::string text;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] == '\n' && (i == 0 || bytes[i - 1] != '\r')) text += '\r';
    text += bytes[i];
  }
  return text;
}

TEST(Utf8List, SortsStreamTextsWithAnyLineBreaksAsTheirUtf16TextSorts) {
  // Items hold LF, CR LF and lone CRs; a CR LF separator splits at every LF.
  const std::vector<std::u16string> separators = {u"\r\n", u", ", u"\u0130", u"\r\n", u";"};
  std::mt19937 rng(18);
  for (int round = 0; round < 300; ++round) {
    SCOPED_TRACE(::testing::Message() << "round " << round);
    const std::u16string& separator = separators[static_cast<std::size_t>(round) % separators.size()];
    std::string list;
    const int count = std::uniform_int_distribution<int>(0, round % 10 == 0 ? 2000 : 40)(rng);
    for (int i = 0; i < count; ++i) {
      if (i != 0) list += ToUtf8(separator == u"\r\n" && rng() % 2 == 0 ? u"\n" : separator);
      for (int n = std::uniform_int_distribution<int>(0, 4)(rng); n > 0; --n) {
        const char* const breaks[] = {"\n", "\r\n", "\r", "\r\r\n"};
        list += rng() % 3 == 0 ? std::string(breaks[rng() % 4]) : ToUtf8(RandomItem(rng, 1));
      }
    }
    const std::string text = LineFeedsAsCrLf(list);
    const std::u16string wide = testing::Utf16Of(text);
    const auto expected = Items(SortWith(wide, separator, {}));
    detail::SortOptions options;
    options.threads = 1 + static_cast<unsigned>(round % 2);
    options.grain = 64;
    options.scanBudget = round % 3 == 0 ? 0 : -1;
    auto actual = Items(SortStreamTextWith(list, ToUtf8(separator), options));
    if (actual) {
      for (std::string& item : *actual) item = LineFeedsAsCrLf(item);
    }
    ASSERT_EQ(actual, expected);
  }
  EXPECT_THROW(SortStreamText("a\nb", "\n"), std::invalid_argument);
}

TEST(Utf8List, SortsBytesThatAreNotUtf8WithoutFailing) {
  // Stray continuation bytes, truncated and overlong sequences, surrogates, bytes never valid.
  const std::string list =
      "\x80,\xC3,\xC3\xA9,\xE2\x82,\xC0\xAF,\xED\xA0\x80,\xFF\xFE,\xF4\x90\x80\x80,a\xC4";
  const std::optional<SortedUtf8List> sorted = SortedUtf8List::Sort(list, ",");
  ASSERT_TRUE(sorted);
  EXPECT_EQ(sorted->size(), 9u);
  EXPECT_EQ((*sorted)[0], "a\xC4");
  EXPECT_FALSE(EqualSortKeys(std::string_view("\xC3"), std::string_view("\xC3\xA9")));
}
TEST(Utf8List, SortsListsThatComeInRunsIntoInputOrderTies) {
  // Sorted, reversed, organ pipes and sawtooths of items with case variants and duplicates: the
  // runs a merge takes, with equal keys inside runs and across them.
  std::mt19937 rng(22);
  for (int round = 0; round < 60; ++round) {
    SCOPED_TRACE(::testing::Message() << "round " << round);
    std::vector<std::u16string> items(
        static_cast<std::size_t>(std::uniform_int_distribution<int>(2, 4000)(rng)));
    // Few equal keys, so that the runs are long, but some: an item now and then is a copy.
    for (std::size_t i = 0; i < items.size(); ++i)
      items[i] = i % 50 == 49 ? items[rng() % i] : RandomItem(rng, 6) + u"-" + RandomItem(rng, 6);
    const auto byKey = [](const std::u16string& x, const std::u16string& y) {
      return reference::LowerCase(x) < reference::LowerCase(y);
    };
    std::stable_sort(items.begin(), items.end(), byKey);
    const std::size_t run = std::size_t{1} << (round % 12);
    // Every `stride`-th item from each start, the starts in random order: `stride` rising runs
    // that interleave.
    const auto deal = [&items, &rng](std::size_t stride) {
      std::vector<std::size_t> starts(stride);
      std::iota(starts.begin(), starts.end(), std::size_t{0});
      std::shuffle(starts.begin(), starts.end(), rng);
      std::vector<std::u16string> dealt;
      for (const std::size_t start : starts)
        for (std::size_t i = start; i < items.size(); i += stride) dealt.push_back(items[i]);
      items = std::move(dealt);
    };
    switch (round % 4) {
      case 0: break;
      case 1: std::reverse(items.begin(), items.end()); break;
      case 2:
        deal(2);
        std::reverse(items.begin() + static_cast<std::ptrdiff_t>((items.size() + 1) / 2), items.end());
        break;
      case 3: deal(std::max<std::size_t>(2, items.size() / run)); break;
    }
    std::u16string list;
    for (const std::u16string& item : items) list += (list.empty() ? u"" : u"\n") + item;
    std::vector<std::u16string> stable = reference::Split(list, u"\n");
    std::stable_sort(stable.begin(), stable.end(), byKey);
    std::vector<std::string> expected;
    for (const std::u16string& item : stable) expected.push_back(ToUtf8(item));
    detail::SortOptions options;
    options.threads = 1 + static_cast<unsigned>(round % 2);
    ASSERT_EQ(Items(SortWith(ToUtf8(list), "\n", options, TieOrder::kInput)), expected);
  }
}

TEST(Utf8List, SplitsALargeTextInTwoPartsAsInOne) {
  // Texts of over 1 MiB are counted, split and scanned in two parts when there are two threads:
  // items with keys of another length on both sides, line breaks inside items and before
  // separators, and a cut that may fall anywhere.
  std::mt19937 rng(23);
  for (const std::string_view separator :
       {std::string_view("\n"), std::string_view("\r\n"), std::string_view(",")}) {
    SCOPED_TRACE(::testing::Message() << "separator " << testing::Utf16Of(separator).size());
    std::string list;
    while (list.size() < (std::size_t{3} << 19)) {
      if (!list.empty()) list += separator == "\r\n" && rng() % 2 == 0 ? "\n" : separator;
      list += ToUtf8(RandomItem(rng, 6));
      if (separator == "," && rng() % 8 == 0) list += rng() % 2 == 0 ? "\n" : "\r\n";
    }
    const auto sortWith = [&](unsigned threads) {
      detail::SortOptions options;
      options.threads = threads;
      return separator == "\n" ? Items(SortWith(list, separator, options))
                               : Items(SortStreamTextWith(list, separator, options));
    };
    ASSERT_EQ(sortWith(2), sortWith(1));
  }
}

}  // namespace
}  // namespace ordwell
