#include "tools/ordwell-sort/byte_path.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <exception>
#include <thread>

#include "sorting/sorted_list.h"
#include "tools/ordwell-sort/output.h"
#include "tools/ordwell-sort/stream_decode.h"

namespace ordwell::cli {

namespace {

// Texts this large are searched or checked in two halves side by side.
constexpr std::size_t kMinSplit = std::size_t{1} << 22;

// Returns whether `test` holds for both bytes[0, cut) and bytes[cut, end), testing the second on
// another thread when one can be started.
template <class Test>
bool BothHalves(std::string_view bytes, std::size_t cut, const Test& test) noexcept {
  bool secondHolds = false;
  std::jthread second;
  try {
    second = std::jthread([&secondHolds, &test, rest = bytes.substr(cut)] { secondHolds = test(rest); });
  } catch (const std::exception&) {
    // No thread to spare.
    secondHolds = test(bytes.substr(cut));
  }
  const bool firstHolds = test(bytes.substr(0, cut));
  if (second.joinable()) second.join();
  return firstHolds && secondHolds;
}

// Whether every piece is valid UTF-8.
bool AllValidUtf8(std::span<const std::string_view> pieces) {
  for (const std::string_view piece : pieces) {
    if (piece.size() < kMinSplit || std::thread::hardware_concurrency() < 2) {
      if (!IsValidUtf8(piece)) return false;
      continue;
    }
    // Valid UTF-8 splits into two valid halves before any byte that is not a continuation
    // byte, and two valid halves make valid UTF-8.
    std::size_t middle = piece.size() / 2;
    for (int k = 0; k < 3 && (static_cast<unsigned char>(piece[middle]) & 0xC0) == 0x80; ++k) ++middle;
    if (!BothHalves(piece, middle, IsValidUtf8)) return false;
  }
  return true;
}

}  // namespace

bool ContainsByte(std::string_view bytes, char c) noexcept {
  const auto lacks = [c](std::string_view part) {
    return std::memchr(part.data(), c, part.size()) == nullptr;
  };
  if (bytes.size() < kMinSplit || std::thread::hardware_concurrency() < 2) return !lacks(bytes);
  return !BothHalves(bytes, bytes.size() / 2, lacks);
}

std::optional<ByteSort> PlanByteSort(std::span<const std::string_view> pieces,
                                     std::u16string_view inputSeparator, bool exact, bool equalKeysNeeded) {
  if (!AllValidUtf8(pieces)) return std::nullopt;
  const auto any = [pieces](char c) {
    return std::any_of(pieces.begin(), pieces.end(), [c](std::string_view p) { return ContainsByte(p, c); });
  };
  if (inputSeparator == u"\r\n") {
    // Decoding makes every LF a CR LF, so each LF ends an item, with the CR before it if any;
    // between two inputs, a CR LF keeps a CR that ends the first one in its last item.
    return ByteSort{"\r\n", exact ? "" : "\r\n", false};
  }
  if (inputSeparator.find_first_of(u"\r\n") != std::u16string_view::npos) return std::nullopt;
  if (inputSeparator.empty()) {
    // Every unit is an item: a byte only for ASCII, and a decoded LF is two of them.
    if (!std::all_of(pieces.begin(), pieces.end(), ordwell::IsAscii) || any('\r') || any('\n'))
      return std::nullopt;
    return ByteSort{"", "", false};
  }
  // Items may hold line breaks: an LF after no CR reads as the CR LF it decodes to.
  const bool anyCr = any('\r');
  if (equalKeysNeeded && anyCr) return std::nullopt;
  const std::string separator = OutputBytes(inputSeparator);
  return ByteSort{separator, exact ? "" : separator, anyCr};
}

}  // namespace ordwell::cli
