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

// A key source tells, for the item whose text lies at `offset` with `length` units, the length of
// its key (Length) and KeyPrefix of its key units [depth, depth + kPrefixUnits) (Prefix, for any
// depth up to that length).

// Keys lower-cased once into a buffer, one unit per text unit, read where their records point.
template <class UnitType>
struct StoredKeys {
  using Unit = UnitType;

  std::size_t Length(std::size_t /*offset*/, std::size_t length) const noexcept { return length; }

  std::uint64_t Prefix(std::size_t offset, std::size_t length, std::size_t depth) const noexcept {
    return KeyPrefix(units + offset + depth, length - depth);
  }

  const Unit* units;
};

// Returns `word` with each byte from 'A' to 'Z' lower-cased; every other byte, 0x80 and above
// included, stays as it is. Eight bytes at a time, without a branch.
inline constexpr std::uint64_t LowerAsciiLetters(std::uint64_t word) noexcept {
  constexpr std::uint64_t kOnes = 0x0101010101010101ull;
  constexpr std::uint64_t kHigh = 0x80 * kOnes;
  // With each byte's top bit cleared, adding 0x80 - c sets it exactly where the byte is >= c,
  // and no byte carries into the next.
  const std::uint64_t low = word & ~kHigh;
  const std::uint64_t atLeastA = low + (0x80 - 'A') * kOnes;
  const std::uint64_t aboveZ = low + (0x80 - 'Z' - 1) * kOnes;
  const std::uint64_t upper = atLeastA & ~aboveZ & ~word & kHigh;
  return word | (upper >> 2);
}

// Orders two keys that agree as far as the shorter one goes: by length.
inline int LengthOrder(std::size_t aKey, std::size_t bKey) noexcept {
  return aKey < bKey ? -1 : (aKey == bKey ? 0 : 1);
}

// Keys read straight from a byte text, lower-cased as they are read: ASCII letters become lower
// case and every other byte compares as itself. For ASCII text this is the order the stored
// lower-cased keys give, without a buffer as large as the text.
struct AsciiTextKeys {
  using Unit = std::uint8_t;

  std::size_t Length(std::size_t /*offset*/, std::size_t length) const noexcept { return length; }

  std::uint64_t Prefix(std::size_t offset, std::size_t length, std::size_t depth) const noexcept {
    return LowerAsciiLetters(KeyPrefix(text + offset + depth, length - depth));
  }

  const std::uint8_t* text;
};

// Returns a negative number, zero or a positive number as the key of the item at `aOffset` is
// below, equal to or above that of the item at `bOffset` (texts of `aLength` and `bLength` units),
// keys that agree, zero padded, on key units [0, depth + kPrefixUnits): by unit value, a proper
// prefix first.
template <class Keys>
inline int TailOrder(const Keys& keys, std::size_t aOffset, std::size_t aLength, std::size_t bOffset,
                     std::size_t bLength, std::size_t depth) noexcept {
  constexpr std::size_t kUnits = kPrefixUnits<typename Keys::Unit>;
  const std::size_t aKey = keys.Length(aOffset, aLength);
  const std::size_t bKey = keys.Length(bOffset, bLength);
  std::size_t i = depth + kUnits;
  // A key that ends inside the agreeing part is a prefix of the other one.
  if (aKey <= i || bKey <= i) return LengthOrder(aKey, bKey);
  const std::size_t common = std::min(aKey, bKey);
  for (; i < common; i += kUnits) {
    // Past `common` the longer key's units only make its prefix larger, as its length would.
    const std::uint64_t x = keys.Prefix(aOffset, aLength, i);
    const std::uint64_t y = keys.Prefix(bOffset, bLength, i);
    if (x != y) return x < y ? -1 : 1;
  }
  return LengthOrder(aKey, bKey);
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
