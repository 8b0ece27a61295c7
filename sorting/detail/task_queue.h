#pragma once

// The threads a sort runs on and the work queues its parallel steps share. One pool is started
// per sort and lent to every parallel step in it, nested ones included, so no worker ever starts
// threads of its own. A failure on any thread is carried to the thread that asked for the work.

#include <condition_variable>
#include <cstddef>
#include <exception>
#include <mutex>
#include <new>
#include <stop_token>
#include <system_error>
#include <thread>
#include <vector>

namespace ordwell::detail {

class WorkerPool;

// One parallel step's pending work as the pool's threads see it. Every member is guarded by the
// pool's mutex.
class PoolJob {
 public:
  PoolJob(const PoolJob&) = delete;
  PoolJob& operator=(const PoolJob&) = delete;

 protected:
  PoolJob() = default;
  ~PoolJob() = default;

 private:
  friend class WorkerPool;

  // Returns whether a piece of work is waiting to be taken.
  virtual bool Ready() const noexcept = 0;
  // Takes a waiting piece and runs it with `lock` released; a failure is kept, not thrown.
  virtual void RunOne(std::unique_lock<std::mutex>& lock) noexcept = 0;

  PoolJob* next_ = nullptr;  // the job registered before this one
};

// A stack of disjoint ranges still to sort, shared by the threads of a pool. Its capacity is
// reserved up front (the caller bounds how many ranges can be outstanding), so pushing never
// allocates.
template <class Range>
class TaskQueue final : public PoolJob {
 public:
  // Reserves room for `capacity` ranges; throws std::bad_alloc.
  explicit TaskQueue(std::size_t capacity) { ranges_.reserve(capacity); }

  // Adds a range to sort and wakes the pool's idle threads; dropped once the queue is cancelled.
  void Push(const Range& range);

 private:
  friend class WorkerPool;

  bool Ready() const noexcept override { return !ranges_.empty(); }
  void RunOne(std::unique_lock<std::mutex>& lock) noexcept override;

  // Set while a pool drains the queue; before that, pushes need no lock.
  WorkerPool* pool_ = nullptr;
  void (*run_)(const void* sortRange, const Range& range) = nullptr;
  const void* sortRange_ = nullptr;
  std::vector<Range> ranges_;
  std::size_t outstanding_ = 0;  // pushed and not yet sorted
  std::exception_ptr failure_;   // the first failure; the queue is cancelled once it is set
};

// Up to a given number of threads, the caller's among them, lent in turn to each parallel step
// of one sort. Threads are started once, and joined when the pool is destroyed.
class WorkerPool {
 public:
  // Starts up to `threads` - 1 threads besides the caller's; fewer when the system refuses one
  // (fewer threads only make the work slower).
  explicit WorkerPool(unsigned threads) {
    if (threads <= 1) return;
    try {
      threads_.reserve(threads - 1);
      for (unsigned t = 1; t < threads; ++t)
        threads_.emplace_back([this](const std::stop_token& stop) { Work(stop); });
    } catch (const std::system_error&) {
      // No thread to spare: the ones started do the work.
    } catch (const std::bad_alloc&) {
      // No memory for another thread: likewise.
    }
  }
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;
  ~WorkerPool() = default;

  // Returns the number of threads the work runs on, the caller's included.
  unsigned Threads() const noexcept { return static_cast<unsigned>(threads_.size()) + 1; }

  // Sorts every range in `queue` on the pool's threads and the caller's, handing each to
  // `sortRange` (which may push more, and may itself drain another queue on this pool); returns
  // once all are sorted. The first exception `sortRange` throws cancels the ranges not yet taken
  // and is rethrown here once the ranges taken are done.
  template <class Range, class SortRange>
  void Drain(TaskQueue<Range>& queue, const SortRange& sortRange) {
    std::unique_lock lock(mutex_);
    queue.pool_ = this;
    queue.run_ = [](const void* f, const Range& range) { (*static_cast<const SortRange*>(f))(range); };
    queue.sortRange_ = &sortRange;
    queue.next_ = jobs_;
    jobs_ = &queue;
    wake_.notify_all();
    for (;;) {
      wake_.wait(lock, [&queue] { return queue.Ready() || queue.outstanding_ == 0; });
      if (queue.outstanding_ == 0) break;
      queue.RunOne(lock);
    }
    PoolJob** link = &jobs_;
    while (*link != &queue) link = &(*link)->next_;
    *link = queue.next_;
    queue.pool_ = nullptr;
    lock.unlock();
    if (queue.failure_) std::rethrow_exception(queue.failure_);
  }

 private:
  template <class Range>
  friend class TaskQueue;

  // A pool thread: runs waiting work, newest job first (an inner step holds up the outer range
  // that started it), until the pool is destroyed.
  void Work(const std::stop_token& stop) noexcept {
    std::unique_lock lock(mutex_);
    PoolJob* job = nullptr;
    const auto ready = [this, &job] {
      for (job = jobs_; job != nullptr && !job->Ready(); job = job->next_) {
      }
      return job != nullptr;
    };
    while (wake_.wait(lock, stop, ready)) job->RunOne(lock);
  }

  std::mutex mutex_;
  std::condition_variable_any wake_;
  PoolJob* jobs_ = nullptr;  // the queues being drained, newest first
  // Last, so the threads are stopped and joined before the rest goes.
  std::vector<std::jthread> threads_;
};

template <class Range>
void TaskQueue<Range>::Push(const Range& range) {
  if (pool_ == nullptr) {
    ranges_.push_back(range);
    ++outstanding_;
    return;
  }
  {
    const std::lock_guard lock(pool_->mutex_);
    if (failure_) return;
    ranges_.push_back(range);
    ++outstanding_;
  }
  pool_->wake_.notify_all();
}

template <class Range>
void TaskQueue<Range>::RunOne(std::unique_lock<std::mutex>& lock) noexcept {
  const Range range = ranges_.back();
  ranges_.pop_back();
  lock.unlock();
  std::exception_ptr failure;
  try {
    run_(sortRange_, range);
  } catch (...) {
    failure = std::current_exception();
  }
  lock.lock();
  if (failure && !failure_) {
    failure_ = failure;
    outstanding_ -= ranges_.size();
    ranges_.clear();
  }
  if (--outstanding_ == 0) pool_->wake_.notify_all();
}

// Runs `first` and `second`, side by side when `pool` has a thread to spare; rethrows the first
// failure once both have ended.
template <class First, class Second>
void RunBoth(WorkerPool* pool, const First& first, const Second& second) {
  if (pool == nullptr || pool->Threads() < 2) {
    first();
    second();
    return;
  }
  TaskQueue<bool> queue(2);
  queue.Push(true);
  queue.Push(false);
  pool->Drain(queue, [&first, &second](bool isFirst) { isFirst ? first() : second(); });
}

}  // namespace ordwell::detail
