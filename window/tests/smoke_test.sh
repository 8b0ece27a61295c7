#!/usr/bin/env bash
# Runs the real ordwell executable on a private X display with openbox: opens the options panel,
# closes the window through the window manager and checks the Prefs.ini it wrote next to itself;
# then starts it again, checks the panel came back open, and ends it with SIGTERM, which must
# save the settings the same way. Exits 77 (skipped) when Xvfb, openbox or xdotool are missing.
# Usage: smoke_test.sh path/to/ordwell
set -euo pipefail
exe="$1"
here="$(cd "$(dirname "$0")" && pwd)"
source "$here/../tools/xsession.sh"
xsession_have_tools || { echo "Xvfb, openbox or xdotool missing: skipped"; exit 77; }
xsession_start || { echo "could not start Xvfb: skipped"; exit 77; }

appdir="$(mktemp -d)"
trap 'rm -rf "$appdir"; xsession_stop' EXIT
cp "$exe" "$appdir/ordwell"
prefs="$appdir/Prefs.ini"

fail() { echo "FAIL: $*" >&2; [ -f "$prefs" ] && sed 's/^/  Prefs.ini: /' "$prefs" >&2; exit 1; }

# Waits for the program to end by itself and checks it ended well.
await_exit() {
  local pid="$1" i
  for i in $(seq 150); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  if kill -0 "$pid" 2>/dev/null; then kill "$pid"; fail "ordwell did not end"; fi
  wait "$pid" || fail "ordwell exited with status $?"
}

expect_prefs() {
  local expected="$1" actual
  actual="$(tr -d '\r' <"$prefs" | grep -v '^$')" || fail "no Prefs.ini written"
  [ "$actual" = "$expected" ] || fail "Prefs.ini holds unexpected lines"
}

# First run: no settings file; open the panel, close through the window manager.
QT_QPA_PLATFORM=xcb "$appdir/ordwell" &
pid=$!
win="$(xsession_window 'Ordwell 1.0 Beta')" || fail "no window appeared"
[ ! -e "$prefs" ] || fail "Prefs.ini written before the window closed"
sleep 0.3
xdotool mousemove --window "$win" 55 287 click 1   # cmdOptions
sleep 0.3
xsession_close "$win"
await_exit "$pid"
expect_prefs "$(printf '%s\n' '[Prefs]' 'DelimiterIn=,lsSpc' 'DelimiterOut=,lsSpc' 'OptionsOpen=True')"

# Second run: the panel opens at start (client height 400); SIGTERM saves like a close does.
printf '[Prefs]\nDelimiterIn=lsCrLf\nDelimiterOut=;lsSpc\nOptionsOpen=True\n' >"$prefs"
QT_QPA_PLATFORM=xcb "$appdir/ordwell" &
pid=$!
win="$(xsession_window 'Ordwell 1.0 Beta')" || fail "no window appeared on the second start"
sleep 0.3
height="$(xdotool getwindowgeometry --shell "$win" | sed -n 's/^HEIGHT=//p')"
[ "$height" = 400 ] || fail "client height at start is $height, expected 400 (panel open)"
kill -TERM "$pid"
await_exit "$pid"
expect_prefs "$(printf '%s\n' '[Prefs]' 'DelimiterIn=lsCrLf' 'DelimiterOut=;lsSpc' 'OptionsOpen=True')"
echo "ordwell smoke test passed"
