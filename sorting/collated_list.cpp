#include "sorting/collated_list.h"

#include <unicode/ucol.h>
#include <unicode/uloc.h>
#include <unicode/ustring.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <stdexcept>
#include <system_error>
#include <thread>

#include "io/big_buffer.h"
#include "sorting/detail/key_prefix.h"
#include "sorting/detail/key_ranks.h"
#include "sorting/detail/task_queue.h"

namespace ordwell {

namespace {

// The ICU name for a locale name as a user or the environment gives it; "" for the root rules.
std::string IcuName(std::string_view locale) {
  if (locale.empty() || locale == "C" || locale == "POSIX" || locale.starts_with("C.")) return "";
  std::string_view base = locale.substr(0, locale.find('@'));
  std::string_view modifier = base.size() < locale.size() ? locale.substr(base.size()) : std::string_view();
  base = base.substr(0, base.find('.'));  // the character set of a POSIX name
  // A POSIX modifier ("@euro") is no ICU keyword ("@collation=phonebook") and says nothing of order.
  if (modifier.find('=') == std::string_view::npos) modifier = {};
  std::string name(base);
  if (name.find('-') != std::string::npos && modifier.empty()) {
    char converted[ULOC_FULLNAME_CAPACITY] = {};
    UErrorCode status = U_ZERO_ERROR;
    int32_t parsed = 0;
    uloc_forLanguageTag(name.c_str(), converted, ULOC_FULLNAME_CAPACITY, &parsed, &status);
    if (U_SUCCESS(status) && static_cast<std::size_t>(parsed) == name.size()) return converted;
  }
  name += modifier;
  return name;
}

// Where a key lies in the key bytes; the ranking reads offset and length only. Compact records
// serve while the key bytes stay under 4 GiB.
struct CompactKey {
  std::uint32_t offset;
  std::uint32_t length;
};

struct WideKey {
  std::uint64_t offset;
  std::uint64_t length;
};

// Thrown when the key bytes outgrow compact records.
struct KeysTooLarge {};

// Keys in two buffers, one made by each thread: offsets from `firstSize` on lie in the second.
struct TwoPartKeys {
  using Unit = std::uint8_t;

  std::size_t Length(std::size_t /*offset*/, std::size_t length) const noexcept { return length; }

  // Returns KeyPrefix of key bytes [depth, depth + 8) of the key of `length` bytes at `offset`.
  std::uint64_t Prefix(std::size_t offset, std::size_t length, std::size_t depth) const noexcept {
    return offset < firstSize ? detail::KeyPrefix(first + offset + depth, length - depth)
                              : detail::KeyPrefix(second + (offset - firstSize) + depth, length - depth);
  }

  const std::uint8_t* first;
  std::size_t firstSize;
  const std::uint8_t* second;
};

// Items as UTF-16 for ICU: the items themselves, or UTF-8 items converted into a scratch buffer.
const UChar* Units(std::u16string_view item, std::vector<UChar>&, int32_t& length) {
  length = static_cast<int32_t>(item.size());
  return item.data();
}

const UChar* Units(std::string_view item, std::vector<UChar>& scratch, int32_t& length) {
  if (scratch.size() < item.size() + 1) scratch.resize(item.size() + 1);
  UErrorCode status = U_ZERO_ERROR;
  u_strFromUTF8WithSub(scratch.data(), static_cast<int32_t>(scratch.size()), &length, item.data(),
                       static_cast<int32_t>(item.size()), 0xFFFD, nullptr, &status);
  if (U_FAILURE(status)) length = 0;
  return scratch.data();
}

// Appends the sort keys of items [from, to) to `bytes` (which starts empty) and fills their
// records, offsets counted from the start of `bytes`. Each key loses ICU's closing zero byte,
// which no key holds elsewhere, so keys still order byte by byte with a prefix first.
// Key bytes, grown as keys are added; the room not yet written is never touched, so it costs no
// memory.
struct KeyBytes {
  io::BigBuffer<std::uint8_t> buffer;
  std::size_t used = 0;

