#include "sorting/detail/sort_key.h"

#include <unicode/uchar.h>
#include <unicode/utf16.h>

#include <array>
#include <cstdint>

namespace ordwell {
namespace {

using LowerTable = std::array<char16_t, 0x10000>;

// Filled once from ICU so every call after the first is a plain lookup.
const LowerTable& Table() noexcept {
  static const LowerTable table = [] {
    LowerTable t{};
    for (std::uint32_t c = 0; c < 0x10000; ++c) {
      const auto unit = static_cast<char16_t>(c);
      t[c] = unit;
      if (U16_IS_SURROGATE(unit)) continue;
      const UChar32 lower = u_tolower(static_cast<UChar32>(c));
      if (lower >= 0 && lower <= 0xFFFF && !U16_IS_SURROGATE(lower)) t[c] = static_cast<char16_t>(lower);
    }
    for (char16_t c = u'A'; c <= u'Z'; ++c) t[c] = static_cast<char16_t>(c + (u'a' - u'A'));
    return t;
  }();
  return table;
}

// Lower-cases blocks of `in` into `out`: blocks of ASCII by arithmetic, which vectorises, the
// rest through the table.
template <class Out>
void LowerBlocks(const char16_t* in, Out* out, std::size_t count, const LowerTable& table) noexcept {
  std::size_t i = 0;
  while (i < count) {
    const std::size_t block = count - i < 16 ? count - i : 16;
    char16_t any = 0;
    for (std::size_t j = 0; j < block; ++j) any = static_cast<char16_t>(any | in[i + j]);
    if (any < 0x80) {
      for (std::size_t j = 0; j < block; ++j) {
        const char16_t c = in[i + j];
        out[i + j] = static_cast<Out>(c + ((static_cast<unsigned>(c - u'A') < 26u) ? 32 : 0));
      }
    } else {
      for (std::size_t j = 0; j < block; ++j) out[i + j] = static_cast<Out>(table[in[i + j]]);
    }
    i += block;
  }
}

}  // namespace

void LowerCaseUnits(const char16_t* in, char16_t* out, std::size_t count) noexcept {
  LowerBlocks(in, out, count, Table());
}

void LowerCaseUnitsNarrow(const char16_t* in, std::uint8_t* out, std::size_t count) noexcept {
  LowerBlocks(in, out, count, Table());
}

const char16_t* LowerCaseTable() noexcept { return Table().data(); }

bool AllUnitsBelow256(const char16_t* units, std::size_t count) noexcept {
  constexpr std::size_t kBlock = 256;
  for (std::size_t i = 0; i < count; i += kBlock) {
    const std::size_t end = count - i < kBlock ? count : i + kBlock;
    char16_t any = 0;
    for (std::size_t j = i; j < end; ++j) any = static_cast<char16_t>(any | units[j]);
    if (any > 0xFF) return false;
  }
  return true;
}

}  // namespace ordwell
