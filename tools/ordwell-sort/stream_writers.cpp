#include "tools/ordwell-sort/stream_writers.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <mutex>
#include <new>
#include <thread>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "io/posix_file.h"

namespace ordwell::cli {

namespace {

// Encodes text[0, size) at `o`, which must have room for 3 * size bytes; returns the new end.
char* EncodeUnits(const char16_t* text, std::size_t size, char* o, bool& pendingCr) {
  std::size_t i = 0;
  if (pendingCr && size != 0) {
    if (text[0] != u'\n') *o++ = '\r';
    pendingCr = false;
  }
  while (i < size) {
#if defined(__SSE2__)
    // Eight ASCII units without a CR narrow in one step.
    while (i + 8 <= size) {
      const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i));
      const __m128i high = _mm_cmpgt_epi16(_mm_srli_epi16(block, 7), _mm_setzero_si128());
      const __m128i cr = _mm_cmpeq_epi16(block, _mm_set1_epi16('\r'));
      if (_mm_movemask_epi8(_mm_or_si128(high, cr)) != 0) break;
      _mm_storel_epi64(reinterpret_cast<__m128i*>(o), _mm_packus_epi16(block, block));
      o += 8;
      i += 8;
    }
    if (i >= size) break;
#endif
    const char16_t unit = text[i++];
    if (unit < 0x80) {
      if (unit == u'\r') {
        if (i == size) {
          pendingCr = true;  // the next write decides whether it starts a CR LF pair
          continue;
        }
        if (text[i] == u'\n') continue;  // CR LF becomes the LF that follows
      }
      *o++ = static_cast<char>(unit);
    } else if (unit < 0x800) {
      *o++ = static_cast<char>(0xC0 | (unit >> 6));
      *o++ = static_cast<char>(0x80 | (unit & 0x3F));
    } else if (unit >= 0xD800 && unit <= 0xDBFF && i < size && text[i] >= 0xDC00 && text[i] <= 0xDFFF) {
      const char32_t code = 0x10000 + ((char32_t{unit} - 0xD800) << 10) + (text[i++] - 0xDC00u);
      *o++ = static_cast<char>(0xF0 | (code >> 18));
      *o++ = static_cast<char>(0x80 | ((code >> 12) & 0x3F));
      *o++ = static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      *o++ = static_cast<char>(0x80 | (code & 0x3F));
    } else {
      const char32_t code = (unit >= 0xD800 && unit <= 0xDFFF) ? 0xFFFD : unit;
      *o++ = static_cast<char>(0xE0 | (code >> 12));
      *o++ = static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      *o++ = static_cast<char>(0x80 | (code & 0x3F));
    }
  }
  return o;
}

}  // namespace

StreamWriter::StreamWriter(int fd, std::size_t bufferBytes)
    : fd_(fd), buffer_(std::max<std::size_t>(bufferBytes, 64), '\0') {}

StreamWriter::StreamWriter(std::string* memory, std::size_t bufferBytes)
    : memory_(memory), buffer_(std::max<std::size_t>(bufferBytes, 64), '\0') {}

void StreamWriter::Write(std::u16string_view text) {
  // Pieces small enough for the buffer, with one more unit so a surrogate pair stays whole. Only a
  // high half followed by a low half is a pair: after a lone high half, taking the next unit too
  // would cut the pair that starts there.
  const std::size_t maxUnits = (buffer_.size() - 1) / 3 - 1;
  while (!text.empty() && !failed_) {
    std::size_t take = std::min(text.size(), maxUnits);
    if (take < text.size() && text[take - 1] >= 0xD800 && text[take - 1] <= 0xDBFF && text[take] >= 0xDC00 &&
        text[take] <= 0xDFFF) {
      ++take;
    }
    if (buffer_.size() - used_ < 3 * take + 1) {
      Flush();
      if (failed_) return;
    }
    char* const begin = buffer_.data() + used_;
    used_ += static_cast<std::size_t>(EncodeUnits(text.data(), take, begin, pendingCr_) - begin);
    text.remove_prefix(take);
  }
}

bool StreamWriter::Finish(char16_t next) {
  if (pendingCr_ && !failed_ && next != u'\n') {
    if (used_ == buffer_.size()) Flush();
    buffer_[used_++] = '\r';
    pendingCr_ = false;
  }
  Flush();
  return !failed_;
}

void StreamWriter::Flush() {
  std::string_view data(buffer_.data(), used_);
  if (memory_ != nullptr) {
    memory_->append(data);
    used_ = 0;
    return;
  }
  if (!failed_) failed_ = !io::WriteAll(fd_, data);
  used_ = 0;
}

