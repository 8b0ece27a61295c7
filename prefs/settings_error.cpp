#include "prefs/settings_error.h"

namespace ordwell::prefs {
namespace {

class Category final : public std::error_category {
 public:
  const char* name() const noexcept override { return "settings"; }
  std::string message(int value) const override {
    switch (static_cast<SettingsErrc>(value)) {
      case SettingsErrc::TooLarge: return "the file is larger than the 16 MiB a settings file may hold";
      case SettingsErrc::NotText: return "the file is not UTF-8 text";
      case SettingsErrc::NotRegularFile: return "not a regular file";
      case SettingsErrc::HoldsNul: return "the value holds a NUL character";
      case SettingsErrc::NotStorable: return "the name or value cannot be stored in the file as it is";
      case SettingsErrc::LockBusy: return "another process kept the settings file locked";
    }
    return "unknown settings error";
  }
};

}  // namespace

const std::error_category& SettingsCategory() noexcept {
  static const Category category;
  return category;
}

std::error_code make_error_code(SettingsErrc e) noexcept { return {static_cast<int>(e), SettingsCategory()}; }

}  // namespace ordwell::prefs
