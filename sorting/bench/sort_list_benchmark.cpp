// SortListText on 10k, 100k and 1M items of each list shape, with a complexity fit per shape;
// SortedAsciiList on the same lists as bytes (what ordwell-sort runs on ASCII input); and the
// plain form of the order (sorting/tests/reference_sort.h: keys lower-cased in every comparison)
// on random words as the peer.

#include <benchmark/benchmark.h>

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "sorting/bench/list_shapes.h"
#include "sorting/sort_list.h"
#include "sorting/sorted_list.h"
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

// The same list as bytes, one item per LF line.
const std::string& AsciiListText(Shape shape, std::size_t count) {
  static std::map<std::pair<Shape, std::size_t>, std::string> cache;
  std::string& text = cache[{shape, count}];
  if (text.empty()) {
    for (const std::string& item : ordwell::bench::MakeItems(shape, count)) {
      if (!text.empty()) text += '\n';
      text += item;
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

void SortAsciiList(benchmark::State& state, Shape shape) {
  const auto count = static_cast<std::size_t>(state.range(0));
  const std::string& text = AsciiListText(shape, count);
  for (auto _ : state) {
    std::optional<ordwell::SortedAsciiList> sorted = ordwell::SortedAsciiList::Sort(text, "\n");
    benchmark::DoNotOptimize(sorted->size());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
  state.SetComplexityN(state.range(0));
}

void ReferenceSort(benchmark::State& state) {
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

// SortList/<shape>/<size> and SortAsciiList/<shape>/<size> for every shape.
const bool kRegistered = [] {
  const std::pair<const char*, Shape> shapes[] = {
      {"random", Shape::kRandom},   {"sorted", Shape::kSorted},         {"reversed", Shape::kReversed},
      {"equal", Shape::kAllEqual},  {"variants", Shape::kCaseVariants}, {"long", Shape::kLongLines},
      {"organ", Shape::kOrganPipe}, {"adversary", Shape::kAdversary},   {"sawtooth", Shape::kSawtooth},
      {"fewkeys", Shape::kFewKeys}};
  for (const auto& [name, shape] : shapes) {
    benchmark::RegisterBenchmark((std::string("SortList/") + name).c_str(), SortList, shape)->Apply(Sizes);
  }
  for (const auto& [name, shape] : shapes) {
    benchmark::RegisterBenchmark((std::string("SortAsciiList/") + name).c_str(), SortAsciiList, shape)
        ->Apply(Sizes);
  }
  return true;
}();
BENCHMARK(ReferenceSort)
    ->RangeMultiplier(10)
    ->Range(10'000, 100'000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Complexity(benchmark::oNLogN);

}  // namespace

BENCHMARK_MAIN();
