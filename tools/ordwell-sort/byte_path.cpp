#include "tools/ordwell-sort/byte_path.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace ordwell::cli {

namespace {

// Whether every byte is below 0x80; eight at a time.
bool IsAscii(std::string_view bytes) noexcept {
  std::uint64_t any = 0;
  std::size_t i = 0;
  for (; i + 8 <= bytes.size(); i += 8) {
    std::uint64_t word;
    std::memcpy(&word, bytes.data() + i, sizeof word);
    any |= word;
  }
  for (; i < bytes.size(); ++i) any |= static_cast<unsigned char>(bytes[i]);
  return (any & 0x8080808080808080ull) == 0;
}

bool Contains(std::string_view bytes, char c) noexcept {
  return std::memchr(bytes.data(), c, bytes.size()) != nullptr;
}

// Whether every CR is followed by an LF and every LF preceded by a CR.
bool OnlyCrLfPairs(std::string_view bytes) noexcept {
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] == '\r' && (i + 1 == bytes.size() || bytes[i + 1] != '\n')) return false;
    if (bytes[i] == '\n' && (i == 0 || bytes[i - 1] != '\r')) return false;
  }
  return true;
}

}  // namespace

std::optional<std::string> DirectSeparator(std::span<const std::string_view> pieces,
                                           std::u16string_view inputSeparator) {
  for (const char16_t unit : inputSeparator) {
    if (unit >= 0x80) return std::nullopt;
  }
  for (const std::string_view piece : pieces) {
    if (!IsAscii(piece)) return std::nullopt;
  }
  const bool anyCr =
      std::any_of(pieces.begin(), pieces.end(), [](std::string_view p) { return Contains(p, '\r'); });
  if (inputSeparator == u"\r\n") {
    // Decoding makes every LF a CR LF, so each LF ends an item, with the CR before it if any.
    if (!anyCr) return "\n";
    if (std::all_of(pieces.begin(), pieces.end(), OnlyCrLfPairs)) return "\r\n";
    return std::nullopt;
  }
  // Any other separator: the bytes are the decoded text only when they hold no line break.
  if (anyCr ||
      std::any_of(pieces.begin(), pieces.end(), [](std::string_view p) { return Contains(p, '\n'); }))
    return std::nullopt;
  if (inputSeparator.find_first_of(u"\r\n") != std::u16string_view::npos) return std::nullopt;
  return std::string(inputSeparator.begin(), inputSeparator.end());
}

}  // namespace ordwell::cli
