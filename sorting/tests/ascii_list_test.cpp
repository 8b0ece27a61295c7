// The byte sort that lower-cases keys as it reads them, against the UTF-16 sort of the same text:
// for ASCII text, and on hard orders in any script, both must give the same items in the same
// order, ties included.

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "sorting/detail/key_prefix.h"
#include "sorting/detail/sort_list_detail.h"
#include "sorting/sorted_list.h"
#include "sorting/tests/random_lists.h"
#include "sorting/tests/utf8_text.h"

namespace ordwell {
namespace {

std::u16string Widen(std::string_view bytes) {
  std::u16string text;
  for (const char c : bytes) text.push_back(static_cast<unsigned char>(c));
  return text;
}

std::string Narrow(std::u16string_view text) {
  std::string bytes;
  for (const char16_t unit : text) bytes.push_back(static_cast<char>(unit));
  return bytes;
}

// The items of both sorts, as bytes, or nullopt for a refusal.
std::optional<std::vector<std::string>> Items(const std::optional<SortedUtf8List>& sorted) {
  if (!sorted) return std::nullopt;
  std::vector<std::string> items;
  for (std::size_t i = 0; i < sorted->size(); ++i) items.emplace_back((*sorted)[i]);
  return items;
}

std::optional<std::vector<std::string>> Items(const std::optional<SortedList>& sorted) {
  if (!sorted) return std::nullopt;
  std::vector<std::string> items;
  for (std::size_t i = 0; i < sorted->size(); ++i) items.push_back(testing::ToUtf8((*sorted)[i]));
  return items;
}

// ASCII pieces rich in case variants, with the bytes either side of both letter ranges ('@', '[',
// '`', '{'), NUL and DEL, and long stems that share prefixes past the first eight bytes.
std::string RandomAsciiItem(std::mt19937& rng) {
  static const std::vector<std::string> pieces = {"a",
                                                  "A",
                                                  "b",
                                                  "B",
                                                  "ab",
                                                  "aB",
                                                  "Ab",
                                                  "z",
                                                  "Z",
                                                  "_",
                                                  " ",
                                                  "0",
                                                  "1",
                                                  "10",
                                                  "@",
                                                  "[",
                                                  "`",
                                                  "{",
                                                  "~",
                                                  "\x7F",
                                                  std::string(1, '\0'),
                                                  "aaaa",
                                                  "AAAAa",
                                                  "Stem of some length ",
                                                  "STEM OF SOME LENGTH, longer "};
  std::string item;
  for (int n = std::uniform_int_distribution<int>(0, 5)(rng); n > 0; --n)
    item += pieces[std::uniform_int_distribution<std::size_t>(0, pieces.size() - 1)(rng)];
  return item;
}

TEST(AsciiList, SortsRandomListsAsTheUtf16SortDoesWhateverTheWorkSplit) {
  const std::vector<std::string> separators = {", ",
                                               ",",
                                               "\n",
                                               "",
                                               "a",
                                               "A",
                                               "aa",
                                               "aba",
                                               " ",
                                               "a long separator, past sixteen bytes",
                                               "abababababababababab"};
  std::mt19937 rng(21);
  for (int round = 0; round < 600; ++round) {
    SCOPED_TRACE(::testing::Message() << "round " << round);
    const std::string& separator = separators[static_cast<std::size_t>(round) % separators.size()];
    // A few distinct items reused often: duplicates and case variants.
    std::vector<std::string> pool;
    for (int n = std::uniform_int_distribution<int>(1, 40)(rng); n > 0; --n)
      pool.push_back(RandomAsciiItem(rng));
    std::string list;
    const int count = std::uniform_int_distribution<int>(0, round % 10 == 0 ? 3000 : 60)(rng);
    for (int i = 0; i < count; ++i) {
      if (i != 0 || rng() % 10 == 0) list += separator;
      list += pool[std::uniform_int_distribution<std::size_t>(0, pool.size() - 1)(rng)];
    }
    const std::u16string wide = Widen(list);
    const auto expected = Items(SortWith(wide, Widen(separator), {}));
    detail::SortOptions options;
    options.threads = 1 + static_cast<unsigned>(round % 2);
    options.grain = 64;
    options.scanBudget = round % 3 == 0 ? 0 : (round % 3 == 1 ? -1 : static_cast<std::int64_t>(rng() % 4000));
    options.wideRecords = round % 5 == 0;
    ASSERT_EQ(Items(SortWith(list, separator, options)), expected);
  }
}

// An organ pipe whose keys are spelled with letters that take one, two or three bytes in either
// case, so ranking and the quicksort over ranks meet items whose key is not aligned with their text.
std::vector<std::u16string> OrganPipeOfEveryLength(std::mt19937& rng, int count) {
  const std::u16string upper[] = {u"I", u"\u0130", u"K", u"\u212A", u"\u023A", u"\u03A9", u"\u2126"};
  const std::u16string lower[] = {u"i", u"i", u"k", u"k", u"\u2C65", u"\u03C9", u"\u03C9"};
  std::vector<std::u16string> items;
  for (int i = 0; i < count; ++i) {
    int value = i < count / 2 ? i : count - i;
    std::u16string item;
    for (int digit = 0; digit < 6; ++digit, value /= 7) {
      const auto letter = static_cast<std::size_t>(value % 7);
      item += rng() % 2 == 0 ? upper[letter] : lower[letter];
    }
    items.push_back(std::move(item));
  }
  return items;
}

TEST(AsciiList, SortsQuadraticShapesAsTheUtf16SortDoes) {
  std::mt19937 rng(22);
  constexpr int kCount = 20000;
  const std::vector<std::pair<const char*, std::vector<std::u16string>>> shapes = {
      {"organ pipe in random case", testing::OrganPipeItems(rng, kCount, 3)},
      {"adversary in random case", testing::AdversaryItems(rng, kCount, 4, 2)},
      {"organ pipe in random case of every UTF-8 length", OrganPipeOfEveryLength(rng, kCount)},
  };
  for (const auto& [name, items] : shapes) {
    SCOPED_TRACE(name);
    std::u16string wide;
    for (const std::u16string& item : items) {
      if (!wide.empty()) wide += u'\n';
      wide += item;
    }
    const std::string list = testing::ToUtf8(wide);
    const auto expected = Items(SortWith(wide, u"\n", {}));
    for (const unsigned threads : {1u, 2u}) {
      for (const std::int64_t scanBudget : {std::int64_t{-1}, std::int64_t{0}}) {
        detail::SortOptions options;
        options.threads = threads;
        options.grain = 256;
        options.scanBudget = scanBudget;
        ASSERT_EQ(Items(SortWith(list, "\n", options)), expected) << threads << " threads";
      }
    }
  }
}

TEST(AsciiList, RefusesWhatSortListTextRefusesAndJoinsLikeIt) {
  EXPECT_FALSE(SortedUtf8List::Sort("", ", "));
  EXPECT_FALSE(SortedUtf8List::Sort("", ""));
  EXPECT_FALSE(SortedUtf8List::Sort("pear apple", ", "));
  const std::optional<SortedUtf8List> sorted = SortedUtf8List::Sort("pear, Apple, apple, fig", ", ");
  ASSERT_TRUE(sorted);
  EXPECT_EQ(sorted->Join(" | "), Narrow(SortListText(u"pear, Apple, apple, fig", u", ", u" | ").text));
}

TEST(AsciiList, LowerCasesExactlyTheLettersAToZInEveryByteOfAWord) {
  for (unsigned byte = 0; byte < 256; ++byte) {
    const std::uint64_t lowered = byte >= 'A' && byte <= 'Z' ? byte + 32 : byte;
    for (unsigned position = 0; position < 8; ++position) {
      // The other bytes are letters and high bytes, so a carry or borrow across bytes shows.
      const std::uint64_t around = 0xC15A40DB7B605B41ull & ~(std::uint64_t{0xFF} << (8 * position));
      const std::uint64_t aroundLowered = detail::LowerAsciiLetters(around);
      ASSERT_EQ(detail::LowerAsciiLetters(around | std::uint64_t{byte} << (8 * position)),
                aroundLowered | lowered << (8 * position))
          << "byte " << byte << " at " << position;
    }
  }
}

TEST(AsciiList, EqualSortKeysIgnoresOnlyTheCaseOfLetters) {
  EXPECT_TRUE(EqualSortKeys(std::string_view("Apple pie, SLICED"), std::string_view("aPPLE PIE, sliced")));
  EXPECT_TRUE(EqualSortKeys(std::string_view(""), std::string_view("")));
  EXPECT_FALSE(EqualSortKeys(std::string_view("apple"), std::string_view("apples")));
  // '@' and '`' sit just below 'A' and 'a', '[' and '{' just above 'Z' and 'z'.
  EXPECT_FALSE(EqualSortKeys(std::string_view("@["), std::string_view("`{")));
  EXPECT_FALSE(EqualSortKeys(std::string_view("a long item that differs at the end_"),
                             std::string_view("a long item that differs at the end-")));
}

}  // namespace
}  // namespace ordwell
