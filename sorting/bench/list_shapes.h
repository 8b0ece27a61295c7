#pragma once

// The list shapes the benchmarks sort, generated the same way for the in-process benchmark and
// for the files bench/compare.sh feeds to whole programs.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ordwell::bench {

enum class Shape {
  kRandom,
  kSorted,
  kReversed,
  kAllEqual,
  kCaseVariants,
  kLongLines,
  kOrganPipe,
  kAdversary,
  kSawtooth,
  kFewKeys
};

inline constexpr Shape kAllShapes[] = {
    Shape::kRandom,    Shape::kSorted,    Shape::kReversed,  Shape::kAllEqual, Shape::kCaseVariants,
    Shape::kLongLines, Shape::kOrganPipe, Shape::kAdversary, Shape::kSawtooth, Shape::kFewKeys};

// Returns the shape's short name ("random", "sorted", "reversed", "equal", "variants", "long",
// "organ", "adversary", "sawtooth", "fewkeys").
std::string_view ShapeName(Shape shape);

// Returns the shape with that short name, if any.
std::optional<Shape> ShapeFromName(std::string_view name);

// Returns `count` ASCII items of the shape, the same for the same arguments on every run:
// random mixed-case words of 3 to 12 letters; those words in case-insensitive order; the same
// reversed; one word repeated; 1,000 words each in many case variants; lines of about 100
// characters made of words and spaces; "w0000000" rising to the middle and falling again (an organ
// pipe, exact duplicates but no case variants); keys that drive the quicksort steps to their
// quadratic worst case (McIlroy's adversary, built at up to 50,000 items and repeated beyond, every
// item in random letter case); the sorted random words dealt into rising runs of 1,000 (a
// sawtooth); ten words in random letter case.
std::vector<std::string> MakeItems(Shape shape, std::size_t count);

}  // namespace ordwell::bench
