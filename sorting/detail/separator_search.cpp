#include "sorting/detail/separator_search.h"

#include <algorithm>
#include <cstring>

namespace ordwell::detail {
namespace {

constexpr std::size_t kNone = std::u16string_view::npos;

// Returns the first j in [from, last] with t[j] == first and t[j + 1] == second, or kNone; t must
// hold at least last + 2 units.
std::size_t NextCandidate(const char16_t* t, std::size_t from, std::size_t last, char16_t first,
                          char16_t second) {
  std::size_t i = from;
#if defined(__SSE2__)
  const __m128i firsts = _mm_set1_epi16(static_cast<short>(first));
  const __m128i seconds = _mm_set1_epi16(static_cast<short>(second));
  for (; i + 8 <= last + 1; i += 8) {
    const __m128i hits =
        _mm_and_si128(_mm_cmpeq_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(t + i)), firsts),
                      _mm_cmpeq_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(t + i + 1)), seconds));
    const auto mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_packs_epi16(hits, _mm_setzero_si128())));
    if (mask != 0) return i + static_cast<std::size_t>(__builtin_ctz(mask));
  }
#endif
  for (; i <= last; ++i) {
    if (t[i] == first && t[i + 1] == second) return i;
  }
  return kNone;
}

std::size_t NextCandidate(const char* t, std::size_t from, std::size_t last, char first, char second) {
  for (std::size_t i = from; i <= last; ++i) {
    const auto* at = static_cast<const char*>(std::memchr(t + i, first, last + 1 - i));
    if (at == nullptr) return kNone;
    i = static_cast<std::size_t>(at - t);
    if (t[i + 1] == second) return i;
  }
  return kNone;
}

// Returns how many units a and b have in common from their start, looking at most at `size`.
std::size_t CommonPrefix(const char16_t* a, const char16_t* b, std::size_t size) {
  std::size_t i = 0;
#if defined(__SSE2__)
  for (; i + 8 <= size; i += 8) {
    const __m128i equal = _mm_cmpeq_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(a + i)),
                                          _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + i)));
    const auto mask = static_cast<unsigned>(_mm_movemask_epi8(equal));
    if (mask != 0xFFFF) return i + static_cast<std::size_t>(__builtin_ctz(~mask)) / 2;
  }
#endif
  while (i < size && a[i] == b[i]) ++i;
  return i;
}

std::size_t CommonPrefix(const char* a, const char* b, std::size_t size) {
  std::size_t i = 0;
  while (i < size && a[i] == b[i]) ++i;
  return i;
}

}  // namespace

template <class Char>
LongSeparatorMatcher<Char>::LongSeparatorMatcher(std::basic_string_view<Char> separator)
    : separator_(separator), border_(separator.size(), 0) {
  std::size_t k = 0;
  for (std::size_t q = 1; q < separator.size(); ++q) {
    while (k > 0 && separator[q] != separator[k]) k = border_[k - 1];
    if (separator[q] == separator[k]) ++k;
    border_[q] = k;
  }
}

template <class Char>
std::size_t LongSeparatorMatcher<Char>::Find(std::basic_string_view<Char> text, std::size_t from) const {
  const std::size_t m = separator_.size();
  const std::size_t n = text.size();
  if (m > n || from > n - m) return kNone;
  const std::size_t last = n - m;
  const Char* const t = text.data();
  const Char* const s = separator_.data();
  std::size_t i = from;  // the next text unit to read
  std::size_t q = 0;     // s[0, q) == t[i - q, i)
  for (;;) {
    if (q == 0) {
      // Nothing of the separator is matched, so no occurrence starts before the next place
      // where its first two units are.
      i = NextCandidate(t, i, last, s[0], s[1]);
      if (i == kNone) return kNone;
      i += 2;
      q = 2;
      if (q == m) return i - m;
    }
    // Every unit is read once, by the extension or by the step after a mismatch, and the border
    // steps are paid for by earlier growth of q: linear overall.
    for (;;) {
      const std::size_t k = CommonPrefix(t + i, s + q, std::min(n - i, m - q));
      i += k;
      q += k;
      if (q == m) return i - m;
      if (i == n) return kNone;
      const Char c = t[i++];
      while (q > 0 && s[q] != c) q = border_[q - 1];
      if (s[q] == c) ++q;
      if (q == m) return i - m;
      if (q == 0) break;
    }
  }
}

template class LongSeparatorMatcher<char16_t>;
template class LongSeparatorMatcher<char>;

std::size_t FindSeparator(std::u16string_view text, std::u16string_view separator) {
  if (separator.size() <= kShortSeparatorUnits) return text.find(separator);
  return LongSeparatorMatcher<char16_t>(separator).Find(text, 0);
}

std::size_t FindSeparator(std::string_view text, std::string_view separator) {
  if (separator.size() <= kShortSeparatorUnits) return text.find(separator);
  return LongSeparatorMatcher<char>(separator).Find(text, 0);
}

}  // namespace ordwell::detail
