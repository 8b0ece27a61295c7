#pragma once

#include <cstddef>

namespace ordwell {

// Lower-cases `count` UTF-16 units from `in` into `out`, one unit for one: "A"-"Z" always, every
// other unit by ICU's simple case mapping, surrogate halves and units whose mapping leaves the
// Basic Multilingual Plane unchanged. `in` and `out` may be the same buffer.
void LowerCaseUnits(const char16_t* in, char16_t* out, std::size_t count) noexcept;

// Returns the lower-case counterpart of one UTF-16 unit, by the same rule as LowerCaseUnits.
char16_t LowerCaseUnit(char16_t unit) noexcept;

}  // namespace ordwell
