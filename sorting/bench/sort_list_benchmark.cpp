// SortListText on 10k, 100k and 1M items of each list shape, with a complexity fit per shape, and
// the literal steps (keys lower-cased in every comparison) on random words as the peer.

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "sorting/bench/list_shapes.h"
#include "sorting/sort_list.h"
#include "sorting/tests/reference_sort.h"

namespace {

using ordwell::bench::Shape;

// The list text of a shape, one item per CR LF line, built once per shape and size.
const std::u16string& ListText(Shape shape, std::size_t count) {
  static std::map<std::pair<Shape, std::size_t>, std::u16string> cache;
  std::u16string& text = cache[{shape, count}];
  if (text.empty()) {
    for (const std::string& item : ordwell::bench::MakeItems(shape, count)) {
      if (!text.empty()) text += u"\r\n";
      text.append(item.begin(), item.end());
    }
  }
  return text;
}

void SortList(benchmark::State& state, Shape shape) {
  const auto count = static_cast<std::size_t>(state.range(0));
  const std::u16string& text = ListText(shape, count);
  for (auto _ : state) {
    ordwell::SortResult result = ordwell::SortListText(text, u"\r\n", u"\r\n");
    benchmark::DoNotOptimize(result.text.data());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
  state.SetComplexityN(state.range(0));
}

void LiteralSteps(benchmark::State& state) {
  const auto count = static_cast<std::size_t>(state.range(0));
  const std::u16string& text = ListText(Shape::kRandom, count);
  for (auto _ : state) {
    ordwell::SortResult result = ordwell::reference::SortListText(text, u"\r\n", u"\r\n");
    benchmark::DoNotOptimize(result.text.data());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
  state.SetComplexityN(state.range(0));
}

void Sizes(benchmark::internal::Benchmark* b) {
  b->RangeMultiplier(10)->Range(10'000, 1'000'000)->Unit(benchmark::kMillisecond)->UseRealTime();
  b->Complexity(benchmark::oNLogN);
}

BENCHMARK_CAPTURE(SortList, random, Shape::kRandom)->Apply(Sizes);
BENCHMARK_CAPTURE(SortList, sorted, Shape::kSorted)->Apply(Sizes);
BENCHMARK_CAPTURE(SortList, reversed, Shape::kReversed)->Apply(Sizes);
BENCHMARK_CAPTURE(SortList, equal, Shape::kAllEqual)->Apply(Sizes);
BENCHMARK_CAPTURE(SortList, variants, Shape::kCaseVariants)->Apply(Sizes);
BENCHMARK_CAPTURE(SortList, long, Shape::kLongLines)->Apply(Sizes);
BENCHMARK_CAPTURE(SortList, organ, Shape::kOrganPipe)->Apply(Sizes);
BENCHMARK_CAPTURE(SortList, adversary, Shape::kAdversary)->Apply(Sizes);
BENCHMARK_CAPTURE(SortList, sawtooth, Shape::kSawtooth)->Apply(Sizes);
BENCHMARK_CAPTURE(SortList, fewkeys, Shape::kFewKeys)->Apply(Sizes);
BENCHMARK(LiteralSteps)
    ->RangeMultiplier(10)
    ->Range(10'000, 100'000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Complexity(benchmark::oNLogN);

}  // namespace

BENCHMARK_MAIN();
