// The sort's worker pool: nested queues share its threads, and a failure on any thread reaches
// the thread that drains the queue, after which the pool works as before.

#include <gtest/gtest.h>

#include <atomic>
#include <new>
#include <stdexcept>

#include "sorting/detail/task_queue.h"

namespace ordwell::detail {
namespace {

TEST(WorkerPool, NestedQueuesFinishAndTheFirstFailureReachesTheDrainingThread) {
  struct Case {
    unsigned threads;
    int failAt;  // the inner range that throws; -1 for none
  };
  for (const Case c : {Case{1, -1}, Case{4, -1}, Case{1, 5}, Case{4, 5}, Case{4, 0}, Case{4, 63}}) {
    SCOPED_TRACE(::testing::Message() << c.threads << " threads, failing at " << c.failAt);
    WorkerPool pool(c.threads);
    EXPECT_GE(pool.Threads(), 1u);
    EXPECT_LE(pool.Threads(), c.threads);
    for (int round = 0; round < 2; ++round) {
      const bool failing = round == 0 && c.failAt >= 0;
      std::atomic<int> inner{0};
      TaskQueue<int> outer(8);
      for (int r = 0; r < 8; ++r) outer.Push(r);
      const auto run = [&] {
        pool.Drain(outer, [&](int r) {
          TaskQueue<int> queue(8);
          for (int k = 0; k < 8; ++k) queue.Push(8 * r + k);
          pool.Drain(queue, [&](int k) {
            if (failing && k == c.failAt) throw std::runtime_error("range failed");
            inner.fetch_add(1);
          });
        });
      };
      if (failing) {
        EXPECT_THROW(run(), std::runtime_error);
        EXPECT_LT(inner.load(), 64);
      } else {
        run();
        EXPECT_EQ(inner.load(), 64);
      }
    }
  }
}

TEST(WorkerPool, RunBothRunsEachOnceAndRethrows) {
  WorkerPool pool(2);
  std::atomic<int> runs{0};
  RunBoth(
      &pool, [&] { runs += 1; }, [&] { runs += 10; });
  EXPECT_EQ(runs.load(), 11);
  EXPECT_THROW(RunBoth(
                   &pool, [&] { runs += 1; }, [] { throw std::bad_alloc(); }),
               std::bad_alloc);
  EXPECT_THROW(RunBoth(
                   nullptr, [] { throw std::bad_alloc(); }, [] {}),
               std::bad_alloc);
}

}  // namespace
}  // namespace ordwell::detail
