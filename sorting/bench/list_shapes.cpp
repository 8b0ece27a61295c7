#include "sorting/bench/list_shapes.h"

#include <algorithm>
#include <cstdint>
#include <random>

namespace ordwell::bench {
namespace {

constexpr std::string_view kLetters = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";

// Draws from the engine directly so the data does not depend on the library's distributions.
std::size_t Below(std::mt19937_64& rng, std::size_t bound) { return static_cast<std::size_t>(rng() % bound); }

std::string RandomWord(std::mt19937_64& rng) {
  std::string word(3 + Below(rng, 10), ' ');
  for (char& c : word) c = kLetters[Below(rng, kLetters.size())];
  return word;
}

std::string Lower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  }
  return text;
}

std::vector<std::string> RandomWords(std::mt19937_64& rng, std::size_t count) {
  std::vector<std::string> items;
  items.reserve(count);
  for (std::size_t i = 0; i < count; ++i) items.push_back(RandomWord(rng));
  return items;
}

void SortByLowerCase(std::vector<std::string>& items) {
  std::stable_sort(items.begin(), items.end(),
                   [](const std::string& a, const std::string& b) { return Lower(a) < Lower(b); });
}

}  // namespace

std::string_view ShapeName(Shape shape) {
  switch (shape) {
    case Shape::kRandom:
      return "random";
    case Shape::kSorted:
      return "sorted";
    case Shape::kReversed:
      return "reversed";
    case Shape::kAllEqual:
      return "equal";
    case Shape::kCaseVariants:
      return "variants";
    case Shape::kLongLines:
      return "long";
  }
  return "";
}

std::optional<Shape> ShapeFromName(std::string_view name) {
  for (const Shape shape : kAllShapes) {
    if (ShapeName(shape) == name) return shape;
  }
  return std::nullopt;
}

std::vector<std::string> MakeItems(Shape shape, std::size_t count) {
  std::mt19937_64 rng(20240611);
  std::vector<std::string> items;
  switch (shape) {
    case Shape::kRandom:
      return RandomWords(rng, count);
    case Shape::kSorted:
      items = RandomWords(rng, count);
      SortByLowerCase(items);
      return items;
    case Shape::kReversed:
      items = RandomWords(rng, count);
      SortByLowerCase(items);
      std::reverse(items.begin(), items.end());
      return items;
    case Shape::kAllEqual:
      return std::vector<std::string>(count, "Duplicate");
    case Shape::kCaseVariants: {
      std::vector<std::string> base = RandomWords(rng, 1000);
      items.reserve(count);
      for (std::size_t i = 0; i < count; ++i) {
        std::string word = Lower(base[Below(rng, base.size())]);
        for (char& c : word) {
          if (Below(rng, 2) == 0) c = static_cast<char>(c - 32);
        }
        items.push_back(std::move(word));
      }
      return items;
    }
    case Shape::kLongLines:
      items.reserve(count);
      for (std::size_t i = 0; i < count; ++i) {
        std::string line = RandomWord(rng);
        while (line.size() < 95) line += ' ' + RandomWord(rng);
        items.push_back(std::move(line));
      }
      return items;
  }
  return items;
}

}  // namespace ordwell::bench
