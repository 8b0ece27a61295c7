#pragma once

// The quicksort of the order described in sorting/sort_list.h, run over ranks with the items
// moving alongside: comparing ranks is comparing keys, so every comparison is an integer compare
// and the exchanges are exactly those the quicksort makes on the items themselves. Once the
// scanning done passes a budget (c * n * log2 n), or a range was reached by a run of lopsided
// partitions, the scans find their stops through a ScanTree instead of walking to them; they stop
// where the walking ones would, so the result is the same, and since a partition makes at most
// min(left side, right side) + 2 exchanges, the whole sort then costs O(n log^2 n) on any input.

#include <atomic>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>

#include "sorting/detail/quicksort_driver.h"
#include "sorting/detail/scan_tree.h"
#include "sorting/detail/task_queue.h"

namespace ordwell::detail {

class RankSteps {
 public:
  // Sorts items by `ranks`, exchanging `ranks` and `items` alike; index 0 stands for array index
  // `origin`, which decides where the middle of a range is.
  RankSteps(std::uint32_t* ranks, std::uint32_t* items, std::int64_t origin = 0) noexcept
      : ranks_(ranks), items_(items), origin_(origin) {}

  // Sorts the inclusive range [lo, hi] following `plan`, on its pool or, without one, on a pool
  // of its own; falls back to fewer threads when the system refuses to start one. A failure on
  // any thread is rethrown here once every thread has stopped working on the range.
  void Sort(std::int64_t lo, std::int64_t hi, const ParallelPlan& plan) {
    if (lo >= hi) return;
    const auto count = static_cast<std::size_t>(hi - lo + 1);
    if (plan.scanBudget >= 0) {
      budget_.store(plan.scanBudget, std::memory_order_relaxed);
    } else {
      constexpr std::int64_t kBudgetFactor = 4;
      budget_.store(
          kBudgetFactor * static_cast<std::int64_t>(count) * static_cast<std::int64_t>(std::bit_width(count)),
          std::memory_order_relaxed);
    }
    WorkerPool* pool = plan.pool;
    RunOnWorkers(Range{lo, hi, 0}, count, plan, pool,
                 [this](const Range& range, TaskQueue* queue, std::size_t grain, std::uint64_t& work) {
                   SortRange(range, queue, grain, nullptr, work);
                 });
  }

 private:
  struct Range {
    std::int64_t lo = 0;
    std::int64_t hi = -1;
    // How many lopsided partitions in a row led to this range.
    int lopsided = 0;

    std::int64_t Size() const noexcept { return hi - lo + 1; }
  };

  using TaskQueue = detail::TaskQueue<Range>;

  static constexpr unsigned kBlock = 16;

