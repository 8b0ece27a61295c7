#!/usr/bin/env bash
# Runs ordwell-sort on files that another process rewrites, truncates and grows meanwhile, and on
# standard output opened onto its own input. No run may end by a signal; a run either sorts one
# whole version of the file (exit 0) or says that the file changed (exit 2).
# Usage: changing_input_test.sh path/to/ordwell-sort
set -uo pipefail
sorter="$(realpath "$1")"
failures=0
work="$(mktemp -d)"
cleanup() {
  [ -n "${writer:-}" ] && kill "$writer" 2>/dev/null && wait "$writer" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
cd "$work" || exit 1

fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# Two versions of a list, of different lengths, and their sorted forms.
seq 200000 -1 1 | sed 's/^/Item /' >big
seq 1000 -1 1 | sed 's/^/é /' >small
LC_ALL=C sort -f big >big.sorted
"$sorter" small >small.sorted

# A writer that keeps replacing the file's content in place: truncation, rewrite, growth.
cp big list
(
  while :; do
    cat small >list
    cat big >list
    : >list
    cat big big >>list
  done
) &
writer=$!
statuses=""
for _ in $(seq 40); do
  "$sorter" list >out 2>err
  status=$?
  statuses+=" $status"
  case "$status" in
    0) ;;  # a version that stayed whole while it was read: it must come out sorted
    2) grep -q "changed while it was read\|not valid UTF-8" err || fail "exit 2 without saying why: $(cat err)" ;;
    *) fail "exit status $status: $(head -c 300 err)" ;;
  esac
  # Keys are compared lower-cased; case variants may come in any order.
  if [ "$status" = 0 ] && ! tr '[:upper:]' '[:lower:]' <out | LC_ALL=C sort -c 2>/dev/null; then
    fail "unsorted output from a changing file"
  fi
done
kill "$writer"
wait "$writer" 2>/dev/null
writer=""
echo "statuses:$statuses"

# Standard output onto the input itself: all input is read before the first byte is written.
cp big inplace
"$sorter" inplace 1<>inplace || fail "sorting onto its own input"
tr '[:upper:]' '[:lower:]' <inplace | cmp -s - <(tr '[:upper:]' '[:lower:]' <big.sorted) ||
  fail "output written over its own input differs from the sorted input"

if [ "$failures" -ne 0 ]; then
  echo "$failures failure(s)"
  exit 1
fi
echo "changing input test passed"