ByteWriter::ByteWriter(int fd, std::size_t bufferBytes)
    : fd_(fd), buffer_(std::max<std::size_t>(bufferBytes, 64), '\0') {}

void ByteWriter::Write(std::string_view bytes) {
  if (bytes.size() > buffer_.size() - used_) {
    Flush();
    // A piece larger than the buffer goes out as it is.
    if (bytes.size() >= buffer_.size()) {
      WriteOut(bytes);
      return;
    }
  }
  if (failed_) return;
  std::memcpy(buffer_.data() + used_, bytes.data(), bytes.size());
  used_ += bytes.size();
}

void ByteWriter::WriteLineFeeds(std::string_view bytes) {
  for (std::size_t from = 0;;) {
    const std::size_t pair = bytes.find("\r\n", from);
    if (pair == std::string_view::npos) {
      Write(bytes.substr(from));
      return;
    }
    Write(bytes.substr(from, pair - from));
    from = pair + 1;
  }
}

bool ByteWriter::Finish() {
  Flush();
  return !failed_;
}

void ByteWriter::Flush() {
  WriteOut({buffer_.data(), used_});
  used_ = 0;
}

void ByteWriter::WriteOut(std::string_view data) {
  if (!failed_) failed_ = !io::WriteAll(fd_, data);
}

char* BlockBuffer::Resize(std::size_t bytes) {
  if (bytes > capacity_) {
    data_.reset();
    capacity_ = 0;
    data_ = std::make_unique_for_overwrite<char[]>(bytes);
    capacity_ = bytes;
  }
  size_ = bytes;
  return data_.get();
}

bool WriteBlocksInOrder(int fd, std::size_t blocks, const BlockCopier& copy, const DirectBlockWriter& write) {
  constexpr std::size_t kSlots = 4;
  constexpr std::size_t kNone = static_cast<std::size_t>(-1);
  struct Slot {
    BlockBuffer bytes;
    // The block the slot holds once it is copied, or kNone.
    std::size_t block = kNone;
    bool copied = false;
  };
  std::array<Slot, kSlots> slots;
  std::mutex mutex;
  std::condition_variable changed;
  std::size_t nextToCopy = 0;
  std::size_t written = 0;
  bool stop = false;
  std::exception_ptr failure;

  // With the lock held, takes the next block to copy when its slot is free, copies it without
  // the lock, and files it; returns false when there is no such block.
  const auto copyNext = [&](std::unique_lock<std::mutex>& lock) {
    if (stop || nextToCopy >= blocks || nextToCopy >= written + kSlots) return false;
    const std::size_t block = nextToCopy++;
    Slot& slot = slots[block % kSlots];
    lock.unlock();
    bool copied = false;
    std::exception_ptr error;
    try {
      copied = copy(block, slot.bytes);
    } catch (const std::bad_alloc&) {
      // The writer writes the block itself, which needs no room.
    } catch (...) {
      error = std::current_exception();
    }
    lock.lock();
    slot.copied = copied;
    slot.block = block;
    if (error) {
      failure = error;
      stop = true;
    }
    changed.notify_all();
    return true;
  };

  // Room for blocks written straight from the text, taken before anything is written.
  ByteWriter direct(fd, std::size_t{1} << 16);
  std::jthread helper;
  try {
    helper = std::jthread([&] {
      std::unique_lock lock(mutex);
      while (!stop && nextToCopy < blocks) {
        if (!copyNext(lock)) changed.wait(lock);
      }
    });
  } catch (const std::exception&) {
    // No thread to spare: this one copies every block.
  }

  bool ok = true;
  int error = 0;
  {
    std::unique_lock lock(mutex);
    while (ok && !stop && written < blocks) {
      Slot& slot = slots[written % kSlots];
      if (slot.block == written) {
        lock.unlock();
        try {
          if (slot.copied) {
            ok = io::WriteAll(fd, slot.bytes.View());
          } else {
            write(written, direct);
            ok = direct.Finish();
          }
        } catch (...) {
          lock.lock();
          stop = true;
          if (!failure) failure = std::current_exception();
          break;
        }
        if (!ok) error = errno;
        lock.lock();
        slot.block = kNone;
        ++written;
        changed.notify_all();
      } else if (!copyNext(lock)) {
        changed.wait(lock);
      }
    }
    stop = true;
    changed.notify_all();
  }
  if (helper.joinable()) helper.join();
  if (failure) std::rethrow_exception(failure);
  if (!ok) errno = error;
  return ok;
}

}  // namespace ordwell::cli
