#pragma once

#include <string>
#include <system_error>
#include <type_traits>

// Why the settings file, or one value for it, was refused when no system call failed.
namespace ordwell::prefs {

enum class SettingsErrc {
  TooLarge = 1,    // the file, before or after the change, is larger than kMaxFileBytes
  NotText,         // the file is no UTF-8 text (UTF-16 or UTF-32, or it holds NUL bytes)
  NotRegularFile,  // the path names a device, a FIFO or a socket
  HoldsNul,        // a name or value holds a NUL character
  NotStorable,     // a name or value holds a line break, or a name would read back as another
  LockBusy,        // another process held the lock for the whole time allowed
};

// Returns the category of SettingsErrc; its messages are short English phrases.
const std::error_category& SettingsCategory() noexcept;

// Returns the error code of a SettingsErrc.
std::error_code make_error_code(SettingsErrc e) noexcept;

}  // namespace ordwell::prefs

template <>
struct std::is_error_code_enum<ordwell::prefs::SettingsErrc> : std::true_type {};
