# Sourced by the screenshot script and the smoke test: a private X display (Xvfb at 96 dpi) with
# openbox as its window manager, torn down with the caller.
#   xsession_start   starts both and exports DISPLAY; returns 1 when the tools are missing
#   xsession_stop    stops what xsession_start started (also runs on EXIT)
#   xsession_window NAME [SECONDS]   prints the id of the first visible window titled NAME
#   xsession_close ID   closes a window through the window manager

xsession_have_tools() {
  command -v Xvfb >/dev/null && command -v openbox >/dev/null && command -v xdotool >/dev/null
}

xsession_start() {
  xsession_have_tools || return 1
  local fdfile
  fdfile="$(mktemp)"
  # Nothing started here keeps the caller's standard output or error open: a test runner waits
  # for those to close, so a lingering child would hold the test until its timeout.
  Xvfb -displayfd 3 -screen 0 1024x768x24 -dpi 96 -nolisten tcp 3>"$fdfile" </dev/null >/dev/null 2>&1 &
  XSESSION_XVFB_PID=$!
  local i
  for i in $(seq 100); do
    [ -s "$fdfile" ] && break
    sleep 0.1
  done
  export DISPLAY=":$(tr -dc 0-9 <"$fdfile")"
  rm -f "$fdfile"
  [ "$DISPLAY" != ":" ] || return 1
  openbox --sm-disable </dev/null >/dev/null 2>&1 &
  XSESSION_WM_PID=$!
  # openbox is ready once it has claimed the screen's window-manager selection.
  for i in $(seq 100); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
    sleep 0.1
  done
  trap xsession_stop EXIT
}

xsession_stop() {
  local pid
  for pid in ${XSESSION_WM_PID:-} ${XSESSION_XVFB_PID:-}; do
    xsession_end_process "$pid"
  done
  XSESSION_WM_PID=
  XSESSION_XVFB_PID=
}

# Sends SIGTERM, waits up to five seconds for the process to go, then kills it outright.
xsession_end_process() {
  local pid="$1" i
  kill "$pid" 2>/dev/null || return 0
  for i in $(seq 50); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  kill -KILL "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
}

xsession_window() {
  local name="$1" seconds="${2:-20}" id i
  for i in $(seq $((seconds * 10))); do
    id="$(xdotool search --onlyvisible --name "^${name}\$" 2>/dev/null | head -n1)"
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.1
  done
  return 1
}

# Asks the window manager to close a window, as its close button would.
xsession_close() {
  local id="$1"
  if command -v wmctrl >/dev/null; then
    wmctrl -i -c "$id"
  else
    xdotool windowactivate --sync "$id" key --clearmodifiers alt+F4
  fi
}
