#include "sorting/sort_list.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

#include "io/big_buffer.h"
#include "sorting/detail/key_prefix.h"
#include "sorting/detail/quicksort_driver.h"
#include "sorting/detail/record_steps.h"
#include "sorting/detail/run_merge.h"
#include "sorting/detail/separator_search.h"
#include "sorting/detail/sort_key.h"
#include "sorting/detail/sort_list_detail.h"
#include "sorting/detail/sorted_items.h"
#include "sorting/detail/task_queue.h"
#include "sorting/detail/utf8_keys.h"
#include "sorting/sorted_list.h"

namespace ordwell {
namespace {

// Below this many units (or 64 sort grains) a second thread for lower-casing costs more than it saves.
constexpr std::size_t kMinParallelSplitUnits = std::size_t{1} << 20;

// Below this many records a second thread for their first key units costs more than it saves.
constexpr std::size_t kMinParallelPrefixes = std::size_t{1} << 16;

using detail::ForEachSeparator;

// Counts the items splitting gives: one more than the separator matches.
template <class Char>
std::size_t CountItems(std::basic_string_view<Char> text, std::basic_string_view<Char> separator) {
  std::size_t count = 1;
  ForEachSeparator(text, separator, [&count](std::size_t) { ++count; });
  return count;
}

template <class Record, class Char>
class SortedRecords final : public detail::BasicSortedItems<Char> {
 public:
  SortedRecords(std::basic_string_view<Char> text, std::size_t count, std::size_t itemUnits,
                io::BigBuffer<Record> records, bool keysAsLongAsTexts)
      : text_(text),
        count_(count),
        itemUnits_(itemUnits),
        records_(std::move(records)),
        keysAsLongAsTexts_(keysAsLongAsTexts) {}

  bool KeysAsLongAsTexts() const noexcept override { return keysAsLongAsTexts_; }

  std::size_t Count() const noexcept override { return count_; }

  std::basic_string_view<Char> Item(std::size_t index) const noexcept override {
    return {text_.data() + records_[index].offset, static_cast<std::size_t>(records_[index].length)};
  }

  std::basic_string<Char> Join(std::basic_string_view<Char> separator) const override {
    std::basic_string<Char> joined(itemUnits_ + (count_ - 1) * separator.size(), Char{});
    Char* out = joined.data();
    bool first = true;
    Visit([&](const Char* item, std::size_t length) {
      if (!first) {
        std::memcpy(out, separator.data(), separator.size() * sizeof(Char));
        out += separator.size();
      }
      first = false;
      std::memcpy(out, item, length * sizeof(Char));
      out += length;
    });
    return joined;
  }

 private:
  template <class Visitor>
  void Visit(Visitor&& visit) const {
    constexpr std::size_t kPrefetchAhead = 16;
    const Char* const source = text_.data();
    for (std::size_t i = 0; i < count_; ++i) {
      if (i + kPrefetchAhead < count_) __builtin_prefetch(source + records_[i + kPrefetchAhead].offset);
      visit(source + records_[i].offset, static_cast<std::size_t>(records_[i].length));
    }
  }

