#pragma once

// Makes one chosen allocation of the process fail with std::bad_alloc, so tests can walk a
// failure through every allocation an operation makes. Linking allocation_failures.cpp replaces
// the global operator new; unarmed, it allocates as usual.

#include <cstddef>
#include <cstdint>

namespace ordwell::testing {

// Arms the hook: the `n`th allocation of at least `minBytes` from now, on any thread, fails
// (once); 0 disarms it. Also restarts the count that AllocationsCounted returns.
void FailAllocation(std::int64_t n, std::size_t minBytes = 0);

// Returns whether the armed failure has happened.
bool AllocationFailed();

// Returns the allocations of at least the armed size made since the hook was last armed.
std::int64_t AllocationsCounted();

// Disarms the hook on destruction, so a failed check cannot leave it armed.
struct DisarmOnExit {
  DisarmOnExit() = default;
  DisarmOnExit(const DisarmOnExit&) = delete;
  DisarmOnExit& operator=(const DisarmOnExit&) = delete;
  ~DisarmOnExit() { FailAllocation(0); }
};

// Returns the number of threads the process has now, waiting up to a second for threads that
// are ending to go when there are more than `expected`.
int ThreadsSettlingTo(int expected);

}  // namespace ordwell::testing
