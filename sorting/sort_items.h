#pragma once

#include <functional>
#include <string_view>

namespace ordwell {

// Splits and sorts `listText` exactly as SortListText does, but hands each item in sorted order
// to `emit` instead of joining them, so a caller can stream the result; the views point into
// `listText`. Returns false, emitting nothing, when SortListText would refuse the list; throws
// std::length_error as SortListText does.
bool ForEachSortedItem(std::u16string_view listText, std::u16string_view inputSeparator,
                       const std::function<void(std::u16string_view item)>& emit);

}  // namespace ordwell
