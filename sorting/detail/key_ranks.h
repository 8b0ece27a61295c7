#pragma once

// Puts a list's items in key order with a worst-case O(n log n) sort, ready for dense ranks
// (equal keys, equal rank): one radix pass on 16 bits of each key (from the first bit where the
// keys differ), then a comparison sort of each bucket on 64 bits of key at a time, whose runs of
// equal bits move on to the next 64 bits, so a comparison is one integer compare.

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

#include "io/big_buffer.h"
#include "sorting/detail/key_prefix.h"
#include "sorting/detail/task_queue.h"

namespace ordwell::detail {

namespace key_ranks {

// One item while ranking: 64 bits of its key from `depth` on, its index, its key's length
// (clamped; the key source tells the exact one).
struct Entry {
  std::uint64_t bits;
  std::uint32_t item;
  std::uint32_t length;
};

// Orders entries by their bits; a type of its own rather than a function pointer, so std::sort
// inlines the comparison.
struct BitsLess {
  bool operator()(const Entry& a, const Entry& b) const noexcept { return a.bits < b.bits; }
};

// Sorts entries[lo, hi) by key and sets same[i] for each entry whose key equals the one before;
// returns the work: m * bit_width(m) for each run of m entries sorted.
template <class Record, class Keys>
std::uint64_t SortEntries(Entry* entries, std::uint8_t* same, std::size_t lo, std::size_t hi,
                          const Record* records, const Keys& keys) {
  constexpr std::size_t kUnits = kPrefixUnits<typename Keys::Unit>;
  // A run of entries whose keys agree, zero padded, on units [0, depth) and whose bits hold
  // units [depth, depth + kUnits).
  struct Run {
    std::size_t lo, hi, depth;
  };
  std::vector<Run> pending{{lo, hi, 0}};
  const auto lengthOf = [records, &keys](const Entry& e) -> std::size_t {
    return e.length != std::numeric_limits<std::uint32_t>::max()
               ? e.length
               : keys.Length(records[e.item].offset, records[e.item].length);
  };
  std::fill(same + lo, same + hi, std::uint8_t{0});
  std::uint64_t work = 0;
  while (!pending.empty()) {
    const Run run = pending.back();
    pending.pop_back();
    std::sort(entries + run.lo, entries + run.hi, BitsLess{});
    work += (run.hi - run.lo) * static_cast<std::uint64_t>(std::bit_width(run.hi - run.lo));
    // Within a group of equal bits, a key that ends inside them is a prefix of every longer key
    // of the group: the short ones come first, by length (equal lengths, equal keys); the long
    // ones compare on their next bits.
    const std::size_t next = run.depth + kUnits;
    for (std::size_t a = run.lo; a < run.hi;) {
      std::size_t b = a + 1;
      while (b < run.hi && entries[b].bits == entries[a].bits) ++b;
      if (b - a > 1) {
        Entry* const first = entries + a;
        Entry* const last = entries + b;
        Entry* const middle =
            std::partition(first, last, [&](const Entry& e) { return lengthOf(e) <= next; });
        std::sort(first, middle, [&](const Entry& x, const Entry& y) { return lengthOf(x) < lengthOf(y); });
        for (Entry* e = first + 1; e < middle; ++e) same[e - entries] = lengthOf(e[-1]) == lengthOf(*e);
        if (last - middle > 1) {
          for (Entry* e = middle; e != last; ++e) {
            e->bits = keys.Prefix(records[e->item].offset, records[e->item].length, next);
          }
          pending.push_back({static_cast<std::size_t>(middle - entries), b, next});
        }
      }
      a = b;
    }
  }
  return work;
}

}  // namespace key_ranks

// The items of a list in key order.
struct KeyOrder {
  // entries[i].item: the item at position i in key order (equal keys in no particular order).
  io::BigBuffer<key_ranks::Entry> entries;
  // same[i]: whether the key at position i equals the one at i - 1.
  io::BigBuffer<std::uint8_t> same;
  // Whether two items with equal keys have different texts (case variants of one key).
  bool variants = false;
};

// Sorts `count` items whose keys `keys` reads at their records' offsets. sameText(a, b) tells
// whether items a and b, whose keys are equal, have the same text. Two threads of `pool`, when
// there is one, share the work, which each adds to `workCount` when it is set.
template <class Record, class Keys, class SameText>
KeyOrder SortKeys(const Record* records, std::size_t count, const Keys& keys, SameText&& sameText,
                  WorkerPool* pool, std::atomic<std::uint64_t>* workCount = nullptr) {
  using key_ranks::Entry;
  KeyOrder result;
  if (count == 0) return result;
  io::BigBuffer<Entry>& entries = result.entries;
  entries = io::BigBuffer<Entry>(count);
  io::BigBuffer<std::uint8_t>& same = result.same;
  same = io::BigBuffer<std::uint8_t>(count);
  const auto entryOf = [records, &keys](std::size_t i) {
    const std::size_t length = keys.Length(records[i].offset, records[i].length);
    return Entry{
        keys.Prefix(records[i].offset, records[i].length, 0), static_cast<std::uint32_t>(i),
        static_cast<std::uint32_t>(std::min<std::size_t>(length, std::numeric_limits<std::uint32_t>::max()))};
  };

  constexpr std::size_t kMinBuckets = std::size_t{1} << 12;
  if (count < kMinBuckets) {
    for (std::size_t i = 0; i < count; ++i) entries[i] = entryOf(i);
    const std::uint64_t work = key_ranks::SortEntries(entries.data(), same.data(), 0, count, records, keys);
    if (workCount != nullptr) workCount->fetch_add(count + work, std::memory_order_relaxed);
  } else {
    // One radix pass on 16 bits deals the entries into buckets small enough to sort in cache;
    // the buckets are then sorted one by one, split between two threads when asked. The 16 bits
    // start at the first bit where the keys differ: lists whose items share a prefix ("item0001",
    // paths, addresses) would otherwise fall into one bucket.
    const std::uint64_t firstBits = entryOf(0).bits;
    std::uint64_t differing = 0;
    for (std::size_t i = 1; i < count; ++i) differing |= entryOf(i).bits ^ firstBits;
    const int topBit = differing == 0 ? 63 : 63 - std::countl_zero(differing);
    const auto shift = static_cast<unsigned>(std::max(topBit - 15, 0));
    // Bits above the top differing one are the same in every entry: the mask drops them.
    constexpr std::uint64_t bucketMask = 0xFFFF;
    std::vector<std::size_t> start((std::size_t{1} << 16) + 1, 0);
    // The bits are taken again, to count and to deal, rather than held in a second buffer.
    for (std::size_t i = 0; i < count; ++i) ++start[((entryOf(i).bits >> shift) & bucketMask) + 1];
    for (std::size_t b = 1; b < start.size(); ++b) start[b] += start[b - 1];
    {
      std::vector<std::size_t> next(start.begin(), start.end() - 1);
      for (std::size_t i = 0; i < count; ++i) {
        const Entry entry = entryOf(i);
        entries[next[(entry.bits >> shift) & bucketMask]++] = entry;
      }
    }
    std::vector<std::size_t> bounds;  // the starts of the non-empty buckets, then count
    for (std::size_t b = 0; b + 1 < start.size(); ++b) {
      if (start[b + 1] != start[b]) bounds.push_back(start[b]);
    }
    bounds.push_back(count);
    const auto sortBuckets = [&](std::size_t from, std::size_t to) {
      std::uint64_t work = 0;
      for (std::size_t b = from; b < to; ++b)
        work += key_ranks::SortEntries(entries.data(), same.data(), bounds[b], bounds[b + 1], records, keys);
      if (workCount != nullptr) workCount->fetch_add(work, std::memory_order_relaxed);
    };
    // The radix pass reads every key three times.
    if (workCount != nullptr) workCount->fetch_add(3 * count, std::memory_order_relaxed);
    const std::size_t buckets = bounds.size() - 1;
    // The first bucket that starts past the middle of the entries: the two threads' shares.
    const std::size_t split = static_cast<std::size_t>(
        std::upper_bound(bounds.begin(), bounds.end() - 1, count / 2) - bounds.begin());
    if (split > 0 && split < buckets) {
      RunBoth(
          pool, [&] { sortBuckets(0, split); }, [&] { sortBuckets(split, buckets); });
    } else {
      sortBuckets(0, buckets);
    }
  }

  for (std::size_t i = 1; i < count && !result.variants; ++i) {
    if (same[i] != 0 && !sameText(entries[i - 1].item, entries[i].item)) result.variants = true;
  }
  return result;
}

}  // namespace ordwell::detail
