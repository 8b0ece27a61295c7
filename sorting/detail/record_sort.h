#pragma once

// The quicksort's partition steps run over compact records instead of strings: each record holds
// a big-endian copy of 64 bits of its key (zero padded) plus where the key lies in one
// lower-cased buffer. Records move exactly as the strings would, so the final order, ties
// included, is the one the plain steps give; only the cost of a comparison changes.

#include <algorithm>
#include <bit>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace ordwell::detail {

// Keys are held one byte per unit when every unit of the list is below 256 (the common case,
// and lower-casing keeps such units below 256), else as 16-bit units; either way they compare
// by unit value.
template <class Unit>
inline constexpr std::size_t kPrefixUnits = sizeof(std::uint64_t) / sizeof(Unit);

// Packs key units [0, kPrefixUnits) big-endian and zero padded, so that comparing two packed
// values as unsigned numbers orders the keys whenever the values differ.
template <class Unit>
inline std::uint64_t KeyPrefix(const Unit* key, std::size_t length) noexcept {
  constexpr std::size_t kUnits = kPrefixUnits<Unit>;
  constexpr unsigned kBits = 8 * sizeof(Unit);
  if (length >= kUnits) {
    std::uint64_t word;
    std::memcpy(&word, key, sizeof word);
    if constexpr (std::endian::native == std::endian::little) {
      if constexpr (sizeof(Unit) == 1) {
        word = __builtin_bswap64(word);
      } else {
        word = (word >> 32) | (word << 32);
        word = ((word >> 16) & 0x0000FFFF0000FFFFull) | ((word & 0x0000FFFF0000FFFFull) << 16);
      }
    }
    return word;
  }
  std::uint64_t prefix = 0;
  for (std::size_t i = 0; i < length; ++i) prefix |= std::uint64_t{key[i]} << (64 - kBits * (i + 1));
  return prefix;
}

// Orders two keys that agree, zero padded, on units [0, depth + kPrefixUnits): by unit value, a
// proper prefix first.
template <class Unit>
inline bool TailLess(const Unit* a, std::size_t aLength, const Unit* b, std::size_t bLength,
                     std::size_t depth) noexcept {
  std::size_t i = depth + kPrefixUnits<Unit>;
  // A key that ends inside the agreeing part is a prefix of the other one.
  if (aLength <= i || bLength <= i) return aLength < bLength;
  const std::size_t common = std::min(aLength, bLength);
  if constexpr (std::endian::native == std::endian::little) {
    for (; i + kPrefixUnits<Unit> <= common; i += kPrefixUnits<Unit>) {
      const std::uint64_t x = KeyPrefix(a + i, kPrefixUnits<Unit>);
      const std::uint64_t y = KeyPrefix(b + i, kPrefixUnits<Unit>);
      if (x != y) return x < y;
    }
  }
  for (; i < common; ++i) {
    if (a[i] != b[i]) return a[i] < b[i];
  }
  return aLength < bLength;
}

// A record for lists whose text offsets fit in 32 bits: 16 bytes.
struct CompactRecord {
  std::uint64_t prefix;
  std::uint32_t offset;
  std::uint32_t length;
};

// A record for any text size.
struct WideRecord {
  std::uint64_t prefix;
  std::uint64_t offset;
  std::uint64_t length;
};

// A wide record that also remembers which array element it came from.
struct IndexedRecord {
  std::uint64_t prefix;
  std::uint64_t offset;
  std::uint64_t length;
  std::uint64_t index;
};

// How the records are sorted: on how many threads, and the smallest range handed to another one.
struct ParallelPlan {
  unsigned threads = 1;
  std::size_t grain = std::size_t{1} << 14;
};

// Returns the number of threads worth using for `count` records.
inline unsigned AutoThreads(std::size_t count) noexcept {
  constexpr std::size_t kMinParallelCount = std::size_t{1} << 16;
  if (count < kMinParallelCount) return 1;
  return std::clamp(std::thread::hardware_concurrency(), 1u, 8u);
}

template <class Record, class Unit>
class RecordSorter {
 public:
  // Sorts records whose keys lie in `keys`, exactly as the quicksort steps order them; records[0]
  // stands for array index `origin`, which decides how middle indexes round. Every record's
  // prefix must hold key units [0, kPrefixUnits).
  RecordSorter(Record* records, const Unit* keys, std::int64_t origin = 0) noexcept
      : records_(records), keys_(keys), origin_(origin) {}

  // Sorts the inclusive range [lo, hi] following `plan`; falls back to fewer threads when the
  // system refuses to start one.
  void Sort(std::int64_t lo, std::int64_t hi, const ParallelPlan& plan) {
    if (lo >= hi) return;
    const auto count = static_cast<std::size_t>(hi - lo + 1);
    if (plan.threads <= 1 || count <= plan.grain) {
      SortRange({lo, hi, 0, false}, nullptr, 0);
      return;
    }
    const std::size_t grain = std::max<std::size_t>(plan.grain, 1);
    TaskQueue queue(count / grain + 2);
    queue.Push({lo, hi, 0, false});
    std::vector<std::thread> helpers;
    helpers.reserve(plan.threads - 1);
    auto work = [this, &queue, grain] {
      Range range;
      while (queue.Pop(range)) {
        SortRange(range, &queue, grain);
        queue.Done();
      }
    };
    for (unsigned t = 1; t < plan.threads; ++t) {
      try {
        helpers.emplace_back(work);
      } catch (...) {
        break;  // Fewer threads only make it slower; the result is the same.
      }
    }
    work();
    for (std::thread& helper : helpers) helper.join();
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

    std::int64_t Size() const noexcept { return hi - lo + 1; }
  };

