#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace ordwell::cli {

// The outcome of decoding: the text, or the byte offset where the UTF-8 stops being valid.
struct DecodedText {
  std::u16string text;
  bool valid = true;
  std::size_t errorOffset = 0;
};

// Decodes UTF-8 into UTF-16, turning each LF that is not already preceded by CR into CR LF.
DecodedText DecodeStreamText(std::string_view bytes);

// Encodes UTF-16 text as UTF-8 onto a file descriptor through a buffer, turning each CR LF pair
// back into LF (also when the pair is split between two writes); a lone surrogate half becomes
// U+FFFD.
class StreamWriter {
 public:
  explicit StreamWriter(int fd, std::size_t bufferBytes = std::size_t{1} << 20);
  StreamWriter(const StreamWriter&) = delete;
  StreamWriter& operator=(const StreamWriter&) = delete;

  // Encodes `text` after what was written before; after a failed write it does nothing.
  void Write(std::u16string_view text);

  // Writes out everything still buffered; returns false when any write failed (errno tells why).
  bool Finish();

 private:
  void Flush();

  int fd_;
  std::string buffer_;
  std::size_t used_ = 0;
  bool pendingCr_ = false;
  bool failed_ = false;
};

}  // namespace ordwell::cli
