#pragma once

#include <string>
#include <string_view>

// Conversions between the program's 16-bit text and what the settings file stores.
namespace ordwell::prefs {

// Returns the UTF-8 form of the text; an unpaired surrogate becomes U+FFFD.
std::string ToUtf8(std::u16string_view text);

// Returns the UTF-16 form of UTF-8 bytes; each ill-formed sequence becomes U+FFFD.
std::u16string FromUtf8(std::string_view bytes);

// Returns the text with every CR LF pair replaced by "lsCrLf" and then every space by "lsSpc".
std::u16string EscapeValue(std::u16string_view text);

// Returns the stored text with every "lsCrLf" replaced by CR LF and then every "lsSpc" by a space.
std::u16string UnescapeValue(std::u16string_view stored);

}  // namespace ordwell::prefs
