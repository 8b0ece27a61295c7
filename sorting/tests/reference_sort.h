#pragma once

// The order defined in sorting/sort_list.h ("The order") in its plain, unoptimised form: the
// quicksort steps and the sort command written as directly as possible, kept beside the tests as
// the yardstick the library is compared with. Keys are lower-cased afresh in every comparison,
// the middle index goes through double-precision rounding, and the output is built by appending
// separator and item and then dropping the leading separator.

#include <unicode/uchar.h>
#include <unicode/utf16.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "sorting/sort_list.h"

namespace ordwell::reference {

inline std::u16string LowerCase(std::u16string_view text) {
  std::u16string key;
  for (const char16_t unit : text) {
    char16_t lower = unit;
    if (unit >= u'A' && unit <= u'Z') {
      lower = static_cast<char16_t>(unit + 32);
    } else if (!U16_IS_SURROGATE(unit)) {
      const UChar32 mapped = u_tolower(unit);
      if (mapped <= 0xFFFF) lower = static_cast<char16_t>(mapped);
    }
    key.push_back(lower);
  }
  return key;
}

// The quicksort steps over any items: `keyOf` gives an item's key (the pivot's is taken once and
// kept), `less` orders two keys.
template <class Item, class KeyOf, class Less>
void QuickSortSteps(std::vector<Item>& sarray, std::int32_t inLow, std::int32_t inHi, KeyOf keyOf,
                    Less less) {
  std::int32_t tmpLow = inLow;
  std::int32_t tmpHi = inHi;
  // The default floating-point rounding mode rounds exact halves to the even neighbour.
  const double half = static_cast<double>(std::int64_t{inLow} + inHi) / 2.0;
  const auto middle = static_cast<std::int32_t>(std::nearbyint(half));
  const auto pivot = keyOf(sarray.at(static_cast<std::size_t>(middle)));
  while (tmpLow <= tmpHi) {
    while (less(keyOf(sarray.at(static_cast<std::size_t>(tmpLow))), pivot) && tmpLow < inHi) ++tmpLow;
    while (less(pivot, keyOf(sarray.at(static_cast<std::size_t>(tmpHi)))) && tmpHi > inLow) --tmpHi;
    if (tmpLow > tmpHi) break;
    std::swap(sarray.at(static_cast<std::size_t>(tmpLow)), sarray.at(static_cast<std::size_t>(tmpHi)));
    ++tmpLow;
    --tmpHi;
  }
  if (inLow < tmpHi) QuickSortSteps(sarray, inLow, tmpHi, keyOf, less);
  if (tmpLow < inHi) QuickSortSteps(sarray, tmpLow, inHi, keyOf, less);
}

inline void QuickSortAscending(std::vector<std::u16string>& sarray, std::int32_t inLow, std::int32_t inHi) {
  QuickSortSteps(
      sarray, inLow, inHi, [](const std::u16string& item) { return LowerCase(item); },
      [](const std::u16string& a, const std::u16string& b) { return a < b; });
}

// The same steps over the ranks of the keys (equal keys, equal rank) instead of the keys: the
// same exchanges at a fraction of the cost, for lists of tens of thousands of items.
inline void QuickSortByRanks(std::vector<std::u16string>& sarray) {
  std::vector<std::u16string> keys;
  for (const std::u16string& item : sarray) keys.push_back(LowerCase(item));
  std::vector<std::u16string> distinct = keys;
  std::sort(distinct.begin(), distinct.end());
  distinct.erase(std::unique(distinct.begin(), distinct.end()), distinct.end());
  std::vector<std::int32_t> rank;
  for (const std::u16string& key : keys)
    rank.push_back(static_cast<std::int32_t>(std::lower_bound(distinct.begin(), distinct.end(), key) -
                                             distinct.begin()));
  std::vector<std::int32_t> ids(sarray.size());
  for (std::size_t i = 0; i < ids.size(); ++i) ids[i] = static_cast<std::int32_t>(i);
  if (!ids.empty()) {
    QuickSortSteps(
        ids, 0, static_cast<std::int32_t>(ids.size()) - 1,
        [&rank](std::int32_t id) { return rank[static_cast<std::size_t>(id)]; },
        [](std::int32_t a, std::int32_t b) { return a < b; });
  }
  std::vector<std::u16string> sorted;
  for (const std::int32_t id : ids) sorted.push_back(std::move(sarray[static_cast<std::size_t>(id)]));
  sarray = std::move(sorted);
}

inline std::vector<std::u16string> Split(std::u16string_view text, std::u16string_view separator) {
  std::vector<std::u16string> items;
  if (separator.empty()) {
    items.emplace_back(text);
    return items;
  }
  std::size_t start = 0;
  for (std::size_t at = text.find(separator); at != std::u16string_view::npos;
       at = text.find(separator, start)) {
    items.emplace_back(text.substr(start, at - start));
    start = at + separator.size();
  }
  items.emplace_back(text.substr(start));
  return items;
}

inline SortResult SortListText(std::u16string_view listText, std::u16string_view inputSeparator,
                               std::u16string_view outputSeparator) {
  SortResult result;
  if (listText.empty() || listText.find(inputSeparator) == std::u16string_view::npos) {
    result.refused = true;
    return result;
  }
  std::vector<std::u16string> items = Split(listText, inputSeparator);
  QuickSortAscending(items, 0, static_cast<std::int32_t>(items.size()) - 1);
  std::u16string joined;
  for (const std::u16string& item : items) {
    joined += outputSeparator;
    joined += item;
  }
  result.text = joined.substr(outputSeparator.size());
  return result;
}

}  // namespace ordwell::reference
