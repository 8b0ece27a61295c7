#pragma once

// Sort keys: the lower-case forms of UTF-16 texts, one unit for one.

#include <cstddef>
#include <cstdint>

namespace ordwell {

// Lower-cases `count` UTF-16 units from `in` into `out`, one unit for one: "A"-"Z" always, every
// other unit by ICU's simple case mapping, surrogate halves and units whose mapping leaves the
// Basic Multilingual Plane unchanged. `in` and `out` may be the same buffer.
void LowerCaseUnits(const char16_t* in, char16_t* out, std::size_t count) noexcept;

// Lower-cases as LowerCaseUnits into one byte per unit; every unit of `in` must be below 256
// (their lower-case forms are too).
void LowerCaseUnitsNarrow(const char16_t* in, std::uint8_t* out, std::size_t count) noexcept;

// Returns the lower-case table LowerCaseUnits reads: entry u is the lower case of unit u.
const char16_t* LowerCaseTable() noexcept;

// Returns whether every one of the `count` units is below 256.
bool AllUnitsBelow256(const char16_t* units, std::size_t count) noexcept;

}  // namespace ordwell
