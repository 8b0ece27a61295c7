#!/usr/bin/env bash
# Runs clang-tidy with the root .clang-tidy on the sources of the libraries and programs that a build
# compiles (not tests, benchmarks, fuzzers or generated files) and on the tree's headers they
# include; fails on any finding. Needs that build done first: Qt's generated headers must exist.
# Usage: scripts/check-tidy.sh [build-dir] [file...]   (build-dir default build/release)
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build/release}"
shift || true
tidy="${CLANG_TIDY:-clang-tidy-14}"
command -v "$tidy" >/dev/null || { echo "$tidy missing (scripts/install-deps.sh test)" >&2; exit 1; }
[ -f "$build/compile_commands.json" ] || { echo "no $build/compile_commands.json: build it first" >&2; exit 1; }
if [ $# -gt 0 ]; then
  files=("$@")
else
  mapfile -t files < <(python3 - "$build/compile_commands.json" <<'PY'
import json, os, sys
root = os.getcwd() + os.sep
skip = ("/tests/", "/bench/", "/fuzz/", "/measure/")
files = {os.path.realpath(e["file"]) for e in json.load(open(sys.argv[1]))}
for f in sorted(files):
    rel = os.path.relpath(f)
    if f.startswith(root) and rel.split(os.sep)[0] != "build" and not any(s in "/" + rel for s in skip):
        print(rel)
PY
)
fi
[ ${#files[@]} -gt 0 ] || { echo "no files to check" >&2; exit 1; }
# Headers under the tree's source folders only, not the build folder's generated ones.
root="$(printf '%s' "$PWD" | sed 's/[][\.*^$+?(){}|]/\\&/g')"
printf '%s\0' "${files[@]}" | xargs -0 -n 1 -P "$(nproc)" \
  "$tidy" -p "$build" --quiet --header-filter="^$root/(prefs|sorting|tools|window)/"
echo "clang-tidy: ${#files[@]} files without findings"
