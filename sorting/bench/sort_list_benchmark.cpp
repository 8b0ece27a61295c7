// SortListText on 10k, 100k and 1M items of each list shape, with a complexity fit per shape;
// SortedUtf8List on the same lists as UTF-8 bytes (what ordwell-sort runs); and the plain form
// of the order (sorting/tests/reference_sort.h: keys lower-cased in every comparison) on random
// words as the peer.

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
#include "sorting/tests/utf8_text.h"

namespace {

using ordwell::bench::Shape;

// The list text of a shape, one item per CR LF line, built once per shape and size.
const std::u16string& ListText(Shape shape, std::size_t count) {
  static std::map<std::pair<Shape, std::size_t>, std::u16string> cache;
  std::u16string& text = cache[{shape, count}];
  if (text.empty()) {
    for (const std::string& item : ordwell::bench::MakeItems(shape, count)) {
      if (!text.empty()) text += u"\r\n";
      text += ordwell::testing::Utf16Of(item);
    }
  }
  return text;
}

// The same list as UTF-8 bytes, one item per LF line.
const std::string& Utf8ListText(Shape shape, std::size_t count) {
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

void SortUtf8List(benchmark::State& state, Shape shape) {
  const auto count = static_cast<std::size_t>(state.range(0));
  const std::string& text = Utf8ListText(shape, count);
  for (auto _ : state) {
    std::optional<ordwell::SortedUtf8List> sorted = ordwell::SortedUtf8List::Sort(text, "\n");
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

// SortList/<shape>/<size> and SortUtf8List/<shape>/<size> for every shape.
const bool kRegistered = [] {
  for (const Shape shape : ordwell::bench::kAllShapes) {
    const std::string name(ordwell::bench::ShapeName(shape));
    benchmark::RegisterBenchmark(("SortList/" + name).c_str(), SortList, shape)->Apply(Sizes);
  }
  for (const Shape shape : ordwell::bench::kAllShapes) {
    const std::string name(ordwell::bench::ShapeName(shape));
    benchmark::RegisterBenchmark(("SortUtf8List/" + name).c_str(), SortUtf8List, shape)->Apply(Sizes);
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
