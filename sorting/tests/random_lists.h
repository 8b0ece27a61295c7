#pragma once

// Seeded random items and list texts drawn from small alphabets that are rich in case variants,
// duplicates, empty items and non-ASCII letters, for the differential tests.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "sorting/tests/reference_sort.h"

namespace ordwell::testing {

// Pieces items are built from: letters and their case variants, letters whose lower case lies in
// Latin-1 or beyond, letters whose simple lower case differs from their full one, a supplementary
// letter (a surrogate pair), lone surrogate halves, a NUL, punctuation and digits.
inline const std::vector<std::u16string>& ItemPieces() {
  static const std::vector<std::u16string> pieces = {
      u"a",          u"A",      u"b",      u"B",
      u"ab",         u"aB",     u"Ab",     u"z",
      u"Z",          u"_",      u" ",      u"0",
      u"1",          u"10",     u"\u00E9", u"\u00C9",
      u"\u00DF",     u"\u1E9E", u"\u0130", u"\u0131",
      u"i",          u"I",      u"\u03A3", u"\u03C3",
      u"\u03C2",     u"\u01C5", u"\u2126", u"\U00010400",
      u"\U00010428", u"\xD800", u"\xDC00", std::u16string(1, u'\0'),
      u"\uFF21",     u"\uFF41", u"aaaa",   u"AAAAa"};
  return pieces;
}

// How a random list is drawn.
struct Flavour {
  int maxPieces = 4;
  // Only pieces whose units are all below 256.
  bool latin1Only = false;
  // Items start with one of a few long stems in random letter case, so that many share long
  // key prefixes.
  bool longStems = false;
};

// Returns an item of zero to `flavour.maxPieces` pieces.
inline std::u16string RandomItem(std::mt19937& rng, const Flavour& flavour = {}) {
  std::vector<std::u16string> pieces;
  for (const std::u16string& piece : ItemPieces()) {
    bool narrow = true;
    for (const char16_t unit : piece) narrow = narrow && unit < 256;
    if (narrow || !flavour.latin1Only) pieces.push_back(piece);
  }
  std::uniform_int_distribution<int> howMany(0, flavour.maxPieces);
  std::uniform_int_distribution<std::size_t> which(0, pieces.size() - 1);
  std::u16string item;
  if (flavour.longStems) {
    static const std::u16string stems[] = {u"Stem of some length ", u"stem of some length, longer ", u"STEM"};
    item = stems[std::uniform_int_distribution<std::size_t>(0, 2)(rng)];
    for (char16_t& unit : item) {
      if (unit >= u'a' && unit <= u'z' && std::uniform_int_distribution<int>(0, 3)(rng) == 0) unit -= 32;
    }
  }
  for (int n = howMany(rng); n > 0; --n) item += pieces[which(rng)];
  return item;
}

inline std::vector<std::u16string> RandomItems(std::mt19937& rng, std::size_t count,
                                               const Flavour& flavour = {}) {
  // A few distinct items reused often give plenty of exact duplicates and case variants.
  std::vector<std::u16string> pool;
  std::uniform_int_distribution<std::size_t> poolSize(1, count + 1);
  for (std::size_t n = poolSize(rng); n > 0; --n) pool.push_back(RandomItem(rng, flavour));
  std::uniform_int_distribution<std::size_t> pick(0, pool.size() - 1);
  std::vector<std::u16string> items;
  for (std::size_t i = 0; i < count; ++i) items.push_back(pool[pick(rng)]);
  return items;
}

// Separators that cover the empty one, one unit, several units, line breaks, one that is also a
// letter with case variants in the items, and ones whose matches can overlap.
inline const std::vector<std::u16string>& Separators() {
  static const std::vector<std::u16string> separators = {
      u", ", u",", u"\r\n", u"", u"a", u"A", u"aa", u"aba", u" ", u"\U00010400", u"\xDC00"};
  return separators;
}

inline std::u16string RandomSeparator(std::mt19937& rng) {
  const auto& separators = Separators();
  return separators[std::uniform_int_distribution<std::size_t>(0, separators.size() - 1)(rng)];
}

// A list text: the items joined by `separator`, with stray separator pieces now and then.
inline std::u16string RandomListText(std::mt19937& rng, const std::u16string& separator, std::size_t count,
                                     const Flavour& flavour = {}) {
  std::u16string text;
  std::uniform_int_distribution<int> coin(0, 9);
  for (const std::u16string& item : RandomItems(rng, count, flavour)) {
    if (!text.empty() || coin(rng) == 0) text += separator;
    text += item;
    if (coin(rng) == 0 && !separator.empty()) text += separator.substr(0, separator.size() / 2 + 1);
  }
  return text;
}

// Returns `count` values on which the quicksort steps go about count/2 calls deep, by McIlroy's
// adversary: values are decided lazily during one run of the steps so that each pivot lands
// near an end.
inline std::vector<int> AdversaryValues(std::int32_t count) {
  constexpr int kGas = -1;
  std::vector<int> value(static_cast<std::size_t>(count), kGas);
  int solid = 0;
  int candidate = 0;
  const auto less = [&](int a, int b) {
    auto& va = value[static_cast<std::size_t>(a)];
    auto& vb = value[static_cast<std::size_t>(b)];
    if (va == kGas && vb == kGas) (a == candidate ? va : vb) = solid++;
    if (va == kGas) {
      candidate = a;
    } else if (vb == kGas) {
      candidate = b;
    }
    // Gas is larger than any solid value.
    const long long x = va == kGas ? count : va;
    const long long y = vb == kGas ? count : vb;
    return x < y;
  };
  std::vector<int> ids(static_cast<std::size_t>(count));
  std::iota(ids.begin(), ids.end(), 0);
  reference::QuickSortSteps(
      ids, 0, count - 1, [](int id) { return id; }, less);
  for (int& v : value) {
    if (v == kGas) v = count;
  }
  return value;
}

// A key for `value` that has letters: "k" and six letters; each letter upper-cased with
// probability 1/`caseOdds` (0: never).
inline std::u16string LetterKey(std::mt19937& rng, int value, int caseOdds) {
  std::u16string key(7, u'k');
  for (std::size_t k = 7; k-- > 1; value /= 26) key[k] = static_cast<char16_t>(u'a' + value % 26);
  if (caseOdds > 0) {
    for (char16_t& unit : key) {
      if (std::uniform_int_distribution<int>(0, caseOdds - 1)(rng) == 0)
        unit = static_cast<char16_t>(unit - 32);
    }
  }
  return key;
}

// Keys rising to the middle and falling again (each value below the middle twice), in random
// letter case.
inline std::vector<std::u16string> OrganPipeItems(std::mt19937& rng, int count, int caseOdds) {
  std::vector<std::u16string> items;
  const int half = count / 2;
  for (int i = 0; i < count; ++i) items.push_back(LetterKey(rng, i < half ? i : half - (i - half), caseOdds));
  return items;
}

// McIlroy's adversary as keys in random letter case; `repeats` copies of a pattern built at
// count / repeats items, so keys recur in several case variants.
inline std::vector<std::u16string> AdversaryItems(std::mt19937& rng, int count, int repeats, int caseOdds) {
  const std::vector<int> values = AdversaryValues(count / repeats);
  std::vector<std::u16string> items;
  for (int i = 0; i < count; ++i)
    items.push_back(LetterKey(rng, values[static_cast<std::size_t>(i) % values.size()], caseOdds));
  return items;
}

}  // namespace ordwell::testing
