#include "sorting/bench/list_shapes.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <random>
#include <utility>

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

std::string RandomCase(std::mt19937_64& rng, std::string word) {
  for (char& c : word) {
    if (c >= 'a' && c <= 'z' && Below(rng, 2) == 0) c = static_cast<char>(c - 32);
  }
  return word;
}

// "w" and seven digits: rising from 0 to the middle, then falling from there to 1.
std::vector<std::string> OrganPipe(std::size_t count) {
  std::vector<std::string> items;
  items.reserve(count);
  const std::size_t half = count / 2;
  char word[16];
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t value = i < half ? i : half - (i - half);
    std::snprintf(word, sizeof word, "w%07zu", value);
    items.emplace_back(word);
  }
  return items;
}

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// The letters of a script as lower- and upper-case pairs (equal for a script without case).
using Letters = std::vector<std::pair<char32_t, char32_t>>;

const std::vector<Letters>& Scripts() {
  static const std::vector<Letters> scripts = [] {
    Letters latin;
    for (char32_t c = 'a'; c <= 'z'; ++c) latin.emplace_back(c, c - 32);
    for (char32_t c = 0xE0; c <= 0xFE; ++c) {
      if (c != 0xF7) latin.emplace_back(c, c - 32);
    }
    // Turkish: g and s with breve and cedilla, dotless i and dotted capital I.
    latin.insert(latin.end(), {{0x11F, 0x11E}, {0x15F, 0x15E}, {0x131, 'I'}, {'i', 0x130}, {0x153, 0x152}});
    Letters cyrillic;
    for (char32_t c = 0x430; c <= 0x44F; ++c) cyrillic.emplace_back(c, c - 32);
    Letters greek;
    for (char32_t c = 0x3B1; c <= 0x3C9; ++c) {
      if (c != 0x3C2) greek.emplace_back(c, c - 32);
    }
    Letters cjk;
    for (char32_t c = 0x4E00; c < 0x4E00 + 3000; ++c) cjk.emplace_back(c, c);
    return std::vector<Letters>{latin, cyrillic, greek, cjk};
  }();
  return scripts;
}

std::string IntlWord(std::mt19937_64& rng) {
  const Letters& letters = Scripts()[Below(rng, Scripts().size())];
  std::string word;
  for (std::size_t n = 3 + Below(rng, 8); n > 0; --n) {
    const auto& [lower, upper] = letters[Below(rng, letters.size())];
    AppendUtf8(word, Below(rng, 2) == 0 ? lower : upper);
  }
  return word;
}

// McIlroy's adversary against the quicksort steps (two-index partition around the middle
// element): values are decided lazily while the steps run, each pivot just above the values
// already fixed, so that every partition splits off only a few items.
std::vector<std::size_t> AdversaryValues(std::size_t count) {
  const std::size_t gas = count;
  std::vector<std::size_t> value(count, gas);
  std::size_t solid = 0;
  std::size_t candidate = 0;
  const auto less = [&](std::size_t a, std::size_t b) {
    if (value[a] == gas && value[b] == gas) value[a == candidate ? a : b] = solid++;
    if (value[a] == gas) {
      candidate = a;
    } else if (value[b] == gas) {
      candidate = b;
    }
    return value[a] < value[b];
  };
  std::vector<std::size_t> ids(count);
  for (std::size_t i = 0; i < count; ++i) ids[i] = i;
  // The quicksort steps on an explicit stack, left side before right side as the recursion takes
  // them.
  std::vector<std::pair<std::int64_t, std::int64_t>> pending{{0, static_cast<std::int64_t>(count) - 1}};
  while (!pending.empty()) {
    const auto [lo, hi] = pending.back();
    pending.pop_back();
    std::int64_t tmpLow = lo;
    std::int64_t tmpHi = hi;
    std::int64_t middle = (lo + hi) / 2;
    if (((lo + hi) & 1) != 0 && (middle & 1) != 0) ++middle;
    const std::size_t pivot = ids[static_cast<std::size_t>(middle)];
    while (tmpLow <= tmpHi) {
      while (less(ids[static_cast<std::size_t>(tmpLow)], pivot) && tmpLow < hi) ++tmpLow;
      while (less(pivot, ids[static_cast<std::size_t>(tmpHi)]) && tmpHi > lo) --tmpHi;
      if (tmpLow > tmpHi) break;
      std::swap(ids[static_cast<std::size_t>(tmpLow)], ids[static_cast<std::size_t>(tmpHi)]);
      ++tmpLow;
      --tmpHi;
    }
    if (tmpLow < hi) pending.emplace_back(tmpLow, hi);
    if (lo < tmpHi) pending.emplace_back(lo, tmpHi);
  }
  return value;
}

