#pragma once

// Keys read straight from UTF-8 text, lower-cased as they are read, that order items exactly as
// the UTF-16 units of their lower case do (each unit lower-cased on its own, as LowerCaseUnits
// does). A character's key bytes are the UTF-8 of its lower case, with the lead bytes of
// U+E000-U+FFFF (0xEE, 0xEF) moved to 0xF5 and 0xF6, above those of the characters beyond U+FFFF:
// in UTF-16 those are surrogate pairs, below U+E000. Characters beyond U+FFFF keep their case, as
// each of their surrogate units lower-cases to itself. A byte that does not start a valid character
// stands for itself, so any byte text has keys.
//
// Most characters' lower case takes as many bytes as they do, and then key unit i lies at text
// byte i. A few take another number of bytes (U+0130 to "i", U+023A to U+2C65); an item holding
// one is "shifted": its key is read by walking its characters from the first such one on. The
// same holds for an LF that does not follow a CR when such an LF reads as CR LF.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "sorting/detail/key_prefix.h"

namespace ordwell::detail {

// One character as a key reads it: how many text bytes it takes, and its key bytes.
struct KeyChar {
  std::uint8_t textBytes;
  std::uint8_t keyBytes;
  std::uint8_t key[4];
};

// Reads the character at `p`, of which `available` bytes (at least one) are in the item;
// `lower` is LowerCaseTable().
[[gnu::always_inline]] inline KeyChar ReadKeyChar(const std::uint8_t* p, std::size_t available,
                                                  const char16_t* lower) noexcept {
  const std::uint8_t b0 = p[0];
  if (b0 < 0x80) {
    const auto letter = static_cast<std::uint8_t>(b0 - 'A') < 26 ? 0x20 : 0;
    return {1, 1, {static_cast<std::uint8_t>(b0 | letter), 0, 0, 0}};
  }
  const auto follows = [p, available](std::size_t i) { return i < available && (p[i] & 0xC0) == 0x80; };
  std::uint32_t code = 0;
  std::uint8_t textBytes = 0;
  if (b0 >= 0xC2 && b0 <= 0xDF && follows(1)) {
    code = ((b0 & 0x1Fu) << 6) | (p[1] & 0x3Fu);
    textBytes = 2;
  } else if (b0 >= 0xE0 && b0 <= 0xEF && follows(1) && follows(2) && (b0 != 0xE0 || p[1] >= 0xA0) &&
             (b0 != 0xED || p[1] < 0xA0)) {
    code = ((b0 & 0x0Fu) << 12) | ((p[1] & 0x3Fu) << 6) | (p[2] & 0x3Fu);
    textBytes = 3;
  } else if (b0 >= 0xF0 && b0 <= 0xF4 && follows(1) && follows(2) && follows(3) &&
             (b0 != 0xF0 || p[1] >= 0x90) && (b0 != 0xF4 || p[1] < 0x90)) {
    return {4, 4, {b0, p[1], p[2], p[3]}};
  } else {
    return {1, 1, {b0, 0, 0, 0}};
  }
  const char16_t l = lower[code];
  if (l < 0x80) return {textBytes, 1, {static_cast<std::uint8_t>(l), 0, 0, 0}};
  if (l < 0x800) {
    return {textBytes,
            2,
            {static_cast<std::uint8_t>(0xC0 | (l >> 6)), static_cast<std::uint8_t>(0x80 | (l & 0x3F)), 0, 0}};
  }
  auto lead = static_cast<std::uint8_t>(0xE0 | (l >> 12));
  if (lead >= 0xEE) lead = static_cast<std::uint8_t>(lead + 7);
  return {textBytes,
          3,
          {lead, static_cast<std::uint8_t>(0x80 | ((l >> 6) & 0x3F)),
           static_cast<std::uint8_t>(0x80 | (l & 0x3F)), 0}};
}

// Returns where the character holding byte `at` of an item of `length` bytes starts.
inline std::size_t CharStart(const std::uint8_t* item, std::size_t length, std::size_t at,
                             const char16_t* lower) noexcept {
  if (at >= length || (item[at] & 0xC0) != 0x80) return at;
  std::size_t start = at;
  while (start > 0 && at - start < 3 && (item[start] & 0xC0) == 0x80) --start;
  if ((item[start] & 0xC0) == 0x80) return at;
  return ReadKeyChar(item + start, length - start, lower).textBytes > at - start ? start : at;
}

// Returns KeyPrefix of key units [depth, depth + 8) of an item whose key is aligned with its text
// up to byte `end` (the item's end, or its first character whose key has another length), where
// depth + 8 <= end or `end` is the item's end.
inline std::uint64_t AlignedPrefix(const std::uint8_t* item, std::size_t end, std::size_t depth,
                                   const char16_t* lower) noexcept {
  const std::size_t from = CharStart(item, end, depth, lower);
  const std::size_t stop = std::min(end, depth + 8);
  // Key bytes from `from` on; each character's are as many as its text bytes.
  std::uint8_t key[24] = {};
  std::size_t n = 0;
  for (std::size_t p = from; p < stop;) {
    const std::uint8_t b = item[p];
    if (b < 0x80) {
      key[n++] = static_cast<std::uint8_t>(b | (static_cast<std::uint8_t>(b - 'A') < 26 ? 0x20 : 0));
      ++p;
      continue;
    }
    const KeyChar c = ReadKeyChar(item + p, end - p, lower);
    std::memcpy(key + n, c.key, sizeof c.key);
    n += c.keyBytes;
    p += c.textBytes;
  }
  std::uint64_t word = KeyPrefix(key + (depth - from), 8);
  const std::size_t take = stop - depth;
  if (take < 8) word &= ~std::uint64_t{0} << (64 - 8 * take);
  return word;
}

// Reads an item's key bytes in order, eight at a time, from a character boundary on.
class Utf8KeyStream {
 public:
  // Starts at text byte `from` of the item (a character's start), which is key unit `key`; with
  // `lineFeedsAsCrLf`, an LF that does not follow a CR in the item reads as CR LF.
  Utf8KeyStream(const std::uint8_t* item, std::size_t length, std::size_t from, std::size_t key,
                const char16_t* lower, bool lineFeedsAsCrLf = false) noexcept
      : item_(item),
        length_(length),
        pos_(from),
        key_(key),
        lower_(lower),
        lineFeedsAsCrLf_(lineFeedsAsCrLf) {}

