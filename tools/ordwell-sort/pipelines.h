#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace ordwell {
class Collator;
}
namespace ordwell::io {
class OwnedBytes;
}

// The two ways from the input streams to the sorted output.
namespace ordwell::cli {

struct ByteSort;
struct Options;

// Sorts the list straight from the bytes of `pieces` as `plan` (from PlanByteSort) says: the
// items are slices of the input, written as they are but for CR LF pairs. Returns the exit
// status.
int SortAndWriteBytes(std::span<const std::string_view> pieces, const ByteSort& plan, const Options& options);

// Decodes the list, sorts it and writes it; the path for any input, and for --exact. The inputs,
// which `pieces` view (piece k from file pieceFile[k]), are released once decoded. With a
// `collator` the order is alphabetical by its rules. Returns the exit status.
int DecodeSortAndWrite(std::span<const std::string_view> pieces, std::span<const std::size_t> pieceFile,
                       std::vector<io::OwnedBytes> inputs, const Options& options,
                       const Collator* collator = nullptr);

}  // namespace ordwell::cli
