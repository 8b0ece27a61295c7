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
#include <system_error>
#include <thread>
#include <utility>

#include "sorting/detail/big_buffer.h"
#include "sorting/detail/key_prefix.h"
#include "sorting/detail/record_steps.h"
#include "sorting/detail/separator_search.h"
#include "sorting/detail/sort_key.h"
#include "sorting/detail/sort_list_detail.h"
#include "sorting/detail/sorted_items.h"
#include "sorting/sorted_list.h"

namespace ordwell {
namespace {

// Below this many units (or 64 sort grains) a second thread for lower-casing costs more than it saves.
constexpr std::size_t kMinParallelSplitUnits = std::size_t{1} << 20;

using detail::ForEachSeparator;

// Counts the items splitting gives: one more than the separator matches.
std::size_t CountItems(std::u16string_view text, std::u16string_view separator) {
  std::size_t count = 1;
  ForEachSeparator(text, separator, [&count](std::size_t) { ++count; });
  return count;
}

template <class Record>
class SortedRecords final : public detail::SortedItems {
 public:
  SortedRecords(std::u16string_view text, std::size_t count, std::size_t itemUnits,
                detail::BigBuffer<Record> records)
      : text_(text), count_(count), itemUnits_(itemUnits), records_(std::move(records)) {}

  std::size_t Count() const noexcept override { return count_; }

  std::u16string_view Item(std::size_t index) const noexcept override {
    return {text_.data() + records_[index].offset, static_cast<std::size_t>(records_[index].length)};
  }

  std::u16string Join(std::u16string_view separator) const override {
    std::u16string joined(itemUnits_ + (count_ - 1) * separator.size(), u'\0');
    char16_t* out = joined.data();
    bool first = true;
    Visit([&](const char16_t* item, std::size_t length) {
      if (!first) {
        std::memcpy(out, separator.data(), separator.size() * sizeof(char16_t));
        out += separator.size();
      }
      first = false;
      std::memcpy(out, item, length * sizeof(char16_t));
      out += length;
    });
    return joined;
  }

 private:
  template <class Visitor>
  void Visit(Visitor&& visit) const {
    constexpr std::size_t kPrefetchAhead = 16;
    const char16_t* const source = text_.data();
    for (std::size_t i = 0; i < count_; ++i) {
      if (i + kPrefetchAhead < count_) __builtin_prefetch(source + records_[i + kPrefetchAhead].offset);
      visit(source + records_[i].offset, static_cast<std::size_t>(records_[i].length));
    }
  }

  std::u16string_view text_;
  std::size_t count_;
  std::size_t itemUnits_;
  detail::BigBuffer<Record> records_;
};

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
  {
    // Lower-casing and splitting are independent; on a large list they share the cores.
    std::jthread lowering;
    if (plan.threads > 1 && text.size() >= std::min(kMinParallelSplitUnits, 64 * plan.grain)) {
      try {
        lowering = std::jthread(lower);
      } catch (const std::system_error&) {
        // No thread to spare: lower-case after splitting instead.
      }
    }
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
    if (lowering.joinable()) {
      lowering.join();
    } else {
      lower();
    }
  }
  for (std::size_t i = 0; i < count; ++i)
    records[i].prefix =
        detail::KeyPrefix(keys.data() + records[i].offset, static_cast<std::size_t>(records[i].length));
  const char16_t* const units = text.data();
  const auto sameText = [units](const Record& a, const Record& b) {
    // Equal keys have equal lengths.
    return std::memcmp(units + a.offset, units + b.offset,
                       static_cast<std::size_t>(a.length) * sizeof(char16_t)) == 0;
  };
  detail::RecordSteps<Record, Unit, decltype(sameText)>(records.data(), keys.data(), sameText)
      .Sort(0, static_cast<std::int64_t>(count) - 1, plan);
  // Items total the text minus the separators between them.
  const std::size_t itemUnits = text.size() - (count - 1) * separator.size();
  return std::make_unique<SortedRecords<Record>>(text, count, itemUnits, std::move(records));
}

// Splits and sorts a list; nullptr when the list is refused.
std::unique_ptr<detail::SortedItems> SortItems(std::u16string_view listText, std::u16string_view separator,
                                               const detail::SortOptions& options) {
  // An empty separator occurs in any non-empty text.
  if (listText.empty() || detail::FindSeparator(listText, separator) == std::u16string_view::npos)
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
  const bool compact = !options.wideRecords && listText.size() <= std::numeric_limits<std::uint32_t>::max();
  const bool narrow = !options.wideKeys && AllUnitsBelow256(listText.data(), listText.size());
  if (compact) {
    return narrow ? SortRecords<detail::CompactRecord, std::uint8_t>(listText, separator, count, plan)
                  : SortRecords<detail::CompactRecord, char16_t>(listText, separator, count, plan);
  }
  return narrow ? SortRecords<detail::WideRecord, std::uint8_t>(listText, separator, count, plan)
                : SortRecords<detail::WideRecord, char16_t>(listText, separator, count, plan);
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