  // Skips the key units before `key`.
  void SkipTo(std::size_t key) noexcept {
    while (key_ < key) {
      if (at_ == current_.keyBytes) {
        if (pos_ >= length_) return;
        Load();
        if (key_ + current_.keyBytes <= key) {
          key_ += current_.keyBytes;
          at_ = current_.keyBytes;
          continue;
        }
      }
      ++at_;
      ++key_;
    }
  }

  // Returns KeyPrefix of the next kPrefixUnits key units (zero padded past the key's end) and
  // moves past them.
  std::uint64_t Next() noexcept {
    if (at_ == current_.keyBytes && length_ - pos_ >= 8 && !lineFeedsAsCrLf_) {
      std::uint64_t word = KeyPrefix(item_ + pos_, 8);
      if ((word & 0x8080808080808080ull) == 0) {
        pos_ += 8;
        key_ += 8;
        return LowerAsciiLetters(word);
      }
    }
    std::uint64_t word = 0;
    for (unsigned have = 0; have < 8; ++have) {
      if (at_ == current_.keyBytes) {
        if (pos_ >= length_) break;
        Load();
      }
      word |= std::uint64_t{current_.key[at_++]} << (56 - 8 * have);
      ++key_;
    }
    return word;
  }

  // Returns the key units read or skipped so far, counting from the item's start.
  std::size_t Key() const noexcept { return key_; }

  // Returns whether the key has no units left.
  bool Done() const noexcept { return at_ == current_.keyBytes && pos_ >= length_; }

 private:
  void Load() noexcept {
    if (lineFeedsAsCrLf_ && item_[pos_] == '\n' && (pos_ == 0 || item_[pos_ - 1] != '\r')) {
      current_ = {1, 2, {'\r', '\n', 0, 0}};
      ++pos_;
      at_ = 0;
      return;
    }
    current_ = ReadKeyChar(item_ + pos_, length_ - pos_, lower_);
    pos_ += current_.textBytes;
    at_ = 0;
  }

  const std::uint8_t* item_;
  std::size_t length_;
  std::size_t pos_;
  std::size_t key_;
  const char16_t* lower_;
  bool lineFeedsAsCrLf_;
  KeyChar current_{0, 0, {0, 0, 0, 0}};
  std::uint8_t at_ = 0;
};

// An item whose key is not aligned with its text from byte `first` on, and whose key has
// `keyLength` units.
struct ShiftedItem {
  std::uint64_t offset;
  std::uint64_t first;
  std::uint64_t keyLength;
};

// The items of a text whose key is not aligned with their text, and whether any byte is 0x80 or
// above: what a key source needs to know about the text besides its bytes.
class ShiftedItems {
 public:
  // Looks at the item of `length` bytes at `offset` of `text` (items in ascending offsets);
  // `lineFeedsAsCrLf` as for Utf8KeyStream.
  void Scan(const std::uint8_t* text, std::size_t offset, std::size_t length, bool lineFeedsAsCrLf);

