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
  kFewKeys,
  kIntl,
  kIntlLong,
  kOrganCase
};

inline constexpr Shape kAllShapes[] = {
    Shape::kRandom,    Shape::kSorted,    Shape::kReversed,  Shape::kAllEqual, Shape::kCaseVariants,
    Shape::kLongLines, Shape::kOrganPipe, Shape::kAdversary, Shape::kSawtooth, Shape::kFewKeys,
    Shape::kIntl,      Shape::kIntlLong,  Shape::kOrganCase};

// Returns the shape's short name ("random", "sorted", "reversed", "equal", "variants", "long",
// "organ", "adversary", "sawtooth", "fewkeys", "intl", "intllong", "organcase").
std::string_view ShapeName(Shape shape);

// Returns the shape with that short name, if any.
std::optional<Shape> ShapeFromName(std::string_view name);

// Returns `count` UTF-8 items of the shape, the same for the same arguments on every run:
// random mixed-case words of 3 to 12 letters; those words in case-insensitive order; the same
// reversed; one word repeated; 1,000 words each in many case variants; lines of about 100
// characters made of words and spaces; "w0000000" rising to the middle and falling again (an organ
// pipe, exact duplicates but no case variants); keys that drive the quicksort steps to their
// quadratic worst case (McIlroy's adversary, built at up to 50,000 items and repeated beyond, every
// item in random letter case); the sorted random words dealt into rising runs of 1,000 (a
// sawtooth); ten words in random letter case; words of 3 to 10 letters in random letter case, each
// from one script (Latin with accents and Turkish letters, Cyrillic, Greek, CJK ideographs); lines
// of about 100 characters of such words; the organ pipe with its "w" in random letter case, so
// that most keys have two spellings.
std::vector<std::string> MakeItems(Shape shape, std::size_t count);

}  // namespace ordwell::bench
