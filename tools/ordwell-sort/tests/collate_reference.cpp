// A reference for ordwell-sort --locale: reads lines (UTF-8, LF) from standard input and writes
// them stably sorted by ICU's collator for the locale in argv[1], comparing two lines at a time
// at secondary strength.

#include <unicode/coll.h>
#include <unicode/locid.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: collate_reference LOCALE < lines\n";
    return 2;
  }
  UErrorCode status = U_ZERO_ERROR;
  const std::unique_ptr<icu::Collator> collator(icu::Collator::createInstance(icu::Locale(argv[1]), status));
  if (U_FAILURE(status)) return 2;
  collator->setStrength(icu::Collator::SECONDARY);
  std::vector<std::string> lines;
  for (std::string line; std::getline(std::cin, line);) lines.push_back(line);
  std::stable_sort(lines.begin(), lines.end(), [&](const std::string& a, const std::string& b) {
    UErrorCode compared = U_ZERO_ERROR;
    return collator->compareUTF8(a, b, compared) == UCOL_LESS;
  });
  for (const std::string& line : lines) std::cout << line << '\n';
  return std::cout.good() ? 0 : 1;
}
