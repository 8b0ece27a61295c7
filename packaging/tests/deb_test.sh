#!/usr/bin/env bash
# Builds the Debian package with CPack, checks its name and dependencies, unpacks it into a
# scratch root, runs ordwell-sort from there, and runs lintian on it, which must report no error.
# Usage: deb_test.sh BUILD_DIR PACKAGE_FILE_NAME
set -euo pipefail
build="$1"
name="$2"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

(cd "$build" && cpack -G DEB -B "$work/out" >"$work/cpack.log" 2>&1) \
  || { cat "$work/cpack.log" >&2; fail "cpack"; }
deb="$work/out/$name"
[ -f "$deb" ] || { ls "$work/out" >&2; fail "no $name"; }

depends="$(dpkg-deb --field "$deb" Depends)"
echo "Depends: $depends"
for lib in libc6 libstdc++6 libqt6widgets6 libicu; do
  grep -q "$lib" <<<"$depends" || fail "Depends lacks $lib"
done

dpkg -x "$deb" "$work/root"
version="$("$work/root/usr/bin/ordwell-sort" --version)" || fail "ordwell-sort --version from the unpacked package"
echo "unpacked ordwell-sort --version: $version"
[ -x "$work/root/usr/bin/ordwell" ] || fail "no ordwell in the package"

command -v lintian >/dev/null || fail "lintian missing (scripts/install-deps.sh test)"
lintian --fail-on error --tag-display-limit 0 "$deb" || fail "lintian reports errors"
echo "package test passed"
