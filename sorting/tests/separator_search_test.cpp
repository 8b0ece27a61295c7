// The separator search against a repeated plain search, on texts where matches overlap, nearly
// match and repeat with a period, for separators on both sides of the short/long threshold.

#include <gtest/gtest.h>

#include <cstddef>
#include <random>
#include <string>
#include <vector>

#include "sorting/detail/separator_search.h"
#include "sorting/sort_list.h"

namespace ordwell::detail {
namespace {

constexpr std::size_t kNone = std::u16string_view::npos;

// Non-overlapping matches from the left, one plain search after the end of the previous match.
std::vector<std::size_t> NaiveMatches(std::u16string_view text, std::u16string_view separator) {
  std::vector<std::size_t> matches;
  for (std::size_t at = text.find(separator); at != kNone; at = text.find(separator, at + separator.size()))
    matches.push_back(at);
  return matches;
}

template <class Char>
std::vector<std::size_t> Matches(std::basic_string_view<Char> text, std::basic_string_view<Char> separator) {
  std::vector<std::size_t> matches;
  ForEachSeparator(text, separator, [&](std::size_t at) { matches.push_back(at); });
  return matches;
}

std::vector<std::size_t> Matches(std::u16string_view text, std::u16string_view separator) {
  return Matches<char16_t>(text, separator);
}

// The bytes of a text whose units are all ASCII.
std::string Narrow(std::u16string_view text) { return std::string(text.begin(), text.end()); }

std::u16string Random(std::mt19937& rng, std::size_t length, std::u16string_view alphabet) {
  std::u16string text(length, u'\0');
  for (char16_t& unit : text) unit = alphabet[rng() % alphabet.size()];
  return text;
}

// A separator made of a random word repeated, sometimes with one unit changed: periodic
// separators are where a search that restarts after a partial match goes wrong or slow.
std::u16string Periodic(std::mt19937& rng, std::size_t length, std::u16string_view alphabet) {
  const std::u16string word = Random(rng, 1 + rng() % 3, alphabet);
  std::u16string separator;
  while (separator.size() < length) separator += word;
  separator.resize(length);
  if (rng() % 2 == 0) separator[rng() % length] = alphabet[rng() % alphabet.size()];
  return separator;
}

TEST(SeparatorSearch, AgreesWithRepeatedPlainSearchOnRandomTexts) {
  std::mt19937 rng(12);
  const std::u16string_view alphabets[] = {u"ab", u"abc", u"a\xD800\xDC00", u"aaab"};
  for (int round = 0; round < 20000; ++round) {
    const std::u16string_view alphabet = alphabets[round % 4];
    const std::size_t length = 1 + rng() % 40;
    const std::u16string separator =
        round % 2 == 0 ? Periodic(rng, length, alphabet) : Random(rng, length, alphabet);
    // Texts built from pieces of the separator have many near and overlapping matches.
    std::u16string text;
    for (std::size_t pieces = rng() % 12; pieces > 0; --pieces) {
      text += rng() % 3 == 0 ? Random(rng, rng() % 5, alphabet)
                             : separator.substr(rng() % length, 1 + rng() % length);
    }
    ASSERT_EQ(Matches(text, separator), NaiveMatches(text, separator)) << "round " << round;
    ASSERT_EQ(FindSeparator(text, separator), text.find(separator)) << "round " << round;
    // Byte texts take their own short-separator path and the same long one.
    if (round % 4 != 2) {
      const std::string bytes = Narrow(text);
      const std::string byteSeparator = Narrow(separator);
      ASSERT_EQ(Matches<char>(bytes, byteSeparator), NaiveMatches(text, separator)) << "round " << round;
      ASSERT_EQ(FindSeparator(bytes, byteSeparator), text.find(separator)) << "round " << round;
    }
  }
}

TEST(SeparatorSearch, HandlesEdgesOfTextAndSeparator) {
  const std::u16string longSeparator = std::u16string(kShortSeparatorUnits, u'a') + u"b";
  const std::u16string texts[] = {u"",
                                  longSeparator,
                                  longSeparator + longSeparator,
                                  u"a" + longSeparator,
                                  longSeparator.substr(1),
                                  u"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaab"};
  for (const std::u16string& text : texts) {
    EXPECT_EQ(Matches(text, longSeparator), NaiveMatches(text, longSeparator));
    EXPECT_EQ(FindSeparator(text, longSeparator), text.find(longSeparator));
  }
  EXPECT_TRUE(Matches(u"abc", u"").empty());
  EXPECT_EQ(FindSeparator(u"abc", u""), 0u);
  EXPECT_EQ(FindSeparator(u"", u""), 0u);
  // Non-overlapping from the left: "aaaa" in "aaaaaaaaaaaaaaaaaaaaa" (17 + 4) units.
  const std::u16string run(21, u'a');
  const std::u16string longRun(17, u'a');
  EXPECT_EQ(Matches(run, longRun), std::vector<std::size_t>{0});
  EXPECT_EQ(Matches(run + run, longRun), (std::vector<std::size_t>{0, 17}));
}

// Before the search was linear this took minutes: half a million candidate positions, each
// matching half a million units before failing.
TEST(SeparatorSearch, MegabyteSeparatorOverMegabyteTextCompletes) {
  const std::size_t units = std::size_t{1} << 19;  // one megabyte of UTF-16 each
  const std::u16string separator = std::u16string(units - 1, u'a') + u"b";
  const std::u16string refusedList(units * 2, u'a');
  EXPECT_TRUE(SortListText(refusedList, separator, u", ").refused);
  const std::u16string list = std::u16string(units, u'a') + separator + u"Z";
  const SortResult result = SortListText(list, separator, u",");
  ASSERT_FALSE(result.refused);
  EXPECT_EQ(result.text, std::u16string(units, u'a') + u",Z");
}

}  // namespace
}  // namespace ordwell::detail
