#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ordwell {

// Sorts sarray[inLow..inHi] (inclusive) in place by the items' lower-case forms, leaving equal
// keys in exactly the order the two-index quicksort around the middle element gives. Does nothing
// when inLow >= inHi; throws std::out_of_range when the range does not lie inside the array.
void QuickSortAscending(std::vector<std::u16string>& sarray, std::int32_t inLow, std::int32_t inHi);

}  // namespace ordwell
