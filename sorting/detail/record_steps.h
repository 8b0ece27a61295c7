#pragma once

// The quicksort of the order described in sorting/sort_list.h, run over compact records instead
// of strings: each record holds a big-endian copy of 64 bits of its key (zero padded) and where
// the item lies in the text its keys are read from. Records move exactly as the strings would, so
// the final order, ties included, is that order; only the cost of a comparison changes.
//
// That quicksort is quadratic on some orders (organ pipes, adversarial ones). Once the
// partitions have covered n * log2 n records in all, or a range was reached by a run of lopsided
// partitions, each range still to sort is finished by its ranks instead: its keys are sorted by
// a worst-case O(m log m) sort, whose order is the result when no key has two different texts;
// otherwise the quicksort goes on over the ranks (RankSteps), with scans that find their stops
// through a tree, O(m log^2 m) at worst.
//
// When equal keys go in input order, the order is total and any sort reaches it: large ranges are
// then split by the bytes of their prefixes, most significant first, and the small ranges left
// are sorted by comparisons.

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <utility>

#include "io/big_buffer.h"
#include "sorting/detail/key_prefix.h"
#include "sorting/detail/key_ranks.h"
#include "sorting/detail/quicksort_driver.h"
#include "sorting/detail/rank_steps.h"
#include "sorting/detail/task_queue.h"

namespace ordwell::detail {

template <class Record, class Keys, class SameText>
class RecordSteps {
 public:
  // Sorts records whose keys `keys` reads at their offsets into the order described in
  // sorting/sort_list.h; records[0] stands for array index `origin`, which decides where the
  // middle of a range is. Every record's prefix
  // must hold key units [0, kPrefixUnits). sameText(a, b) tells whether two records with equal keys have the
  // same text. With `inputOrderTies`, equal keys are ordered by where their items lie in the text
  // instead, so no two records tie.
  RecordSteps(Record* records, Keys keys, SameText sameText, std::int64_t origin = 0,
              bool inputOrderTies = false) noexcept
      : records_(records),
        keys_(keys),
        sameText_(std::move(sameText)),
        origin_(origin),
        inputOrderTies_(inputOrderTies) {}

  // Sorts the inclusive range [lo, hi] following `plan`, on its pool or, without one, on a pool
  // of its own; falls back to fewer threads when the system refuses to start one. A failure on
  // any thread is rethrown here once every thread has stopped working on the range.
  void Sort(std::int64_t lo, std::int64_t hi, const ParallelPlan& plan) {
    if (lo >= hi) return;
    const auto count = static_cast<std::size_t>(hi - lo + 1);
    scanBudget_ = plan.scanBudget;
    threads_ = plan.threads;
    grain_ = plan.grain;
    workCount_ = plan.workCount;
    pool_ = plan.pool;
    budget_.store(plan.scanBudget >= 0 ? plan.scanBudget
                                       : 2 * static_cast<std::int64_t>(count) *
                                             static_cast<std::int64_t>(std::bit_width(count)),
                  std::memory_order_relaxed);
    RunOnWorkers(Range{lo, hi, 0, false}, count, plan, pool_,
                 [this](const Range& range, TaskQueue* queue, std::size_t grain, std::uint64_t& work) {
                   if (inputOrderTies_) {
                     SortRangeByInput(range, queue, grain, work);
                   } else {
                     SortRange(range, queue, grain, work);
                   }
                 });
  }

 private:
  // A range of records still to sort. All its keys agree, zero padded, on units [0, depth), and
  // the prefixes of its records hold units [depth, depth + kPrefixUnits). `settled` marks a
  // range whose prefixes are all equal and whose keys all end inside them, so only lengths differ.
  struct Range {
    std::int64_t lo = 0;
    std::int64_t hi = -1;
    std::size_t depth = 0;
    bool settled = false;
    // How many leading bytes of the prefixes all records of the range share.
    std::uint8_t sharedBytes = 0;
    // How many lopsided partitions in a row led to this range.
    int lopsided = 0;

    std::int64_t Size() const noexcept { return hi - lo + 1; }
  };

  using TaskQueue = detail::TaskQueue<Range>;

  static constexpr std::int64_t kMinRefreshSize = 16;
  static constexpr std::int64_t kMinAccounted = 32;
  static constexpr unsigned kBlock = 8;
  // Ranges below this size are sorted by comparisons rather than split by a byte, whose 256
  // counters would cost more than they save.
  static constexpr std::int64_t kMinByteSplit = 512;

