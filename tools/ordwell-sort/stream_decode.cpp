#include "tools/ordwell-sort/stream_decode.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace ordwell::cli {
namespace {

bool IsTrail(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// Decodes the multi-byte sequence at bytes[i]; returns its length, or 0 when it is not valid.
std::size_t DecodeSequence(std::string_view bytes, std::size_t i, char32_t& code) {
  const auto at = [&](std::size_t k) { return static_cast<unsigned char>(bytes[i + k]); };
  const std::size_t left = bytes.size() - i;
  const unsigned char lead = at(0);
  if (lead >= 0xC2 && lead <= 0xDF) {
    if (left < 2 || !IsTrail(at(1))) return 0;
    code = (char32_t{lead} & 0x1F) << 6 | (at(1) & 0x3F);
    return 2;
  }
  if (lead >= 0xE0 && lead <= 0xEF) {
    if (left < 3 || !IsTrail(at(1)) || !IsTrail(at(2))) return 0;
    if (lead == 0xE0 && at(1) < 0xA0) return 0;  // overlong
    if (lead == 0xED && at(1) > 0x9F) return 0;  // a surrogate half
    code = (char32_t{lead} & 0x0F) << 12 | char32_t{at(1) & 0x3Fu} << 6 | (at(2) & 0x3F);
    return 3;
  }
  if (lead >= 0xF0 && lead <= 0xF4) {
    if (left < 4 || !IsTrail(at(1)) || !IsTrail(at(2)) || !IsTrail(at(3))) return 0;
    if (lead == 0xF0 && at(1) < 0x90) return 0;  // overlong
    if (lead == 0xF4 && at(1) > 0x8F) return 0;  // beyond U+10FFFF
    code = (char32_t{lead} & 0x07) << 18 | char32_t{at(1) & 0x3Fu} << 12 | char32_t{at(2) & 0x3Fu} << 6 |
           (at(3) & 0x3F);
    return 4;
  }
  return 0;
}

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// Decodes `bytes` at `out`, which must have room for bytes.size() + (number of LFs) + 16 units
// (runs of ASCII are widened sixteen at a time and may write up to sixteen units past their end).
// `begin` is where the whole text starts: an LF right after a CR already there stays one LF.
// Returns the new end, or nullptr with `errorOffset` set when the UTF-8 is not valid.
char16_t* DecodeInto(std::string_view bytes, char16_t* const begin, char16_t* out, std::size_t& errorOffset) {
  const auto* in = reinterpret_cast<const unsigned char*>(bytes.data());
  const std::size_t size = bytes.size();
  std::size_t i = 0;
  while (i < size) {
    // A run of ASCII other than LF.
    std::size_t j = i;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    const __m128i lineFeed = _mm_set1_epi8('\n');
    while (j + 16 <= size) {
      const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + j));
      char16_t* const to = out + (j - i);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(to), _mm_unpacklo_epi8(block, zero));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(to + 8), _mm_unpackhi_epi8(block, zero));
      const auto special =
          static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(block, _mm_cmpeq_epi8(block, lineFeed))));
      if (special != 0) {
        j += static_cast<std::size_t>(__builtin_ctz(special));
        break;
      }
      j += 16;
    }
    if (j + 16 > size)
#endif
    {
      while (j < size && in[j] < 0x80 && in[j] != '\n') {
        out[j - i] = in[j];
        ++j;
      }
    }
    out += j - i;
    i = j;
    if (i == size) break;
    const unsigned char byte = in[i];
    if (byte == '\n') {
      if (out == begin || out[-1] != u'\r') *out++ = u'\r';
      *out++ = u'\n';
      ++i;
      continue;
    }
    char32_t code = 0;
    const std::size_t length = DecodeSequence(bytes, i, code);
    if (length == 0) {
      errorOffset = i;
      return nullptr;
    }
    if (code >= 0x10000) {
      *out++ = static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10));
      *out++ = static_cast<char16_t>(0xDC00 + (code & 0x3FF));
    } else {
      *out++ = static_cast<char16_t>(code);
    }
    i += length;
  }
  return out;
}

}  // namespace

DecodedText DecodeStreamText(std::string_view bytes) {
  return DecodeStreamTexts(std::span<const std::string_view>(&bytes, 1), {});
}

DecodedText DecodeStreamTexts(std::span<const std::string_view> pieces, std::u16string_view joint) {
  DecodedText result;
  // Every byte gives at most one unit, except LF, which may give two.
  constexpr std::size_t kSlack = 16;
  std::size_t capacity = kSlack;
  for (const std::string_view piece : pieces) {
    capacity += piece.size() + static_cast<std::size_t>(std::count(piece.begin(), piece.end(), '\n'));
  }
  if (pieces.size() > 1) capacity += (pieces.size() - 1) * joint.size();
  result.units = io::BigBuffer<char16_t>(capacity);
  char16_t* const begin = result.units.data();
  char16_t* out = begin;
  for (std::size_t k = 0; k < pieces.size(); ++k) {
    if (k != 0) out = std::copy(joint.begin(), joint.end(), out);
    out = DecodeInto(pieces[k], begin, out, result.errorOffset);
    if (out == nullptr) {
      result.units.Release();
      result.valid = false;
      result.errorPiece = k;
      return result;
    }
  }
  result.length = static_cast<std::size_t>(out - begin);
  return result;
}

bool IsValidUtf8(std::string_view bytes) noexcept {
  const auto* const in = reinterpret_cast<const unsigned char*>(bytes.data());
  std::size_t i = 0;
  while (i < bytes.size()) {
    if (bytes.size() - i >= 8) {
      std::uint64_t word;
      std::memcpy(&word, in + i, sizeof word);
      if ((word & 0x8080808080808080ull) == 0) {
        i += 8;
        continue;
      }
    }
    if (in[i] < 0x80) {
      ++i;
      continue;
    }
    char32_t code = 0;
    const std::size_t length = DecodeSequence(bytes, i, code);
    if (length == 0) return false;
    i += length;
  }
  return true;
}

std::string_view StreamBody(std::string_view bytes) noexcept {
  if (bytes.starts_with(kByteOrderMark)) bytes.remove_prefix(kByteOrderMark.size());
  if (bytes.ends_with('\n')) {
    bytes.remove_suffix(1);
    if (bytes.ends_with('\r')) bytes.remove_suffix(1);
  }
  return bytes;
}

bool StreamHasItems(std::string_view bytes) noexcept { return !bytes.empty() && bytes != kByteOrderMark; }

}  // namespace ordwell::cli
