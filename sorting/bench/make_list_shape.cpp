// Writes one benchmark list shape to standard output, one item per line with no line break after
// the last item, so that line-based tools and a line-break separator see the same items.
// Usage: make_list_shape SHAPE COUNT

#include <cstdio>
#include <cstdlib>
#include <string>

#include "sorting/bench/list_shapes.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fputs(
        "usage: make_list_shape random|sorted|reversed|equal|variants|long|organ|adversary|sawtooth|fewkeys|"
        "intl|intllong|organcase COUNT\n",
        stderr);
    return 2;
  }
  const auto shape = ordwell::bench::ShapeFromName(argv[1]);
  const long long count = std::atoll(argv[2]);
  if (!shape || count < 1) {
    std::fputs("make_list_shape: unknown shape or bad count\n", stderr);
    return 2;
  }
  std::string text;
  for (const std::string& item : ordwell::bench::MakeItems(*shape, static_cast<std::size_t>(count))) {
    if (!text.empty()) text += '\n';
    text += item;
  }
  return std::fwrite(text.data(), 1, text.size(), stdout) == text.size() ? 0 : 1;
}
