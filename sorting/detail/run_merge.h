#pragma once

// Sorts records that come in a few long runs (sorted or reversed lists, organ pipes, lists
// appended to each other) by key, equal keys in the order they come, by merging the runs: time
// n log2(runs).

#include <algorithm>
#include <cstddef>
#include <new>
#include <optional>
#include <vector>

#include "io/big_buffer.h"
#include "sorting/detail/task_queue.h"

namespace ordwell::detail {

// Merges the ascending runs [lo, mid) and [mid, hi), equal keys from the first run first, with
// room for the shorter run at `spare`.
template <class Record, class Less>
void MergeAdjacent(Record* lo, Record* mid, Record* hi, Record* spare, const Less& less) {
  if (lo == mid || mid == hi || !less(*mid, mid[-1])) return;
  if (mid - lo <= hi - mid) {
    Record* const spareEnd = std::copy(lo, mid, spare);
    Record* a = spare;
    Record* b = mid;
    Record* out = lo;
    while (a != spareEnd && b != hi) *out++ = less(*b, *a) ? *b++ : *a++;
    std::copy(a, spareEnd, out);
  } else {
    // From the back: the larger key first, the second run's on a tie.
    Record* const spareEnd = std::copy(mid, hi, spare);
    Record* a = mid;
    Record* b = spareEnd;
    Record* out = hi;
    while (a != lo && b != spare) *--out = less(b[-1], a[-1]) ? *--a : *--b;
    std::copy_backward(spare, b, out);
  }
}

// Sorts records[0, count) by key, equal keys in the order they come, when the records form at
// most count / kMinRunLength runs, each ascending or descending by key; returns false, having
// changed nothing, when they form more. keyOrder(a, b) compares two records' keys: negative,
// zero or positive. Two threads of `pool`, when given, share each round of merges.
template <class Record, class KeyOrder>
bool MergeRuns(Record* records, std::size_t count, const KeyOrder& keyOrder, WorkerPool* pool) {
  constexpr std::size_t kMinRunLength = 64;
  const std::size_t maxRuns = count / kMinRunLength;
  if (maxRuns < 2) return false;
  // The runs' starts, then `count`; a run is descending when its first two keys are.
  std::vector<std::size_t> bounds;
  std::vector<bool> descending;
  for (std::size_t i = 0; i < count;) {
    if (bounds.size() == maxRuns) return false;
    std::size_t j = i + 1;
    while (j < count && keyOrder(records[j - 1], records[j]) == 0) ++j;
    const bool down = j < count && keyOrder(records[j - 1], records[j]) > 0;
    if (down) {
      while (j < count && keyOrder(records[j - 1], records[j]) >= 0) ++j;
    } else {
      while (j < count && keyOrder(records[j - 1], records[j]) <= 0) ++j;
    }
    bounds.push_back(i);
    descending.push_back(down);
    i = j;
  }
  bounds.push_back(count);
  // A descending run reversed is ascending, with each stretch of equal keys turned back into the
  // order it came in.
  for (std::size_t k = 0; k + 1 < bounds.size(); ++k) {
    if (!descending[k]) continue;
    Record* const first = records + bounds[k];
    Record* const last = records + bounds[k + 1];
    std::reverse(first, last);
    for (Record* equal = first; equal != last;) {
      Record* end = equal + 1;
      while (end != last && keyOrder(end[-1], *end) == 0) ++end;
      std::reverse(equal, end);
      equal = end;
    }
  }
  if (bounds.size() == 2) return true;

  // Merging takes equal keys from the earlier run first, so they stay in the order they came.
  const auto less = [&keyOrder](const Record& a, const Record& b) { return keyOrder(a, b) < 0; };
  // Room for the shorter run of every merge, taken once: the merge of [lo, hi) uses it from lo / 2
  // on, so merges of disjoint ranges never share it. Without it, each merge borrows what it can.
  std::optional<io::BigBuffer<Record>> spare;
  try {
    spare.emplace(count / 2 + 1);
  } catch (const std::bad_alloc&) {
  }
  while (bounds.size() > 2) {
    const std::size_t runs = bounds.size() - 1;
    // Merges the pairs of runs [2 * first, 2 * last); an odd run out stays as it is.
    const auto mergePairs = [&](std::size_t first, std::size_t last) {
      for (std::size_t p = first; p < last; ++p) {
        const std::size_t lo = bounds[2 * p];
        const std::size_t mid = bounds[std::min(2 * p + 1, runs)];
        const std::size_t hi = bounds[std::min(2 * p + 2, runs)];
        if (spare) {
          MergeAdjacent(records + lo, records + mid, records + hi, spare->data() + lo / 2, less);
        } else {
          std::inplace_merge(records + lo, records + mid, records + hi, less);
        }
      }
    };
    const std::size_t pairs = (runs + 1) / 2;
    // The two threads take the pairs on either side of the middle record.
    const std::size_t split =
        static_cast<std::size_t>(std::upper_bound(bounds.begin(), bounds.end(), count / 2) - bounds.begin()) /
        2;
    if (pool != nullptr && split > 0 && split < pairs) {
      RunBoth(
          pool, [&] { mergePairs(0, split); }, [&] { mergePairs(split, pairs); });
    } else {
      mergePairs(0, pairs);
    }
    std::vector<std::size_t> merged;
    for (std::size_t k = 0; k < bounds.size(); k += 2) merged.push_back(bounds[k]);
    if (merged.back() != count) merged.push_back(count);
    bounds = std::move(merged);
  }
  return true;
}

}  // namespace ordwell::detail
