#pragma once

// Finds where the quicksort's scans stop without walking to it: the first index at or after i
// whose rank is at least the pivot's, and the last index at or before j whose rank is at most the
// pivot's. Ranks are grouped in blocks of kBlock; a binary tree over the blocks holds each
// subtree's largest and smallest rank. A query scans at most two blocks and climbs the tree once;
// an exchange rescans the two blocks it touched and updates their paths.

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

namespace ordwell::detail {

class ScanTree {
 public:
  static constexpr std::size_t kBlock = 16;

  // Covers ranks[lo, hi] (inclusive), which must stay in place while the tree is used; only
  // exchanges reported through Exchanged may change them.
  ScanTree(const std::uint32_t* ranks, std::int64_t lo, std::int64_t hi) : ranks_(ranks), lo_(lo), hi_(hi) {
    const auto blocks = static_cast<std::size_t>((hi - lo) / static_cast<std::int64_t>(kBlock) + 1);
    leaves_ = std::bit_ceil(blocks);
    max_.assign(2 * leaves_, 0);
    min_.assign(2 * leaves_, std::numeric_limits<std::uint32_t>::max());
    for (std::size_t b = 0; b < blocks; ++b) ScanBlock(b);
    for (std::size_t node = leaves_ - 1; node > 0; --node) Pull(node);
  }

  // Returns the first index in [from, limit) whose rank is at least `pivot`, or `limit`.
  std::int64_t FirstAtLeast(std::int64_t from, std::int64_t limit, std::uint32_t pivot) const noexcept {
    if (from >= limit) return limit;
    const std::size_t first = BlockOf(from);
    const std::size_t last = BlockOf(limit - 1);
    for (std::int64_t k = from, end = std::min(limit, BlockEnd(first)); k < end; ++k) {
      if (ranks_[k] >= pivot) return k;
    }
    if (first == last) return limit;
    const std::size_t block = FirstBlock(first + 1, last + 1, pivot);
    if (block == kNone) return limit;
    for (std::int64_t k = BlockStart(block), end = std::min(limit, BlockEnd(block)); k < end; ++k) {
      if (ranks_[k] >= pivot) return k;
    }
    return limit;  // only the last block can hold its match beyond the limit
  }

  // Returns the last index in (limit, from] whose rank is at most `pivot`, or `limit`.
  std::int64_t LastAtMost(std::int64_t from, std::int64_t limit, std::uint32_t pivot) const noexcept {
    if (from <= limit) return limit;
    const std::size_t first = BlockOf(from);
    const std::size_t last = BlockOf(limit + 1);
    for (std::int64_t k = from, end = std::max(limit, BlockStart(first) - 1); k > end; --k) {
      if (ranks_[k] <= pivot) return k;
    }
    if (first == last) return limit;
    const std::size_t block = LastBlock(last, first, pivot);
    if (block == kNone) return limit;
    for (std::int64_t k = BlockEnd(block) - 1, end = std::max(limit, BlockStart(block) - 1); k > end; --k) {
      if (ranks_[k] <= pivot) return k;
    }
    return limit;
  }

  // Returns the number of levels of the tree over the blocks.
  std::size_t Levels() const noexcept { return static_cast<std::size_t>(std::bit_width(leaves_)); }

  // Takes note that the items at `a` and `b` were exchanged.
  void Exchanged(std::int64_t a, std::int64_t b) noexcept {
    const std::size_t blockA = BlockOf(a);
    const std::size_t blockB = BlockOf(b);
    Update(blockA);
    if (blockB != blockA) Update(blockB);
  }

 private:
  static constexpr std::size_t kNone = std::numeric_limits<std::size_t>::max();

  std::size_t BlockOf(std::int64_t index) const noexcept {
    return static_cast<std::size_t>(index - lo_) / kBlock;
  }
  std::int64_t BlockStart(std::size_t block) const noexcept {
    return lo_ + static_cast<std::int64_t>(block * kBlock);
  }
  std::int64_t BlockEnd(std::size_t block) const noexcept {
    return std::min(hi_ + 1, BlockStart(block) + static_cast<std::int64_t>(kBlock));
  }

  void ScanBlock(std::size_t block) noexcept {
    std::uint32_t largest = 0;
    std::uint32_t smallest = std::numeric_limits<std::uint32_t>::max();
    for (std::int64_t k = BlockStart(block), end = BlockEnd(block); k < end; ++k) {
      largest = std::max(largest, ranks_[k]);
      smallest = std::min(smallest, ranks_[k]);
    }
    max_[leaves_ + block] = largest;
    min_[leaves_ + block] = smallest;
  }

  void Pull(std::size_t node) noexcept {
    max_[node] = std::max(max_[2 * node], max_[2 * node + 1]);
    min_[node] = std::min(min_[2 * node], min_[2 * node + 1]);
  }

  void Update(std::size_t block) noexcept {
    ScanBlock(block);
    for (std::size_t node = (leaves_ + block) / 2; node > 0; node /= 2) Pull(node);
  }

  // The first block in [from, to) whose largest rank is at least `pivot`, or kNone.
  std::size_t FirstBlock(std::size_t from, std::size_t to, std::uint32_t pivot) const noexcept {
    // The nodes that tile [from, to): those met from the left come in order, those met from the
    // right in reverse order.
    std::size_t right[64];
    std::size_t rights = 0;
    for (std::size_t l = from + leaves_, r = to + leaves_; l < r; l /= 2, r /= 2) {
      if ((l & 1) != 0) {
        if (max_[l] >= pivot) return DescendFirst(l, pivot);
        ++l;
      }
      if ((r & 1) != 0) right[rights++] = r - 1;
    }
    while (rights > 0) {
      const std::size_t node = right[--rights];
      if (max_[node] >= pivot) return DescendFirst(node, pivot);
    }
    return kNone;
  }

  std::size_t DescendFirst(std::size_t node, std::uint32_t pivot) const noexcept {
    while (node < leaves_) node = max_[2 * node] >= pivot ? 2 * node : 2 * node + 1;
    return node - leaves_;
  }

  // The last block in [from, to) whose smallest rank is at most `pivot`, or kNone.
  std::size_t LastBlock(std::size_t from, std::size_t to, std::uint32_t pivot) const noexcept {
    std::size_t left[64];
    std::size_t lefts = 0;
    for (std::size_t l = from + leaves_, r = to + leaves_; l < r; l /= 2, r /= 2) {
      if ((r & 1) != 0) {
        --r;
        if (min_[r] <= pivot) return DescendLast(r, pivot);
      }
      if ((l & 1) != 0) left[lefts++] = l++;
    }
    while (lefts > 0) {
      const std::size_t node = left[--lefts];
      if (min_[node] <= pivot) return DescendLast(node, pivot);
    }
    return kNone;
  }

  std::size_t DescendLast(std::size_t node, std::uint32_t pivot) const noexcept {
    while (node < leaves_) node = min_[2 * node + 1] <= pivot ? 2 * node + 1 : 2 * node;
    return node - leaves_;
  }

  const std::uint32_t* ranks_;
  std::int64_t lo_;
  std::int64_t hi_;
  std::size_t leaves_ = 1;
  std::vector<std::uint32_t> max_;
  std::vector<std::uint32_t> min_;
};

}  // namespace ordwell::detail
