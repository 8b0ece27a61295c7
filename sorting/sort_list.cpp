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

#include "sorting/detail/big_buffer.h"
#include "sorting/detail/key_prefix.h"
#include "sorting/detail/record_steps.h"
#include "sorting/detail/separator_search.h"
#include "sorting/detail/sort_key.h"
#include "sorting/detail/sort_list_detail.h"
#include "sorting/detail/sorted_items.h"
#include "sorting/detail/task_queue.h"
#include "sorting/sorted_list.h"

namespace ordwell {
namespace {

// Below this many units (or 64 sort grains) a second thread for lower-casing costs more than it saves.
constexpr std::size_t kMinParallelSplitUnits = std::size_t{1} << 20;

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
                detail::BigBuffer<Record> records)
      : text_(text), count_(count), itemUnits_(itemUnits), records_(std::move(records)) {}

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
  detail::BigBuffer<Record> records_;
};

// Sets each of `records` to where an item of `text` lies, in list order.
template <class Record, class Char>
void SplitInto(std::basic_string_view<Char> text, std::basic_string_view<Char> separator, Record* records) {
  std::size_t start = 0;
  std::size_t item = 0;
  const auto add = [&](std::size_t end) {
    Record& r = records[item++];
    r.offset = static_cast<decltype(r.offset)>(start);
    r.length = static_cast<decltype(r.length)>(end - start);
  };
  ForEachSeparator(text, separator, [&](std::size_t at) {
    add(at);
    start = at + separator.size();
  });
  add(text.size());
}

// Sorts split records by the keys `keys` reads, telling equal keys' texts apart in `text`, and
// keeps them as the sorted items of `text`.
template <class Record, class Keys, class Char>
std::unique_ptr<detail::BasicSortedItems<Char>> SortSplitRecords(std::basic_string_view<Char> text,
                                                                 std::size_t separatorUnits,
                                                                 detail::BigBuffer<Record> records,
                                                                 const Keys& keys,
                                                                 const detail::ParallelPlan& plan) {
  const std::size_t count = records.size();
  for (std::size_t i = 0; i < count; ++i)
    records[i].prefix = keys.Prefix(records[i].offset, static_cast<std::size_t>(records[i].length));
  const Char* const units = text.data();
  const auto sameText = [units](const Record& a, const Record& b) {
    // Equal keys have equal lengths.
    return std::memcmp(units + a.offset, units + b.offset,
                       static_cast<std::size_t>(a.length) * sizeof(Char)) == 0;
  };
  detail::RecordSteps<Record, Keys, decltype(sameText)>(records.data(), keys, sameText)
      .Sort(0, static_cast<std::int64_t>(count) - 1, plan);
  // Items total the text minus the separators between them.
  const std::size_t itemUnits = text.size() - (count - 1) * separatorUnits;
  return std::make_unique<SortedRecords<Record, Char>>(text, count, itemUnits, std::move(records));
}

// Lower-cases the text once into keys of `Unit`, splits it into records, and sorts them.
template <class Record, class Unit>
std::unique_ptr<detail::SortedItems> SortRecords(std::u16string_view text, std::u16string_view separator,
                                                 std::size_t count, const detail::ParallelPlan& plan) {
  detail::BigBuffer<Unit> keys(text.size());
  const auto lower = [&keys, text] {
    if constexpr (sizeof(Unit) == 1) {
      LowerCaseUnitsNarrow(text.data(), keys.data(), text.size());
    } else {
      LowerCaseUnits(text.data(), keys.data(), text.size());
    }
  };
  detail::BigBuffer<Record> records(count);
  // Lower-casing and splitting are independent; on a large list they share the cores.
  const bool large = text.size() >= std::min(kMinParallelSplitUnits, 64 * plan.grain);
  detail::RunBoth(
      large ? plan.pool : nullptr, [&] { SplitInto(text, separator, records.data()); }, lower);
  return SortSplitRecords(text, separator.size(), std::move(records), detail::StoredKeys<Unit>{keys.data()},
                          plan);
}

// Splits a byte text into records and sorts them by keys lower-cased as they are read.
template <class Record>
std::unique_ptr<detail::SortedAsciiItems> SortAsciiRecords(std::string_view text, std::string_view separator,
                                                           std::size_t count,
                                                           const detail::ParallelPlan& plan) {
  detail::BigBuffer<Record> records(count);
  SplitInto(text, separator, records.data());
  const detail::AsciiTextKeys keys{reinterpret_cast<const std::uint8_t*>(text.data())};
  return SortSplitRecords(text, separator.size(), std::move(records), keys, plan);
}