  std::basic_string_view<Char> text_;
  std::size_t count_;
  std::size_t itemUnits_;
  io::BigBuffer<Record> records_;
  bool keysAsLongAsTexts_;
};

// Calls visit(offset, length) for each item of `text` that starts in [from, to), in list order,
// where `from` is where an item starts and `to` is where one starts or the text's end (by
// default, every item). With `crBeforeSeparator` a CR just before a separator belongs to the
// separator, not to the item. Only a separator of one unit may part the text anywhere but its
// start: longer ones can be found only from the left.
template <class Char, class Visit>
void ForEachItem(std::basic_string_view<Char> text, std::basic_string_view<Char> separator,
                 bool crBeforeSeparator, Visit&& visit, std::size_t from = 0,
                 std::size_t to = std::basic_string_view<Char>::npos) {
  to = std::min(to, text.size());
  std::size_t start = from;
  ForEachSeparator(text.substr(from, to - from), separator, [&](std::size_t match) {
    const std::size_t at = from + match;
    visit(start, (crBeforeSeparator && at > start && text[at - 1] == Char{'\r'} ? at - 1 : at) - start);
    start = at + separator.size();
  });
  if (to == text.size()) visit(start, text.size() - start);
}

// Sets each of `records` to where an item of `text` lies, in list order.
template <class Record, class Char>
void SplitInto(std::basic_string_view<Char> text, std::basic_string_view<Char> separator, Record* records) {
  Record* r = records;
  ForEachItem(text, separator, false, [&r](std::size_t offset, std::size_t length) {
    r->offset = static_cast<decltype(r->offset)>(offset);
    r->length = static_cast<decltype(r->length)>(length);
    ++r;
  });
}

// A byte text cut in two where an item starts, so that two threads can count, split and scan the
// items of each part on their own.
struct TextParts {
  // Where the second part starts; 0 when the text is one part.
  std::size_t cut = 0;
  // The items in the first part, and in all.
  std::size_t firstCount = 0;
  std::size_t count = 0;
};

// Cuts a large text split on one byte after the first separator at or past its middle, and counts
// the items of both parts side by side; else counts the items as one part.
TextParts CountInParts(std::string_view text, std::string_view separator, detail::WorkerPool* pool) {
  TextParts parts;
  const std::size_t middle = text.size() / 2;
  const void* const found = separator.size() == 1 && pool != nullptr && text.size() >= kMinParallelSplitUnits
                                ? std::memchr(text.data() + middle, separator[0], text.size() - middle)
                                : nullptr;
  if (found == nullptr) {
    parts.count = CountItems(text, separator);
    return parts;
  }
  parts.cut = static_cast<std::size_t>(static_cast<const char*>(found) - text.data()) + 1;
  std::size_t later = 0;
  detail::RunBoth(
      pool, [&] { parts.firstCount = CountItems(text.substr(0, parts.cut), separator) - 1; },
      [&] { later = CountItems(text.substr(parts.cut), separator); });
  parts.count = parts.firstCount + later;
  return parts;
}

// Sorts split records by the keys `keys` reads, telling equal keys' texts apart in `text` when
// their order must be exact, and keeps them as the sorted items of `text`.
template <class Record, class Keys, class Char>
std::unique_ptr<detail::BasicSortedItems<Char>> SortSplitRecords(
    std::basic_string_view<Char> text, io::BigBuffer<Record> records, const Keys& keys,
    const detail::ParallelPlan& plan, TieOrder ties, bool keysAsLongAsTexts = true) {
  const std::size_t count = records.size();
  // Each record's first key units, and the units of all items; a large list's halves side by side.
  std::size_t itemUnits = 0;
  std::size_t laterUnits = 0;
  const auto fill = [&records, &keys](std::size_t from, std::size_t to, std::size_t& units) {
    for (std::size_t i = from; i < to; ++i) {
      records[i].prefix = keys.Prefix(records[i].offset, records[i].length, 0);
      units += records[i].length;
    }
  };
  const std::size_t half = count >= kMinParallelPrefixes ? count / 2 : count;
  detail::RunBoth(
      half < count ? plan.pool : nullptr, [&] { fill(0, half, itemUnits); },
      [&] { fill(half, count, laterUnits); });
  itemUnits += laterUnits;
  const Char* const units = text.data();
  // Unless ties must end where the quicksort's exchanges leave them, equal keys may as well have
  // equal texts: the ranks then never need those exchanges replayed over them.
  const bool anyTieOrder = ties != TieOrder::kExact;
  const auto sameText = [units, anyTieOrder](const Record& a, const Record& b) {
    return anyTieOrder ||
           (a.length == b.length && std::memcmp(units + a.offset, units + b.offset,
                                                static_cast<std::size_t>(a.length) * sizeof(Char)) == 0);
  };
  // Unless the quicksort's ties are asked for, equal keys may stay in the order they come, which
  // lists in a few long runs reach fastest by merging them.
  const auto keyOrder = [&keys](const Record& a, const Record& b) {
    if (a.prefix != b.prefix) return a.prefix < b.prefix ? -1 : 1;
    return detail::TailOrder(keys, a.offset, a.length, b.offset, b.length, 0);
  };
  if (ties == TieOrder::kExact || !detail::MergeRuns(records.data(), count, keyOrder, plan.pool)) {
    detail::RecordSteps<Record, Keys, decltype(sameText)>(records.data(), keys, sameText, 0,
                                                          ties == TieOrder::kInput)
        .Sort(0, static_cast<std::int64_t>(count) - 1, plan);
  }
  return std::make_unique<SortedRecords<Record, Char>>(text, count, itemUnits, std::move(records),
                                                       keysAsLongAsTexts);
}

// Lower-cases the text once into keys of `Unit`, splits it into records, and sorts them.
template <class Record, class Unit>
std::unique_ptr<detail::SortedItems> SortRecords(std::u16string_view text, std::u16string_view separator,
                                                 std::size_t count, const detail::ParallelPlan& plan,
                                                 TieOrder ties) {
  io::BigBuffer<Unit> keys(text.size());
  const auto lower = [&keys, text] {
    if constexpr (sizeof(Unit) == 1) {
      LowerCaseUnitsNarrow(text.data(), keys.data(), text.size());
    } else {
      LowerCaseUnits(text.data(), keys.data(), text.size());
    }
  };
  io::BigBuffer<Record> records(count);
  // Lower-casing and splitting are independent; on a large list they share the cores.
  const bool large = text.size() >= std::min(kMinParallelSplitUnits, 64 * plan.grain);
  detail::RunBoth(
      large ? plan.pool : nullptr, [&] { SplitInto(text, separator, records.data()); }, lower);
  return SortSplitRecords(text, std::move(records), detail::StoredKeys<Unit>{keys.data()}, plan, ties);
}

// How a UTF-8 text's line breaks are read.
struct LineBreaks {
  // A CR just before a separator belongs to the separator.
  bool crBeforeSeparator = false;
  // Each LF that does not follow a CR reads as CR LF.
  bool lineFeedsAsCrLf = false;
};

// Splits a UTF-8 text into records and sorts them by keys lower-cased as they are read: ASCII
// text by its bytes, any other through the characters, with the items whose key is not aligned
// with their text listed for the key source.
template <class Record>
std::unique_ptr<detail::BasicSortedItems<char>> SortByteRecords(std::string_view text,
                                                                std::string_view separator,
                                                                const TextParts& parts,
                                                                const detail::ParallelPlan& plan,
                                                                LineBreaks breaks, TieOrder ties) {
  const auto* const bytes = reinterpret_cast<const std::uint8_t*>(text.data());
  io::BigBuffer<Record> records(parts.count);
  // Goes over the items that start in [from, to) once: sets records from `out` on to where they
  // lie, and has `found` scan them for keys that are not aligned with their text (either may be
  // null).
  const auto splitPart = [&](Record* out, detail::ShiftedItems* found, std::size_t from, std::size_t to) {
    ForEachItem(
        text, separator, breaks.crBeforeSeparator,
        [&](std::size_t offset, std::size_t length) {
          if (out != nullptr) {
            out->offset = static_cast<decltype(out->offset)>(offset);
            out->length = static_cast<decltype(out->length)>(length);
            ++out;
          }
          if (found != nullptr) found->Scan(bytes, offset, length, breaks.lineFeedsAsCrLf);
        },
        from, to);
  };
  // ASCII: every key is its text lower-cased, byte for byte, and nothing needs scanning.
  const bool ascii = !breaks.lineFeedsAsCrLf && IsAscii(text);
  detail::ShiftedItems shifted;
  detail::ShiftedItems later;
  if (parts.cut != 0) {
    // Each thread splits (and scans) one part, in one pass over it.
    detail::RunBoth(
        plan.pool, [&] { splitPart(records.data(), ascii ? nullptr : &shifted, 0, parts.cut); },
        [&] {
          splitPart(records.data() + parts.firstCount, ascii ? nullptr : &later, parts.cut, text.size());
        });
    shifted.Append(later);
  } else if (ascii) {
    splitPart(records.data(), nullptr, 0, text.size());
  } else {
    // Scanning and splitting are independent; on a large list they share the cores.
    const bool large = text.size() >= std::min(kMinParallelSplitUnits, 64 * plan.grain);
    detail::RunBoth(
        large ? plan.pool : nullptr, [&] { splitPart(records.data(), nullptr, 0, text.size()); },
        [&] { splitPart(nullptr, &shifted, 0, text.size()); });
  }
  shifted.Seal();
  if (!shifted.anyHigh() && shifted.empty()) {
    return SortSplitRecords(text, std::move(records), detail::AsciiTextKeys{bytes}, plan, ties);
  }
  const detail::Utf8TextKeys keys{bytes, LowerCaseTable(), &shifted, breaks.lineFeedsAsCrLf};
  return SortSplitRecords(text, std::move(records), keys, plan, ties, shifted.empty());
}

// Splits and sorts a list; nullptr when the list is refused.
template <class Char>
std::unique_ptr<detail::BasicSortedItems<Char>> SortItems(std::basic_string_view<Char> listText,
                                                          std::basic_string_view<Char> separator,
                                                          const detail::SortOptions& options, TieOrder ties,
                                                          LineBreaks breaks = {}) {
  // An empty separator occurs in any non-empty text.
  if (listText.empty() || detail::FindSeparator(listText, separator) == std::basic_string_view<Char>::npos)
    return nullptr;
  // A large text has items enough for every core whatever their count, so its threads start before
  // the count, which they then share; a smaller text's count decides how many to start.
  const bool large = listText.size() >= kMinParallelSplitUnits;
  std::size_t count = large ? 0 : CountItems(listText, separator);
  detail::ParallelPlan plan;
  plan.threads =
      options.threads != 0 ? options.threads : detail::AutoThreads(std::max(count, listText.size() / 16));
  plan.grain = options.grain;
  plan.scanBudget = options.scanBudget;
  plan.workCount = options.workCount;
  // One pool of threads for every parallel step of this sort, joined when it returns or throws.
  std::optional<detail::WorkerPool> pool;
  if (plan.threads > 1) {
    plan.pool = &pool.emplace(plan.threads);
    plan.threads = plan.pool->Threads();
  }
  TextParts parts;
  if constexpr (std::is_same_v<Char, char>) {
    parts = large ? CountInParts(listText, separator, plan.pool) : TextParts{0, 0, count};
    count = parts.count;
  } else {
    if (large) count = CountItems(listText, separator);
  }
  if (count > static_cast<std::uint64_t>(options.maxItems))
    throw std::length_error("SortListText: the list has more items than a 32-bit index can address");

  const bool compact = !options.wideRecords && listText.size() <= std::numeric_limits<std::uint32_t>::max();
  if constexpr (std::is_same_v<Char, char>) {
    return compact ? SortByteRecords<detail::CompactRecord>(listText, separator, parts, plan, breaks, ties)
                   : SortByteRecords<detail::WideRecord>(listText, separator, parts, plan, breaks, ties);
  } else {
    const bool narrow = !options.wideKeys && AllUnitsBelow256(listText.data(), listText.size());
    if (compact) {
      return narrow ? SortRecords<detail::CompactRecord, std::uint8_t>(listText, separator, count, plan, ties)
                    : SortRecords<detail::CompactRecord, char16_t>(listText, separator, count, plan, ties);
    }
    return narrow ? SortRecords<detail::WideRecord, std::uint8_t>(listText, separator, count, plan, ties)
                  : SortRecords<detail::WideRecord, char16_t>(listText, separator, count, plan, ties);
  }
}

}  // namespace

namespace detail {

SortResult SortListTextWith(std::u16string_view listText, std::u16string_view inputSeparator,
                            std::u16string_view outputSeparator, const SortOptions& options) {
  SortResult result;
  const std::unique_ptr<detail::SortedItems> items =
      SortItems(listText, inputSeparator, options, TieOrder::kExact);
  if (items == nullptr) {
    result.refused = true;
  } else {
    result.text = items->Join(outputSeparator);
  }
  return result;
}

}  // namespace detail

SortResult SortListText(std::u16string_view listText, std::u16string_view inputSeparator,
                        std::u16string_view outputSeparator) {
  return detail::SortListTextWith(listText, inputSeparator, outputSeparator, {});
}

std::optional<SortedList> SortWith(std::u16string_view listText, std::u16string_view inputSeparator,
                                   const detail::SortOptions& options, TieOrder ties) {
  std::unique_ptr<detail::SortedItems> items = SortItems(listText, inputSeparator, options, ties);
  if (items == nullptr) return std::nullopt;
  return SortedList(std::move(items));
}

std::optional<SortedUtf8List> SortWith(std::string_view listText, std::string_view inputSeparator,
                                       const detail::SortOptions& options, TieOrder ties) {
  std::unique_ptr<detail::BasicSortedItems<char>> items = SortItems(listText, inputSeparator, options, ties);
  if (items == nullptr) return std::nullopt;
  return SortedUtf8List(std::move(items));
}

std::optional<SortedUtf8List> SortStreamTextWith(std::string_view listText, std::string_view inputSeparator,
                                                 const detail::SortOptions& options, TieOrder ties) {
  LineBreaks breaks;
  if (inputSeparator == "\r\n") {
    // Every LF ends an item, with the CR before it if any; no item holds an LF.
    inputSeparator = "\n";
    breaks.crBeforeSeparator = true;
  } else if (inputSeparator.find_first_of("\r\n") != std::string_view::npos) {
    throw std::invalid_argument("SortStreamText: a separator other than CR LF holds a CR or an LF");
  } else {
    breaks.lineFeedsAsCrLf = true;
  }
  std::unique_ptr<detail::BasicSortedItems<char>> items =
      SortItems(listText, inputSeparator, options, ties, breaks);
  if (items == nullptr) return std::nullopt;
  return SortedUtf8List(std::move(items));
}

std::optional<SortedUtf8List> SortStreamText(std::string_view listText, std::string_view inputSeparator,
                                             TieOrder ties) {
  return SortStreamTextWith(listText, inputSeparator, {}, ties);
}

template <class Char>
std::optional<BasicSortedList<Char>> BasicSortedList<Char>::Sort(Text listText, Text inputSeparator,
                                                                 TieOrder ties) {
  return SortWith(listText, inputSeparator, {}, ties);
}

template <class Char>
BasicSortedList<Char>::BasicSortedList(std::unique_ptr<const detail::BasicSortedItems<Char>> items) noexcept
    : items_(std::move(items)) {}
template <class Char>
BasicSortedList<Char>::BasicSortedList(BasicSortedList&&) noexcept = default;
template <class Char>
BasicSortedList<Char>& BasicSortedList<Char>::operator=(BasicSortedList&&) noexcept = default;
template <class Char>
BasicSortedList<Char>::~BasicSortedList() = default;

template <class Char>
std::size_t BasicSortedList<Char>::size() const noexcept {
  return items_->Count();
}

template <class Char>
auto BasicSortedList<Char>::operator[](std::size_t index) const noexcept -> Text {
  return items_->Item(index);
}

template <class Char>
std::basic_string<Char> BasicSortedList<Char>::Join(Text separator) const {
  return items_->Join(separator);
}

template <class Char>
bool BasicSortedList<Char>::SameKeyAsPrevious(std::size_t index) const noexcept {
  // Callers walk the items in order, each a cache miss away from the last: fetching one a little
  // ahead lets those misses overlap.
  constexpr std::size_t kFetchAhead = 16;
  if (index + kFetchAhead < items_->Count()) __builtin_prefetch(items_->Item(index + kFetchAhead).data());
  const Text a = items_->Item(index - 1);
  const Text b = items_->Item(index);
  if (a.size() != b.size() && items_->KeysAsLongAsTexts()) return false;
  return EqualSortKeys(a, b);
}

template class BasicSortedList<char16_t>;
template class BasicSortedList<char>;

bool IsAscii(std::string_view text) noexcept {
  constexpr std::uint64_t kHigh = 0x8080808080808080ull;
  // Checked a stretch at a time, so that text that is not ASCII is told early.
  constexpr std::size_t kStretch = 4096;
  std::uint64_t any = 0;
  std::size_t i = 0;
  while (i + 8 <= text.size()) {
    const std::size_t stop = std::min(text.size() - 7, i + kStretch);
    for (; i < stop; i += 8) {
      std::uint64_t word;
      std::memcpy(&word, text.data() + i, sizeof word);
      any |= word;
    }
    if ((any & kHigh) != 0) return false;
  }
  for (; i < text.size(); ++i) any |= static_cast<unsigned char>(text[i]);
  return (any & kHigh) == 0;
}

bool EqualSortKeys(std::string_view a, std::string_view b) noexcept {
  const auto* const x = reinterpret_cast<const std::uint8_t*>(a.data());
  const auto* const y = reinterpret_cast<const std::uint8_t*>(b.data());
  // Identical bytes have identical keys: skip them, eight at a time.
  const std::size_t common = std::min(a.size(), b.size());
  std::size_t same = 0;
  for (; same + 8 <= common; same += 8) {
    std::uint64_t wx;
    std::uint64_t wy;
    std::memcpy(&wx, x + same, sizeof wx);
    std::memcpy(&wy, y + same, sizeof wy);
    if (wx != wy) break;
  }
  while (same < common && x[same] == y[same]) ++same;
  if (same == a.size() && same == b.size()) return true;
  // Back up to a character start in both texts: the nearest byte at or before `same` that is not
  // a continuation byte in either. A character spans at most three bytes before its last one, so
  // when those are all continuation bytes, none spans `same`, and it starts a character itself.
  const auto continuation = [](std::string_view t, std::size_t k) {
    return k < t.size() && (static_cast<std::uint8_t>(t[k]) & 0xC0) == 0x80;
  };
  std::size_t i = same;
  while (i > 0 && same - i < 3 && (continuation(a, i) || continuation(b, i))) --i;
  if (continuation(a, i) || continuation(b, i)) i = same;
  // ASCII eight bytes at a time while both have it: there, key bytes lie at text bytes, and a
  // text that ends in ASCII has a key of its own length.
  for (;; i += 8) {
    const std::size_t restA = a.size() - i;
    const std::size_t restB = b.size() - i;
    const std::uint64_t wx = detail::KeyPrefix(x + i, restA);
    const std::uint64_t wy = detail::KeyPrefix(y + i, restB);
    if (((wx | wy) & 0x8080808080808080ull) != 0) break;
    if (detail::LowerAsciiLetters(wx) != detail::LowerAsciiLetters(wy)) return false;
    if (restA <= 8 || restB <= 8) return restA == restB;
  }
  const char16_t* const lower = LowerCaseTable();
  detail::Utf8KeyStream sx(x, a.size(), i, i, lower);
  detail::Utf8KeyStream sy(y, b.size(), i, i, lower);
  for (;;) {
    if (sx.Next() != sy.Next() || sx.Key() != sy.Key()) return false;
    if (sx.Done() || sy.Done()) return sx.Done() && sy.Done();
  }
}

bool EqualSortKeys(std::u16string_view a, std::u16string_view b) noexcept {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i] == b[i]) continue;
    char16_t lowerA = 0;
    char16_t lowerB = 0;
    LowerCaseUnits(&a[i], &lowerA, 1);
    LowerCaseUnits(&b[i], &lowerB, 1);
    if (lowerA != lowerB) return false;
  }
  return true;
}

}  // namespace ordwell
