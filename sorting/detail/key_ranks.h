#pragma once

// Gives every item the dense rank of its key (equal keys, equal rank) by sorting the keys once
// with a worst-case O(n log n) sort: a comparison sort on 64 bits of each key at a time, whose
// runs of equal bits move on to the next 64 bits, so a comparison is one integer compare.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <thread>
#include <vector>

#include "sorting/detail/big_buffer.h"
#include "sorting/detail/key_prefix.h"

namespace ordwell::detail {

// The ranks of a list's items and the items in key order.
struct KeyRanks {
  // ranks[item]: the dense rank of the item's key, from 0.
  BigBuffer<std::uint32_t> ranks;
  // The items in ascending key order; equal keys in no particular order.
  BigBuffer<std::uint32_t> order;
  // Whether some rank holds two items with different texts (case variants of one key).
  bool variants = false;
};

namespace key_ranks {

// One item while ranking: 64 bits of its key from `depth` on, its index, its key's length
// (clamped; the record holds the exact one).
struct Entry {
  std::uint64_t bits;
  std::uint32_t item;
  std::uint32_t length;
};

inline bool BitsLess(const Entry& a, const Entry& b) noexcept { return a.bits < b.bits; }

// Sorts entries[lo, hi) by key and sets same[i] for each entry whose key equals the one before.
template <class Record, class Unit>
void SortEntries(Entry* entries, std::uint8_t* same, std::size_t lo, std::size_t hi, const Record* records,
                 const Unit* keys) {
  constexpr std::size_t kUnits = kPrefixUnits<Unit>;
  // A run of entries whose keys agree, zero padded, on units [0, depth) and whose bits hold
  // units [depth, depth + kUnits).
  struct Run {
    std::size_t lo, hi, depth;
  };
  std::vector<Run> pending{{lo, hi, 0}};
  const auto lengthOf = [records](const Entry& e) -> std::size_t {
    return e.length != std::numeric_limits<std::uint32_t>::max() ? e.length
                                                                 : static_cast<std::size_t>(records[e.item].length);
  };
  std::fill(same + lo, same + hi, std::uint8_t{0});
  while (!pending.empty()) {
    const Run run = pending.back();
    pending.pop_back();
    std::sort(entries + run.lo, entries + run.hi, BitsLess);
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
        Entry* const middle = std::partition(first, last, [&](const Entry& e) { return lengthOf(e) <= next; });
        std::sort(first, middle, [&](const Entry& x, const Entry& y) { return lengthOf(x) < lengthOf(y); });
        for (Entry* e = first + 1; e < middle; ++e) same[e - entries] = lengthOf(e[-1]) == lengthOf(*e);
        if (last - middle > 1) {
          for (Entry* e = middle; e != last; ++e) {
            e->bits = KeyPrefix(keys + records[e->item].offset + next, lengthOf(*e) - next);
          }
          pending.push_back({static_cast<std::size_t>(middle - entries), b, next});
        }
      }
      a = b;
    }
  }
}

}  // namespace key_ranks

// Ranks `count` items whose keys lie in `keys` at their records' offsets. sameText(a, b) tells
// whether items a and b, whose keys are equal, have the same text. With `threads` > 1 the
// entries are split at a sampled key and the two parts sorted side by side.
template <class Record, class Unit, class SameText>
KeyRanks RankKeys(const Record* records, std::size_t count, const Unit* keys, SameText&& sameText,
                  unsigned threads) {
  using key_ranks::Entry;
  KeyRanks result;
  result.ranks = BigBuffer<std::uint32_t>(count);
  result.order = BigBuffer<std::uint32_t>(count);
  if (count == 0) return result;
  BigBuffer<Entry> entries(count);
  for (std::size_t i = 0; i < count; ++i) {
    const auto length = static_cast<std::size_t>(records[i].length);
    entries[i] = {KeyPrefix(keys + records[i].offset, length), static_cast<std::uint32_t>(i),
                  static_cast<std::uint32_t>(std::min<std::size_t>(length, std::numeric_limits<std::uint32_t>::max()))};
  }
  BigBuffer<std::uint8_t> same(count);

  constexpr std::size_t kMinParallel = std::size_t{1} << 15;
  std::size_t split = 0;  // entries[0, split) all have smaller first bits than entries[split, count)
  if (threads > 1 && count >= kMinParallel) {
    // The median of a sample of the first bits; entries below it go to one part. Equal bits never
    // straddle the parts, so the two sorted parts in a row are sorted.
    constexpr std::size_t kSample = 255;
    std::vector<std::uint64_t> sample(kSample);
    for (std::size_t k = 0; k < kSample; ++k) sample[k] = entries[k * (count / kSample)].bits;
    std::nth_element(sample.begin(), sample.begin() + kSample / 2, sample.end());
    const std::uint64_t splitter = sample[kSample / 2];
    split = static_cast<std::size_t>(
        std::partition(entries.data(), entries.data() + count, [splitter](const Entry& e) { return e.bits < splitter; }) -
        entries.data());
    // A lopsided split (one key dominating the sample) is not worth a thread.
    if (split < count / 8 || count - split < count / 8) split = 0;
  }
  std::thread helper;
  if (split != 0) {
    try {
      helper = std::thread(
          [&] { key_ranks::SortEntries(entries.data(), same.data(), split, count, records, keys); });
    } catch (...) {
      // No thread to spare: this thread sorts both parts.
    }
  }
  if (helper.joinable()) {
    key_ranks::SortEntries(entries.data(), same.data(), 0, split, records, keys);
    helper.join();
  } else if (split != 0) {
    key_ranks::SortEntries(entries.data(), same.data(), 0, split, records, keys);
    key_ranks::SortEntries(entries.data(), same.data(), split, count, records, keys);
  } else {
    key_ranks::SortEntries(entries.data(), same.data(), 0, count, records, keys);
  }

  std::uint32_t rank = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint32_t item = entries[i].item;
    if (i != 0) {
      if (same[i] == 0) {
        ++rank;
      } else if (!result.variants && !sameText(entries[i - 1].item, item)) {
        result.variants = true;
      }
    }
    result.order[i] = item;
    result.ranks[item] = rank;
  }
  return result;
}

}  // namespace ordwell::detail
