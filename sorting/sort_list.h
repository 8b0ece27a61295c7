#pragma once

#include <string>
#include <string_view>

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
