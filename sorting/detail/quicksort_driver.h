#pragma once

// What the two forms of the quicksort (RecordSteps over records, RankSteps over ranks) share
// besides their partition loops: how a sort is spread over worker threads, and how a partitioned
// range splits into the side sorted next and the side looped on, with the count of lopsided
// partitions that sends a range to a worst-case-safe finish. The order itself is the one
// described in sorting/sort_list.h; both forms only change what a comparison costs.

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <thread>
#include <utility>

#include "sorting/detail/task_queue.h"

namespace ordwell::detail {

// How a sort is run: on how many threads, the smallest range handed to another one, and how
// much walking the partitions' scans may do before a worst-case-safe method takes over.
struct ParallelPlan {
  unsigned threads = 1;
  std::size_t grain = std::size_t{1} << 14;
  // Items the scans may walk past in all before switching; negative picks c * n * log2 n.
  std::int64_t scanBudget = -1;
  // When set, receives the work done (see SortOptions::workCount).
  std::atomic<std::uint64_t>* workCount = nullptr;
  // The threads to run on; without one, a parallel sort starts a pool of its own.
  WorkerPool* pool = nullptr;
};

// Adds a worker's tally to `workCount`, if any.
inline void AddWork(std::atomic<std::uint64_t>* workCount, std::uint64_t work) noexcept {
  if (workCount != nullptr && work != 0) workCount->fetch_add(work, std::memory_order_relaxed);
}

// Returns the number of threads worth using for `count` items.
inline unsigned AutoThreads(std::size_t count) noexcept {
  constexpr std::size_t kMinParallelCount = std::size_t{1} << 16;
  if (count < kMinParallelCount) return 1;
  return std::clamp(std::thread::hardware_concurrency(), 1u, 8u);
}

// A partition that splits off less than 1/256 of a range of at least 4,096 items is lopsided;
// eight in a row mark an order on which the plain scans are likely to stay quadratic.
inline constexpr std::int64_t kMinLopsidedSize = 4096;
inline constexpr int kMaxLopsided = 8;

// Returns the two sides of `range` after a partition that ended at (tmpLow, tmpHi): the smaller
// one first, each otherwise as `range` is, the larger one counting one more lopsided partition
// in a row when this one was. `Range` has lo, hi, lopsided and Size().
template <class Range>
std::pair<Range, Range> Sides(const Range& range, std::int64_t tmpLow, std::int64_t tmpHi) noexcept {
  Range small = range;
  small.hi = tmpHi;
  Range large = range;
  large.lo = tmpLow;
  if (small.Size() > large.Size()) std::swap(small, large);
  const bool lopsided = range.Size() >= kMinLopsidedSize && small.Size() < range.Size() / 256;
  small.lopsided = 0;
  large.lopsided = lopsided ? range.lopsided + 1 : 0;
  return {small, large};
}

// Sorts `whole`, of `count` items, by calling sortRange(range, queue, grain, work) on it: on this
// thread alone (queue null) when `plan` asks for one thread or the range is below its grain,
// else on the threads of `pool` sharing a queue into which sortRange may push ranges of at least
// `grain` items. Without a pool, a pool of plan.threads is started and `pool` points to it while
// the ranges are sorted. Each worker's tally of work goes to plan.workCount; a failure on any
// thread is rethrown here once every thread has stopped working on the ranges.
template <class Range, class SortRange>
void RunOnWorkers(const Range& whole, std::size_t count, const ParallelPlan& plan, WorkerPool*& pool,
                  SortRange&& sortRange) {
  if (plan.threads <= 1 || count <= plan.grain) {
    std::uint64_t work = 0;
    sortRange(whole, static_cast<TaskQueue<Range>*>(nullptr), std::size_t{0}, work);
    AddWork(plan.workCount, work);
    return;
  }
  const std::size_t grain = std::max<std::size_t>(plan.grain, 1);
  WorkerPool* const given = pool;
  std::optional<WorkerPool> ownPool;
  if (pool == nullptr) pool = &ownPool.emplace(plan.threads);
  TaskQueue<Range> queue(count / grain + 2);
  queue.Push(whole);
  try {
    pool->Drain(queue, [&queue, grain, &sortRange, &plan](const Range& range) {
      std::uint64_t tally = 0;
      sortRange(range, &queue, grain, tally);
      AddWork(plan.workCount, tally);
    });
  } catch (...) {
    pool = given;
    throw;
  }
  pool = given;
}

}  // namespace ordwell::detail
