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
}  // namespace detail

// Where a sort leaves items whose keys are equal but whose texts differ ("Apple", "apple").
enum class TieOrder {
  // Where the quicksort's exchanges leave them: the order SortListText gives.
  kExact,
  // In whatever order is quickest to reach, for callers that put equal keys in an order of
  // their own afterwards.
  kAny,
  // In the order their items come in the list text.
  kInput,
};

// The items of a list text in sorted order, as views into that text, for callers that want to
// stream or transform the result instead of joining it. `Char` is char16_t for UTF-16 text and
// char for UTF-8 text; both give the same items in the same order for the same list.
template <class Char>
class BasicSortedList {
 public:
  using Text = std::basic_string_view<Char>;

  // Splits and sorts `listText` exactly as SortListText does (UTF-8 as its UTF-16 form; a byte
  // that is not part of a valid character sorts as a character of its own); nullopt when
  // SortListText would refuse the list. The result points into `listText`, which must outlive it.
  // Throws std::length_error as SortListText does. `ties` says where equal keys may end.
  static std::optional<BasicSortedList> Sort(Text listText, Text inputSeparator,
                                             TieOrder ties = TieOrder::kExact);

  // Takes the items a sort produced.
  explicit BasicSortedList(std::unique_ptr<const detail::BasicSortedItems<Char>> items) noexcept;
  BasicSortedList(BasicSortedList&&) noexcept;
  BasicSortedList& operator=(BasicSortedList&&) noexcept;
  ~BasicSortedList();

  // Returns the number of items.
  std::size_t size() const noexcept;

  // Returns item `index` (below size()) in sorted order.
  Text operator[](std::size_t index) const noexcept;

  // Returns the items joined by `separator`: what SortListText gives.
  std::basic_string<Char> Join(Text separator) const;

  // Returns whether item `index` (from 1 to size() - 1) has the sort key of item index - 1, as
  // EqualSortKeys tells, without reading the items when their lengths already tell.
  bool SameKeyAsPrevious(std::size_t index) const noexcept;

 private:
  std::unique_ptr<const detail::BasicSortedItems<Char>> items_;
};

extern template class BasicSortedList<char16_t>;
extern template class BasicSortedList<char>;

using SortedList = BasicSortedList<char16_t>;
using SortedUtf8List = BasicSortedList<char>;

// Splits and sorts the UTF-8 text of a text stream as SortedList::Sort sorts the UTF-16 text it
// reads as, where each LF that does not follow a CR is a CR LF (a line break as the window holds
// it). `inputSeparator` is "\r\n", which then splits at every LF (a CR just before it belongs to
// the line break), or holds neither CR nor LF (std::invalid_argument otherwise). The items point
// into `listText`, each LF in them as it is there; nullopt when SortListText would refuse the
// list; throws std::length_error as SortListText does. `ties` says where equal keys may end.
std::optional<SortedUtf8List> SortStreamText(std::string_view listText, std::string_view inputSeparator,
                                             TieOrder ties = TieOrder::kExact);

// Returns whether `a` and `b` have equal sort keys (they differ at most in letter case), so the
// sort may put either first.
bool EqualSortKeys(std::u16string_view a, std::u16string_view b) noexcept;

// The same for UTF-8 items as SortedUtf8List orders them.
bool EqualSortKeys(std::string_view a, std::string_view b) noexcept;

// Returns whether every byte of `text` is below 0x80 (the text is ASCII); eight at a time.
bool IsAscii(std::string_view text) noexcept;

}  // namespace ordwell
