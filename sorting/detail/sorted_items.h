#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace ordwell::detail {

// The sorted items of a list, whatever record layout and key width sorted them.
class SortedItems {
 public:
  virtual ~SortedItems() = default;
  // Returns the number of items.
  virtual std::size_t Count() const noexcept = 0;
  // Returns item `index` in sorted order, a view into the list text.
  virtual std::u16string_view Item(std::size_t index) const noexcept = 0;
  // Returns the items joined by `separator`.
  virtual std::u16string Join(std::u16string_view separator) const = 0;
};

}  // namespace ordwell::detail
