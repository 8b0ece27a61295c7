#!/usr/bin/env bash
# Runs every libFuzzer target of the asan preset for the given number of seconds each (default 30).
# Fails on the first finding.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-30}"
cmake --preset asan >/dev/null
cmake --build --preset asan
shopt -s nullglob
fuzzers=(build/asan/*/fuzz/*_fuzzer)
[ ${#fuzzers[@]} -gt 0 ] || { echo "no fuzzers built" >&2; exit 1; }
for f in "${fuzzers[@]}"; do
  echo "== fuzzing $(basename "$f") for ${seconds}s"
  work="$(mktemp -d)"
  corpus_seed="$(dirname "$f")/corpus"
  "$f" -max_total_time="$seconds" -max_len=4096 -rss_limit_mb=2048 -artifact_prefix="$work/" \
    "$work" $( [ -d "$corpus_seed" ] && echo "$corpus_seed" ) 2>&1 | tail -n 5
  rm -rf "$work"
done
