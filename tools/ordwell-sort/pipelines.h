#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace ordwell::io {
class OwnedBytes;
}

// The two ways from the input streams to the sorted output.
namespace ordwell::cli {

struct Options;

// Sorts the list straight from the bytes of `pieces`, joined by `separator`, which
// DirectSeparator found: the items are slices of the input, written as they are. Returns the
// exit status.
int SortAndWriteBytes(std::span<const std::string_view> pieces, const std::string& separator,
                      const Options& options);

// Decodes the list, sorts it and writes it; the path for any input, and for --exact. The inputs,
// which `pieces` view (piece k from file pieceFile[k]), are released once decoded. Returns the
// exit status.
int DecodeSortAndWrite(std::span<const std::string_view> pieces, std::span<const std::size_t> pieceFile,
                       std::vector<io::OwnedBytes> inputs, const Options& options);

}  // namespace ordwell::cli
