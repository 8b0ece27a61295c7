#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

// When the command may sort its input straight from the bytes, with no decoded copy.
namespace ordwell::cli {

// How to sort the input from its bytes: the pieces joined by `joint`, split and sorted by
// SortStreamText on `separator`.
struct ByteSort {
  std::string separator;
  std::string joint;
  // Whether an item may hold a CR LF pair, which the output writes as LF.
  bool crLfInItems = false;
};

// Returns how to sort the `pieces` from their bytes so that the items and their order are those
// of decoding them (DecodeStreamTexts, joined by `inputSeparator`, or by nothing with `exact`)
// and splitting on `inputSeparator`; nullopt when the bytes cannot give them: the input is not
// valid UTF-8, the separator holds a line break other than being one, or is empty over text that
// is not ASCII or holds line breaks. With `unique`, also nullopt when telling equal keys apart
// would need the line breaks decoded.
std::optional<ByteSort> PlanByteSort(std::span<const std::string_view> pieces,
                                     std::u16string_view inputSeparator, bool exact, bool unique);

// Returns whether `bytes` holds the byte `c`; a large text is searched in two halves side by side.
bool ContainsByte(std::string_view bytes, char c) noexcept;

}  // namespace ordwell::cli
