#pragma once

// Keys as 64-bit numbers: a big-endian copy of 64 bits of a key, zero padded, orders keys like
// the keys themselves whenever two copies differ.

#include <algorithm>
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

// Orders two keys that agree, zero padded, on units [0, depth + kPrefixUnits): by unit value, a
// proper prefix first.
template <class Unit>
inline bool TailLess(const Unit* a, std::size_t aLength, const Unit* b, std::size_t bLength,
                     std::size_t depth) noexcept {
  std::size_t i = depth + kPrefixUnits<Unit>;
  // A key that ends inside the agreeing part is a prefix of the other one.
  if (aLength <= i || bLength <= i) return aLength < bLength;
  const std::size_t common = std::min(aLength, bLength);
  if constexpr (std::endian::native == std::endian::little) {
    for (; i + kPrefixUnits<Unit> <= common; i += kPrefixUnits<Unit>) {
      const std::uint64_t x = KeyPrefix(a + i, kPrefixUnits<Unit>);
      const std::uint64_t y = KeyPrefix(b + i, kPrefixUnits<Unit>);
      if (x != y) return x < y;
    }
  }
  for (; i < common; ++i) {
    if (a[i] != b[i]) return a[i] < b[i];
  }
  return aLength < bLength;
}

// Where an item lies in the list text (and its key in the key buffer), with 64 bits of its key,
// for texts whose offsets fit in 32 bits: 16 bytes.
struct CompactRecord {
  std::uint64_t prefix;
  std::uint32_t offset;
  std::uint32_t length;
};

// The same for any text size.
struct WideRecord {
  std::uint64_t prefix;
  std::uint64_t offset;
  std::uint64_t length;
};

// A wide record that also remembers which array element it came from.
struct IndexedRecord {
  std::uint64_t prefix;
  std::uint64_t offset;
  std::uint64_t length;
  std::uint64_t index;
};

}  // namespace ordwell::detail
