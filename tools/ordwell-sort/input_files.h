#pragma once

#include <string>

namespace ordwell::io {
class OwnedBytes;
}

// Reading the command's FILE operands.
namespace ordwell::cli {

// Reads the FILE operand `name` (standard input for "-") whole into `bytes`, memory the program
// owns, so nothing another process does to the file afterwards can reach the sort; returns false
// after saying why when it cannot be read, or when a regular file changed while it was read.
bool ReadInput(const std::string& name, io::OwnedBytes& bytes);

}  // namespace ordwell::cli
