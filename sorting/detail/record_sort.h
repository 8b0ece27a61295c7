#pragma once

// The quicksort's partition steps run over compact records instead of strings: each record holds
// a big-endian copy of the first four key units (zero padded) plus where the key lies in one
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

// Packs the first four units of a key, zero padded, so that comparing two packed values as
// unsigned numbers orders the keys whenever the values differ.
inline std::uint64_t KeyPrefix(const char16_t* key, std::size_t length) noexcept {
  if (length >= 4) {
    std::uint64_t word;
    std::memcpy(&word, key, sizeof word);
    if constexpr (std::endian::native == std::endian::little) {
      word = (word >> 32) | (word << 32);
      word = ((word >> 16) & 0x0000FFFF0000FFFFull) | ((word & 0x0000FFFF0000FFFFull) << 16);
    }
    return word;
  }
  std::uint64_t prefix = 0;
  for (std::size_t i = 0; i < length; ++i) prefix |= std::uint64_t{key[i]} << (48 - 16 * i);
  return prefix;
}

// Orders two keys whose packed prefixes are equal: by 16-bit unit, a proper prefix first.
inline bool TailLess(const char16_t* a, std::size_t aLength, const char16_t* b,
                     std::size_t bLength) noexcept {
  // Equal padded prefixes with one key no longer than four units make it a prefix of the other.
  if (aLength <= 4 || bLength <= 4) return aLength < bLength;
  const std::size_t common = std::min(aLength, bLength);
  std::size_t i = 4;
  if constexpr (std::endian::native == std::endian::little) {
    for (; i + 4 <= common; i += 4) {
      std::uint64_t x;
      std::uint64_t y;
      std::memcpy(&x, a + i, sizeof x);
      std::memcpy(&y, b + i, sizeof y);
      if (x != y) {
        const std::size_t lane = static_cast<std::size_t>(std::countr_zero(x ^ y)) / 16;
        return a[i + lane] < b[i + lane];
      }
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

template <class Record>
class RecordSorter {
 public:
  // Sorts records whose keys lie in `keys`, exactly as the quicksort steps order them; records[0]
  // stands for array index `origin`, which decides how middle indexes round.
  RecordSorter(Record* records, const char16_t* keys, std::int64_t origin = 0) noexcept
      : records_(records), keys_(keys), origin_(origin) {}

  // Sorts the inclusive range [lo, hi] following `plan`; falls back to fewer threads when the
  // system refuses to start one.
  void Sort(std::int64_t lo, std::int64_t hi, const ParallelPlan& plan) {
    if (lo >= hi) return;
    const auto count = static_cast<std::size_t>(hi - lo + 1);
    if (plan.threads <= 1 || count <= plan.grain) {
      SortRange(lo, hi, nullptr, 0);
      return;
    }
    const std::size_t grain = std::max<std::size_t>(plan.grain, 1);
    TaskQueue queue(count / grain + 2);
    queue.Push({lo, hi});
    std::vector<std::thread> helpers;
    helpers.reserve(plan.threads - 1);
    auto work = [this, &queue, grain] {
      Range range;
      while (queue.Pop(range)) {
        SortRange(range.lo, range.hi, &queue, grain);
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
  struct Range {
    std::int64_t lo = 0;
    std::int64_t hi = -1;
  };

  // A stack of disjoint ranges still to sort, shared by the workers. Its capacity is reserved up
  // front (each range holds at least `grain` records), so pushing never allocates.
  class TaskQueue {
   public:
    explicit TaskQueue(std::size_t capacity) { ranges_.reserve(capacity); }

    void Push(Range range) {
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

  bool Less(const Record& a, const Record& b) const noexcept {
    if (a.prefix != b.prefix) return a.prefix < b.prefix;
    return TailLess(keys_ + a.offset, a.length, keys_ + b.offset, b.length);
  }

  // One pass of the partition steps over [lo, hi]; returns the final (tmpLow, tmpHi).
  std::pair<std::int64_t, std::int64_t> Partition(std::int64_t lo, std::int64_t hi) noexcept {
    std::int64_t tmpLow = lo;
    std::int64_t tmpHi = hi;
    // The middle of the array indexes inLow + inHi, halves rounded to the even neighbour.
    const std::int64_t sum = lo + hi + 2 * origin_;
    std::int64_t middle = sum / 2;
    if ((sum & 1) != 0 && (middle & 1) != 0) ++middle;
    const Record pivot = records_[middle - origin_];
    Record* const r = records_;
    while (tmpLow <= tmpHi) {
      while (tmpLow < hi && Less(r[tmpLow], pivot)) ++tmpLow;
      while (tmpHi > lo && Less(pivot, r[tmpHi])) --tmpHi;
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
  void SortRange(std::int64_t lo, std::int64_t hi, TaskQueue* queue, std::size_t grain) {
    while (lo < hi) {
      const auto [tmpLow, tmpHi] = Partition(lo, hi);
      Range left{lo, tmpHi};
      Range right{tmpLow, hi};
      if (left.lo >= left.hi) left = Range{};
      if (right.lo >= right.hi) right = Range{};
      Range small = left;
      Range large = right;
      if (small.hi - small.lo > large.hi - large.lo) std::swap(small, large);
      if (queue != nullptr && static_cast<std::size_t>(large.hi - large.lo + 1) >= grain) {
        queue->Push(large);
      } else {
        if (small.lo < small.hi) SortRange(small.lo, small.hi, queue, grain);
        small = large;
      }
      lo = small.lo;
      hi = small.hi;
    }
  }

  Record* records_;
  const char16_t* keys_;
  std::int64_t origin_;
};

}  // namespace ordwell::detail
