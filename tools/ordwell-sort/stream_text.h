#pragma once

#include <cstddef>
#include <cstdint>
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

// Encodes `text` as UTF-8 into `out` (appending), turning each CR LF pair back into LF; a lone
// surrogate half becomes U+FFFD. `pendingCr` carries a trailing CR across calls.
void EncodeStreamText(std::u16string_view text, std::string& out, bool& pendingCr);

}  // namespace ordwell::cli
