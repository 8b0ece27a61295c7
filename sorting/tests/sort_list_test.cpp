// The sort command's refusal rules, splitting and joining, on a hand-picked example of each.

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "sorting/detail/sort_list_detail.h"
#include "sorting/sort_list.h"
#include "sorting/sorted_list.h"

namespace ordwell {
namespace {

std::u16string Sort(std::u16string_view list, std::u16string_view in = u", ",
                    std::u16string_view out = u", ") {
  const SortResult result = SortListText(list, in, out);
  EXPECT_FALSE(result.refused) << "refused";
  return result.text;
}

bool Refused(std::u16string_view list, std::u16string_view in = u", ") {
  const SortResult result = SortListText(list, in, u", ");
  if (result.refused) {
    EXPECT_TRUE(result.text.empty());
  }
  return result.refused;
}

TEST(SortListText, SortsCommaSeparatedListsCaseInsensitively) {
  EXPECT_EQ(Sort(u"pear, Apple, banana"), u"Apple, banana, pear");
  EXPECT_EQ(Sort(u"b, B, a"), u"a, B, b");
  EXPECT_EQ(Sort(u"A, Aa, c, A, a, c"), u"a, A, A, Aa, c, c");
  EXPECT_EQ(Sort(u"10, 9, 2"), u"10, 2, 9");
}

TEST(SortListText, RefusesAnEmptyListOrOneWithoutTheSeparator) {
  EXPECT_TRUE(Refused(u"b,a"));
  EXPECT_TRUE(Refused(u""));
  EXPECT_TRUE(Refused(u"", u""));
  EXPECT_TRUE(Refused(u"aXb", u"x"));  // the match is case-sensitive
  EXPECT_TRUE(Refused(u"a", u"aa"));   // a separator longer than the list
  EXPECT_FALSE(Refused(u"single", u""));
  EXPECT_FALSE(Refused(u", "));
  EXPECT_EQ(kRefusalMessage,
            u"You must have a list with at least two items, seperated by the chosen seperator.");
}

TEST(SortListText, KeepsEmptyItemsAndUntrimmedSpaces) {
  EXPECT_EQ(Sort(u"b, , a"), u", a, b");
  EXPECT_EQ(Sort(u"b, a, "), u", a, b");
  EXPECT_EQ(Sort(u", "), u", ");
  EXPECT_EQ(Sort(u"a, b", u","), u" b, a");
}

TEST(SortListText, SplitsAndJoinsOnAnySeparator) {
  EXPECT_EQ(Sort(u"cherry\r\napple\r\nBanana", u"\r\n"), u"apple, Banana, cherry");
  EXPECT_EQ(Sort(u"b\r\na\r\n", u"\r\n", u"\r\n"), u"\r\na\r\nb");
  EXPECT_EQ(Sort(u"c, a, b", u", ", u""), u"abc");
  EXPECT_EQ(Sort(u"b, a, C", u", ", u" -- "), u"a -- b -- C");
  // An empty input separator leaves the whole text as one item.
  EXPECT_EQ(Sort(u"pear, Apple", u""), u"pear, Apple");
  // Matches do not overlap and are taken from the left: "aaa" on "aa" gives "" and "a".
  EXPECT_EQ(Sort(u"aaa", u"aa", u"|"), u"|a");
  // A separator made of a letter splits only on that exact case.
  EXPECT_EQ(Sort(u"cXbxa", u"x", u"+"), u"a+cXb");
}

TEST(SortListText, RejectsMoreItemsThanTheLimitWithoutSortingAnything) {
  detail::SortOptions options;
  options.maxItems = 3;
  EXPECT_EQ(detail::SortListTextWith(u"c, b, a", u", ", u", ", options).text, u"a, b, c");
  EXPECT_THROW(detail::SortListTextWith(u"d, c, b, a", u", ", u", ", options), std::length_error);
}

}  // namespace
}  // namespace ordwell

TEST(EqualSortKeys, TellsCaseVariantsFromDifferentItems) {
  EXPECT_TRUE(ordwell::EqualSortKeys(u"Apple", u"aPPLE"));
  EXPECT_TRUE(ordwell::EqualSortKeys(u"\u00C9t\u00C9", u"\u00E9t\u00E9"));
  EXPECT_TRUE(ordwell::EqualSortKeys(u"", u""));
  EXPECT_FALSE(ordwell::EqualSortKeys(u"apple", u"apples"));
  EXPECT_FALSE(ordwell::EqualSortKeys(u"a_", u"a-"));
}
