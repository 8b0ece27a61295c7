#pragma once

#include <filesystem>
#include <string>
#include <string_view>

// Reading and writing one value of the sectioned settings file, with spaces and CR LF line
// breaks stored spelled out as "lsSpc" and "lsCrLf".
namespace ordwell::modStandard {

// Returns the unescaped value of `Key` in `Section` of the file, or `Default` exactly as passed
// when the file, section or key is missing, the stored value is empty, or the file cannot be read
// or is larger than any settings file a write makes.
std::u16string ReadIniValue(std::u16string_view Section, std::u16string_view Key, std::u16string_view Default,
                            const std::filesystem::path& FileName);

// Stores the escaped `Value` under `Key` in `Section`, creating the file, section or key as
// needed and changing no other byte; returns false, leaving the file as it was, when the names
// or value cannot be stored on one line, the file is not UTF-8 text, the caller may not write it
// or it cannot be replaced.
bool WriteIniValue(std::u16string_view Section, std::u16string_view Key, std::u16string_view Value,
                   const std::filesystem::path& FileName);

// Does what WriteIniValue does; when the write fails, also sets `WhyNot` to a short reason in
// English (the system's message for the call that failed, or why the file was refused).
bool WriteIniValue(std::u16string_view Section, std::u16string_view Key, std::u16string_view Value,
                   const std::filesystem::path& FileName, std::string& WhyNot);

}  // namespace ordwell::modStandard
