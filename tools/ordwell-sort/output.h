#pragma once

#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <exception>
#include <new>
#include <span>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "io/posix_file.h"
#include "sorting/sorted_list.h"
#include "tools/ordwell-sort/stream_writers.h"

// Writing the sorted items on standard output.
namespace ordwell::cli {

// The output separator and ending for a list whose line breaks are CR LF: the writers turn a CR LF
// pair into LF, and the CR before the pair survives, so this is written as CR LF.
inline constexpr std::u16string_view kCrLfOutput = u"\r\r\n";

// Encodes items [from, to) with separators before all but item 0 into `out`, and `ending` after
// the last item of the list.
template <typename Items, typename Text, typename Writer>
void EncodeItems(const Items& items, Text separator, Text ending, std::size_t from, std::size_t to,
                 Writer& out) {
  // The items lie scattered over the list text; ask for each one a little ahead of its turn.
  constexpr std::size_t kAhead = 16;
  for (std::size_t i = from; i < to; ++i) {
    if (i + kAhead < to) __builtin_prefetch(items[i + kAhead].data());
    if (i != 0) out.Write(separator);
    out.Write(items[i]);
  }
  if (to == items.size()) out.Write(ending);
}

// Writes the items joined by `separator`, then `ending`, on standard output straight from the
// list text, without CR LF handling. On a large list, blocks of about 256 KiB are copied on two
// cores side by side and written in order. Returns false when a write failed (errno tells why).
template <typename Items>
bool WriteSortedBytes(const Items& items, std::string_view separator, std::string_view ending) {
  constexpr std::size_t kMinItemsToSplit = 100'000;
  constexpr std::size_t kBlockBytes = std::size_t{1} << 18;
  // A block this much larger than planned (a few long items) is written straight from the text.
  constexpr std::size_t kMaxCopyBytes = 4 * kBlockBytes;
  const std::size_t count = items.size();
  if (count < kMinItemsToSplit || std::thread::hardware_concurrency() < 2) {
    ByteWriter out(STDOUT_FILENO);
    EncodeItems(items, separator, ending, 0, count, out);
    return out.Finish();
  }
  // Blocks of as many items as make kBlockBytes on average, judged from a sample.
  constexpr std::size_t kSample = 256;
  std::size_t sampled = 0;
  for (std::size_t j = 0; j < kSample; ++j) sampled += items[j * (count / kSample)].size() + separator.size();
  const std::size_t perBlock =
      std::max<std::size_t>(1, kBlockBytes * kSample / std::max<std::size_t>(sampled, 1));
  const std::size_t blocks = (count + perBlock - 1) / perBlock;
  const auto range = [=](std::size_t block) {
    return std::pair{block * perBlock, std::min(count, (block + 1) * perBlock)};
  };
  const auto copy = [&](std::size_t block, BlockBuffer& out) {
    const auto [from, to] = range(block);
    std::size_t bytes = (to - from) * separator.size() - (from == 0 ? separator.size() : 0);
    if (to == count) bytes += ending.size();
    for (std::size_t i = from; i < to && bytes <= kMaxCopyBytes; ++i) bytes += items[i].size();
    if (bytes > kMaxCopyBytes) return false;
    // Appends bytes at a place with room for them all.
    struct Filler {
      char* at;
      void Write(std::string_view piece) noexcept {
        std::memcpy(at, piece.data(), piece.size());
        at += piece.size();
      }
    } filler{out.Resize(bytes)};
    EncodeItems(items, separator, ending, from, to, filler);
    return true;
  };
  const auto write = [&](std::size_t block, ByteWriter& out) {
    const auto [from, to] = range(block);
    EncodeItems(items, separator, ending, from, to, out);
  };
  return WriteBlocksInOrder(STDOUT_FILENO, blocks, copy, write);
}

// Returns the first unit written from item `from` on (its separator first), or 0 when none is.
template <typename Items>
char16_t FirstUnitFrom(const Items& items, std::u16string_view separator, std::u16string_view ending,
                       std::size_t from) {
  if (from != 0 && !separator.empty()) return separator.front();
  for (std::size_t i = from; i < items.size(); ++i) {
    if (!items[i].empty()) return items[i].front();
    if (!separator.empty()) return separator.front();
  }
  return ending.empty() ? 0 : ending.front();
}

// Writes the items joined by `separator` (what SortListText gives), then `ending`, straight from
// the list text, so the joined text never exists as a whole. A large list's second half is
// encoded into memory on another core meanwhile.
template <typename Items>
bool WriteSorted(const Items& items, std::u16string_view separator, std::u16string_view ending) {
  constexpr std::size_t kMinItemsToSplit = 100'000;
  const std::size_t count = items.size();
  std::size_t half = count;
  std::string secondHalf;
  bool secondHalfDone = false;
  std::exception_ptr secondHalfFailure;
  // Declared after what it uses, so it is joined before they go, however this function ends.
  std::jthread helper;
  if (count >= kMinItemsToSplit && std::thread::hardware_concurrency() > 1) {
    try {
      helper = std::jthread([&] {
        try {
          StreamWriter memory(&secondHalf);
          EncodeItems(items, separator, ending, count / 2, count, memory);
          secondHalfDone = memory.Finish();
        } catch (...) {
          secondHalfFailure = std::current_exception();
          secondHalf = {};
        }
      });
      half = count / 2;
    } catch (const std::system_error&) {
      // No thread to spare: everything is written from here.
    } catch (const std::bad_alloc&) {
      // No memory for a thread: likewise.
    }
  }
  StreamWriter out(STDOUT_FILENO);
  EncodeItems(items, separator, ending, 0, half, out);
  if (!out.Finish(half < count ? FirstUnitFrom(items, separator, ending, half) : 0)) return false;
  if (half == count) return true;
  helper.join();
  if (secondHalfFailure) {
    // Memory for the second half's copy ran out: it is written straight out below, which needs
    // none. Any other failure is the caller's.
    try {
      std::rethrow_exception(secondHalfFailure);
    } catch (const std::bad_alloc&) {
    }
  }
  if (secondHalfDone) return io::WriteAll(STDOUT_FILENO, secondHalf);
  StreamWriter rest(STDOUT_FILENO);
  EncodeItems(items, separator, ending, half, count, rest);
  return rest.Finish();
}

// Writes `text` and then `ending` on standard output.
bool WriteText(std::u16string_view text, std::u16string_view ending);

// Returns `text` as it is written on standard output: UTF-8, each CR LF as LF.
std::string OutputBytes(std::u16string_view text);

// Returns a separator as the user would write it on the command line.
std::string DescribeSeparator(std::u16string_view separator);

// Returns the exit status after writing standard output, which goes to the FILE `output` when it
// is not empty; says why when `written` is false, before anything else can change errno.
int WriteStatus(bool written, const std::string& output);

// Returns whether the streams hold a line break and every one is CR LF (no lone CR or LF).
bool LineBreaksAllCrLf(std::span<const std::string_view> streams) noexcept;

}  // namespace ordwell::cli
