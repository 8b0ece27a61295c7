#include "sorting/detail/utf8_keys.h"

#include <array>
#include <cstring>

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

}  // namespace

Utf8Scan ScanUtf8(const std::uint8_t* text, std::size_t size, bool lineFeedsAsCrLf) noexcept {
  const std::array<bool, 256>& leads = ShiftLeads();
  const char16_t* const lower = LowerCaseTable();
  Utf8Scan scan;
  scan.firstShift = lineFeedsAsCrLf ? FirstBareLineFeed(text, 0, size) : size;
  std::size_t i = 0;
  while (i < size) {
    if (size - i >= 8) {
      std::uint64_t word;
      std::memcpy(&word, text + i, sizeof word);
      if ((word & kHighBits) == 0) {
        i += 8;
        continue;
      }
    }
    if (text[i] >= 0x80) {
      scan.anyHigh = true;
      if (leads[text[i]] && i < scan.firstShift && ShiftsAt(text + i, size - i, lower)) {
        scan.firstShift = i;
        return scan;
      }
    }
    ++i;
  }
  return scan;
}

bool FindShift(const std::uint8_t* item, std::size_t length, bool lineFeedsAsCrLf,
               ShiftedItem& shifted) noexcept {
  const std::array<bool, 256>& leads = ShiftLeads();
  const char16_t* const lower = LowerCaseTable();
  const std::size_t bareLineFeed = lineFeedsAsCrLf ? FirstBareLineFeed(item, 0, length) : length;
  for (std::size_t i = 0; i <= bareLineFeed && i < length; ++i) {
    // A lead byte always starts a character, whatever the bytes before it.
    if (i < bareLineFeed && (!leads[item[i]] || !ShiftsAt(item + i, length - i, lower))) continue;
    Utf8KeyStream stream(item, length, i, i, lower, lineFeedsAsCrLf);
    while (!stream.Done()) stream.Next();
    shifted.first = i;
    shifted.keyLength = stream.Key();
    return true;
  }
  return false;
}

}  // namespace ordwell::detail
