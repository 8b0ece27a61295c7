#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace ordwell::detail {

// The sorted items of a list of `Char` text, whatever record layout and key width sorted them.
template <class Char>
class BasicSortedItems {
 public:
  virtual ~BasicSortedItems() = default;
  // Returns the number of items.
  virtual std::size_t Count() const noexcept = 0;
  // Returns item `index` in sorted order, a view into the list text.
  virtual std::basic_string_view<Char> Item(std::size_t index) const noexcept = 0;
  // Returns the items joined by `separator`.
  virtual std::basic_string<Char> Join(std::basic_string_view<Char> separator) const = 0;
  // Returns whether every item's key is as long as its text, so items of other lengths never
  // have equal keys.
  virtual bool KeysAsLongAsTexts() const noexcept = 0;
};

using SortedItems = BasicSortedItems<char16_t>;

}  // namespace ordwell::detail
