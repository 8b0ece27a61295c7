#pragma once

#include <string>

// Writing the result to a FILE named on the command line.
namespace ordwell::cli {

// The result's way into a FILE: a temporary file in the FILE's folder that takes the FILE's place
// only once the whole result is written, so a FILE that is also an input is read whole first, and
// a failure leaves it as it was. A FILE that exists and is no regular file (a device, a pipe) is
// written directly. Unless committed, the temporary file is removed.
class OutputFile {
 public:
  OutputFile() = default;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  ~OutputFile();

  // Makes standard output the way into the FILE `name`; false after saying why when it cannot be
  // created.
  bool Open(const std::string& name);

  // Puts the written result in the FILE's place; false after saying why when that fails.
  bool Commit();

 private:
  std::string name_;       // as given, for messages
  std::string target_;     // the file replaced: `name_`, or where a symbolic link leads
  std::string temporary_;  // empty when the FILE is written directly
  bool committed_ = false;
};

}  // namespace ordwell::cli
