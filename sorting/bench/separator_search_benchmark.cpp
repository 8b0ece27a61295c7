// The separator search on its worst case, a periodic separator "aa...ab" against a text of "a"
// with the separator at its end, at separator lengths from 1 Ki to 512 Ki units (1 MB), over
// 512 Ki units (1 MB) of text before the match. The peers are the filter-and-compare search used
// for short separators, applied to every length as it once was, and std::u16string_view::find;
// both cost text length times separator length here, so they run only at the two smaller lengths.
// The "words" rows show the ordinary case: a 64-unit separator between random words.

#include <benchmark/benchmark.h>

#include <cstddef>
#include <random>
#include <string>

#include "sorting/detail/separator_search.h"

namespace {

constexpr std::size_t kTextUnits = std::size_t{1} << 19;

struct Case {
  std::u16string separator;
  std::u16string text;
};

Case Periodic(std::size_t separatorUnits) {
  Case c{std::u16string(separatorUnits - 1, u'a') + u"b", std::u16string(kTextUnits, u'a')};
  c.text += c.separator;
  return c;
}

Case Words() {
  std::mt19937 rng(7);
  Case c;
  for (std::size_t i = 0; i < 64; ++i) c.separator.push_back(static_cast<char16_t>(u'a' + rng() % 26));
  while (c.text.size() < kTextUnits) {
    for (std::size_t i = 1 + rng() % 12; i > 0; --i)
      c.text.push_back(static_cast<char16_t>(u'a' + rng() % 26));
    c.text += rng() % 8 == 0 ? c.separator : u" ";
  }
  return c;
}

template <class Search>
void Run(benchmark::State& state, const Case& c, Search&& search) {
  for (auto _ : state) {
    std::size_t matches = 0;
    search(c.text, c.separator, [&matches](std::size_t) { ++matches; });
    benchmark::DoNotOptimize(matches);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * c.text.size() * sizeof(char16_t)));
}

const auto kLinear = [](std::u16string_view text, std::u16string_view separator, auto&& onMatch) {
  ordwell::detail::ForEachSeparator(text, separator, onMatch);
};
const auto kFilterAndCompare = [](std::u16string_view text, std::u16string_view separator, auto&& onMatch) {
  ordwell::detail::ForEachShortSeparator(text, separator, onMatch);
};
const auto kStdFind = [](std::u16string_view text, std::u16string_view separator, auto&& onMatch) {
  for (std::size_t at = text.find(separator); at != std::u16string_view::npos;
       at = text.find(separator, at + separator.size())) {
    onMatch(at);
  }
};

void PeriodicLinear(benchmark::State& state) {
  Run(state, Periodic(static_cast<std::size_t>(state.range(0))), kLinear);
}
void PeriodicFilterAndCompare(benchmark::State& state) {
  Run(state, Periodic(static_cast<std::size_t>(state.range(0))), kFilterAndCompare);
}
void PeriodicStdFind(benchmark::State& state) {
  Run(state, Periodic(static_cast<std::size_t>(state.range(0))), kStdFind);
}
void WordsLinear(benchmark::State& state) { Run(state, Words(), kLinear); }
void WordsFilterAndCompare(benchmark::State& state) { Run(state, Words(), kFilterAndCompare); }

BENCHMARK(PeriodicLinear)->Arg(1 << 10)->Arg(1 << 13)->Arg(1 << 19)->Unit(benchmark::kMillisecond);
BENCHMARK(PeriodicFilterAndCompare)->Arg(1 << 10)->Arg(1 << 13)->Unit(benchmark::kMillisecond);
BENCHMARK(PeriodicStdFind)->Arg(1 << 10)->Arg(1 << 13)->Unit(benchmark::kMillisecond);
BENCHMARK(WordsLinear)->Unit(benchmark::kMicrosecond);
BENCHMARK(WordsFilterAndCompare)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
