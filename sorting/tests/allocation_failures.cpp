#include "sorting/tests/allocation_failures.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <system_error>
#include <thread>

namespace ordwell::testing {
namespace {

std::atomic<std::int64_t> countdown{0};  // allocations until the failing one; 0 when unarmed
std::atomic<std::size_t> minimum{0};
std::atomic<std::int64_t> counted{0};
std::atomic<bool> failed{false};

// Counts an allocation and returns whether it is the one to fail.
bool FailThis(std::size_t size) noexcept {
  if (countdown.load(std::memory_order_relaxed) <= 0 || size < minimum.load(std::memory_order_relaxed))
    return false;
  counted.fetch_add(1, std::memory_order_relaxed);
  if (countdown.fetch_sub(1, std::memory_order_relaxed) != 1) return false;
  failed.store(true, std::memory_order_relaxed);
  return true;
}

void* Allocate(std::size_t size, std::size_t alignment) {
  if (FailThis(size)) throw std::bad_alloc();
  if (size == 0) size = 1;
  void* memory = nullptr;
  if (alignment <= alignof(std::max_align_t)) {
    memory = std::malloc(size);
  } else if (::posix_memalign(&memory, alignment, size) != 0) {
    memory = nullptr;
  }
  if (memory == nullptr) throw std::bad_alloc();
  return memory;
}

}  // namespace

void FailAllocation(std::int64_t n, std::size_t minBytes) {
  countdown.store(0);
  minimum.store(minBytes);
  counted.store(0);
  failed.store(false);
  countdown.store(n);
}

bool AllocationFailed() { return failed.load(); }

std::int64_t AllocationsCounted() { return counted.load(); }

int ThreadsSettlingTo(int expected) {
  const auto count = [] {
    std::error_code error;
    int threads = 0;
    for (std::filesystem::directory_iterator it("/proc/self/task", error), end; !error && it != end;
         it.increment(error))
      ++threads;
    return threads;
  };
  int threads = count();
  for (int wait = 0; wait < 100 && threads > expected; ++wait) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    threads = count();
  }
  return threads;
}

}  // namespace ordwell::testing

using ordwell::testing::Allocate;

void* operator new(std::size_t size) { return Allocate(size, 0); }
void* operator new[](std::size_t size) { return Allocate(size, 0); }
void* operator new(std::size_t size, std::align_val_t alignment) {
  return Allocate(size, static_cast<std::size_t>(alignment));
}
void* operator new[](std::size_t size, std::align_val_t alignment) {
  return Allocate(size, static_cast<std::size_t>(alignment));
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  try {
    return Allocate(size, 0);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  try {
    return Allocate(size, 0);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}
void* operator new(std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
  try {
    return Allocate(size, static_cast<std::size_t>(alignment));
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}
void* operator new[](std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
  try {
    return Allocate(size, static_cast<std::size_t>(alignment));
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete[](void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete(void* memory, std::align_val_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::align_val_t) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t, std::align_val_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::size_t, std::align_val_t) noexcept { std::free(memory); }
void operator delete(void* memory, const std::nothrow_t&) noexcept { std::free(memory); }
void operator delete[](void* memory, const std::nothrow_t&) noexcept { std::free(memory); }
void operator delete(void* memory, std::align_val_t, const std::nothrow_t&) noexcept { std::free(memory); }
void operator delete[](void* memory, std::align_val_t, const std::nothrow_t&) noexcept { std::free(memory); }
