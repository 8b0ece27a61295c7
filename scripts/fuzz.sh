#!/usr/bin/env bash
# Runs every libFuzzer target of the asan preset for the given number of seconds each (default 30),
# on inputs up to 1 MiB, each with the dictionary <name>.dict and the seed corpus corpus/<name>/
# from its source folder when they exist. An input that runs longer than the per-input time limit
# (FUZZ_INPUT_TIMEOUT seconds, default 20, never more than the run) counts as a finding, so a
# quadratic path is one. Fails on the first finding and keeps the input under build/asan/fuzz-findings.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-30}"
input_timeout="${FUZZ_INPUT_TIMEOUT:-20}"
(( input_timeout > seconds )) && input_timeout="$seconds"
cmake --preset asan >/dev/null
cmake --build --preset asan
mapfile -t fuzzers < <(find build/asan -path '*/fuzz/*_fuzzer' -type f -perm -u+x | sort)
[ ${#fuzzers[@]} -gt 0 ] || { echo "no fuzzers built" >&2; exit 1; }
findings=build/asan/fuzz-findings
mkdir -p "$findings"
for f in "${fuzzers[@]}"; do
  name="$(basename "$f")"
  source_dir="$(dirname "${f#build/asan/}")"
  echo "== fuzzing $name for ${seconds}s"
  # New inputs go to a scratch folder, so the checked-in seeds stay as they are.
  work="$(mktemp -d)"
  options=(-max_total_time="$seconds" -max_len=1048576 -timeout="$input_timeout" -rss_limit_mb=2048
           -artifact_prefix="$findings/$name-")
  [ -f "$source_dir/$name.dict" ] && options+=(-dict="$source_dir/$name.dict")
  corpora=("$work")
  [ -d "$source_dir/corpus/$name" ] && corpora+=("$source_dir/corpus/$name")
  status=0
  "$f" "${options[@]}" "${corpora[@]}" >"$work/log" 2>&1 || status=$?
  tail -n 5 "$work/log"
  if [ "$status" -ne 0 ]; then
    grep -E "ERROR|SUMMARY|Test unit written" "$work/log" >&2 || true
    rm -rf "$work"
    exit "$status"
  fi
  rm -rf "$work"
done
