#!/usr/bin/env bash
# Starts the real ordwell executable where no display can be reached and checks that it says so in
# one line naming the command-line companion and exits with status 1, rather than aborting in Qt;
# that --help and --version print without any display and unknown options are refused with a short
# usage; and that a platform needing no display (offscreen) still starts.
# Usage: no_display_test.sh path/to/ordwell
set -uo pipefail
exe="$1"
err="$(mktemp)"
trap 'rm -f "$err"' EXIT
failed=0

# expect_refusal NAME [ENV=VALUE...] [-- ARGS...]
expect_refusal() {
  local name="$1" envs=() args=()
  shift
  while [ $# -gt 0 ] && [ "$1" != "--" ]; do envs+=("$1"); shift; done
  [ $# -gt 0 ] && shift && args=("$@")
  local status=0
  env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "${envs[@]}" timeout 10 "$exe" "${args[@]}" 2>"$err" >/dev/null || status=$?
  local lines
  lines="$(wc -l <"$err")"
  if [ "$status" -ne 1 ] || [ "$lines" -ne 1 ] || ! grep -q "no graphical display found" "$err" ||
     ! grep -q "ordwell-sort" "$err"; then
    echo "FAIL ($name): status $status, stderr:" >&2
    sed 's/^/  /' "$err" >&2
    failed=1
  else
    echo "ok ($name): $(cat "$err")"
  fi
}

expect_refusal "nothing set"
expect_refusal "empty display variables" DISPLAY= WAYLAND_DISPLAY=
expect_refusal "X11 asked for, no DISPLAY" QT_QPA_PLATFORM=xcb WAYLAND_DISPLAY=wayland-0
expect_refusal "Wayland asked for, no WAYLAND_DISPLAY" QT_QPA_PLATFORM=wayland DISPLAY=:99
expect_refusal "X11 asked for on the command line" WAYLAND_DISPLAY=wayland-0 -- -platform xcb
# expect_answer NAME STATUS STREAM PATTERN ARGS...: the run ends with STATUS, and PATTERN (an
# extended regular expression) matches what STREAM (stdout or stderr) got; the other one is empty.
expect_answer() {
  local name="$1" want="$2" stream="$3" pattern="$4"
  shift 4
  local out status=0
  out="$(mktemp)"
  env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM timeout 10 "$exe" "$@" >"$out" 2>"$err" || status=$?
  local got="$out" other="$err"
  [ "$stream" = stderr ] && got="$err" other="$out"
  if [ "$status" -ne "$want" ] || ! grep -Eq -- "$pattern" "$got" || [ -s "$other" ]; then
    echo "FAIL ($name): status $status (want $want), stdout: $(cat "$out"), stderr: $(cat "$err")" >&2
    failed=1
  else
    echo "ok ($name)"
  fi
  rm -f "$out"
}

expect_answer "--help" 0 stdout '^Usage: ordwell \[OPTION\]' --help
expect_answer "-h among Qt options" 0 stdout '--version +output version information' -platform xcb -h
expect_answer "--version" 0 stdout '^ordwell \(Ordwell\) [0-9.]+$' --version
expect_answer "licence in --version" 0 stdout '^This is free software' --version
expect_answer "unknown option" 2 stderr "^ordwell: unknown option '--sort'$" --sort
expect_answer "short usage" 2 stderr "^Usage: ordwell " -x
expect_answer "Qt option without its value" 2 stderr "value is missing after option '-style'" -style

# Offscreen needs no display: the program starts and runs until it is told to end. It runs from a
# copy in a scratch directory, where it saves its settings on the way out.
appdir="$(mktemp -d)"
trap 'rm -f "$err"; rm -rf "$appdir"' EXIT
cp "$exe" "$appdir/ordwell"
env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=offscreen "$appdir/ordwell" 2>"$err" >/dev/null &
pid=$!
sleep 1
if ! kill -0 "$pid" 2>/dev/null || grep -q "no graphical display found" "$err"; then
  echo "FAIL (offscreen): did not keep running; stderr:" >&2
  sed 's/^/  /' "$err" >&2
  failed=1
else
  kill -TERM "$pid"
  wait "$pid" || { echo "FAIL (offscreen): ended with status $?" >&2; failed=1; }
  [ "$failed" -eq 0 ] && echo "ok (offscreen): runs"
fi
exit "$failed"
