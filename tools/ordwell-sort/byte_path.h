#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

// When the command may sort its input straight from the bytes, with no decoded copy.
namespace ordwell::cli {

// Returns the byte separator that splits the `pieces`, joined by it, into the very items that
// decoding them (DecodeStreamTexts, joined by `inputSeparator`) and splitting on `inputSeparator`
// gives, with no CR or LF inside any item; nullopt unless the pieces are ASCII and such a
// separator exists. With it the list can be sorted from its bytes, with no decoded copy.
std::optional<std::string> DirectSeparator(std::span<const std::string_view> pieces,
                                           std::u16string_view inputSeparator);

}  // namespace ordwell::cli
