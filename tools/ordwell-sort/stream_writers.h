#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

// Buffered writers for the command's output: bytes as they are, and UTF-16 text as UTF-8.
namespace ordwell::cli {

// Writes bytes onto a file descriptor through a buffer.
class ByteWriter {
 public:
  // Writes to the file descriptor `fd`.
  explicit ByteWriter(int fd, std::size_t bufferBytes = std::size_t{1} << 20);
  ByteWriter(const ByteWriter&) = delete;
  ByteWriter& operator=(const ByteWriter&) = delete;

  // Appends `bytes`; after a failed write it does nothing.
  void Write(std::string_view bytes);

  // Appends `bytes` with each CR LF pair in them written as LF.
  void WriteLineFeeds(std::string_view bytes);

  // Writes out everything still buffered; returns false when any write failed (errno tells why).
  bool Finish();

 private:
  void Flush();
  void WriteOut(std::string_view data);

  int fd_;
  std::string buffer_;
  std::size_t used_ = 0;
  bool failed_ = false;
};

// Room for one block of output, kept from one block to the next.
class BlockBuffer {
 public:
  // Returns room for `bytes` bytes, left uninitialised; throws std::bad_alloc.
  char* Resize(std::size_t bytes);

  std::string_view View() const noexcept { return {data_.get(), size_}; }

 private:
  std::unique_ptr<char[]> data_;
  std::size_t capacity_ = 0;
  std::size_t size_ = 0;
};

// Copies block `block` into `out`; returns false, copying nothing, when the block is too large to
// be worth a copy.
using BlockCopier = std::function<bool(std::size_t block, BlockBuffer& out)>;
// Writes block `block` through `out` itself.
using DirectBlockWriter = std::function<void(std::size_t block, ByteWriter& out)>;

// Writes blocks [0, blocks) on the file descriptor `fd` in order: this thread and a helper copy
// blocks side by side (at most four ahead of the one being written), and this thread writes
// them; a block `copy` declines, or one whose copy runs out of memory, goes through `write`
// instead. Returns false when a write failed (errno tells why); a copier's other failure is
// rethrown here once the helper has stopped.
bool WriteBlocksInOrder(int fd, std::size_t blocks, const BlockCopier& copy, const DirectBlockWriter& write);

// Encodes UTF-16 text as UTF-8 onto a file descriptor through a buffer, turning each CR LF pair
// back into LF (also when the pair is split between two writes); a lone surrogate half becomes
// U+FFFD.
class StreamWriter {
 public:
  // Writes to the file descriptor `fd`.
  explicit StreamWriter(int fd, std::size_t bufferBytes = std::size_t{1} << 20);
  // Appends to `memory` instead.
  explicit StreamWriter(std::string* memory, std::size_t bufferBytes = std::size_t{1} << 20);
  StreamWriter(const StreamWriter&) = delete;
  StreamWriter& operator=(const StreamWriter&) = delete;

  // Encodes `text` after what was written before; after a failed write it does nothing.
  void Write(std::u16string_view text);

  // Writes out everything still buffered; `next` is the unit that will follow in the stream, if
  // any (a CR at the end is dropped when an LF follows). Returns false when any write failed
  // (errno tells why).
  bool Finish(char16_t next = 0);

 private:
  void Flush();

  int fd_ = -1;
  std::string* memory_ = nullptr;
  std::string buffer_;
  std::size_t used_ = 0;
  bool pendingCr_ = false;
  bool failed_ = false;
};

}  // namespace ordwell::cli
