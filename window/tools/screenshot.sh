#!/usr/bin/env bash
# Starts the real Ordwell under Xvfb (96 dpi) with openbox and saves PNGs of its window, frame
# included, into screenshots/: empty at start, with a sorted list, the panel open and the About box.
# Usage: window/tools/screenshot.sh [path/to/ordwell]   (default: builds build/release)
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
cd "$root"
exe="${1:-}"
if [ -z "$exe" ]; then
  cmake --preset release >/dev/null
  cmake --build --preset release --target ordwell
  exe=build/release/window/ordwell
fi
source window/tools/xsession.sh
xsession_start || { echo "needs Xvfb, openbox and xdotool (scripts/install-deps.sh)" >&2; exit 1; }

# A copy in a scratch directory, so the Prefs.ini it reads and writes is a fresh one.
appdir="$(mktemp -d)"
cp "$exe" "$appdir/ordwell"
"$appdir/ordwell" &
app_pid=$!
cleanup() { kill "$app_pid" 2>/dev/null || true; rm -rf "$appdir"; xsession_stop; }
trap cleanup EXIT

mkdir -p screenshots
win="$(xsession_window 'Ordwell 1.0 Beta')"
sleep 0.5
import -frame -window "$win" screenshots/window-empty.png
# The focus starts in txtListIn: type a list there, then press Sort (400,276; 91 x 23).
xdotool windowactivate --sync "$win" type --delay 20 'pear, Apple, banana, cherry, a rather long item that has to wrap inside the box'
xdotool mousemove --window "$win" 445 287 click 1
sleep 0.5
import -frame -window "$win" screenshots/window-closed.png
# cmdOptions is at 10,276 (91 x 23) in the client area.
xdotool mousemove --window "$win" 55 287 click 1
sleep 0.5
import -frame -window "$win" screenshots/window-open.png
# cmdAbout is at 371,276 (23 x 23).
xdotool mousemove --window "$win" 382 287 click 1
about="$(xsession_window 'About')"
sleep 0.5
import -frame -window "$about" screenshots/about.png
xdotool windowactivate --sync "$about" key Return
sleep 0.3
xsession_close "$win"
wait "$app_pid" || true
ls -l screenshots/*.png
