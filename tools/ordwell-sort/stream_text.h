#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace ordwell::cli {

// Frees memory from std::aligned_alloc.
struct FreeUnits {
  void operator()(char16_t* units) const noexcept;
};

// The outcome of decoding: the text, or the piece and the byte offset in it where the UTF-8 stops
// being valid.
struct DecodedText {
  std::unique_ptr<char16_t[], FreeUnits> units;
  std::size_t length = 0;
  bool valid = true;
  std::size_t errorPiece = 0;
  std::size_t errorOffset = 0;

  std::u16string_view Text() const noexcept { return {units.get(), length}; }
};

// Decodes UTF-8 into UTF-16, turning each LF that is not already preceded by CR into CR LF.
// Throws std::bad_alloc.
DecodedText DecodeStreamText(std::string_view bytes);

// Decodes the UTF-8 `pieces` as DecodeStreamText does into one text, with `joint` between each two
// of them; an LF that follows a CR across a piece's start stays one LF, as in the pieces' bytes one
// after the other. Throws std::bad_alloc.
DecodedText DecodeStreamTexts(std::span<const std::string_view> pieces, std::u16string_view joint);

// Returns the items' text of a text stream: `bytes` without a leading UTF-8 byte-order mark and
// without one final line break (LF or CR LF), which ends the last item rather than starting one.
std::string_view StreamBody(std::string_view bytes) noexcept;

// Returns whether a stream holds any item at all: anything besides a byte-order mark.
bool StreamHasItems(std::string_view bytes) noexcept;

// Writes all of `data` to the file descriptor `fd`, again after an interruption; returns false
// when a write fails (errno tells why).
bool WriteAll(int fd, std::string_view data);

// Returns the byte separator that splits the `pieces`, joined by it, into the very items that
// decoding them (DecodeStreamTexts, joined by `inputSeparator`) and splitting on `inputSeparator`
// gives, with no CR or LF inside any item; nullopt unless the pieces are ASCII and such a
// separator exists. With it the list can be sorted from its bytes, with no decoded copy.
std::optional<std::string> DirectSeparator(std::span<const std::string_view> pieces,
                                           std::u16string_view inputSeparator);

// Writes bytes onto a file descriptor through a buffer.
class ByteWriter {
 public:
  // Writes to the file descriptor `fd`.
  explicit ByteWriter(int fd, std::size_t bufferBytes = std::size_t{1} << 20);
  ByteWriter(const ByteWriter&) = delete;
  ByteWriter& operator=(const ByteWriter&) = delete;

  // Appends `bytes`; after a failed write it does nothing.
  void Write(std::string_view bytes);

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