  // When every record of a range has the same prefix, the keys agree on the prefix's units too,
  // so the prefixes can move on to the next units: comparisons then rarely have to read the keys.
  void RefreshPrefixes(Range& range) const noexcept {
    if (range.settled || range.Size() < kMinRefreshSize) return;
    Record* const r = records_;
    const std::uint64_t prefix = r[range.lo].prefix;
    if (r[range.hi].prefix != prefix || r[(range.lo + range.hi) / 2].prefix != prefix) return;
    std::size_t longest = 0;
    for (std::int64_t i = range.lo; i <= range.hi; ++i) {
      if (r[i].prefix != prefix) return;
      longest = std::max(longest, keys_.Length(r[i].offset, r[i].length));
    }
    const std::size_t next = range.depth + kPrefixUnits<typename Keys::Unit>;
    if (longest <= next) {
      range.settled = true;
      return;
    }
    for (std::int64_t i = range.lo; i <= range.hi; ++i) {
      r[i].prefix =
          keys_.Length(r[i].offset, r[i].length) > next ? keys_.Prefix(r[i].offset, r[i].length, next) : 0;
    }
    range.depth = next;
    range.sharedBytes = 0;
  }

  // Splits the range by the first byte in which its prefixes differ into up to 256 ranges, in
  // place, and sorts or queues all but the largest, which becomes `range`; returns false when all
  // prefixes are equal. Sorting the largest range last keeps the stack depth logarithmic.
  bool SplitByByte(Range& range, TaskQueue* queue, std::size_t grain, std::uint64_t& work) {
    Record* const r = records_;
    std::array<std::int64_t, 256> counts{};
    unsigned shift = 0;
    for (;; ++range.sharedBytes) {
      if (range.sharedBytes == sizeof(std::uint64_t)) return false;
      shift = 56 - 8 * range.sharedBytes;
      counts.fill(0);
      for (std::int64_t i = range.lo; i <= range.hi; ++i) ++counts[(r[i].prefix >> shift) & 0xFF];
      work += static_cast<std::uint64_t>(range.Size());
      if (std::find(counts.begin(), counts.end(), range.Size()) == counts.end()) break;
    }
    // Each record goes straight to the next free place of its byte's range, and whatever was
    // there moves on in turn.
    std::array<std::int64_t, 256> next{};
    std::array<std::int64_t, 256> end{};
    std::int64_t at = range.lo;
    for (std::size_t b = 0; b < 256; ++b) {
      next[b] = at;
      at += counts[b];
      end[b] = at;
    }
    for (std::size_t b = 0; b < 256; ++b) {
      while (next[b] < end[b]) {
        Record moving = r[next[b]];
        for (std::size_t d = (moving.prefix >> shift) & 0xFF; d != b; d = (moving.prefix >> shift) & 0xFF) {
          std::swap(moving, r[next[d]++]);
        }
        r[next[b]++] = moving;
      }
    }
    work += static_cast<std::uint64_t>(range.Size());
    const auto largest =
        static_cast<std::size_t>(std::max_element(counts.begin(), counts.end()) - counts.begin());
    Range kept = range;
    for (std::size_t b = 0; b < 256; ++b) {
      if (counts[b] == 0) continue;
      Range part = range;
      part.hi = end[b] - 1;
      part.lo = part.hi - counts[b] + 1;
      part.sharedBytes = static_cast<std::uint8_t>(range.sharedBytes + 1);
      part.lopsided = 0;
      if (b == largest) {
        kept = part;
      } else if (queue != nullptr && part.Size() >= static_cast<std::int64_t>(grain)) {
        queue->Push(part);
      } else if (part.Size() > 1) {
        SortRangeByInput(part, queue, grain, work);
      }
    }
    range = kept;
    return true;
  }

  // Partitions the range around the record in its middle; returns where the two scans ended
  // (tmpLow, tmpHi).
  std::pair<std::int64_t, std::int64_t> Partition(const Range& range) noexcept {
    const std::size_t depth = range.depth;
    const Keys keys = keys_;
    return PartitionBy(range, [depth, keys](const Record& a, const Record& b) {
      if (a.prefix != b.prefix) return a.prefix < b.prefix;
      // The scans meet the pivot's own item about twice per partition; its key is equal to
      // itself, and reading it would cost a cache miss.
      if (a.offset == b.offset && a.length == b.length) return false;
      return TailOrder(keys, a.offset, a.length, b.offset, b.length, depth) < 0;
    });
  }

