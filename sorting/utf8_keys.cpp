#include "sorting/detail/utf8_keys.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "sorting/detail/sort_key.h"

namespace ordwell::detail {
namespace {

constexpr std::uint64_t kHighBits = 0x8080808080808080ull;

std::size_t Utf8Length(std::uint32_t code) noexcept { return code < 0x80 ? 1 : code < 0x800 ? 2 : 3; }

// Marks the lead bytes of the characters whose lower case has another UTF-8 length, so a scan
// decodes only characters that may be one.
const std::array<bool, 256>& ShiftLeads() noexcept {
  static const std::array<bool, 256> leads = [] {
    std::array<bool, 256> marked{};
    const char16_t* const lower = LowerCaseTable();
    for (std::uint32_t code = 0x80; code < 0x10000; ++code) {
      if (Utf8Length(code) == Utf8Length(lower[code])) continue;
      marked[code < 0x800 ? 0xC0 | (code >> 6) : 0xE0 | (code >> 12)] = true;
    }
    return marked;
  }();
  return leads;
}

// The values ShiftLeads marks, when there are few enough to compare sixteen bytes against each.
struct LeadList {
  int count = 0;  // -1: too many
  std::array<std::uint8_t, 8> values{};
};

const LeadList& ShiftLeadList() noexcept {
  static const LeadList list = [] {
    LeadList found;
    const std::array<bool, 256>& leads = ShiftLeads();
    for (unsigned b = 0; b < 256; ++b) {
      if (!leads[b]) continue;
      if (found.count == static_cast<int>(found.values.size())) return LeadList{-1, {}};
      found.values[static_cast<std::size_t>(found.count++)] = static_cast<std::uint8_t>(b);
    }
    return found;
  }();
  return list;
}

bool ShiftsAt(const std::uint8_t* p, std::size_t available, const char16_t* lower) noexcept {
  const KeyChar c = ReadKeyChar(p, available, lower);
  return c.textBytes != c.keyBytes;
}

// Returns where the first LF that does not follow a CR is, from `from` on; `size` if none.
std::size_t FirstBareLineFeed(const std::uint8_t* text, std::size_t from, std::size_t size) noexcept {
  while (from < size) {
    const void* const found = std::memchr(text + from, '\n', size - from);
    if (found == nullptr) return size;
    const auto at = static_cast<std::size_t>(static_cast<const std::uint8_t*>(found) - text);
    if (at == 0 || text[at - 1] != '\r') return at;
    from = at + 1;
  }
  return size;
}

// Returns where the first character whose key has another length than its text starts in
// item[0, end) (an item of `length` bytes), or `end`; sets `anyHigh` when it meets a byte 0x80
// or above before.
std::size_t FirstShift(const std::uint8_t* item, std::size_t length, std::size_t end,
                       bool& anyHigh) noexcept {
  const std::array<bool, 256>& leads = ShiftLeads();
  const char16_t* const lower = LowerCaseTable();
  std::size_t i = 0;
#if defined(__SSE2__)
  // Sixteen bytes at a time: any byte 0x80 or above, and where a lead of ShiftLeads is.
  const LeadList& list = ShiftLeadList();
  if (list.count >= 0) {
    __m128i leadValues[8];
    for (std::size_t k = 0; k < static_cast<std::size_t>(list.count); ++k)
      leadValues[k] = _mm_set1_epi8(static_cast<char>(list.values[k]));
    for (; i + 16 <= end; i += 16) {
      const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(item + i));
      if (_mm_movemask_epi8(block) == 0) continue;
      anyHigh = true;
      __m128i any = _mm_setzero_si128();
      for (std::size_t k = 0; k < static_cast<std::size_t>(list.count); ++k)
        any = _mm_or_si128(any, _mm_cmpeq_epi8(block, leadValues[k]));
      for (auto mask = static_cast<unsigned>(_mm_movemask_epi8(any)); mask != 0; mask &= mask - 1) {
        const std::size_t at = i + static_cast<std::size_t>(std::countr_zero(mask));
        if (ShiftsAt(item + at, length - at, lower)) return at;
      }
    }
  }
#endif
  while (i < end) {
    if (end - i >= 8) {
      std::uint64_t word;
      std::memcpy(&word, item + i, sizeof word);
      if ((word & kHighBits) == 0) {
        i += 8;
        continue;
      }
    }
    if (item[i] >= 0x80) {
      anyHigh = true;
      // A lead byte always starts a character, whatever the bytes before it.
      if (leads[item[i]] && ShiftsAt(item + i, length - i, lower)) return i;
    }
    ++i;
  }
  return end;
}

}  // namespace

void ShiftedItems::Scan(const std::uint8_t* text, std::size_t offset, std::size_t length,
                        bool lineFeedsAsCrLf) {
  const std::uint8_t* const item = text + offset;
  const std::size_t bareLineFeed = lineFeedsAsCrLf ? FirstBareLineFeed(item, 0, length) : length;
  const std::size_t first = FirstShift(item, length, bareLineFeed, anyHigh_);
  if (first >= length) return;
  Utf8KeyStream stream(item, length, first, first, LowerCaseTable(), lineFeedsAsCrLf);
  while (!stream.Done()) stream.Next();
  items_.push_back({offset, first, stream.Key()});
}

void ShiftedItems::Append(const ShiftedItems& later) {
  items_.insert(items_.end(), later.items_.begin(), later.items_.end());
  anyHigh_ = anyHigh_ || later.anyHigh_;
}

void ShiftedItems::Seal() {
  if (items_.empty()) return;
  // About 16 bits per item: one in sixteen items that are not shifted needs a search.
  const auto bits = static_cast<unsigned>(std::max<std::size_t>(6, std::bit_width(items_.size() * 16 - 1)));
  filterShift_ = 64 - bits;
  filter_.assign(std::size_t{1} << (bits - 6), 0);
  for (const ShiftedItem& s : items_) {
    const std::uint64_t bit = (s.offset * 0x9E3779B97F4A7C15ull) >> filterShift_;
    filter_[bit >> 6] |= std::uint64_t{1} << (bit & 63);
  }
}

}  // namespace ordwell::detail
