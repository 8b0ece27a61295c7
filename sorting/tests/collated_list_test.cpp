// Alphabetical order against ICU's own collator comparing item by item in a stable sort, on random
// lists of case variants, accents and several scripts, in locales whose rules differ.

#include <gtest/gtest.h>
#include <unicode/coll.h>
#include <unicode/locid.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <cstddef>
#include <memory>
#include <numeric>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "sorting/collated_list.h"

namespace ordwell {
namespace {

// Pieces of items: case variants, accented letters (precomposed and combining), letters that some
// locales sort apart (å ä ö ø æ, ch, ll, ı İ), Cyrillic, Greek, Han, Hangul, digits, spaces,
// punctuation and a supplementary character.
const std::vector<std::u16string>& Pieces() {
  static const std::vector<std::u16string> pieces = {
      u"a",      u"A",       u"b",      u"B",      u"e",      u"E",         u"z",      u"Z",      u"\u00E9",
      u"\u00C9", u"e\u0301", u"\u00E5", u"\u00C5", u"\u00E4", u"\u00F6",    u"\u00D6", u"\u00F8", u"\u00E6",
      u"\u00DF", u"ch",      u"Ch",     u"ll",     u"\u0131", u"\u0130",    u"i",      u"I",      u"\u0436",
      u"\u0416", u"\u03C3",  u"\u03A3", u"\u03C2", u"\u4E2D", u"\u6587",    u"\uD55C", u"0",      u"10",
      u"2",      u" ",       u"-",      u"_",      u"'",      u"\U0001D400"};
  return pieces;
}

std::vector<std::u16string> RandomList(std::mt19937& rng, std::size_t count) {
  std::uniform_int_distribution<int> howMany(0, 4);
  std::uniform_int_distribution<std::size_t> which(0, Pieces().size() - 1);
  std::vector<std::u16string> items;
  for (std::size_t i = 0; i < count; ++i) {
    // Every fourth item repeats an earlier one with its letter case changed.
    if (!items.empty() && rng() % 4 == 0) {
      std::u16string variant = items[rng() % items.size()];
      for (char16_t& unit : variant) {
        const bool letter = (unit >= u'a' && unit <= u'z') || (unit >= u'A' && unit <= u'Z');
        if (letter && rng() % 2 == 0) unit ^= 0x20;
      }
      items.push_back(variant);
      continue;
    }
    std::u16string item;
    for (int k = howMany(rng); k > 0; --k) item += Pieces()[which(rng)];
    items.push_back(item);
  }
  return items;
}

std::string Utf8(std::u16string_view text) {
  std::string bytes;
  icu::UnicodeString(false, text.data(), static_cast<int32_t>(text.size())).toUTF8String(bytes);
  return bytes;
}

// The reference: a stable sort comparing two items at a time with ICU's collator.
std::vector<std::size_t> ReferenceOrder(const std::vector<std::u16string>& items, const std::string& locale) {
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<icu::Collator> collator(icu::Collator::createInstance(icu::Locale(locale.c_str()), status));
  EXPECT_TRUE(U_SUCCESS(status)) << locale;
  collator->setStrength(icu::Collator::SECONDARY);
  std::vector<std::size_t> order(items.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    UErrorCode compared = U_ZERO_ERROR;
    return collator->compare(items[a].data(), static_cast<int32_t>(items[a].size()), items[b].data(),
                             static_cast<int32_t>(items[b].size()), compared) == UCOL_LESS;
  });
  return order;
}

TEST(CollatedList, MatchesIcuComparisonsInEveryLocale) {
  // Sizes on both sides of the ranking's radix pass and of the split between two threads.
  const std::size_t sizes[] = {0, 1, 2, 17, 700, 5'000, 30'000};
  const char* const locales[] = {"",   "de", "de@collation=phonebook", "sv", "fr_CA", "tr", "es", "da",
                                 "ja", "ru"};
  std::mt19937 rng(20240611);
  for (const char* const locale : locales) {
    std::string problem;
    const std::optional<Collator> collator = Collator::Open(locale, problem);
    ASSERT_TRUE(collator.has_value()) << locale << ": " << problem;
    for (const std::size_t size : sizes) {
      if (size == 30'000 && std::string_view(locale) != "sv") continue;  // one large list is enough
      const std::vector<std::u16string> items = RandomList(rng, size);
      const std::vector<std::u16string_view> views(items.begin(), items.end());
      std::vector<std::string> bytes;
      for (const std::u16string& item : items) bytes.push_back(Utf8(item));
      const std::vector<std::string_view> byteViews(bytes.begin(), bytes.end());

      const std::vector<std::size_t> expected = ReferenceOrder(items, locale);
      const CollatedOrder wide = CollateItems(views, *collator);
      const CollatedOrder narrow = CollateItems(byteViews, *collator);
      ASSERT_EQ(wide.order, expected) << locale << ", " << size << " items";
      ASSERT_EQ(narrow.order, expected) << locale << ", " << size << " items, UTF-8";
      ASSERT_EQ(narrow.sameAsPrevious, wide.sameAsPrevious);
      for (std::size_t i = 0; i < size; ++i) {
        const bool same = i != 0 && collator->Compare(views[expected[i - 1]], views[expected[i]]) == 0;
        ASSERT_EQ(wide.sameAsPrevious[i], same) << locale << ", position " << i;
        if (i != 0) {
          ASSERT_LE(collator->Compare(byteViews[expected[i - 1]], byteViews[expected[i]]), 0);
        }
      }
    }
  }
}

TEST(CollatedList, LocaleNames) {
  struct Case {
    const char* given;
    const char* language;  // the rules' locale starts with it; nullptr when refused
  };
  const Case cases[] = {
      {"", "root"},
      {"C", "root"},
      {"POSIX", "root"},
      {"C.UTF-8", "root"},
      {"sv_SE.UTF-8", "sv"},
      {"sv_SE.utf8@euro", "sv"},
      {"sv-SE", "sv"},
      {"de@collation=phonebook", "de"},
      {"xx_YY.UTF-8", nullptr},
      {"klingon", nullptr},
      {"root", "root"},
  };
  for (const Case& c : cases) {
    std::string problem;
    const std::optional<Collator> collator = Collator::Open(c.given, problem);
    if (c.language == nullptr) {
      EXPECT_FALSE(collator.has_value()) << c.given;
      EXPECT_NE(problem.find(c.given), std::string::npos) << problem;
    } else {
      ASSERT_TRUE(collator.has_value()) << c.given << ": " << problem;
      EXPECT_TRUE(collator->Name().starts_with(c.language)) << c.given << " gave " << collator->Name();
    }
  }
}

TEST(CollatedList, AlphabeticalNotByCode) {
  std::string problem;
  const std::optional<Collator> root = Collator::Open("", problem);
  const std::optional<Collator> swedish = Collator::Open("sv", problem);
  ASSERT_TRUE(root && swedish);
  const std::vector<std::u16string_view> items = {u"zebra",   u"\u00C9clair", u"apple",
                                                  u"\u00D6l", u"Apple",       u"eclair"};
  const CollatedOrder byRoot = CollateItems(items, *root);
  const CollatedOrder bySwedish = CollateItems(items, *swedish);
  // Accents come after the base letter's plain spelling; letter case is a tie, kept in input order.
  EXPECT_EQ(byRoot.order, (std::vector<std::size_t>{2, 4, 5, 1, 3, 0}));
  EXPECT_EQ(bySwedish.order, (std::vector<std::size_t>{2, 4, 5, 1, 0, 3}));  // Swedish puts Ö after Z
  EXPECT_TRUE(byRoot.sameAsPrevious[1]);
  EXPECT_FALSE(byRoot.sameAsPrevious[2]);
}

}  // namespace
}  // namespace ordwell