  // A stack of disjoint ranges still to sort, shared by the workers. Its capacity is reserved up
  // front (each range holds at least `grain` records), so pushing never allocates.
  class TaskQueue {
   public:
    explicit TaskQueue(std::size_t capacity) { ranges_.reserve(capacity); }

    void Push(const Range& range) {
      {
        const std::lock_guard lock(mutex_);
        ranges_.push_back(range);
        ++outstanding_;
      }
      ready_.notify_one();
    }

    // Waits for a range; returns false once every range pushed has been sorted.
    bool Pop(Range& range) {
      std::unique_lock lock(mutex_);
      ready_.wait(lock, [this] { return !ranges_.empty() || outstanding_ == 0; });
      if (ranges_.empty()) return false;
      range = ranges_.back();
      ranges_.pop_back();
      return true;
    }

    void Done() {
      bool last = false;
      {
        const std::lock_guard lock(mutex_);
        last = --outstanding_ == 0;
      }
      if (last) ready_.notify_all();
    }

   private:
    std::mutex mutex_;
    std::condition_variable ready_;
    std::vector<Range> ranges_;
    std::size_t outstanding_ = 0;
  };

  static constexpr std::int64_t kMinRefreshSize = 16;
  static constexpr unsigned kBlock = 8;

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
      longest = std::max<std::size_t>(longest, r[i].length);
    }
    const std::size_t next = range.depth + kPrefixUnits<Unit>;
    if (longest <= next) {
      range.settled = true;
      return;
    }
    for (std::int64_t i = range.lo; i <= range.hi; ++i) {
      const std::size_t length = r[i].length;
      r[i].prefix = length > next ? KeyPrefix(keys_ + r[i].offset + next, length - next) : 0;
    }
    range.depth = next;
  }

  // One pass of the partition steps over the range; returns the final (tmpLow, tmpHi).
  std::pair<std::int64_t, std::int64_t> Partition(const Range& range) noexcept {
    const std::int64_t lo = range.lo;
    const std::int64_t hi = range.hi;
    const std::size_t depth = range.depth;
    std::int64_t tmpLow = lo;
    std::int64_t tmpHi = hi;
    // The middle of the array indexes inLow + inHi, halves rounded to the even neighbour.
    const std::int64_t sum = lo + hi + 2 * origin_;
    std::int64_t middle = sum / 2;
    if ((sum & 1) != 0 && (middle & 1) != 0) ++middle;
    const Record pivot = records_[middle - origin_];
    const Unit* const pivotKey = keys_ + pivot.offset;
    const Unit* const keys = keys_;
    Record* const r = records_;
    const auto less = [depth](const Record& a, const Unit* aKey, const Record& b, const Unit* bKey) {
      if (a.prefix != b.prefix) return a.prefix < b.prefix;
      // The scans meet the pivot's own item about twice per partition; its key is equal to
      // itself, and reading it would cost a cache miss.
      if (aKey == bKey && a.length == b.length) return false;
      return TailLess(aKey, a.length, bKey, b.length, depth);
    };
    const std::uint64_t pivotPrefix = pivot.prefix;
    while (tmpLow <= tmpHi) {
      // Each scan first skips, eight at a time, records whose prefix alone decides the comparison
      // (a branch per block instead of one per record), then compares one by one as the steps do.
      for (;;) {
        while (tmpLow + kBlock <= hi) {
          unsigned below = 0;
          for (unsigned j = 0; j < kBlock; ++j) below |= unsigned{r[tmpLow + j].prefix < pivotPrefix} << j;
          const int run = std::countr_one(below);
          tmpLow += run;
          if (run < static_cast<int>(kBlock)) break;
        }
        if (tmpLow < hi && less(r[tmpLow], keys + r[tmpLow].offset, pivot, pivotKey)) {
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
        if (tmpHi > lo && less(pivot, pivotKey, r[tmpHi], keys + r[tmpHi].offset)) {
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
  void SortRange(Range range, TaskQueue* queue, std::size_t grain) {
    while (range.lo < range.hi) {
      RefreshPrefixes(range);
      const auto [tmpLow, tmpHi] = Partition(range);
      Range small{range.lo, tmpHi, range.depth, range.settled};
      Range large{tmpLow, range.hi, range.depth, range.settled};
      if (small.Size() > large.Size()) std::swap(small, large);
      if (queue != nullptr && large.Size() >= static_cast<std::int64_t>(grain)) {
        queue->Push(large);
      } else {
        if (small.Size() > 1) SortRange(small, queue, grain);
        small = large;
      }
      range = small;
    }
  }

  Record* records_;
  const Unit* keys_;
  std::int64_t origin_;
};

}  // namespace ordwell::detail
