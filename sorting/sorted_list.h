#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace ordwell {

namespace detail {
template <class Char>
class BasicSortedItems;
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
  explicit SortedList(std::unique_ptr<const detail::BasicSortedItems<char16_t>> items) noexcept;

  std::unique_ptr<const detail::BasicSortedItems<char16_t>> items_;
};

// The items of an ASCII list text in sorted order, as views into that text: what SortedList gives
// for the same text in UTF-16, found without widening or lower-casing a copy of it.
class SortedAsciiList {
 public:
  // Splits and sorts `listText` as SortedList::Sort does, comparing ASCII letters lower-cased and
  // every other byte as itself, which for ASCII text is SortedList's order; nullopt when
  // SortListText would refuse the list. The result points into `listText`, which must outlive it.
  // Throws std::length_error as SortListText does.
  static std::optional<SortedAsciiList> Sort(std::string_view listText, std::string_view inputSeparator);

  SortedAsciiList(SortedAsciiList&&) noexcept;
  SortedAsciiList& operator=(SortedAsciiList&&) noexcept;
  ~SortedAsciiList();

  // Returns the number of items.
  std::size_t size() const noexcept;

  // Returns item `index` (below size()) in sorted order.
  std::string_view operator[](std::size_t index) const noexcept;

  // Returns the items joined by `separator`.
  std::string Join(std::string_view separator) const;

 private:
  friend std::optional<SortedAsciiList> SortAsciiWith(std::string_view, std::string_view,
                                                      const detail::SortOptions&);
  explicit SortedAsciiList(std::unique_ptr<const detail::BasicSortedItems<char>> items) noexcept;

  std::unique_ptr<const detail::BasicSortedItems<char>> items_;
};

// Returns whether `a` and `b` have equal sort keys (they differ at most in letter case), so the
// sort may put either first.
bool EqualSortKeys(std::u16string_view a, std::u16string_view b) noexcept;

// The same for ASCII items as SortedAsciiList orders them.
bool EqualSortKeys(std::string_view a, std::string_view b) noexcept;

}  // namespace ordwell
