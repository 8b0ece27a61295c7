#pragma once

// Finds where the quicksort's scans stop without walking to it: the first index at or after i
// whose rank is at least the pivot's, and the last index at or before j whose rank is at most the
// pivot's. Ranks are grouped in blocks of kBlock; a tree of fan-out kFanout over the blocks holds
// each subtree's largest and smallest rank. Each node keeps its children's largest ranks side by
// side and their smallest ones likewise, so a step down or up compares a whole node at once (a
// few vector instructions) and the tree stays shallow: four levels over a million ranks. A query
// scans at most two blocks and climbs the tree once. An exchange between two blocks carries the
// two ranks up their paths, as far as a subtree's largest or smallest rank changes; a block or
// node is read again only when it lost the rank that was its largest or smallest.

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <utility>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace ordwell::detail {

class ScanTree {
 public:
  static constexpr std::size_t kBlock = 16;
  static constexpr std::size_t kFanout = 16;

  // Covers ranks[lo, hi] (inclusive), which must stay in place while the tree is used; only
  // exchanges reported through Exchanged may change them.
  ScanTree(const std::uint32_t* ranks, std::int64_t lo, std::int64_t hi) : ranks_(ranks), lo_(lo), hi_(hi) {
    const auto blocks = static_cast<std::size_t>((hi - lo) / static_cast<std::int64_t>(kBlock) + 1);
    // Level 0 holds one entry per block; each level above, one per node of the level below,
    // up to a level of a single node.
    std::size_t entries = blocks;
    std::size_t total = 0;
    for (;;) {
      const std::size_t nodes = (entries + kFanout - 1) / kFanout;
      levelStart_.push_back(total);
      total += nodes;
      if (nodes == 1) break;
      entries = nodes;
    }
    nodes_.assign(total, Node{});
    for (std::size_t b = 0; b < blocks; ++b) Set(0, b, ScanBlock(b));
    for (std::size_t level = 1; level < levelStart_.size(); ++level) {
      const std::size_t below = levelStart_[level] - levelStart_[level - 1];
      for (std::size_t node = 0; node < below; ++node) Set(level, node, Summary(NodeAt(level - 1, node)));
    }
    work_ = static_cast<std::uint64_t>(hi - lo + 1) + 2 * kFanout * total;
  }

  // Returns the first index in [from, limit) whose rank is at least `pivot`, or `limit`.
  std::int64_t FirstAtLeast(std::int64_t from, std::int64_t limit, std::uint32_t pivot) const noexcept {
    work_ += kBlock;
    if (from >= limit) return limit;
    const std::size_t first = BlockOf(from);
    const std::size_t last = BlockOf(limit - 1);
    for (std::int64_t k = from, end = std::min(limit, BlockEnd(first)); k < end; ++k) {
      if (ranks_[k] >= pivot) return k;
    }
    if (first == last) return limit;
    const std::size_t block = FirstBlock(first + 1, last + 1, Biased(pivot));
    if (block == kNone) return limit;
    work_ += kBlock;
    for (std::int64_t k = BlockStart(block), end = std::min(limit, BlockEnd(block)); k < end; ++k) {
      if (ranks_[k] >= pivot) return k;
    }
    return limit;  // only the last block can hold its match beyond the limit
  }

  // Returns the last index in (limit, from] whose rank is at most `pivot`, or `limit`.
  std::int64_t LastAtMost(std::int64_t from, std::int64_t limit, std::uint32_t pivot) const noexcept {
    work_ += kBlock;
    if (from <= limit) return limit;
    const std::size_t first = BlockOf(from);
    const std::size_t last = BlockOf(limit + 1);
    for (std::int64_t k = from, end = std::max(limit, BlockStart(first) - 1); k > end; --k) {
      if (ranks_[k] <= pivot) return k;
    }
    if (first == last) return limit;
    const std::size_t block = LastBlock(last, first, Biased(pivot));
    if (block == kNone) return limit;
    work_ += kBlock;
    for (std::int64_t k = BlockEnd(block) - 1, end = std::max(limit, BlockStart(block) - 1); k > end; --k) {
      if (ranks_[k] <= pivot) return k;
    }
    return limit;
  }

  // Returns the ranks and tree entries read since the last call (or since the tree was built,
  // building included): a whole block or node for each one a query or an update looks at, and
  // at least the block a query starts in.
  std::uint64_t TakeWork() noexcept { return std::exchange(work_, 0); }

  // Takes note that the items at `a` and `b` were exchanged.
  void Exchanged(std::int64_t a, std::int64_t b) noexcept {
    const std::size_t blockA = BlockOf(a);
    const std::size_t blockB = BlockOf(b);
    work_ += 2;
    // Within one block, ranks only changed places.
    if (blockA == blockB) return;
    const std::int32_t atA = Biased(ranks_[a]);
    const std::int32_t atB = Biased(ranks_[b]);
    Update(blockA, atB, atA);
    Update(blockB, atA, atB);
  }

 private:
  static constexpr std::size_t kNone = std::numeric_limits<std::size_t>::max();
  static constexpr unsigned kShift = std::countr_zero(kFanout);
  static_assert(kFanout == 16, "a node is compared as four vectors of four ranks");

  // The tree holds each rank with its top bit flipped, as a signed number: signed comparisons
  // then order them as ranks, and SSE2 compares signed numbers only.
  static constexpr std::int32_t Biased(std::uint32_t rank) noexcept {
    return static_cast<std::int32_t>(rank ^ 0x8000'0000U);
  }

  static constexpr std::array<std::int32_t, kFanout> Filled(std::int32_t value) noexcept {
    std::array<std::int32_t, kFanout> values{};
    values.fill(value);
    return values;
  }

  // The largest and smallest ranks of kFanout subtrees; those past the end hold the least and
  // the greatest value, which the searches never take (they stop at their limits first).
  struct alignas(64) Node {
    std::array<std::int32_t, kFanout> max = Filled(std::numeric_limits<std::int32_t>::min());
    std::array<std::int32_t, kFanout> min = Filled(std::numeric_limits<std::int32_t>::max());
  };

  struct Extremes {
    std::int32_t max;
    std::int32_t min;
  };

  std::size_t BlockOf(std::int64_t index) const noexcept {
    return static_cast<std::size_t>(index - lo_) / kBlock;
  }
  std::int64_t BlockStart(std::size_t block) const noexcept {
    return lo_ + static_cast<std::int64_t>(block * kBlock);
  }
  std::int64_t BlockEnd(std::size_t block) const noexcept {
    return std::min(hi_ + 1, BlockStart(block) + static_cast<std::int64_t>(kBlock));
  }

  Node& NodeAt(std::size_t level, std::size_t node) noexcept { return nodes_[levelStart_[level] + node]; }
  const Node& NodeAt(std::size_t level, std::size_t node) const noexcept {
    return nodes_[levelStart_[level] + node];
  }
  static void Store(Node& node, std::size_t lane, Extremes value) noexcept {
    node.max[lane] = value.max;
    node.min[lane] = value.min;
  }
  void Set(std::size_t level, std::size_t entry, Extremes value) noexcept {
    Store(NodeAt(level, entry >> kShift), entry & (kFanout - 1), value);
  }

#if defined(__SSE2__)
  static __m128i Load(const std::int32_t* values) noexcept {
    return _mm_load_si128(reinterpret_cast<const __m128i*>(values));
  }
  static __m128i Larger(__m128i a, __m128i b) noexcept {
    const __m128i bIsLarger = _mm_cmpgt_epi32(b, a);
    return _mm_or_si128(_mm_and_si128(bIsLarger, b), _mm_andnot_si128(bIsLarger, a));
  }
  static __m128i Smaller(__m128i a, __m128i b) noexcept {
    const __m128i bIsSmaller = _mm_cmpgt_epi32(a, b);
    return _mm_or_si128(_mm_and_si128(bIsSmaller, b), _mm_andnot_si128(bIsSmaller, a));
  }
  static Extremes Reduce(__m128i largest, __m128i smallest) noexcept {
    largest = Larger(largest, _mm_shuffle_epi32(largest, _MM_SHUFFLE(1, 0, 3, 2)));
    largest = Larger(largest, _mm_shuffle_epi32(largest, _MM_SHUFFLE(2, 3, 0, 1)));
    smallest = Smaller(smallest, _mm_shuffle_epi32(smallest, _MM_SHUFFLE(1, 0, 3, 2)));
    smallest = Smaller(smallest, _mm_shuffle_epi32(smallest, _MM_SHUFFLE(2, 3, 0, 1)));
    return {_mm_cvtsi128_si32(largest), _mm_cvtsi128_si32(smallest)};
  }
  // One bit per lane of sixteen lanes that each hold all ones or all zeros.
  static std::uint32_t Bits(__m128i a, __m128i b, __m128i c, __m128i d) noexcept {
    return static_cast<std::uint32_t>(
        _mm_movemask_epi8(_mm_packs_epi16(_mm_packs_epi32(a, b), _mm_packs_epi32(c, d))));
  }
#endif

  Extremes ScanBlock(std::size_t block) const noexcept {
    const std::int64_t start = BlockStart(block);
    const std::int64_t end = BlockEnd(block);
#if defined(__SSE2__)
    if (end - start == static_cast<std::int64_t>(kBlock)) {
      const auto* const r = reinterpret_cast<const __m128i*>(ranks_ + start);
      const __m128i bias = _mm_set1_epi32(std::numeric_limits<std::int32_t>::min());
      const __m128i a = _mm_xor_si128(_mm_loadu_si128(r), bias);
      const __m128i b = _mm_xor_si128(_mm_loadu_si128(r + 1), bias);
      const __m128i c = _mm_xor_si128(_mm_loadu_si128(r + 2), bias);
      const __m128i d = _mm_xor_si128(_mm_loadu_si128(r + 3), bias);
      return Reduce(Larger(Larger(a, b), Larger(c, d)), Smaller(Smaller(a, b), Smaller(c, d)));
    }
#endif
    std::int32_t largest = std::numeric_limits<std::int32_t>::min();
    std::int32_t smallest = std::numeric_limits<std::int32_t>::max();
    for (std::int64_t k = start; k < end; ++k) {
      largest = std::max(largest, Biased(ranks_[k]));
      smallest = std::min(smallest, Biased(ranks_[k]));
    }
    return {largest, smallest};
  }

  static Extremes Summary(const Node& node) noexcept {
    return {*std::max_element(node.max.begin(), node.max.end()),
            *std::min_element(node.min.begin(), node.min.end())};
  }

  // The largest (kLargest) or the smallest of `values` with entry `lane` holding `value`. Reads
  // the entries as they were, so the loads do not wait for a narrower store to the same bytes.
  template <bool kLargest>
  static std::int32_t ExtremeWith(const std::array<std::int32_t, kFanout>& values, std::size_t lane,
                                  std::int32_t value) noexcept {
#if defined(__SSE2__)
    const __m128i at = _mm_set1_epi32(static_cast<int>(lane));
    const __m128i replacement = _mm_set1_epi32(value);
    __m128i v[4];
    for (std::size_t k = 0; k < 4; ++k) {
      const auto first = static_cast<int>(4 * k);
      const __m128i here = _mm_cmpeq_epi32(_mm_setr_epi32(first, first + 1, first + 2, first + 3), at);
      v[k] =
          _mm_or_si128(_mm_and_si128(here, replacement), _mm_andnot_si128(here, Load(values.data() + 4 * k)));
    }
    if constexpr (kLargest) {
      __m128i m = Larger(Larger(v[0], v[1]), Larger(v[2], v[3]));
      m = Larger(m, _mm_shuffle_epi32(m, _MM_SHUFFLE(1, 0, 3, 2)));
      m = Larger(m, _mm_shuffle_epi32(m, _MM_SHUFFLE(2, 3, 0, 1)));
      return _mm_cvtsi128_si32(m);
    } else {
      __m128i m = Smaller(Smaller(v[0], v[1]), Smaller(v[2], v[3]));
      m = Smaller(m, _mm_shuffle_epi32(m, _MM_SHUFFLE(1, 0, 3, 2)));
      m = Smaller(m, _mm_shuffle_epi32(m, _MM_SHUFFLE(2, 3, 0, 1)));
      return _mm_cvtsi128_si32(m);
    }
#else
    std::array<std::int32_t, kFanout> changed = values;
    changed[lane] = value;
    return kLargest ? *std::max_element(changed.begin(), changed.end())
                    : *std::min_element(changed.begin(), changed.end());
#endif
  }

  // Bit k set for each child k whose largest rank is at least `pivot` (biased).
  static std::uint32_t AtLeast(const Node& node, std::int32_t pivot) noexcept {
#if defined(__SSE2__)
    const __m128i p = _mm_set1_epi32(pivot);
    const std::int32_t* const x = node.max.data();
    const std::uint32_t below = Bits(_mm_cmpgt_epi32(p, Load(x)), _mm_cmpgt_epi32(p, Load(x + 4)),
                                     _mm_cmpgt_epi32(p, Load(x + 8)), _mm_cmpgt_epi32(p, Load(x + 12)));
    return ~below & 0xFFFFU;
#else
    std::uint32_t mask = 0;
    for (std::size_t k = 0; k < kFanout; ++k) mask |= std::uint32_t{node.max[k] >= pivot} << k;
    return mask;
#endif
  }

  // Bit k set for each child k whose smallest rank is at most `pivot` (biased).
  static std::uint32_t AtMost(const Node& node, std::int32_t pivot) noexcept {
#if defined(__SSE2__)
    const __m128i p = _mm_set1_epi32(pivot);
    const std::int32_t* const n = node.min.data();
    const std::uint32_t above = Bits(_mm_cmpgt_epi32(Load(n), p), _mm_cmpgt_epi32(Load(n + 4), p),
                                     _mm_cmpgt_epi32(Load(n + 8), p), _mm_cmpgt_epi32(Load(n + 12), p));
    return ~above & 0xFFFFU;
#else
    std::uint32_t mask = 0;
    for (std::size_t k = 0; k < kFanout; ++k) mask |= std::uint32_t{node.min[k] <= pivot} << k;
    return mask;
#endif
  }

  // Takes note that `block` holds `added` in place of `removed`, and carries the change of its
  // extremes up the tree as far as it changes what the nodes above hold.
  void Update(std::size_t block, std::int32_t removed, std::int32_t added) noexcept {
    std::size_t entry = block;
    Node* node = &NodeAt(0, entry >> kShift);
    std::size_t lane = entry & (kFanout - 1);
    Extremes was{node->max[lane], node->min[lane]};
    Extremes now = was;
    // A block or node whose extreme was the one it lost is read again; otherwise the extreme
    // follows from the old one and the new member's.
    bool rescan = false;
    if (added >= was.max) {
      now.max = added;
    } else if (removed == was.max) {
      rescan = true;
    }
    if (added <= was.min) {
      now.min = added;
    } else if (removed == was.min) {
      rescan = true;
    }
    work_ += 2;
    if (rescan) {
      now = ScanBlock(block);
      work_ += kBlock;
    }
    for (std::size_t level = 0;; ++level) {
      if (now.max == was.max && now.min == was.min) return;
      if (level + 1 == levelStart_.size()) {
        Store(*node, lane, now);
        return;
      }
      const std::size_t up = entry >> kShift;
      Node* const parent = &NodeAt(level + 1, up >> kShift);
      const std::size_t parentLane = up & (kFanout - 1);
      const Extremes group{parent->max[parentLane], parent->min[parentLane]};
      work_ += 2;
      Extremes next = group;
      if (now.max >= group.max) {
        next.max = now.max;
      } else if (was.max == group.max) {
        next.max = ExtremeWith<true>(node->max, lane, now.max);
        work_ += kFanout;
      }
      if (now.min <= group.min) {
        next.min = now.min;
      } else if (was.min == group.min) {
        next.min = ExtremeWith<false>(node->min, lane, now.min);
        work_ += kFanout;
      }
      Store(*node, lane, now);
      entry = up;
      node = parent;
      lane = parentLane;
      was = group;
      now = next;
    }
  }

  // The first block in [from, to) whose largest rank is at least `pivot`, or kNone; from < to.
  std::size_t FirstBlock(std::size_t from, std::size_t to, std::int32_t pivot) const noexcept {
    // Climbs while the nodes to the right of `entry`, within its node, hold no match.
    std::size_t entry = from;
    std::size_t level = 0;
    for (;;) {
      work_ += kFanout;
      const std::uint32_t mask =
          AtLeast(NodeAt(level, entry >> kShift), pivot) & (~std::uint32_t{0} << (entry & (kFanout - 1)));
      if (mask != 0) {
        entry = (entry & ~(kFanout - 1)) + static_cast<std::size_t>(std::countr_zero(mask));
        break;
      }
      if (level + 1 == levelStart_.size()) return kNone;
      entry = (entry >> kShift) + 1;
      ++level;
      if ((entry << (kShift * level)) >= to) return kNone;
    }
    // The subtree found starts before `to`, so it holds real blocks; its first match is the one.
    if ((entry << (kShift * level)) >= to) return kNone;
    work_ += kFanout * level;
    while (level > 0) {
      --level;
      entry = (entry << kShift) +
              static_cast<std::size_t>(std::countr_zero(AtLeast(NodeAt(level, entry), pivot)));
    }
    return entry < to ? entry : kNone;
  }

  // The last block in [from, to) whose smallest rank is at most `pivot`, or kNone; from < to.
  std::size_t LastBlock(std::size_t from, std::size_t to, std::int32_t pivot) const noexcept {
    std::size_t entry = to - 1;
    std::size_t level = 0;
    for (;;) {
      work_ += kFanout;
      const std::uint32_t mask = AtMost(NodeAt(level, entry >> kShift), pivot) &
                                 (~std::uint32_t{0} >> (31 - (entry & (kFanout - 1))));
      if (mask != 0) {
        entry = (entry & ~(kFanout - 1)) + static_cast<std::size_t>(31 - std::countl_zero(mask));
        break;
      }
      if (level + 1 == levelStart_.size() || entry < kFanout) return kNone;
      entry = (entry >> kShift) - 1;
      ++level;
      if (((entry + 1) << (kShift * level)) <= from) return kNone;
    }
    work_ += kFanout * level;
    while (level > 0) {
      --level;
      entry = (entry << kShift) +
              static_cast<std::size_t>(31 - std::countl_zero(AtMost(NodeAt(level, entry), pivot)));
    }
    return entry >= from ? entry : kNone;
  }

  const std::uint32_t* ranks_;
  std::int64_t lo_;
  std::int64_t hi_;
  // Where each level's nodes start in nodes_, from the blocks' level up to the single top node.
  std::vector<std::size_t> levelStart_;
  std::vector<Node> nodes_;
  // The ranks and tree entries read since TakeWork last ran.
  mutable std::uint64_t work_ = 0;
};

}  // namespace ordwell::detail