  // Partition with `less` ordering two records.
  template <class Less>
  std::pair<std::int64_t, std::int64_t> PartitionBy(const Range& range, const Less& less) noexcept {
    const std::int64_t lo = range.lo;
    const std::int64_t hi = range.hi;
    std::int64_t tmpLow = lo;
    std::int64_t tmpHi = hi;
    // The middle of the range in array indexes: half their sum, a half rounded to the even
    // neighbour.
    const std::int64_t sum = lo + hi + 2 * origin_;
    std::int64_t middle = sum / 2;
    if ((sum & 1) != 0 && (middle & 1) != 0) ++middle;
    const Record pivot = records_[middle - origin_];
    Record* const r = records_;
    const std::uint64_t pivotPrefix = pivot.prefix;
    while (tmpLow <= tmpHi) {
      // Each scan first skips, eight at a time, records whose prefix alone decides the comparison
      // (a branch per block instead of one per record), then compares one record at a time.
      for (;;) {
        while (tmpLow + kBlock <= hi) {
          unsigned below = 0;
          for (unsigned j = 0; j < kBlock; ++j) below |= unsigned{r[tmpLow + j].prefix < pivotPrefix} << j;
          const int run = std::countr_one(below);
          tmpLow += run;
          if (run < static_cast<int>(kBlock)) break;
        }
        if (tmpLow < hi && less(r[tmpLow], pivot)) {
          ++tmpLow;
          continue;
        }
        break;
      }
      for (;;) {
        while (tmpHi - static_cast<std::int64_t>(kBlock) >= lo) {
          unsigned above = 0;
          for (unsigned j = 0; j < kBlock; ++j) above |= unsigned{r[tmpHi - j].prefix > pivotPrefix} << j;
          const int run = std::countr_one(above);
          tmpHi -= run;
          if (run < static_cast<int>(kBlock)) break;
        }
        if (tmpHi > lo && less(pivot, r[tmpHi])) {
          --tmpHi;
          continue;
        }
        break;
      }
      if (tmpLow > tmpHi) break;
      std::swap(r[tmpLow], r[tmpHi]);
      ++tmpLow;
      --tmpHi;
    }
    return {tmpLow, tmpHi};
  }

  // Recurses only into the smaller side and loops on the larger one, so the stack depth stays
  // logarithmic; with a queue, sides of at least `grain` records go to whichever worker is free.
  // The two sides never overlap, so the order in which they are sorted does not matter.
  void SortRange(Range range, TaskQueue* queue, std::size_t grain, std::uint64_t& work) {
    while (range.lo < range.hi) {
      // A range reached by kMaxLopsided lopsided partitions in a row is likely to stay
      // quadratic (an organ pipe, say): it goes to its ranks at once rather than when the budget
      // runs out.
      // Ranges below kMinAccounted are not counted (the shared counter would bounce between
      // cores on every small partition); partitions cost under kMinAccounted per record there.
      if ((range.Size() >= kMinAccounted &&
           budget_.fetch_sub(range.Size(), std::memory_order_relaxed) <= 0) ||
          range.lopsided >= kMaxLopsided) {
        SortByRanks(range.lo, range.hi);
        return;
      }
      RefreshPrefixes(range);
      const auto [tmpLow, tmpHi] = Partition(range);
      work += static_cast<std::uint64_t>((tmpLow - range.lo) + (range.hi - tmpHi));
      auto [small, large] = Sides(range, tmpLow, tmpHi);
      if (queue != nullptr && large.Size() >= static_cast<std::int64_t>(grain)) {
        queue->Push(large);
      } else {
        if (small.Size() > 1) SortRange(small, queue, grain, work);
        small = large;
      }
      range = small;
    }
  }

  // Sorts a range when ties go in input order, where no two records tie and any sort reaches the
  // order: a large range is split by the bytes of its prefixes, a small one sorted by comparisons.
  void SortRangeByInput(Range range, TaskQueue* queue, std::size_t grain, std::uint64_t& work) {
    while (range.lo < range.hi) {
      if (range.Size() >= kMinAccounted && budget_.fetch_sub(range.Size(), std::memory_order_relaxed) <= 0) {
        SortByRanks(range.lo, range.hi);
        return;
      }
      RefreshPrefixes(range);
      if (range.settled) {
        SortSettledByInput(range);
        return;
      }
      if (range.Size() < kMinByteSplit || !SplitByByte(range, queue, grain, work)) {
        SortByInput(range);
        return;
      }
    }
  }

