#!/usr/bin/env bash
# Runs ordwell-sort under a sweep of address-space limits (ulimit -v) on a 3,000,000-line organ
# pipe, sorted from its bytes, and on the same list with a non-ASCII letter, sorted in UTF-16.
# Every run that starts must end with status 0 and the whole sorted list, or with status 3 and
# its message; never by a signal.
# Usage: memory_limit_test.sh path/to/ordwell-sort
set -uo pipefail
sorter="$(realpath "$1")"
failures=0
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1

fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# An address-space limit leaves the sanitizers' shadow memory no room: nothing to learn there.
if ! (ulimit -v 2000000 && "$sorter" --version >/dev/null 2>&1); then
  echo "ordwell-sort does not start under ulimit -v (a sanitizer build?): skipped"
  exit 77
fi

awk -v n=3000000 'BEGIN { h = int(n / 2); for (i = 0; i < n; i++) printf "w%07d\n", (i < h ? i : n - i) }' >organ
sed 's/^w/\xc3\xa9/' organ >organ.utf8

# sweep FILE FIRST_KB STEP_KB LAST_KB
sweep() {
  local file="$1" limit statuses="" status
  "$sorter" "$file" >expected || fail "$file: no limit, exit status $?"
  for limit in $(seq "$2" "$3" "$4"); do
    # Below some limit the program cannot even be loaded; that says nothing about it.
    (ulimit -v "$limit" && "$sorter" --version >/dev/null 2>&1) || continue
    (ulimit -v "$limit" && exec "$sorter" "$file" >out 2>err)
    status=$?
    statuses+=" ${limit}k:$status"
    case "$status" in
      0) cmp -s out expected || fail "$file under ${limit} KiB: exit 0 with the wrong output" ;;
      3) grep -q "not enough memory" err || fail "$file under ${limit} KiB: exit 3 saying $(head -c 300 err)" ;;
      *) fail "$file under ${limit} KiB: exit status $status: $(head -c 300 err)" ;;
    esac
  done
  echo "$file:$statuses"
  case "$statuses" in
    *:3*) ;;
    *) fail "$file: memory never ran out; the sweep's limits are too high" ;;
  esac
}

sweep organ 20000 30000 260000
sweep organ.utf8 20000 35000 335000

if [ "$failures" -ne 0 ]; then
  echo "$failures failure(s)"
  exit 1
fi
echo "memory limit test passed"
