#pragma once

#include <cstddef>
#include <cstring>
#include <string_view>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// Finding the separator in a list text: non-overlapping occurrences from the left, in time linear
// in the text whatever the separator.
namespace ordwell::detail {

// Separators up to this many units are found by filtering candidates on their first two units and
// comparing the rest, which costs at most this many comparisons per text unit; longer ones go
// through LongSeparatorMatcher.
inline constexpr std::size_t kShortSeparatorUnits = 16;

// Finds a separator longer than one unit with the prefix-function automaton (Knuth–Morris–Pratt),
// skipping stretches that cannot start a match on the first two units, so a search reads each text
// unit a bounded number of times however periodic the separator and text are.
// Instantiated for UTF-16 texts and byte texts.
template <class Char>
class LongSeparatorMatcher {
 public:
  // Prepares the search for `separator`, which must be at least two units long and outlive the matcher.
  explicit LongSeparatorMatcher(std::basic_string_view<Char> separator);

  // Returns the first position at or after `from` where the separator occurs in `text`, or npos.
  std::size_t Find(std::basic_string_view<Char> text, std::size_t from) const;

 private:
  std::basic_string_view<Char> separator_;
  // border_[k]: the length of the longest proper prefix of separator_[0, k] that is also its suffix.
  std::vector<std::size_t> border_;
};

// Calls onMatch(position) for each occurrence of a separator of at most kShortSeparatorUnits units,
// non-overlapping, from the left.
template <class OnMatch>
void ForEachShortSeparator(std::u16string_view text, std::u16string_view separator, OnMatch&& onMatch) {
  const std::size_t length = separator.size();
  if (length == 0 || length > text.size()) return;
  const std::size_t last = text.size() - length;  // the last position a match can start at
  const char16_t* const t = text.data();
  std::size_t allowed = 0;  // matches may not start inside the previous one
  const auto check = [&](std::size_t at) {
    if (at < allowed) return;
    if (length > 1 && t[at + 1] != separator[1]) return;
    if (length > 2 && std::memcmp(t + at + 2, separator.data() + 2, (length - 2) * sizeof(char16_t)) != 0)
      return;
    onMatch(at);
    allowed = at + length;
  };
  std::size_t i = 0;
#if defined(__SSE2__)
  // Eight candidate positions at a time, on the first two units.
  const __m128i first = _mm_set1_epi16(static_cast<short>(separator[0]));
  const __m128i second = _mm_set1_epi16(static_cast<short>(length > 1 ? separator[1] : 0));
  for (; i + 8 <= last + 1; i += 8) {
    __m128i hits = _mm_cmpeq_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(t + i)), first);
    if (length > 1) {
      hits = _mm_and_si128(
          hits, _mm_cmpeq_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(t + i + 1)), second));
    }
    auto mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_packs_epi16(hits, _mm_setzero_si128())));
    while (mask != 0) {
      check(i + static_cast<std::size_t>(__builtin_ctz(mask)));
      mask &= mask - 1;
    }
  }
#endif
  for (; i <= last; ++i) {
    if (t[i] == separator[0]) check(i);
  }
}

// The same for a byte text: candidates come from memchr on the first byte.
template <class OnMatch>
void ForEachShortSeparator(std::string_view text, std::string_view separator, OnMatch&& onMatch) {
  const std::size_t length = separator.size();
  if (length == 0 || length > text.size()) return;
  const char* const t = text.data();
  const char* const end = t + text.size() - length + 1;  // past the last position a match can start at
  const char* at = t;
  while (at < end) {
    at = static_cast<const char*>(std::memchr(at, separator[0], static_cast<std::size_t>(end - at)));
    if (at == nullptr) return;
    // A one-byte separator (a line break, most often) matches wherever memchr stops, without a
    // call to compare nothing.
    if (length == 1 || std::memcmp(at + 1, separator.data() + 1, length - 1) == 0) {
      onMatch(static_cast<std::size_t>(at - t));
      at += length;  // matches may not start inside the previous one
    } else {
      ++at;
    }
  }
}

// Calls onMatch(position) for each non-overlapping occurrence of a non-empty `separator`, from
// the left: the matches a repeated search from the end of the previous match finds. For UTF-16
// and byte texts alike.
template <class Char, class OnMatch>
void ForEachSeparatorOf(std::basic_string_view<Char> text, std::basic_string_view<Char> separator,
                        OnMatch&& onMatch) {
  if (separator.size() <= kShortSeparatorUnits) {
    ForEachShortSeparator(text, separator, onMatch);
    return;
  }
  if (separator.size() > text.size()) return;
  const LongSeparatorMatcher<Char> matcher(separator);
  for (std::size_t at = matcher.Find(text, 0); at != std::basic_string_view<Char>::npos;
       at = matcher.Find(text, at + separator.size())) {
    onMatch(at);
  }
}

// ForEachSeparatorOf for a UTF-16 text.
template <class OnMatch>
void ForEachSeparator(std::u16string_view text, std::u16string_view separator, OnMatch&& onMatch) {
  ForEachSeparatorOf<char16_t>(text, separator, onMatch);
}

// ForEachSeparatorOf for a byte text.
template <class OnMatch>
void ForEachSeparator(std::string_view text, std::string_view separator, OnMatch&& onMatch) {
  ForEachSeparatorOf<char>(text, separator, onMatch);
}

// Returns the position of the first occurrence of `separator` in `text` as
// std::u16string_view::find does (0 for an empty separator), or npos.
std::size_t FindSeparator(std::u16string_view text, std::u16string_view separator);

// The same for a byte text.
std::size_t FindSeparator(std::string_view text, std::string_view separator);

}  // namespace ordwell::detail
