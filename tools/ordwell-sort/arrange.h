#pragma once

#include <algorithm>
#include <cstddef>
#include <optional>
#include <string_view>
#include <type_traits>
#include <vector>

// Arranging sorted items for output (ties, --unique, --reverse) and checking an input's order.
namespace ordwell::cli {

// How sorted items are arranged.
struct Arrangement {
  // Equal keys in their input order; else in the order the sort left them.
  bool inputOrderTies = true;
  // Only the first item in the input of each key.
  bool unique = false;
  // Keys in descending order (equal keys as above, not reversed, when inputOrderTies).
  bool reverse = false;
};

// Returns `items`, sorted, arranged as `how` says; nullopt when they are arranged so already.
// sameKey(i) tells whether item i has the key of item i - 1. The items are views into one list
// text, so where they start there tells their input order.
template <typename List, typename SameKey>
auto Arrange(const List& items, SameKey&& sameKey, const Arrangement& how)
    -> std::optional<std::vector<std::remove_cvref_t<decltype(items[0])>>> {
  using View = std::remove_cvref_t<decltype(items[0])>;
  const std::size_t count = items.size();
  const auto inputLess = [](const View& a, const View& b) { return a.data() < b.data(); };
  if (!how.unique && !how.reverse) {
    if (!how.inputOrderTies) return std::nullopt;
    bool inOrder = true;
    for (std::size_t i = 1; i < count && inOrder; ++i) {
      inOrder = !(sameKey(i) && inputLess(items[i], items[i - 1]));
    }
    if (inOrder) return std::nullopt;
  }
  std::vector<std::size_t> runStarts;
  for (std::size_t i = 0; i < count; ++i) {
    if (i == 0 || !sameKey(i)) runStarts.push_back(i);
  }
  runStarts.push_back(count);
  std::vector<View> order;
  order.reserve(how.unique ? runStarts.size() - 1 : count);
  const auto addRun = [&](std::size_t run) {
    const std::size_t from = runStarts[run];
    const std::size_t to = runStarts[run + 1];
    if (how.unique) {
      View first = items[from];
      for (std::size_t i = from + 1; i < to; ++i) first = std::min(first, items[i], inputLess);
      order.push_back(first);
      return;
    }
    const std::size_t start = order.size();
    for (std::size_t i = from; i < to; ++i) order.push_back(items[i]);
    if (how.inputOrderTies)
      std::sort(order.begin() + static_cast<std::ptrdiff_t>(start), order.end(), inputLess);
  };
  const std::size_t runs = runStarts.size() - 1;
  if (how.reverse && how.inputOrderTies) {
    for (std::size_t run = runs; run-- > 0;) addRun(run);
  } else {
    for (std::size_t run = 0; run < runs; ++run) addRun(run);
    if (how.reverse) std::reverse(order.begin(), order.end());
  }
  return order;
}

// The items of a list text split on a separator (non-overlapping occurrences from the left; an
// empty separator gives the whole text as one item), in input order, held as where each starts:
// half the memory of views.
template <typename Char>
class SplitList {
 public:
  using View = std::basic_string_view<Char>;

  // Splits `text`, which must outlive the list, on `separator`.
  SplitList(View text, View separator) : text_(text), separatorSize_(separator.size()) {
    std::size_t count = 1;
    const auto each = [&](auto&& visit) {
      if (separator.empty()) return;
      for (std::size_t at = text.find(separator); at != View::npos;
           at = text.find(separator, at + separatorSize_))
        visit(at + separatorSize_);
    };
    each([&](std::size_t) { ++count; });
    starts_.reserve(count);
    starts_.push_back(0);
    each([&](std::size_t start) { starts_.push_back(start); });
  }

  // Returns the number of items.
  std::size_t size() const noexcept { return starts_.size(); }

  // Returns item `i` (below size()).
  View operator[](std::size_t i) const noexcept {
    const std::size_t end = i + 1 < starts_.size() ? starts_[i + 1] - separatorSize_ : text_.size();
    return text_.substr(starts_[i], end - starts_[i]);
  }

 private:
  View text_;
  std::size_t separatorSize_;
  std::vector<std::size_t> starts_;
};

// Compares the sort keys of two items: negative, zero or positive.
int CompareKeys(std::u16string_view a, std::u16string_view b) noexcept;

// The same for ASCII items as the byte sort orders them.
int CompareKeys(std::string_view a, std::string_view b) noexcept;

// Returns the index of the first item of `items` (in input order) that is out of order: below
// the one before it (above it with `reverse`), or equal to it with `unique`; nullopt when there
// is none. compare(a, b) orders two items.
template <typename Items, typename Compare>
std::optional<std::size_t> FirstDisorder(const Items& items, Compare&& compare, bool reverse, bool unique) {
  for (std::size_t i = 1; i < items.size(); ++i) {
    const int order = compare(items[i - 1], items[i]);
    if ((reverse ? order < 0 : order > 0) || (unique && order == 0)) return i;
  }
  return std::nullopt;
}

}  // namespace ordwell::cli
