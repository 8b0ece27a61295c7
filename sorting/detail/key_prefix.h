#pragma once

// Keys as 64-bit numbers: a big-endian copy of 64 bits of a key, zero padded, orders keys like
// the keys themselves whenever two copies differ.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace ordwell::detail {

// Keys are held one byte per unit when every unit of the list is below 256 (the common case,
// and lower-casing keeps such units below 256), else as 16-bit units; either way they compare
// by unit value.
template <class Unit>
inline constexpr std::size_t kPrefixUnits = sizeof(std::uint64_t) / sizeof(Unit);

// Packs key units [0, kPrefixUnits) big-endian and zero padded, so that comparing two packed
// values as unsigned numbers orders the keys whenever the values differ.
template <class Unit>
inline std::uint64_t KeyPrefix(const Unit* key, std::size_t length) noexcept {
  constexpr std::size_t kUnits = kPrefixUnits<Unit>;
  constexpr unsigned kBits = 8 * sizeof(Unit);
  if (length >= kUnits) {
    std::uint64_t word;
    std::memcpy(&word, key, sizeof word);
    if constexpr (std::endian::native == std::endian::little) {
      if constexpr (sizeof(Unit) == 1) {
        word = __builtin_bswap64(word);
      } else {
        word = (word >> 32) | (word << 32);
        word = ((word >> 16) & 0x0000FFFF0000FFFFull) | ((word & 0x0000FFFF0000FFFFull) << 16);
      }
    }
    return word;
  }
  std::uint64_t prefix = 0;
  for (std::size_t i = 0; i < length; ++i) prefix |= std::uint64_t{key[i]} << (64 - kBits * (i + 1));
  return prefix;
}

// Where an item lies in the list text (and its key in the key buffer), for texts whose offsets
// fit in 32 bits.
struct CompactRecord {
  std::uint32_t offset;
  std::uint32_t length;
};

// The same for any text size.
struct WideRecord {
  std::uint64_t offset;
  std::uint64_t length;
};

}  // namespace ordwell::detail
