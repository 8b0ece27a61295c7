#!/usr/bin/env bash
# Fails, listing each difference, when a C++ file of the tree is not laid out as .clang-format says.
# Checks the files git knows of plus new ones not ignored, or the files given as arguments.
# Usage: scripts/check-format.sh [file...]
set -euo pipefail
cd "$(dirname "$0")/.."
format="${CLANG_FORMAT:-clang-format-14}"
command -v "$format" >/dev/null || { echo "$format missing (scripts/install-deps.sh test)" >&2; exit 1; }
if [ $# -gt 0 ]; then
  files=("$@")
else
  mapfile -t files < <(git ls-files --cached --others --exclude-standard -- '*.cpp' '*.h' | sort -u)
fi
existing=()
for f in "${files[@]}"; do [ -f "$f" ] && existing+=("$f"); done
[ ${#existing[@]} -gt 0 ] || { echo "no C++ files to check" >&2; exit 1; }
"$format" --dry-run -Werror "${existing[@]}"
echo "format check: ${#existing[@]} files as .clang-format says"
