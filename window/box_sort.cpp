#include "window/box_sort.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "sorting/sort_list.h"
#include "sorting/sorted_list.h"
#include "window/window_services.h"

namespace ordwell {

namespace {

std::u16string_view View(QStringView text) {
  return {reinterpret_cast<const char16_t*>(text.utf16()), static_cast<std::size_t>(text.size())};
}

// Joins the sorted items of a list of `listUnits` units, split on a separator of `inputUnits`
// units, with `separator`, straight into the string the box will hold.
QString Join(const SortedList& items, qsizetype listUnits, qsizetype inputUnits, QStringView separator) {
  const std::size_t count = items.size();
  const auto between = static_cast<qsizetype>(count - 1);
  // The items total the list minus the separators between them.
  QString joined(listUnits - between * inputUnits + between * separator.size(), Qt::Uninitialized);
  auto* out = reinterpret_cast<char16_t*>(joined.data());
  const auto* const separatorUnits = reinterpret_cast<const char16_t*>(separator.utf16());
  // Items lie all over the list: each is asked for, and its text fetched, a few items ahead.
  constexpr std::size_t kAhead = 16;
  std::array<std::u16string_view, kAhead> ahead;
  for (std::size_t i = 0; i < std::min(count, kAhead); ++i) ahead[i] = items[i];
  for (std::size_t i = 0; i < count; ++i) {
    std::u16string_view& slot = ahead[i % kAhead];
    const std::u16string_view item = slot;
    if (i + kAhead < count) {
      slot = items[i + kAhead];
      __builtin_prefetch(slot.data());
    }
    // Copied with copy_n, which takes the null pointers of empty texts.
    if (i > 0) out = std::copy_n(separatorUnits, separator.size(), out);
    out = std::copy_n(item.data(), item.size(), out);
  }
  return joined;
}

}  // namespace

bool SortsAsCrLf(QStringView text) {
  const auto* const units = reinterpret_cast<const char16_t*>(text.utf16());
  const auto size = static_cast<std::size_t>(text.size());
  // Checked in blocks the compiler can vectorise: vertical tab, form feed and CR are 11, 12, 13.
  constexpr std::size_t kBlock = 4096;
  for (std::size_t start = 0; start < size; start += kBlock) {
    const std::size_t end = std::min(size, start + kBlock);
    unsigned hits = 0;
    for (std::size_t i = start; i < end; ++i) hits |= static_cast<std::uint16_t>(units[i] - 11U) < 3U;
    if (hits != 0) return false;
  }
  return true;
}

std::optional<QString> SortBoxText(const QString& listText, const QString& inputSeparator,
                                   const QString& outputSeparator) {
  if (!SortsAsCrLf(listText) || !SortsAsCrLf(inputSeparator) || !SortsAsCrLf(outputSeparator)) {
    const SortResult result = SortListText(services::ToCrLf(listText), services::ToCrLf(inputSeparator),
                                           services::ToCrLf(outputSeparator));
    if (result.refused) return std::nullopt;
    return services::FromCrLf(result.text);
  }
  // Without those characters, a text and its CR LF form split at the same places and their items
  // compare alike (an LF and the CR LF pair compare the same way with every other character), so
  // the sort can run on the text as it is.
  const std::optional<SortedList> items = SortedList::Sort(View(listText), View(inputSeparator));
  if (!items) return std::nullopt;
  return Join(*items, listText.size(), inputSeparator.size(), outputSeparator);
}

}  // namespace ordwell
