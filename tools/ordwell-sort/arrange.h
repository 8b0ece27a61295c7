#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <utility>
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

// Sorted items in an arranged order: position i holds item order[i] of the sorted list. An index
// takes a quarter of the memory of a view.
template <typename List>
struct ArrangedItems {
  const List& items;
  std::vector<std::uint32_t> order;

  std::size_t size() const noexcept { return order.size(); }
  auto operator[](std::size_t i) const noexcept { return items[order[i]]; }
};

// Returns `items`, sorted, arranged as `how` says; nullopt when they are arranged so already.
// sameKey(i) tells whether item i has the key of item i - 1. The items are views into one list
// text, so where they start there tells their input order. Lists hold fewer than 2^32 items.
template <typename List, typename SameKey>
std::optional<ArrangedItems<List>> Arrange(const List& items, SameKey&& sameKey, const Arrangement& how) {
  const std::size_t count = items.size();
  const auto inputLess = [&items](std::uint32_t a, std::uint32_t b) {
    return items[a].data() < items[b].data();
  };
  if (!how.unique && !how.reverse) {
    if (!how.inputOrderTies) return std::nullopt;
    bool inOrder = true;
    for (std::size_t i = 1; i < count && inOrder; ++i) {
      inOrder = !(items[i].data() < items[i - 1].data() && sameKey(i));
    }
    if (inOrder) return std::nullopt;
  }
  ArrangedItems<List> arranged{items, {}};
  std::vector<std::uint32_t>& order = arranged.order;
  if (!how.unique) order.reserve(count);
  std::vector<std::pair<const void*, std::uint32_t>> run;
  // Adds the run of equal keys [from, to).
  const auto addRun = [&](std::size_t from, std::size_t to) {
    if (how.unique) {
      auto first = static_cast<std::uint32_t>(from);
      for (std::size_t i = from + 1; i < to; ++i)
        first = std::min(first, static_cast<std::uint32_t>(i), inputLess);
      order.push_back(first);
      return;
    }
    if (!how.inputOrderTies || to - from == 1) {
      for (std::size_t i = from; i < to; ++i) order.push_back(static_cast<std::uint32_t>(i));
      return;
    }
    // Each item is asked for where it starts once, not at every comparison.
    run.clear();
    for (std::size_t i = from; i < to; ++i) run.emplace_back(items[i].data(), static_cast<std::uint32_t>(i));
    std::sort(run.begin(), run.end());
    for (const auto& [start, index] : run) order.push_back(index);
  };
  if (how.reverse && how.inputOrderTies) {
    for (std::size_t to = count; to > 0;) {
      std::size_t from = to - 1;
      while (from > 0 && sameKey(from)) --from;
      addRun(from, to);
      to = from;
    }
  } else {
    for (std::size_t from = 0; from < count;) {
      std::size_t to = from + 1;
      while (to < count && sameKey(to)) ++to;
      addRun(from, to);
      from = to;
    }
    if (how.reverse) std::reverse(order.begin(), order.end());
  }
  return arranged;
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
