#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "ordwell_version.h"
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

constexpr std::string_view kUsage =
    "Usage: ordwell [OPTION]...\n"
    "Open the Ordwell window, which sorts a list in ascending order, ignoring letter case: paste\n"
    "the list into the input box and press Sort. The separators between the items of the input\n"
    "and of the output are set under Options >>.\n"
    "\n"
    "  -h, --help     display this help and exit\n"
    "      --version  output version information and exit\n"
    "\n"
    "Qt's own options (-platform NAME, -style NAME, -reverse and the like) are accepted too.\n"
    "ordwell-sort(1) sorts files and pipelines the same way.\n";

constexpr std::string_view kShortUsage =
    "Usage: ordwell [--help] [--version] [Qt option]...\n"
    "Try 'ordwell --help' for more information.\n";

// Qt's own options, which it takes from the command line itself: the ones followed by a value,
// then the ones that stand alone. Either may be written with one dash or two.
constexpr std::string_view kQtOptionsWithValue[] = {"platform",        "platformpluginpath",
                                                    "platformtheme",   "plugin",
                                                    "qwindowgeometry", "qwindowicon",
                                                    "qwindowtitle",    "qmljsdebugger",
                                                    "session",         "display",
                                                    "geometry",        "style",
                                                    "stylesheet",      "name",
                                                    "title",           "visual"};
constexpr std::string_view kQtOptionsAlone[] = {"reverse", "widgetcount", "nograb", "dograb", "sync"};

bool Print(std::FILE* stream, std::string_view text) {
  return std::fwrite(text.data(), 1, text.size(), stream) == text.size() && std::fflush(stream) == 0;
}

// Handles --help, --version and arguments that are no option of the window or of Qt before any
// window system is needed; returns the exit status when the program should stop here.
std::optional<int> HandleArguments(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "-h" || arg == "--help") return Print(stdout, kUsage) ? 0 : 1;
    if (arg == "--version") {
      const std::string version = std::string("ordwell (Ordwell) ") + ordwell::version::kVersionString +
                                  "\nCopyright (C) 2026 Quorvane.\n"
                                  "License: MIT (Expat) <https://opensource.org/licenses/MIT>.\n"
                                  "This is free software: you are free to change and redistribute it.\n"
                                  "There is NO WARRANTY, to the extent permitted by law.\n";
      return Print(stdout, version) ? 0 : 1;
    }
    if (arg.size() < 2 || arg[0] != '-') continue;  // not an option: left alone, as always
    std::string_view name = arg.substr(arg[1] == '-' ? 2 : 1);
    const bool valueAttached = name.find('=') != std::string_view::npos;
    name = name.substr(0, name.find('='));
    std::string problem = "unknown option";
    bool known = false;
    for (const std::string_view option : kQtOptionsWithValue) {
      if (name != option) continue;
      known = valueAttached || i + 1 < argc;
      if (!known) problem = "a value is missing after option";
      if (!valueAttached) ++i;
    }
    for (const std::string_view option : kQtOptionsAlone) known = known || (name == option && !valueAttached);
    if (!known) {
      Print(stderr, "ordwell: " + problem + " '" + std::string(arg) + "'\n");
      Print(stderr, kShortUsage);
      return 2;
    }
  }
  return std::nullopt;
}

}  // namespace

int main(int argc, char** argv) {
  if (const std::optional<int> status = HandleArguments(argc, argv)) return *status;
  if (!HasGraphicalDisplay(argc, argv)) {
    std::fputs("ordwell: no graphical display found; ordwell-sort is the command-line companion\n", stderr);
    return 1;
  }
  return ordwell::services::RunProcess(argc, argv, [] {
    return std::make_unique<ordwell::FrmMain>(ordwell::services::AppFacts::FromApplication());
  });
}
