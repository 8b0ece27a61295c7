#pragma once

// UTF-16 to UTF-8 and back for the tests, the fuzzer and the benchmarks, which compare the UTF-8
// sort with the UTF-16 one.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace ordwell::testing {

// Returns the UTF-8 form of `text`; nullopt when a surrogate half stands alone.
inline std::optional<std::string> Utf8Of(std::u16string_view text) {
  std::string bytes;
  const auto put = [&bytes](char32_t byte) { bytes.push_back(static_cast<char>(byte)); };
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c < 0xE000) {
      if (c >= 0xDC00 || i + 1 == text.size() || text[i + 1] < 0xDC00 || text[i + 1] >= 0xE000)
        return std::nullopt;
      c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
    }
    if (c < 0x80) {
      put(c);
    } else if (c < 0x800) {
      put(0xC0 | (c >> 6));
      put(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      put(0xE0 | (c >> 12));
      put(0x80 | ((c >> 6) & 0x3F));
      put(0x80 | (c & 0x3F));
    } else {
      put(0xF0 | (c >> 18));
      put(0x80 | ((c >> 12) & 0x3F));
      put(0x80 | ((c >> 6) & 0x3F));
      put(0x80 | (c & 0x3F));
    }
  }
  return bytes;
}

// Returns the UTF-8 form of `text`, which holds no lone surrogate half.
inline std::string ToUtf8(std::u16string_view text) { return Utf8Of(text).value(); }

// Returns the UTF-16 form of `bytes`, which must be valid UTF-8.
inline std::u16string Utf16Of(std::string_view bytes) {
  std::u16string text;
  for (std::size_t i = 0; i < bytes.size();) {
    const auto lead = static_cast<unsigned char>(bytes[i]);
    const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    char32_t c = length == 1 ? lead : lead & (0x7Fu >> length);
    for (std::size_t k = 1; k < length; ++k)
      c = (c << 6) | (static_cast<unsigned char>(bytes[i + k]) & 0x3Fu);
    if (c >= 0x10000) {
      text += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
      text += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    } else {
      text += static_cast<char16_t>(c);
    }
    i += length;
  }
  return text;
}

}  // namespace ordwell::testing
