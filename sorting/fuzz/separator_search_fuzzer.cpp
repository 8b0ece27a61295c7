// Decodes the fuzzer's bytes into a separator and a text over a small alphabet and aborts when the
// separator search finds other matches than a plain search repeated after each match, over UTF-16
// units and, when every unit fits in one, over bytes.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "sorting/detail/separator_search.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3) return 0;
  // Separators up to 4095 units, over an alphabet of one to four letters so that long partial
  // matches are common; 0xFF takes the next two bytes as a raw unit.
  const std::size_t separatorUnits = (data[0] | (data[1] & 0x0F) << 8);
  const unsigned letters = 1 + (data[1] >> 4) % 4;
  std::u16string separator;
  std::u16string text;
  for (std::size_t i = 2; i < size; ++i) {
    char16_t unit = static_cast<char16_t>(u'a' + data[i] % letters);
    if (data[i] == 0xFF && i + 2 < size) {
      unit = static_cast<char16_t>(data[i + 1] | data[i + 2] << 8);
      i += 2;
    }
    (separator.size() < separatorUnits ? separator : text).push_back(unit);
  }
  // Keeps the plain search, which costs text times separator, within a fraction of a second.
  constexpr std::size_t kPlainSearchBudget = std::size_t{1} << 24;
  if (!separator.empty()) text.resize(std::min(text.size(), kPlainSearchBudget / separator.size()));

  std::vector<std::size_t> expected;
  const std::u16string_view t = text;
  for (std::size_t at = t.find(separator); !separator.empty() && at != std::u16string_view::npos;
       at = t.find(separator, at + separator.size())) {
    expected.push_back(at);
  }
  std::vector<std::size_t> actual;
  ordwell::detail::ForEachSeparator(t, separator, [&actual](std::size_t at) { actual.push_back(at); });
  if (actual != expected) std::abort();
  if (ordwell::detail::FindSeparator(t, separator) != t.find(separator)) std::abort();

  // The same search over bytes, when every unit is one.
  const auto narrow = [](std::u16string_view units) {
    std::string bytes;
    for (const char16_t unit : units) {
      if (unit > 0xFF) return std::string();
      bytes.push_back(static_cast<char>(unit));
    }
    return bytes;
  };
  const std::string byteText = narrow(text);
  const std::string byteSeparator = narrow(separator);
  if (byteText.size() == text.size() && byteSeparator.size() == separator.size()) {
    actual.clear();
    ordwell::detail::ForEachSeparator(std::string_view(byteText), byteSeparator,
                                      [&actual](std::size_t at) { actual.push_back(at); });
    if (actual != expected) std::abort();
    if (ordwell::detail::FindSeparator(byteText, byteSeparator) != t.find(separator)) std::abort();
  }
  return 0;
}