  // Sorts a small range when ties go in input order.
  void SortByInput(const Range& range) const {
    const std::size_t depth = range.depth;
    const Keys keys = keys_;
    std::sort(records_ + range.lo, records_ + range.hi + 1, [depth, keys](const Record& a, const Record& b) {
      if (a.prefix != b.prefix) return a.prefix < b.prefix;
      const int order = TailOrder(keys, a.offset, a.length, b.offset, b.length, depth);
      return order != 0 ? order < 0 : a.offset < b.offset;
    });
  }

  // Sorts a settled range, whose keys differ at most in length, when ties go in input order:
  // shorter keys first, equal ones by where their items lie.
  void SortSettledByInput(const Range& range) const {
    const Keys keys = keys_;
    std::sort(records_ + range.lo, records_ + range.hi + 1, [keys](const Record& a, const Record& b) {
      const std::size_t aKey = keys.Length(a.offset, a.length);
      const std::size_t bKey = keys.Length(b.offset, b.length);
      return aKey != bKey ? aKey < bKey : a.offset < b.offset;
    });
  }

  // Finishes [lo, hi] in O(m log^2 m) at worst: ranks its keys, and takes their order as it is
  // when no rank holds two different texts, else runs the quicksort on over the ranks.
  void SortByRanks(std::int64_t lo, std::int64_t hi) {
    Record* const r = records_ + lo;
    const auto count = static_cast<std::size_t>(hi - lo + 1);
    KeyOrder sorted = SortKeys(
        r, count, keys_, [this, r](std::uint32_t a, std::uint32_t b) { return sameText_(r[a], r[b]); }, pool_,
        workCount_);
    if (inputOrderTies_) {
      // Equal keys in the order their items lie in the text.
      for (std::size_t a = 0; a < count;) {
        std::size_t b = a + 1;
        while (b < count && sorted.same[b] != 0) ++b;
        if (b - a > 1) {
          std::sort(sorted.entries.data() + a, sorted.entries.data() + b,
                    [r](const key_ranks::Entry& x, const key_ranks::Entry& y) {
                      return r[x.item].offset < r[y.item].offset;
                    });
        }
        a = b;
      }
      sorted.variants = false;
    }
    // A second buffer rather than an in-place permutation: following the permutation's cycles
    // costs a cache miss per record, one after the other.
    io::BigBuffer<Record> moved;
    if (!sorted.variants) {
      sorted.same.Release();
      moved = io::BigBuffer<Record>(count);
      for (std::size_t i = 0; i < count; ++i) moved[i] = r[sorted.entries[i].item];
    } else {
      // Dense ranks: comparing them is comparing keys.
      io::BigBuffer<std::uint32_t> ranks(count);
      io::BigBuffer<std::uint32_t> items(count);
      std::uint32_t rank = 0;
      for (std::size_t i = 0; i < count; ++i) {
        if (i != 0 && sorted.same[i] == 0) ++rank;
        ranks[sorted.entries[i].item] = rank;
      }
      sorted = {};
      for (std::size_t i = 0; i < count; ++i) items[i] = static_cast<std::uint32_t>(i);
      ParallelPlan plan;
      plan.threads = threads_;
      plan.grain = grain_;
      plan.scanBudget = scanBudget_;
      plan.workCount = workCount_;
      plan.pool = pool_;
      RankSteps(ranks.data(), items.data(), origin_ + lo).Sort(0, static_cast<std::int64_t>(count) - 1, plan);
      ranks.Release();
      moved = io::BigBuffer<Record>(count);
      for (std::size_t i = 0; i < count; ++i) moved[i] = r[items[i]];
    }
    std::copy(moved.data(), moved.data() + count, r);
  }

  Record* records_;
  Keys keys_;
  SameText sameText_;
  std::int64_t origin_;
  bool inputOrderTies_;
  std::int64_t scanBudget_ = -1;
  unsigned threads_ = 1;
  std::size_t grain_ = 1;
  std::atomic<std::uint64_t>* workCount_ = nullptr;
  // The threads of the sort under way, shared with the rank sorts it starts; none when serial.
  WorkerPool* pool_ = nullptr;
  // Items the partitions may still cover before the ranges left are finished by their ranks.
  std::atomic<std::int64_t> budget_{0};
};

}  // namespace ordwell::detail
