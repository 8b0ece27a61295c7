#include "tools/ordwell-sort/byte_path.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "tools/ordwell-sort/output.h"
#include "tools/ordwell-sort/stream_decode.h"

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

}  // namespace

std::optional<ByteSort> PlanByteSort(std::span<const std::string_view> pieces,
                                     std::u16string_view inputSeparator, bool exact, bool unique) {
  if (!std::all_of(pieces.begin(), pieces.end(), IsValidUtf8)) return std::nullopt;
  const auto any = [pieces](char c) {
    return std::any_of(pieces.begin(), pieces.end(), [c](std::string_view p) { return Contains(p, c); });
  };
  if (inputSeparator == u"\r\n") {
    // Decoding makes every LF a CR LF, so each LF ends an item, with the CR before it if any;
    // between two inputs, a CR LF keeps a CR that ends the first one in its last item.
    return ByteSort{"\r\n", exact ? "" : "\r\n", false};
  }
  if (inputSeparator.find_first_of(u"\r\n") != std::u16string_view::npos) return std::nullopt;
  if (inputSeparator.empty()) {
    // Every unit is an item: a byte only for ASCII, and a decoded LF is two of them.
    if (!std::all_of(pieces.begin(), pieces.end(), IsAscii) || any('\r') || any('\n')) return std::nullopt;
    return ByteSort{"", "", false};
  }
  // Items may hold line breaks: an LF after no CR reads as the CR LF it decodes to.
  const bool anyCr = any('\r');
  if (unique && anyCr) return std::nullopt;
  const std::string separator = OutputBytes(inputSeparator);
  return ByteSort{separator, exact ? "" : separator, anyCr};
}

}  // namespace ordwell::cli
