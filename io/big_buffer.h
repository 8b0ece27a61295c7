#pragma once

// An uninitialised array for large working buffers (a sort's, a decoded text). Large ones come
// straight from the system, sized in whole 2 MiB pages, and go back to it as soon as they are
// released. Those read all over (a sort's records and keys) are marked for transparent huge pages,
// which spare a TLB miss on most reads (5-15% of a sort of 1M items). Those only filled and read
// in order (an input as it is read) are not: where huge pages come only on request, a request on
// fragmented memory makes every fault wait for memory to be compacted, which cost reading 100 MB
// 0.3 s.

#include <cstddef>
#include <memory>
#include <new>
#include <type_traits>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace ordwell::io {

// How a buffer is read: in order, or all over.
enum class Access { kRandom, kSequential };

template <class T>
class BigBuffer {
  static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>);

 public:
  BigBuffer() = default;

  // Allocates room for `count` elements, left uninitialised, for reads as `access` says; throws
  // std::bad_alloc.
  explicit BigBuffer(std::size_t count, Access access = Access::kRandom) : count_(count) {
    if (count > static_cast<std::size_t>(-1) / sizeof(T)) throw std::bad_alloc();
#if defined(__linux__)
    if (count * sizeof(T) >= kMapBytes) {
      bytes_ = (count * sizeof(T) + kHugePage - 1) / kHugePage * kHugePage;
      void* mapped = ::mmap(nullptr, bytes_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
      if (mapped == MAP_FAILED) throw std::bad_alloc();
      if (access == Access::kRandom) ::madvise(mapped, bytes_, MADV_HUGEPAGE);
      data_ = static_cast<T*>(mapped);
      return;
    }
#endif
    owned_ = std::make_unique_for_overwrite<T[]>(count);
    data_ = owned_.get();
  }

  BigBuffer(BigBuffer&& other) noexcept { *this = std::move(other); }
  BigBuffer& operator=(BigBuffer&& other) noexcept {
    if (this != &other) {
      Release();
      data_ = other.data_;
      count_ = other.count_;
      bytes_ = other.bytes_;
      owned_ = std::move(other.owned_);
      other.data_ = nullptr;
      other.count_ = 0;
      other.bytes_ = 0;
    }
    return *this;
  }
  BigBuffer(const BigBuffer&) = delete;
  BigBuffer& operator=(const BigBuffer&) = delete;
  ~BigBuffer() { Release(); }

  T* data() noexcept { return data_; }
  const T* data() const noexcept { return data_; }
  std::size_t size() const noexcept { return count_; }
  T& operator[](std::size_t i) noexcept { return data_[i]; }
  const T& operator[](std::size_t i) const noexcept { return data_[i]; }

  // Gives the memory back now rather than at destruction.
  void Release() noexcept {
#if defined(__linux__)
    if (bytes_ != 0) ::munmap(data_, bytes_);
#endif
    owned_.reset();
    data_ = nullptr;
    count_ = 0;
    bytes_ = 0;
  }

 private:
  static constexpr std::size_t kHugePage = std::size_t{2} << 20;
  static constexpr std::size_t kMapBytes = std::size_t{4} << 20;

  T* data_ = nullptr;
  std::size_t count_ = 0;
  std::size_t bytes_ = 0;  // the size of the mapping, 0 when the memory came from new[]
  std::unique_ptr<T[]> owned_;
};

}  // namespace ordwell::io
