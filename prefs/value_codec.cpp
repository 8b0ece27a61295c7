#include "prefs/value_codec.h"

#include <cstdint>

#include <unicode/utf16.h>
#include <unicode/utf8.h>

namespace ordwell::prefs {
namespace {

// Replaces every occurrence of `from`, scanning left to right and never looking again at
// text that was put in.
std::u16string ReplaceAll(std::u16string_view text, std::u16string_view from, std::u16string_view to) {
  std::u16string out;
  out.reserve(text.size());
  std::size_t pos = 0;
  for (std::size_t hit = text.find(from); hit != std::u16string_view::npos; hit = text.find(from, pos)) {
    out.append(text.substr(pos, hit - pos)).append(to);
    pos = hit + from.size();
  }
  out.append(text.substr(pos));
  return out;
}

}  // namespace

std::string ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  const auto length = static_cast<std::int64_t>(text.size());
  for (std::int64_t i = 0; i < length;) {
    UChar32 c = 0;
    U16_NEXT(text.data(), i, length, c);
    if (U_IS_SURROGATE(c)) c = 0xFFFD;
    char unit[U8_MAX_LENGTH];
    std::int32_t n = 0;
    U8_APPEND_UNSAFE(unit, n, c);
    out.append(unit, static_cast<std::size_t>(n));
  }
  return out;
}

std::u16string FromUtf8(std::string_view bytes) {
  std::u16string out;
  out.reserve(bytes.size());
  const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
  const auto length = static_cast<std::int64_t>(bytes.size());
  for (std::int64_t i = 0; i < length;) {
    UChar32 c = 0;
    U8_NEXT_OR_FFFD(data, i, length, c);
    char16_t unit[U16_MAX_LENGTH];
    std::int32_t n = 0;
    U16_APPEND_UNSAFE(unit, n, c);
    out.append(unit, static_cast<std::size_t>(n));
  }
  return out;
}

std::u16string EscapeValue(std::u16string_view text) {
  return ReplaceAll(ReplaceAll(text, u"\r\n", u"lsCrLf"), u" ", u"lsSpc");
}

std::u16string UnescapeValue(std::u16string_view stored) {
  return ReplaceAll(ReplaceAll(stored, u"lsCrLf", u"\r\n"), u"lsSpc", u" ");
}

}  // namespace ordwell::prefs
