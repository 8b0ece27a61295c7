#pragma once

// The work queue the parallel sorts share: disjoint ranges still to sort, taken by any worker.

#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <thread>
#include <vector>

namespace ordwell::detail {

// A stack of disjoint ranges still to sort, shared by the workers. Its capacity is reserved up
// front (the caller bounds how many ranges can be outstanding), so pushing never allocates.
template <class Range>
class TaskQueue {
 public:
  // Reserves room for `capacity` ranges.
  explicit TaskQueue(std::size_t capacity) { ranges_.reserve(capacity); }

  // Adds a range to sort and wakes one waiting worker.
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

  // Marks one popped range as sorted; the last one releases every waiting worker.
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

// Sorts every range in `queue` on up to `threads` threads, the caller's among them, handing each
// popped range to `sortRange` (which may push more); returns once all are sorted. Fewer threads
// only make it slower, so a thread the system refuses is simply not started.
template <class Range, class SortRange>
void DrainOnThreads(TaskQueue<Range>& queue, unsigned threads, const SortRange& sortRange) {
  const auto work = [&queue, &sortRange] {
    Range range;
    while (queue.Pop(range)) {
      sortRange(range);
      queue.Done();
    }
  };
  std::vector<std::thread> helpers;
  helpers.reserve(threads > 1 ? threads - 1 : 0);
  for (unsigned t = 1; t < threads; ++t) {
    try {
      helpers.emplace_back(work);
    } catch (...) {
      break;
    }
  }
  work();
  for (std::thread& helper : helpers) helper.join();
}

}  // namespace ordwell::detail