// Splits and sorts a list; nullptr when the list is refused.
template <class Char>
std::unique_ptr<detail::BasicSortedItems<Char>> SortItems(std::basic_string_view<Char> listText,
                                                          std::basic_string_view<Char> separator,
                                                          const detail::SortOptions& options) {
  // An empty separator occurs in any non-empty text.
  if (listText.empty() || detail::FindSeparator(listText, separator) == std::basic_string_view<Char>::npos)
    return nullptr;
  const std::size_t count = CountItems(listText, separator);
  if (count > static_cast<std::uint64_t>(options.maxItems))
    throw std::length_error("SortListText: the list has more items than a 32-bit index can address");

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
  const bool compact = !options.wideRecords && listText.size() <= std::numeric_limits<std::uint32_t>::max();
  if constexpr (std::is_same_v<Char, char>) {
    return compact ? SortAsciiRecords<detail::CompactRecord>(listText, separator, count, plan)
                   : SortAsciiRecords<detail::WideRecord>(listText, separator, count, plan);
  } else {
    const bool narrow = !options.wideKeys && AllUnitsBelow256(listText.data(), listText.size());
    if (compact) {
      return narrow ? SortRecords<detail::CompactRecord, std::uint8_t>(listText, separator, count, plan)
                    : SortRecords<detail::CompactRecord, char16_t>(listText, separator, count, plan);
    }
    return narrow ? SortRecords<detail::WideRecord, std::uint8_t>(listText, separator, count, plan)
                  : SortRecords<detail::WideRecord, char16_t>(listText, separator, count, plan);
  }
}

}  // namespace

namespace detail {

SortResult SortListTextWith(std::u16string_view listText, std::u16string_view inputSeparator,
                            std::u16string_view outputSeparator, const SortOptions& options) {
  SortResult result;
  const std::unique_ptr<detail::SortedItems> items = SortItems(listText, inputSeparator, options);
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
                                   const detail::SortOptions& options) {
  std::unique_ptr<detail::SortedItems> items = SortItems(listText, inputSeparator, options);
  if (items == nullptr) return std::nullopt;
  return SortedList(std::move(items));
}

std::optional<SortedList> SortedList::Sort(std::u16string_view listText, std::u16string_view inputSeparator) {
  return SortWith(listText, inputSeparator, {});
}

SortedList::SortedList(std::unique_ptr<const detail::SortedItems> items) noexcept
    : items_(std::move(items)) {}
SortedList::SortedList(SortedList&&) noexcept = default;
SortedList& SortedList::operator=(SortedList&&) noexcept = default;
SortedList::~SortedList() = default;

std::size_t SortedList::size() const noexcept { return items_->Count(); }

std::u16string_view SortedList::operator[](std::size_t index) const noexcept { return items_->Item(index); }

std::u16string SortedList::Join(std::u16string_view separator) const { return items_->Join(separator); }

std::optional<SortedAsciiList> SortAsciiWith(std::string_view listText, std::string_view inputSeparator,
                                             const detail::SortOptions& options) {
  std::unique_ptr<detail::SortedAsciiItems> items = SortItems(listText, inputSeparator, options);
  if (items == nullptr) return std::nullopt;
  return SortedAsciiList(std::move(items));
}

std::optional<SortedAsciiList> SortedAsciiList::Sort(std::string_view listText,
                                                     std::string_view inputSeparator) {
  return SortAsciiWith(listText, inputSeparator, {});
}

SortedAsciiList::SortedAsciiList(std::unique_ptr<const detail::SortedAsciiItems> items) noexcept
    : items_(std::move(items)) {}
SortedAsciiList::SortedAsciiList(SortedAsciiList&&) noexcept = default;
SortedAsciiList& SortedAsciiList::operator=(SortedAsciiList&&) noexcept = default;
SortedAsciiList::~SortedAsciiList() = default;

std::size_t SortedAsciiList::size() const noexcept { return items_->Count(); }

std::string_view SortedAsciiList::operator[](std::size_t index) const noexcept { return items_->Item(index); }

std::string SortedAsciiList::Join(std::string_view separator) const { return items_->Join(separator); }

bool EqualSortKeys(std::string_view a, std::string_view b) noexcept {
  if (a.size() != b.size()) return false;
  const detail::AsciiTextKeys aKeys{reinterpret_cast<const std::uint8_t*>(a.data())};
  const detail::AsciiTextKeys bKeys{reinterpret_cast<const std::uint8_t*>(b.data())};
  constexpr std::size_t kUnits = detail::kPrefixUnits<std::uint8_t>;
  for (std::size_t i = 0; i < a.size(); i += kUnits) {
    const std::size_t take = std::min(kUnits, a.size() - i);
    if (aKeys.Prefix(i, take) != bKeys.Prefix(i, take)) return false;
  }
  return true;
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
