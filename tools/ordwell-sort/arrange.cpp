#include "tools/ordwell-sort/arrange.h"

#include <algorithm>

#include "sorting/detail/sort_key.h"

namespace ordwell::cli {

int CompareKeys(std::u16string_view a, std::u16string_view b) noexcept {
  const std::size_t common = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < common; ++i) {
    if (a[i] == b[i]) continue;
    char16_t lowerA = 0;
    char16_t lowerB = 0;
    LowerCaseUnits(&a[i], &lowerA, 1);
    LowerCaseUnits(&b[i], &lowerB, 1);
    if (lowerA != lowerB) return lowerA < lowerB ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

}  // namespace ordwell::cli
