#!/usr/bin/env bash
# Installs the build into a scratch prefix, checks what landed where, validates the desktop entry
# and the AppStream metainfo, then runs the installed and a portable copy on a private X display
# (from folders whose names hold a Latin-1 byte) and checks where each kept its settings.
# Usage: install_test.sh BUILD_DIR
set -euo pipefail
build="$1"
here="$(cd "$(dirname "$0")" && pwd)"
root="$(mktemp -d)"
trap 'rm -rf "$root"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

prefix="$root/usr"
cmake --install "$build" --prefix "$prefix" >/dev/null
id=example.quorvane.Ordwell
for f in bin/ordwell bin/ordwell-sort "share/applications/$id.desktop" "share/metainfo/$id.metainfo.xml" \
         share/man/man1/ordwell.1.gz share/man/man1/ordwell-sort.1.gz \
         share/bash-completion/completions/ordwell-sort share/doc/ordwell/copyright share/doc/ordwell/changelog.gz \
         share/icons/hicolor/{16x16,32x32,48x48,64x64,128x128,256x256}/apps/$id.png; do
  [ -e "$prefix/$f" ] || fail "cmake --install did not install $f"
done
for size in 16 32 48 64 128 256; do
  file "$prefix/share/icons/hicolor/${size}x$size/apps/$id.png" | grep -q "$size x $size" \
    || fail "the ${size}x$size icon is not $size pixels square"
done
"$prefix/bin/ordwell-sort" --version >/dev/null || fail "installed ordwell-sort --version failed"

command -v desktop-file-validate >/dev/null || fail "desktop-file-validate missing (scripts/install-deps.sh test)"
command -v appstreamcli >/dev/null || fail "appstreamcli missing (scripts/install-deps.sh test)"
desktop-file-validate "$prefix/share/applications/$id.desktop" || fail "desktop-file-validate"
appstreamcli validate --no-net --no-color "$prefix/share/metainfo/$id.metainfo.xml" || fail "appstreamcli validate"

# The rest needs the real program on a display.
source "$here/../../window/tools/xsession.sh"
if ! xsession_start; then
  echo "Xvfb, openbox or xdotool missing: settings locations not checked"
  exit 0
fi
trap 'rm -rf "$root"; xsession_stop' EXIT

# Starts an ordwell, waits for its window, ends it with SIGTERM (which saves like a close) and
# leaves its standard error in $root/stderr.
run_until_saved() {
  local pid i
  "$@" </dev/null >/dev/null 2>"$root/stderr" &
  pid=$!
  xsession_window 'Ordwell 1.0 Beta' >/dev/null || { kill -KILL "$pid"; fail "no window from $1"; }
  kill -TERM "$pid"
  for i in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  if kill -0 "$pid" 2>/dev/null; then
    kill -KILL "$pid"
    fail "$1 did not exit within 10 s of SIGTERM"
  fi
  wait "$pid" || fail "$1 exited with status $?"
}

defaults="$(printf '[Prefs]\nDelimiterIn=,lsSpc\nDelimiterOut=,lsSpc\nOptionsOpen=False')"
latin1=$'caf\xe9'

# Installed: the settings go to the user's configuration folder, even for root, never into bin.
cp -a "$prefix" "$root/$latin1"
XDG_CONFIG_HOME="$root/config" QT_QPA_PLATFORM=xcb run_until_saved "$root/$latin1/bin/ordwell"
[ "$(cat "$root/config/Ordwell/Prefs.ini" 2>/dev/null)" = "$defaults" ] \
  || fail "the installed copy did not save to \$XDG_CONFIG_HOME/Ordwell/Prefs.ini"
[ ! -e "$root/$latin1/bin/Prefs.ini" ] || fail "the installed copy wrote Prefs.ini into bin"

# Portable: the settings file beside the executable is read and written where it is.
mkdir "$root/$latin1-portable"
cp "$prefix/bin/ordwell" "$root/$latin1-portable/"
printf '[Prefs]\nDelimiterIn=;\nOptionsOpen=True\n' >"$root/$latin1-portable/Prefs.ini"
XDG_CONFIG_HOME="$root/config2" QT_QPA_PLATFORM=xcb run_until_saved "$root/$latin1-portable/ordwell"
[ "$(cat "$root/$latin1-portable/Prefs.ini")" = "$(printf '[Prefs]\nDelimiterIn=;\nOptionsOpen=True\nDelimiterOut=,lsSpc')" ] \
  || fail "the portable copy did not keep its settings beside itself"
[ ! -e "$root/config2" ] || fail "the portable copy wrote into the configuration folder"

# A save that cannot succeed says so, once, naming the file.
: >"$root/not-a-folder"
XDG_CONFIG_HOME="$root/not-a-folder" QT_QPA_PLATFORM=xcb run_until_saved "$root/$latin1/bin/ordwell"
expected="ordwell: could not save the settings to $root/not-a-folder/Ordwell/Prefs.ini: Not a directory"
[ "$(grep -c '^ordwell: ' "$root/stderr")" = 1 ] && grep -qxF "$expected" "$root/stderr" \
  || { cat "$root/stderr" >&2; fail "no single line on standard error for a failed save"; }
echo "install test passed"
