#!/usr/bin/env bash
# Runs ordwell-sort on small inputs and checks standard output, standard error and exit status.
# Usage: cli_test.sh path/to/ordwell-sort
set -uo pipefail
sorter="$1"
failures=0
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# check NAME EXPECTED_STATUS EXPECTED_STDOUT STDIN [ARG...]; STDOUT and STDIN go through printf %b.
check() {
  local name="$1" want_status="$2" want_out="$3" input="$4"
  shift 4
  printf '%b' "$input" | "$sorter" "$@" >"$work/out" 2>"$work/err"
  local status=$?
  printf '%b' "$want_out" >"$work/want"
  if [ "$status" -ne "$want_status" ] || ! cmp -s "$work/out" "$work/want"; then
    echo "FAIL: $name: status $status (want $want_status)"
    echo "  stdout: $(od -c "$work/out" | head -5)"
    echo "  want:   $(od -c "$work/want" | head -5)"
    echo "  stderr: $(cat "$work/err")"
    failures=$((failures + 1))
  fi
}

# expect_stderr NAME PATTERN: the last run's standard error matches PATTERN.
expect_stderr() {
  if ! grep -q -- "$2" "$work/err"; then
    echo "FAIL: $1: stderr '$(cat "$work/err")' lacks '$2'"
    failures=$((failures + 1))
  fi
}

check "default separators" 0 'Apple, banana, pear' 'pear, Apple, banana'
check "case variants" 0 'a, A, A, Aa, c, c' 'A, Aa, c, A, a, c'
check "line per item to commas" 0 'apple, Banana, cherry' 'cherry\napple\nBanana' -i '\n'
check "CR LF input" 0 'apple, Banana, cherry' 'cherry\r\napple\r\nBanana' --input-separator '\n'
check "lines in, lines out" 0 'a\nB\nc' 'c\nB\na' -i '\n' -o '\n'
check "trailing line break is an empty item" 0 '\na\nb' 'b\na\n' -i '\n' -o '\n'
check "tab and backslash escapes" 0 'a\\\\b' 'b\ta' -i '\t' -o '\\\\'
check "long option with =" 0 'a;b' 'b|a' --input-separator='|' --output-separator=';'
# Keys compare by UTF-16 unit: "é" (0xE9) after "z", "Ω" (0x3C9) after that.
check "non-ASCII" 0 'Zèbre, été, Ω' 'Ω, été, Zèbre'
check "supplementary characters survive" 0 '𝒜, 😀' '😀, 𝒜'

check "no separator is refused" 1 '' 'b,a'
expect_stderr "refusal message" 'You must have a list with at least two items, seperated by the chosen seperator.'
check "empty input is refused" 1 '' ''

check "invalid UTF-8" 2 '' 'ab, c\xff, d'
expect_stderr "invalid UTF-8 offset" 'byte offset 5'
check "surrogate encoded in UTF-8" 2 '' 'a, \xed\xa0\x80'
expect_stderr "surrogate offset" 'byte offset 3'
check "truncated sequence" 2 '' 'a, b\xc3'
expect_stderr "truncated offset" 'byte offset 4'
check "overlong encoding" 2 '' '\xc0\xaf, a'
expect_stderr "overlong offset" 'byte offset 0'

check "unknown escape" 2 '' 'a, b' -i '\x'
expect_stderr "unknown escape message" 'unknown escape'
check "unknown option" 2 '' 'a, b' --frobnicate
check "missing separator text" 2 '' 'a, b' -o

# A list large enough to be written in two halves on two threads: the joint must not lose or
# double anything, not even a CR that ends the last item of the first half.
python3 - "$work" <<'PY'
import random, sys
work = sys.argv[1]
count = 150000
keys = ["".join(c.upper() if random.random() < 0.5 else c for c in f"k{i:06d}x") for i in range(count)]
keys[count // 2 - 1] += "\r"
shuffled = keys[:]
random.Random(7).shuffle(shuffled)
open(f"{work}/big.in", "w", newline="").write("\n".join(k + ("\r" if k.endswith("\r") else "") for k in shuffled))
open(f"{work}/big.want", "w", newline="").write("\r\n".join(keys).replace("\r\n", "\n"))
PY
"$sorter" -i '\n' -o '\n' <"$work/big.in" >"$work/big.out" 2>"$work/err"
if ! cmp -s "$work/big.out" "$work/big.want"; then
  echo "FAIL: large list written in two halves: $(cmp "$work/big.out" "$work/big.want" 2>&1)"
  failures=$((failures + 1))
fi

check "help" 0 "$("$sorter" --help | sed 's/\\/\\\\/g')\n" '' --help
"$sorter" --help | grep -q -- '--input-separator' || { echo "FAIL: help lacks --input-separator"; failures=$((failures + 1)); }
"$sorter" --version | grep -Eq '^ordwell-sort [0-9]+\.[0-9]+\.[0-9]+\.[0-9]+$' ||
  { echo "FAIL: version line"; failures=$((failures + 1)); }

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "all checks passed"
