#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string_view>

#include "window/frm_main.h"
#include "window/window_services.h"

namespace {

bool IsSet(const char* name) {
  const char* const value = std::getenv(name);
  return value != nullptr && *value != '\0';
}

// The platforms Qt is asked for: the -platform argument, else QT_QPA_PLATFORM, else the default
// (X11, or Wayland in a Wayland session); a ';'-separated list of names, each with ':'-options.
std::string_view RequestedPlatforms(int argc, char** argv) {
  for (int i = 1; i + 1 < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "-platform" || arg == "--platform") return argv[i + 1];
  }
  const char* const env = std::getenv("QT_QPA_PLATFORM");
  return env != nullptr && *env != '\0' ? env : "wayland;xcb";
}

// Whether the window can be shown: a platform other than X11 or Wayland (offscreen, vnc, eglfs)
// is the user's explicit choice and is trusted; X11 and Wayland need their display named.
// Deciding before QApplication exists spares the user Qt's abort and its advice to reinstall.
bool HasGraphicalDisplay(int argc, char** argv) {
  std::string_view platforms = RequestedPlatforms(argc, argv);
  while (true) {
    const std::size_t end = platforms.find(';');
    const std::string_view entry = platforms.substr(0, end);
    const std::string_view name = entry.substr(0, entry.find(':'));
    if (name == "xcb") {
      if (IsSet("DISPLAY")) return true;
    } else if (name.substr(0, 7) == "wayland") {
      if (IsSet("WAYLAND_DISPLAY")) return true;
    } else if (!name.empty()) {
      return true;
    }
    if (end == std::string_view::npos) return false;
    platforms.remove_prefix(end + 1);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (!HasGraphicalDisplay(argc, argv)) {
    std::fputs("ordwell: no graphical display found; ordwell-sort is the command-line companion\n", stderr);
    return 1;
  }
  return ordwell::services::RunProcess(argc, argv, [] {
    return std::make_unique<ordwell::FrmMain>(ordwell::services::AppFacts::FromApplication());
  });
}
