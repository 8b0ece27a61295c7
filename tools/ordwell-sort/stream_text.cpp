#include "tools/ordwell-sort/stream_text.h"

#include <algorithm>
#include <cstring>
#include <memory>

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

}  // namespace

DecodedText DecodeStreamText(std::string_view bytes) {
  DecodedText result;
  // Every byte gives at most one unit, except LF, which may give two.
  const auto lineFeeds = static_cast<std::size_t>(std::count(bytes.begin(), bytes.end(), '\n'));
  auto buffer = std::make_unique_for_overwrite<char16_t[]>(bytes.size() + lineFeeds);
  char16_t* out = buffer.get();
  const auto* in = reinterpret_cast<const unsigned char*>(bytes.data());
  const std::size_t size = bytes.size();
  std::size_t i = 0;
  while (i < size) {
#if defined(__SSE2__)
    // Sixteen ASCII bytes without a line feed widen in one step.
    while (i + 16 <= size) {
      const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
      const __m128i lf = _mm_cmpeq_epi8(block, _mm_set1_epi8('\n'));
      if (_mm_movemask_epi8(_mm_or_si128(block, lf)) != 0) break;
      const __m128i zero = _mm_setzero_si128();
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_unpacklo_epi8(block, zero));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 8), _mm_unpackhi_epi8(block, zero));
      out += 16;
      i += 16;
    }
#endif
    // A block with line feeds or other characters goes one character at a time.
    const std::size_t stop = std::min(size, i + 16);
    while (i < stop) {
      const unsigned char byte = in[i];
      if (byte < 0x80) {
        if (byte == '\n' && (i == 0 || in[i - 1] != '\r')) *out++ = u'\r';
        *out++ = byte;
        ++i;
        continue;
      }
      char32_t code = 0;
      const std::size_t length = DecodeSequence(bytes, i, code);
      if (length == 0) {
        result.valid = false;
        result.errorOffset = i;
        return result;
      }
      if (code >= 0x10000) {
        *out++ = static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10));
        *out++ = static_cast<char16_t>(0xDC00 + (code & 0x3FF));
      } else {
        *out++ = static_cast<char16_t>(code);
      }
      i += length;
    }
  }
  result.text.assign(buffer.get(), out);
  return result;
}

void EncodeStreamText(std::u16string_view text, std::string& out, bool& pendingCr) {
  const std::size_t size = text.size();
  const std::size_t start = out.size();
  // At most three bytes per unit, plus a CR held over from the previous call.
  out.resize(start + 3 * size + 1);
  char* o = out.data() + start;
  std::size_t i = 0;
  if (pendingCr) {
    if (size == 0) {
      out.resize(start);
      return;
    }
    if (text[0] != u'\n') *o++ = '\r';
    pendingCr = false;
  }
  while (i < size) {
#if defined(__SSE2__)
    // Eight ASCII units without a CR narrow in one step.
    while (i + 8 <= size) {
      const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + i));
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
          pendingCr = true;  // the next call decides whether it starts a CR LF pair
          continue;
        }
        if (text[i] == u'\n') continue;  // CR LF becomes the LF that follows
      }
      *o++ = static_cast<char>(unit);
    } else if (unit < 0x800) {
      *o++ = static_cast<char>(0xC0 | (unit >> 6));
      *o++ = static_cast<char>(0x80 | (unit & 0x3F));
    } else if (unit >= 0xD800 && unit <= 0xDBFF && i < size && text[i] >= 0xDC00 && text[i] <= 0xDFFF) {
      const char32_t code = 0x10000 + ((char32_t{unit} - 0xD800) << 10) + (text[i++] - 0xDC00);
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
  out.resize(static_cast<std::size_t>(o - out.data()));
}

}  // namespace ordwell::cli
