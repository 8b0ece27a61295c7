#!/usr/bin/env bash
# Clones the last commit twice, into folders of different names and depths, runs scripts/package.sh
# in each (without a compiler cache, so every object is compiled twice) and fails unless the two
# .deb and the two .ddeb files are byte for byte the same; prints their SHA-256 sums. On a
# difference it names the files inside that differ. Uncommitted changes are not part of the check.
# Usage: scripts/check-reproducible.sh [work-dir]   (default: a temporary folder, removed after)
set -euo pipefail
cd "$(dirname "$0")/.."
if [ $# -gt 0 ]; then
  work="$1"
  mkdir -p "$work"
else
  work="$(mktemp -d)"
  trap 'rm -rf "$work"' EXIT
fi
first="$work/a/ordwell"
second="$work/second-checkout/ordwell-copy"
unset CMAKE_CXX_COMPILER_LAUNCHER CMAKE_C_COMPILER_LAUNCHER
for dir in "$first" "$second"; do
  rm -rf "$dir"
  git clone --quiet --no-hardlinks "$PWD" "$dir"
  echo "== packaging in $dir"
  (cd "$dir" && scripts/package.sh >"$dir.log" 2>&1) || { tail -n 30 "$dir.log" >&2; exit 1; }
done

status=0
for package in "$first"/build/app/*.deb "$first"/build/app/*.ddeb; do
  name="$(basename "$package")"
  other="$second/build/app/$name"
  [ -f "$other" ] || { echo "FAIL: $name only in the first build" >&2; status=1; continue; }
  sum="$(sha256sum <"$package" | cut -d' ' -f1)"
  echo "$sum  $name"
  if ! cmp -s "$package" "$other"; then
    echo "FAIL: $name differs ($(sha256sum <"$other" | cut -d' ' -f1) in the second build)" >&2
    mkdir -p "$work/x1/$name" "$work/x2/$name"
    dpkg-deb -R "$package" "$work/x1/$name"
    dpkg-deb -R "$other" "$work/x2/$name"
    diff -rq "$work/x1/$name" "$work/x2/$name" >&2 || true
    status=1
  fi
done
[ "$status" -eq 0 ] && echo "the packages from both checkouts are the same"
exit "$status"
