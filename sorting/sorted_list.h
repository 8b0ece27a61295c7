#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace ordwell {

namespace detail {
class SortedItems;
struct SortOptions;
}  // namespace detail

// The items of a list text in sorted order, as views into that text, for callers that want to
// stream or transform the result instead of joining it.
class SortedList {
 public:
  // Splits and sorts `listText` exactly as SortListText does; nullopt when SortListText would
  // refuse the list. The result points into `listText`, which must outlive it. Throws
  // std::length_error as SortListText does.
  static std::optional<SortedList> Sort(std::u16string_view listText, std::u16string_view inputSeparator);

  SortedList(SortedList&&) noexcept;
  SortedList& operator=(SortedList&&) noexcept;
  ~SortedList();

  // Returns the number of items.
  std::size_t size() const noexcept;

  // Returns item `index` (below size()) in sorted order.
  std::u16string_view operator[](std::size_t index) const noexcept;

  // Returns the items joined by `separator`: what SortListText gives.
  std::u16string Join(std::u16string_view separator) const;

 private:
  friend std::optional<SortedList> SortWith(std::u16string_view, std::u16string_view,
                                            const detail::SortOptions&);
  explicit SortedList(std::unique_ptr<const detail::SortedItems> items) noexcept;

  std::unique_ptr<const detail::SortedItems> items_;
};

// Returns whether `a` and `b` have equal sort keys (they differ at most in letter case), so the
// sort may put either first.
bool EqualSortKeys(std::u16string_view a, std::u16string_view b) noexcept;

}  // namespace ordwell
