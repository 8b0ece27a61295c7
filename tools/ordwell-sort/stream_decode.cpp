#include "tools/ordwell-sort/stream_decode.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <new>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && defined(__GNUC__)
#include <tmmintrin.h>
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

bool IsValidUtf8Scalar(std::string_view bytes) noexcept {
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

#if defined(__x86_64__) && defined(__GNUC__)
namespace {

// Checks UTF-8 sixteen bytes at a time with three table lookups per block, on four bits of each
// byte or of the byte before it, whose results share a set bit exactly where a rule is broken (a
// lead byte without its continuation bytes, a continuation byte without a lead, an overlong form,
// a surrogate half, a value beyond U+10FFFF); the third and fourth bytes of a character are
// checked against the lead byte two or three places back.
class Utf8Blocks {
 public:
  [[gnu::target("ssse3")]] Utf8Blocks() noexcept
      : firstHigh_(Table({kTooLong, kTooLong, kTooLong, kTooLong, kTooLong, kTooLong, kTooLong, kTooLong,
                          kTwoContinuations, kTwoContinuations, kTwoContinuations, kTwoContinuations,
                          kTooShort | kOverlong2, kTooShort, kTooShort | kOverlong3 | kSurrogate,
                          kTooShort | kTooLarge | kTooLarge1000 | kOverlong4})),
        firstLow_(Table({kCarry | kOverlong3 | kOverlong2 | kOverlong4, kCarry | kOverlong2, kCarry, kCarry,
                         kCarry | kTooLarge, kLarge, kLarge, kLarge, kLarge, kLarge, kLarge, kLarge, kLarge,
                         kLarge | kSurrogate, kLarge, kLarge})),
        secondHigh_(
            Table({kTooShort, kTooShort, kTooShort, kTooShort, kTooShort, kTooShort, kTooShort, kTooShort,
                   kContinuation | kOverlong3 | kTooLarge1000 | kOverlong4,
                   kContinuation | kOverlong3 | kTooLarge, kContinuation | kSurrogate | kTooLarge,
                   kContinuation | kSurrogate | kTooLarge, kTooShort, kTooShort, kTooShort, kTooShort})) {}

  // Checks the next block of the text.
  [[gnu::target("ssse3")]] void Check(__m128i block) noexcept {
    const __m128i lowNibble = _mm_set1_epi8(0x0F);
    if (_mm_movemask_epi8(block) == 0) {
      error_ = _mm_or_si128(error_, incomplete_);
      incomplete_ = _mm_setzero_si128();
    } else {
      const __m128i before1 = _mm_alignr_epi8(block, previous_, 15);
      const __m128i special = _mm_and_si128(
          _mm_and_si128(_mm_shuffle_epi8(firstHigh_, _mm_and_si128(_mm_srli_epi16(before1, 4), lowNibble)),
                        _mm_shuffle_epi8(firstLow_, _mm_and_si128(before1, lowNibble))),
          _mm_shuffle_epi8(secondHigh_, _mm_and_si128(_mm_srli_epi16(block, 4), lowNibble)));
      const __m128i before2 = _mm_alignr_epi8(block, previous_, 14);
      const __m128i before3 = _mm_alignr_epi8(block, previous_, 13);
      const __m128i mustContinue =
          _mm_and_si128(_mm_or_si128(_mm_subs_epu8(before2, _mm_set1_epi8(static_cast<char>(0xE0 - 0x80))),
                                     _mm_subs_epu8(before3, _mm_set1_epi8(static_cast<char>(0xF0 - 0x80)))),
                        _mm_set1_epi8(static_cast<char>(0x80)));
      error_ = _mm_or_si128(error_, _mm_xor_si128(mustContinue, special));
      // A block that ends in a lead byte, or one or two bytes after a three- or four-byte lead,
      // goes on in the next one.
      const __m128i lastLeads =
          _mm_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, static_cast<char>(0xF0 - 1),
                        static_cast<char>(0xE0 - 1), static_cast<char>(0xC0 - 1));
      incomplete_ = _mm_subs_epu8(block, lastLeads);
    }
    previous_ = block;
  }

  // Returns whether every block so far broke no rule.
  [[gnu::target("ssse3")]] bool Valid() const noexcept {
    return _mm_movemask_epi8(_mm_cmpeq_epi8(error_, _mm_setzero_si128())) == 0xFFFF;
  }

 private:
  static constexpr std::uint8_t kTooShort = 1 << 0;
  static constexpr std::uint8_t kTooLong = 1 << 1;
  static constexpr std::uint8_t kOverlong3 = 1 << 2;
  static constexpr std::uint8_t kTooLarge = 1 << 3;
  static constexpr std::uint8_t kSurrogate = 1 << 4;
  static constexpr std::uint8_t kOverlong2 = 1 << 5;
  static constexpr std::uint8_t kTooLarge1000 = 1 << 6;
  static constexpr std::uint8_t kOverlong4 = 1 << 6;
  static constexpr std::uint8_t kTwoContinuations = 1 << 7;
  static constexpr std::uint8_t kCarry = kTooShort | kTooLong | kTwoContinuations;
  static constexpr std::uint8_t kLarge = kCarry | kTooLarge | kTooLarge1000;
  static constexpr std::uint8_t kContinuation = kTooLong | kOverlong2 | kTwoContinuations;

  [[gnu::target("ssse3")]] static __m128i Table(std::initializer_list<int> entries) noexcept {
    alignas(16) std::uint8_t bytes[16] = {};
    std::size_t i = 0;
    for (const int entry : entries) bytes[i++] = static_cast<std::uint8_t>(entry);
    return _mm_load_si128(reinterpret_cast<const __m128i*>(bytes));
  }

  __m128i firstHigh_;
  __m128i firstLow_;
  __m128i secondHigh_;
  __m128i previous_ = _mm_setzero_si128();
  __m128i incomplete_ = _mm_setzero_si128();
  __m128i error_ = _mm_setzero_si128();
};

[[gnu::target("ssse3")]] bool IsValidUtf8Blocks(std::string_view bytes) noexcept {
  Utf8Blocks blocks;
  const auto* in = reinterpret_cast<const std::uint8_t*>(bytes.data());
  const std::uint8_t* const end = in + bytes.size();
  // An error ends the check at the next stretch of 64 blocks. Four blocks a step, with the text
  // asked for 2 KiB ahead: without that, the check waits on memory and takes four times as long on
  // a text too large for the caches.
  constexpr std::size_t kStretch = std::size_t{64} * 16;
  constexpr std::size_t kStep = std::size_t{4} * 16;
  while (static_cast<std::size_t>(end - in) >= kStep) {
    const std::uint8_t* const stop =
        in + std::min<std::size_t>(kStretch, static_cast<std::size_t>(end - in)) / kStep * kStep;
    for (; in < stop; in += kStep) {
      __builtin_prefetch(in + 2048);
      for (std::size_t k = 0; k < kStep; k += 16)
        blocks.Check(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in + k)));
    }
    if (!blocks.Valid()) return false;
  }
  for (; end - in >= 16; in += 16) blocks.Check(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in)));
  // The rest (perhaps nothing), padded with NULs: a character cut off at the end meets a NUL,
  // which cannot continue it.
  alignas(16) std::uint8_t last[16] = {};
  std::memcpy(last, in, static_cast<std::size_t>(end - in));
  blocks.Check(_mm_load_si128(reinterpret_cast<const __m128i*>(last)));
  return blocks.Valid();
}

}  // namespace
#endif

bool IsValidUtf8(std::string_view bytes) noexcept {
#if defined(__x86_64__) && defined(__GNUC__)
  static const bool blocks = __builtin_cpu_supports("ssse3");
  if (blocks) return IsValidUtf8Blocks(bytes);
#endif
  return IsValidUtf8Scalar(bytes);
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
