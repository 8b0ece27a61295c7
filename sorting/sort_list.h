#pragma once

#include <string>
#include <string_view>

// The order
//
// Every sort in this library puts items in one order, defined here. The library reaches it by
// faster means; sorting/tests/reference_sort.h is the plain, unoptimised form of it, and the
// tests and fuzzers compare the library with that form.
//
// Keys. An item's key is its text with each UTF-16 unit lower-cased on its own: "A" to "Z"
// become "a" to "z", every other unit takes ICU's simple lower-case mapping when that is a single
// unit, and surrogate halves stay as they are, so a key is as long as its item. Keys compare unit
// by unit as unsigned 16-bit numbers, and a key that is the start of a longer one comes first.
//
// The quicksort steps. To sort the array's indexes lo to hi (inclusive), with lo < hi:
//  1. The middle index is (lo + hi) / 2, an exact half rounded to the even neighbour: 0..3 gives
//     2 (from 1.5), 0..5 gives 2 (from 2.5), 2..5 gives 4 (from 3.5). The middle item's key is
//     the pivot, taken once. The rounding depends on where a range lies in the whole array, so a
//     part sorted on its own keeps its array indexes.
//  2. A low index starts at lo and a high index at hi. While low <= high: low moves up while its
//     key is below the pivot and low < hi; high moves down while its key is above the pivot and
//     high > lo; then, if still low <= high, the items at low and high are exchanged (also when
//     low == high), low moves up one and high down one.
//  3. Then lo..high is sorted by the same steps if lo < high, and low..hi if low < hi.
//
// Ties. Both scans stop at a key equal to the pivot, so items with equal keys are exchanged like
// any others. Items whose keys are equal but whose texts differ ("Apple", "apple") therefore end
// where those exchanges leave them: neither in input order nor by any rule on their texts, but
// as a fixed result of the whole input ("pear", "Apple", "apple", "Pear" gives "apple", "Apple",
// "Pear", "pear"). So a faster sort must leave every item where these exchanges would, unless no
// two different texts share a key, when any sort by key gives the same result. The two ranges of
// step 3 do not overlap, so neither the order in which they are sorted nor the number of threads
// changes the result. (A caller may ask instead for equal keys in the order they come, or in any
// order: TieOrder in sorting/sorted_list.h. Keys are then ordered as above.)
//
// A list text is split at each occurrence of the input separator, from the left and without
// overlaps (empty items count; an empty separator leaves the whole text as one item), the items
// are sorted by the steps over indexes 0 to count - 1, and joined with the output separator.

namespace ordwell {

// The warning shown when a list is refused.
inline constexpr std::u16string_view kRefusalMessage =
    u"You must have a list with at least two items, seperated by the chosen seperator.";

// What the sort command produced: either a refusal, or the sorted list text.
struct SortResult {
  bool refused = false;
  std::u16string text;
};

// Splits `listText` on `inputSeparator`, sorts the items case-insensitively with the quicksort's
// exact tie order and joins them with `outputSeparator`; refuses an empty list or one that does
// not contain the input separator (an empty separator always occurs). Throws std::length_error
// when the list holds more than 2,147,483,647 items, which a 32-bit index cannot address.
SortResult SortListText(std::u16string_view listText, std::u16string_view inputSeparator,
                        std::u16string_view outputSeparator);

}  // namespace ordwell
