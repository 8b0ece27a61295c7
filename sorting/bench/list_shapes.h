#pragma once

// The list shapes the benchmarks sort, generated the same way for the in-process benchmark and
// for the files bench/compare.sh feeds to whole programs.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ordwell::bench {

enum class Shape { kRandom, kSorted, kReversed, kAllEqual, kCaseVariants, kLongLines };

inline constexpr Shape kAllShapes[] = {Shape::kRandom,   Shape::kSorted,       Shape::kReversed,
                                       Shape::kAllEqual, Shape::kCaseVariants, Shape::kLongLines};

// Returns the shape's short name ("random", "sorted", "reversed", "equal", "variants", "long").
std::string_view ShapeName(Shape shape);

// Returns the shape with that short name, if any.
std::optional<Shape> ShapeFromName(std::string_view name);

// Returns `count` ASCII items of the shape, the same for the same arguments on every run:
// random mixed-case words of 3 to 12 letters; those words in case-insensitive order; the same
// reversed; one word repeated; 1,000 words each in many case variants; lines of about 100
// characters made of words and spaces.
std::vector<std::string> MakeItems(Shape shape, std::size_t count);

}  // namespace ordwell::bench