  // Makes room for `bytes` in all, keeping what was written.
  void Reserve(std::size_t bytes) {
    if (bytes <= buffer.size()) return;
    io::BigBuffer<std::uint8_t> larger(bytes);
    if (used != 0) std::memcpy(larger.data(), buffer.data(), used);
    buffer = std::move(larger);
  }
};

// The keys' room at first: about what the keys of words take in most scripts, so that growing,
// which copies, is rare.
std::size_t FirstRoom(std::size_t units, std::size_t count) { return 2 * units + 8 * count + 64; }

template <class Record, class Items>
void MakeKeys(const UCollator* collator, const Items& items, std::size_t from, std::size_t to,
              KeyBytes& bytes, Record* records) {
  std::vector<UChar> scratch;
  std::size_t units = 0;
  for (std::size_t i = from; i < to; ++i) {
    const std::size_t size = items(i).size();
    if (size > static_cast<std::size_t>(std::numeric_limits<int32_t>::max()) / 2)
      throw std::length_error("an item too long to collate");
    units += size;
  }
  bytes.Reserve(FirstRoom(units, to - from));
  std::size_t& used = bytes.used;
  for (std::size_t i = from; i < to; ++i) {
    int32_t length = 0;
    const UChar* const text = Units(items(i), scratch, length);
    for (;;) {
      const std::size_t room =
          std::min<std::size_t>(bytes.buffer.size() - used, std::numeric_limits<int32_t>::max());
      const auto written = static_cast<std::size_t>(
          ucol_getSortKey(collator, text, length, bytes.buffer.data() + used, static_cast<int32_t>(room)));
      if (written <= room) {
        const std::size_t keyLength = written == 0 ? 0 : written - 1;
        if (used + keyLength > std::numeric_limits<decltype(Record::offset)>::max()) throw KeysTooLarge();
        records[i] = {static_cast<decltype(Record::offset)>(used),
                      static_cast<decltype(Record::length)>(keyLength)};
        used += keyLength;
        break;
      }
      bytes.Reserve(std::max(bytes.buffer.size() + bytes.buffer.size() / 2, used + written));
    }
  }
}

template <class Record, class Items>
CollatedOrder Collate(std::size_t count, const Items& items, const UCollator* collator) {
  CollatedOrder result;
  if (count == 0) return result;

  // Making the keys is most of the work: a large list's second half gets its own collator and
  // thread, and its own key buffer.
  constexpr std::size_t kMinItemsToSplit = 20'000;
  const unsigned threads = count >= kMinItemsToSplit && std::thread::hardware_concurrency() > 1 ? 2 : 1;
  std::vector<Record> records(count);
  KeyBytes bytes;
  KeyBytes secondBytes;
  std::size_t half = count;
  if (threads > 1) {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<UCollator, decltype(&ucol_close)> clone(ucol_clone(collator, &status), &ucol_close);
    if (U_SUCCESS(status) && clone != nullptr) {
      std::exception_ptr failure;
      try {
        half = count / 2;
        std::jthread helper([&] {
          try {
            MakeKeys(clone.get(), items, half, count, secondBytes, records.data());
          } catch (...) {
            failure = std::current_exception();
          }
        });
        MakeKeys(collator, items, 0, half, bytes, records.data());
      } catch (const std::system_error&) {
        half = count;  // no thread to spare: the second half is done below
      }
      if (failure) std::rethrow_exception(failure);
      if (half < count &&
          bytes.used + secondBytes.used > std::numeric_limits<decltype(Record::offset)>::max())
        throw KeysTooLarge();
      for (std::size_t i = half; i < count && half < count; ++i)
        records[i].offset += static_cast<decltype(Record::offset)>(bytes.used);
    } else {
      half = count;
    }
  }
  if (half == count) {
    secondBytes = KeyBytes();
    bytes.used = 0;
    MakeKeys(collator, items, 0, count, bytes, records.data());
  }

  detail::WorkerPool pool(threads);
  detail::KeyOrder sorted = detail::SortKeys(
      records.data(), count, TwoPartKeys{bytes.buffer.data(), bytes.used, secondBytes.buffer.data()},
      [](std::size_t, std::size_t) { return true; }, &pool);
  std::vector<Record>().swap(records);
  bytes = KeyBytes();
  secondBytes = KeyBytes();

  // The ranking leaves equal keys in no particular order: each run of them goes back to input
  // order.
  result.order.resize(count);
  result.sameAsPrevious.resize(count);
  for (std::size_t i = 0; i < count; ++i) {
    result.order[i] = sorted.entries[i].item;
    result.sameAsPrevious[i] = i != 0 && sorted.same[i] != 0;
  }
  for (std::size_t a = 0; a < count;) {
    std::size_t b = a + 1;
    while (b < count && result.sameAsPrevious[b]) ++b;
    if (b - a > 1)
      std::sort(result.order.begin() + static_cast<std::ptrdiff_t>(a),
                result.order.begin() + static_cast<std::ptrdiff_t>(b));
    a = b;
  }
  return result;
}

}  // namespace

void Collator::Close::operator()(UCollator* collator) const noexcept { ucol_close(collator); }

Collator::Collator(std::unique_ptr<UCollator, Close> collator) noexcept : collator_(std::move(collator)) {}
Collator::Collator(Collator&&) noexcept = default;
Collator& Collator::operator=(Collator&&) noexcept = default;
Collator::~Collator() = default;

std::optional<Collator> Collator::Open(std::string_view locale, std::string& problem) {
  const std::string name = IcuName(locale);
  if (!name.empty() && name != "root") {
    // ICU falls back to the root rules for any name at all; a language it cannot name is a typing
    // error, not a request for those rules.
    char language[ULOC_LANG_CAPACITY] = {};
    UErrorCode status = U_ZERO_ERROR;
    uloc_getLanguage(name.c_str(), language, ULOC_LANG_CAPACITY, &status);
    if (U_FAILURE(status) || language[0] == '\0' || uloc_getISO3Language(name.c_str())[0] == '\0') {
      problem = "unknown locale '" + std::string(locale) + "'";
      return std::nullopt;
    }
  }
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<UCollator, Close> collator(ucol_open(name.c_str(), &status));
  if (U_FAILURE(status) || collator == nullptr) {
    problem = "no collation rules for locale '" + std::string(locale) + "': " + u_errorName(status);
    return std::nullopt;
  }
  ucol_setStrength(collator.get(), UCOL_SECONDARY);
  return Collator(std::move(collator));
}

std::string Collator::EnvironmentLocale() {
  for (const char* variable : {"LC_ALL", "LC_COLLATE", "LANG"}) {
    const char* const value = std::getenv(variable);
    if (value != nullptr && *value != '\0') return value;
  }
  return "";
}

std::string Collator::Name() const {
  UErrorCode status = U_ZERO_ERROR;
  const char* const name = ucol_getLocaleByType(collator_.get(), ULOC_ACTUAL_LOCALE, &status);
  return U_SUCCESS(status) && name != nullptr && *name != '\0' ? name : "root";
}

int Collator::Compare(std::u16string_view a, std::u16string_view b) const noexcept {
  return ucol_strcoll(collator_.get(), a.data(), static_cast<int32_t>(a.size()), b.data(),
                      static_cast<int32_t>(b.size()));
}

int Collator::Compare(std::string_view a, std::string_view b) const noexcept {
  UErrorCode status = U_ZERO_ERROR;
  return ucol_strcollUTF8(collator_.get(), a.data(), static_cast<int32_t>(a.size()), b.data(),
                          static_cast<int32_t>(b.size()), &status);
}

class CollatedOrderMaker {
 public:
  static const UCollator* Handle(const Collator& collator) noexcept { return collator.collator_.get(); }
};

namespace {

template <class Items>
CollatedOrder CollateAny(std::size_t count, const Items& items, const Collator& collator) {
  if (count >= std::numeric_limits<std::uint32_t>::max())
    throw std::length_error("too many items to collate");
  try {
    return Collate<CompactKey>(count, items, CollatedOrderMaker::Handle(collator));
  } catch (const KeysTooLarge&) {
    return Collate<WideKey>(count, items, CollatedOrderMaker::Handle(collator));
  }
}

}  // namespace

CollatedOrder CollateItems(std::size_t count, const std::function<std::u16string_view(std::size_t)>& item,
                           const Collator& collator) {
  return CollateAny(count, item, collator);
}

CollatedOrder CollateItems(std::span<const std::u16string_view> items, const Collator& collator) {
  return CollateAny(
      items.size(), [items](std::size_t i) { return items[i]; }, collator);
}

CollatedOrder CollateItems(std::span<const std::string_view> items, const Collator& collator) {
  return CollateAny(
      items.size(), [items](std::size_t i) { return items[i]; }, collator);
}

}  // namespace ordwell