  // Takes the items `later` found, all at offsets past those found here; before Seal.
  void Append(const ShiftedItems& later);

  // Builds the filter Find reads; call once every item is scanned.
  void Seal();

  // Returns the shifted item at `offset`, or nullptr.
  const ShiftedItem* Find(std::size_t offset) const noexcept {
    if (items_.empty()) return nullptr;
    const std::uint64_t bit = (offset * 0x9E3779B97F4A7C15ull) >> filterShift_;
    if (((filter_[bit >> 6] >> (bit & 63)) & 1) == 0) return nullptr;
    const auto it = std::lower_bound(items_.begin(), items_.end(), offset,
                                     [](const ShiftedItem& s, std::size_t o) { return s.offset < o; });
    return it != items_.end() && it->offset == offset ? &*it : nullptr;
  }

  bool empty() const noexcept { return items_.empty(); }
  bool anyHigh() const noexcept { return anyHigh_; }

 private:
  std::vector<ShiftedItem> items_;
  // A bit per hash of each shifted item's offset: most items are told apart without a search.
  std::vector<std::uint64_t> filter_;
  unsigned filterShift_ = 63;
  bool anyHigh_ = false;
};

// The key source for UTF-8 texts.
struct Utf8TextKeys {
  using Unit = std::uint8_t;

  const ShiftedItem* Find(std::size_t offset) const noexcept { return shifted->Find(offset); }

  std::size_t Length(std::size_t offset, std::size_t length) const noexcept {
    const ShiftedItem* const s = Find(offset);
    return s != nullptr ? static_cast<std::size_t>(s->keyLength) : length;
  }

  // A stream of the key of the item at `offset` from key unit `depth` on.
  Utf8KeyStream StreamAt(std::size_t offset, std::size_t length, std::size_t depth,
                         const ShiftedItem* s) const noexcept {
    const std::uint8_t* const item = text + offset;
    if (s != nullptr && depth >= s->first) {
      Utf8KeyStream stream(item, length, s->first, s->first, lower, lineFeedsAsCrLf);
      stream.SkipTo(depth);
      return stream;
    }
    const std::size_t from = CharStart(item, length, depth, lower);
    Utf8KeyStream stream(item, length, from, from, lower, lineFeedsAsCrLf);
    stream.SkipTo(depth);
    return stream;
  }

  std::uint64_t Prefix(std::size_t offset, std::size_t length, std::size_t depth) const noexcept {
    const ShiftedItem* const s = Find(offset);
    if (s == nullptr || depth + 8 <= s->first) {
      const std::uint64_t word = KeyPrefix(text + offset + depth, length - depth);
      if ((word & 0x8080808080808080ull) == 0) return LowerAsciiLetters(word);
      return AlignedPrefix(text + offset, s != nullptr ? static_cast<std::size_t>(s->first) : length, depth,
                           lower);
    }
    return StreamAt(offset, length, depth, s).Next();
  }

  const std::uint8_t* text;
  const char16_t* lower;
  const ShiftedItems* shifted;
  // An LF that does not follow a CR reads as CR LF; every item holding one is listed in `shifted`.
  bool lineFeedsAsCrLf = false;
};

// TailOrder for UTF-8 keys: streams both keys, so a comparison reads each key once however far
// its characters are from their text bytes.
inline int TailOrder(const Utf8TextKeys& keys, std::size_t aOffset, std::size_t aLength, std::size_t bOffset,
                     std::size_t bLength, std::size_t depth) noexcept {
  const ShiftedItem* const aShift = keys.Find(aOffset);
  const ShiftedItem* const bShift = keys.Find(bOffset);
  const std::size_t aKey = aShift != nullptr ? static_cast<std::size_t>(aShift->keyLength) : aLength;
  const std::size_t bKey = bShift != nullptr ? static_cast<std::size_t>(bShift->keyLength) : bLength;
  const std::size_t i = depth + 8;
  if (aKey <= i || bKey <= i) return LengthOrder(aKey, bKey);
  Utf8KeyStream a = keys.StreamAt(aOffset, aLength, i, aShift);
  Utf8KeyStream b = keys.StreamAt(bOffset, bLength, i, bShift);
  const std::size_t common = std::min(aKey, bKey);
  // Done() ends the loop too, so a stream can never spin, whatever it was told of the lengths.
  while (a.Key() < common && !a.Done() && !b.Done()) {
    const std::uint64_t x = a.Next();
    const std::uint64_t y = b.Next();
    if (x != y) return x < y ? -1 : 1;
  }
  return LengthOrder(aKey, bKey);
}

}  // namespace ordwell::detail
