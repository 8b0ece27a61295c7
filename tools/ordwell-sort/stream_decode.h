#pragma once

#include <cstddef>
#include <span>
#include <string_view>

#include "io/big_buffer.h"

// Decoding the command's UTF-8 input streams into the UTF-16 list text the window sorts.
namespace ordwell::cli {

// The outcome of decoding: the text, or the piece and the byte offset in it where the UTF-8 stops
// being valid.
struct DecodedText {
  io::BigBuffer<char16_t> units;
  std::size_t length = 0;
  bool valid = true;
  std::size_t errorPiece = 0;
  std::size_t errorOffset = 0;

  std::u16string_view Text() const noexcept { return {units.data(), length}; }
};

// Decodes UTF-8 into UTF-16, turning each LF that is not already preceded by CR into CR LF.
// Throws std::bad_alloc.
DecodedText DecodeStreamText(std::string_view bytes);

// Decodes the UTF-8 `pieces` as DecodeStreamText does into one text, with `joint` between each two
// of them; an LF that follows a CR across a piece's start stays one LF, as in the pieces' bytes one
// after the other. Throws std::bad_alloc.
DecodedText DecodeStreamTexts(std::span<const std::string_view> pieces, std::u16string_view joint);

// Returns whether `bytes` is valid UTF-8 (DecodeStreamText would decode it): sixteen bytes at a
// time where the processor can, else as IsValidUtf8Scalar does.
bool IsValidUtf8(std::string_view bytes) noexcept;

// The same, a character at a time.
bool IsValidUtf8Scalar(std::string_view bytes) noexcept;

// Returns the items' text of a text stream: `bytes` without a leading UTF-8 byte-order mark and
// without one final line break (LF or CR LF), which ends the last item rather than starting one.
std::string_view StreamBody(std::string_view bytes) noexcept;

// Returns whether a stream holds any item at all: anything besides a byte-order mark.
bool StreamHasItems(std::string_view bytes) noexcept;

}  // namespace ordwell::cli