// The adversary's values as four-letter words in random letter case, its pattern repeated when
// more items are asked for than it is built at.
std::vector<std::string> Adversary(std::mt19937_64& rng, std::size_t count) {
  constexpr std::size_t kBuiltAt = 50'000;
  const std::vector<std::size_t> values = AdversaryValues(std::min(count, kBuiltAt));
  std::vector<std::string> items;
  items.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    std::size_t v = values[i % values.size()];
    std::string word(4, 'a');
    for (std::size_t k = 4; k-- > 0; v /= 26) word[k] = static_cast<char>('a' + v % 26);
    items.push_back(RandomCase(rng, std::move(word)));
  }
  return items;
}

}  // namespace

std::string_view ShapeName(Shape shape) {
  switch (shape) {
    case Shape::kRandom: return "random";
    case Shape::kSorted: return "sorted";
    case Shape::kReversed: return "reversed";
    case Shape::kAllEqual: return "equal";
    case Shape::kCaseVariants: return "variants";
    case Shape::kLongLines: return "long";
    case Shape::kOrganPipe: return "organ";
    case Shape::kAdversary: return "adversary";
    case Shape::kSawtooth: return "sawtooth";
    case Shape::kFewKeys: return "fewkeys";
    case Shape::kIntl: return "intl";
    case Shape::kIntlLong: return "intllong";
    case Shape::kOrganCase: return "organcase";
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
    case Shape::kRandom: return RandomWords(rng, count);
    case Shape::kSorted:
      items = RandomWords(rng, count);
      SortByLowerCase(items);
      return items;
    case Shape::kReversed:
      items = RandomWords(rng, count);
      SortByLowerCase(items);
      std::reverse(items.begin(), items.end());
      return items;
    case Shape::kAllEqual: return std::vector<std::string>(count, "Duplicate");
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
    case Shape::kOrganPipe: return OrganPipe(count);
    case Shape::kAdversary: return Adversary(rng, count);
    case Shape::kSawtooth: {
      std::vector<std::string> sorted = RandomWords(rng, count);
      SortByLowerCase(sorted);
      constexpr std::size_t kTooth = 1000;
      const std::size_t teeth = (count + kTooth - 1) / kTooth;
      items.reserve(count);
      for (std::size_t t = 0; t < teeth; ++t) {
        for (std::size_t i = t; i < count; i += teeth) items.push_back(std::move(sorted[i]));
      }
      return items;
    }
    case Shape::kFewKeys: {
      static constexpr const char* kWords[] = {"apple", "banana", "cherry", "damson", "elder",
                                               "fig",   "grape",  "hazel",  "kiwi",   "lemon"};
      items.reserve(count);
      for (std::size_t i = 0; i < count; ++i) items.push_back(RandomCase(rng, kWords[Below(rng, 10)]));
      return items;
    }
    case Shape::kIntl:
      items.reserve(count);
      for (std::size_t i = 0; i < count; ++i) items.push_back(IntlWord(rng));
      return items;
    case Shape::kIntlLong:
      items.reserve(count);
      for (std::size_t i = 0; i < count; ++i) {
        std::string line = IntlWord(rng);
        // About 100 characters: a word averages 6.5 letters and a space.
        for (int words = 1; words < 13; ++words) line += ' ' + IntlWord(rng);
        items.push_back(std::move(line));
      }
      return items;
    case Shape::kOrganCase:
      items = OrganPipe(count);
      for (std::string& item : items) item = RandomCase(rng, std::move(item));
      return items;
  }
  return items;
}

}  // namespace ordwell::bench