  // Partitions [lo, hi] around the rank in its middle; returns where the two scans ended
  // (tmpLow, tmpHi). Walks while
  // the budget lasts (not at all with `treeNow`), then goes on with `tree`, building one over
  // [lo, hi] into `owned` when there is none yet.
  std::pair<std::int64_t, std::int64_t> Partition(std::int64_t lo, std::int64_t hi, bool treeNow,
                                                  ScanTree*& tree, std::unique_ptr<ScanTree>& owned,
                                                  std::uint64_t& work) {
    std::int64_t tmpLow = lo;
    std::int64_t tmpHi = hi;
    // The middle of the range in array indexes: half their sum, a half rounded to the even
    // neighbour.
    const std::int64_t sum = lo + hi + 2 * origin_;
    std::int64_t middle = sum / 2;
    if ((sum & 1) != 0 && (middle & 1) != 0) ++middle;
    std::uint32_t* const r = ranks_;
    std::uint32_t* const items = items_;
    const std::uint32_t pivot = r[middle - origin_];
    const auto exchange = [r, items](std::int64_t a, std::int64_t b) {
      std::swap(r[a], r[b]);
      std::swap(items[a], items[b]);
    };
    if (tree == nullptr) {
      const std::int64_t allowance = treeNow ? -1 : budget_.load(std::memory_order_relaxed);
      while (tmpLow <= tmpHi) {
        if ((tmpLow - lo) + (hi - tmpHi) > allowance) break;
        // Each scan first skips, sixteen at a time, items it would walk past anyway (a branch per
        // block instead of one per item), then goes on one item at a time.
        for (;;) {
          while (tmpLow + kBlock <= hi) {
            unsigned below = 0;
            for (unsigned j = 0; j < kBlock; ++j) below |= unsigned{r[tmpLow + j] < pivot} << j;
            const int run = std::countr_one(below);
            tmpLow += run;
            if (run < static_cast<int>(kBlock)) break;
          }
          if (r[tmpLow] < pivot && tmpLow < hi) {
            ++tmpLow;
            continue;
          }
          break;
        }
        for (;;) {
          while (tmpHi - static_cast<std::int64_t>(kBlock) >= lo) {
            unsigned above = 0;
            for (unsigned j = 0; j < kBlock; ++j) above |= unsigned{pivot < r[tmpHi - j]} << j;
            const int run = std::countr_one(above);
            tmpHi -= run;
            if (run < static_cast<int>(kBlock)) break;
          }
          if (pivot < r[tmpHi] && tmpHi > lo) {
            --tmpHi;
            continue;
          }
          break;
        }
        if (tmpLow > tmpHi) break;
        exchange(tmpLow, tmpHi);
        ++tmpLow;
        --tmpHi;
      }
      budget_.fetch_sub((tmpLow - lo) + (hi - tmpHi), std::memory_order_relaxed);
      work += static_cast<std::uint64_t>((tmpLow - lo) + (hi - tmpHi));
      if (tmpLow > tmpHi) return {tmpLow, tmpHi};
      // Out of budget: the rest of this partition, and everything below it, scans by the tree.
      owned = std::make_unique<ScanTree>(ranks_, lo, hi);
      tree = owned.get();
    }
    while (tmpLow <= tmpHi) {
      tmpLow = tree->FirstAtLeast(tmpLow, hi, pivot);
      tmpHi = tree->LastAtMost(tmpHi, lo, pivot);
      if (tmpLow > tmpHi) break;
      exchange(tmpLow, tmpHi);
      tree->Exchanged(tmpLow, tmpHi);
      ++tmpLow;
      --tmpHi;
    }
    work += tree->TakeWork();
    return {tmpLow, tmpHi};
  }

  // Recurses only into the smaller side and loops on the larger one, so the stack depth stays
  // logarithmic; with a queue, sides of at least `grain` items go to whichever worker is free.
  // The two sides never overlap, so the order in which they are sorted does not matter. A range
  // scanned by a tree keeps both sides on this thread: the tree spans them both. A range reached
  // by kMaxLopsided lopsided partitions in a row (an organ pipe, say) goes to the tree at once
  // rather than when the budget runs out.
  void SortRange(Range range, TaskQueue* queue, std::size_t grain, ScanTree* tree, std::uint64_t& work) {
    std::unique_ptr<ScanTree> owned;
    while (range.lo < range.hi) {
      const auto [tmpLow, tmpHi] =
          Partition(range.lo, range.hi, range.lopsided >= kMaxLopsided, tree, owned, work);
      auto [small, large] = Sides(range, tmpLow, tmpHi);
      if (tree == nullptr && queue != nullptr && large.Size() >= static_cast<std::int64_t>(grain)) {
        queue->Push(large);
      } else {
        if (small.lo < small.hi) SortRange(small, queue, grain, tree, work);
        small = large;
      }
      range = small;
    }
  }

  std::uint32_t* ranks_;
  std::uint32_t* items_;
  std::int64_t origin_;
  std::atomic<std::int64_t> budget_{0};
};

}  // namespace ordwell::detail
