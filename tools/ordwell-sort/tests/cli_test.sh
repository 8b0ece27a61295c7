#!/usr/bin/env bash
# Runs ordwell-sort on small inputs and checks standard output, standard error and exit status.
# Usage: cli_test.sh path/to/ordwell-sort
set -uo pipefail
sorter="$(realpath "$1")"
failures=0
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1

# check NAME EXPECTED_STATUS EXPECTED_STDOUT STDIN [ARG...]; STDOUT and STDIN go through printf %b.
check() {
  local name="$1" want_status="$2" want_out="$3" input="$4"
  shift 4
  printf '%b' "$input" | "$sorter" "$@" >out 2>err
  local status=$?
  printf '%b' "$want_out" >want
  if [ "$status" -ne "$want_status" ] || ! cmp -s out want; then
    echo "FAIL: $name: status $status (want $want_status)"
    echo "  stdout: $(od -c out | head -5)"
    echo "  want:   $(od -c want | head -5)"
    echo "  stderr: $(cat err)"
    failures=$((failures + 1))
  fi
}

# expect_stderr NAME PATTERN: the last run's standard error matches PATTERN (a fixed string).
expect_stderr() {
  if ! grep -qF -- "$2" err; then
    echo "FAIL: $1: stderr '$(cat err)' lacks '$2'"
    failures=$((failures + 1))
  fi
}

# expect_quiet NAME: the last run wrote nothing on standard error.
expect_quiet() {
  if [ -s err ]; then
    echo "FAIL: $1: unexpected stderr '$(cat err)'"
    failures=$((failures + 1))
  fi
}

# --- A text stream: a final line break ends the last item, the output ends with one.
check "lines in, lines out" 0 'Apple\nfig\npear\n' 'pear\nApple\nfig\n'
expect_quiet "lines in, lines out"
check "no final line break" 0 'a\nb\n' 'b\na'
check "CR LF line breaks kept" 0 'a\r\nb\r\n' 'b\r\na\r\n'
check "mixed line breaks come out as LF" 0 'a\nb\nc\n' 'b\r\nc\na\r\n'
check "only one final line break is taken" 0 '\na\nb\n' 'b\na\n\n'
check "a blank line is an empty item" 0 '\na\nb\n' 'b\n\na\n'
check "case variants keep their input order" 0 'A\nA\na\nAa\nc\nc\n' 'A\nAa\nc\nA\na\nc\n'
check "--exact keeps the window's order" 0 'a, A, A, Aa, c, c' 'A, Aa, c, A, a, c' --exact -t ', ' -j ', '
check "byte-order mark skipped" 0 'a\nb\n' '\xef\xbb\xbfb\na\n'
check "byte-order mark skipped before a comma list" 0 'a, b\n' '\xef\xbb\xbfb, a' -t ', ' -j ', '
check "byte-order mark inside is text" 0 'b\n\xef\xbb\xbfa\n' 'b\n\xef\xbb\xbfa\n'
check "window separators" 0 'Apple, fig, pear\n' 'pear, Apple, fig\n' -t ', ' -j ', '
check "commas to lines" 0 'a\nb\nc\n' 'c, a, b\n' --input-separator=', '
check "spaces stay in items" 0 ' b, a\n' 'a, b' -t , -j ', '
check "tab and backslash escapes" 0 'a\\\\b\n' 'b\ta' -t '\t' -j '\\\\'
# Keys compare by UTF-16 unit: "é" (0xE9) after "z", "Ω" (0x3C9) after that.
check "non-ASCII" 0 'Zèbre\nété\nΩ\n' 'Ω\nété\nZèbre\n'
check "supplementary characters survive" 0 '𝒜\n😀\n' '😀\n𝒜\n'
check "reverse" 0 'c\nB\na\n' 'a\nc\nB\n' -r
check "unique keeps the first in the input" 0 'a\nB\n' 'B\nb\na\nA\nB\n' --unique
check "grouped short options" 0 'B\na\n' 'a\nB\nb\nA\n' -ur

# --- One item, or none: nothing to sort, nothing refused.
check "empty input writes nothing" 0 '' ''
expect_quiet "empty input"
check "byte-order mark alone writes nothing" 0 '' '\xef\xbb\xbf'
check "one line" 0 'pear, Apple\n' 'pear, Apple\n'
expect_quiet "one line"
check "one empty line" 0 '\n' '\n'
check "separator missing is one item" 0 'b,a\n' 'b,a\n' -t ', '
expect_stderr "separator missing warns" "warning: the input separator ', ' does not occur"
check "empty separator is one item" 0 'b, a\n' 'b, a' -t ''
expect_quiet "empty separator"

# --- --exact: the window's sort, refusals included.
check "exact keeps the final line break as an empty item" 0 '\na\nb' 'b\na\n' --exact
check "exact keeps a byte-order mark" 0 'a, \xef\xbb\xbfb' '\xef\xbb\xbfb, a' --exact -t ', ' -j ', '
check "exact refuses a list without the separator" 1 '' 'b,a' --exact -t ', '
expect_stderr "refusal message" 'You must have a list with at least two items, seperated by the chosen seperator.'
check "exact refuses an empty list" 1 '' '' --exact

# --- FILE arguments and -.
printf 'pear\r\nfig\r\n' >crlf.txt
printf 'banana' >bare.txt
printf '' >empty.txt
printf '\xef\xbb\xbfcherry\n' >bom.txt
printf 'x\n' >-u
printf 'apple\n' >apple.txt
check "files make one list" 0 'banana\ncherry\nfig\npear\n' '' crlf.txt bare.txt empty.txt bom.txt
check "- reads standard input among files" 0 'apple\nbanana\nkiwi\n' 'kiwi\n' bare.txt - apple.txt
check "- reads standard input alone" 0 'apple\nbanana\nkiwi\n' 'kiwi\napple' bare.txt -
check "- twice reads standard input once" 0 'kiwi\n' 'kiwi\n' - -
check "a file's end ends its item with other separators" 0 'a, b, banana, c\n' 'c, a\n' -t ', ' -j ', ' - bare.txt \
  <(printf 'b\n')
check "options after files" 0 'pear\r\nfig\r\n' '' crlf.txt --reverse
check "-- ends the options" 0 'x\n' '' -- -u
# With --exact, FILEs are one text, as if joined by cat: also across a CR LF split between two
# files and long runs of ASCII that end near a file's end.
python3 - <<'PY'
import random
rng = random.Random(11)
pieces = ["a", "B", "\r", "\n", "\r\n", "é", "😀", ", ", "x" * 20]
for case in range(20):
    chars = "".join(rng.choice(pieces) for _ in range(rng.randint(1, 30))) + ", "
    cut = sorted(rng.randint(0, len(chars)) for _ in range(2))
    for n, part in enumerate((chars[: cut[0]], chars[cut[0] : cut[1]], chars[cut[1] :])):
        open(f"split{case}.{n}", "w", newline="").write(part)
PY
for case in $(seq 0 19); do
  cat "split$case".* | "$sorter" --exact -t ', ' -j '|' >want 2>&1
  "$sorter" --exact -t ', ' -j '|' "split$case".* >out 2>&1
  cmp -s out want || { echo "FAIL: --exact FILEs differ from their cat (split$case)"; failures=$((failures + 1)); }
done

check "missing file" 2 '' 'a\nb\n' apple.txt - missing.txt
expect_stderr "missing file named" "cannot read 'missing.txt': No such file or directory"
check "directory" 2 '' '' apple.txt .
expect_stderr "directory named" "cannot read '.': Is a directory"

# --- Failures: invalid UTF-8 (offsets count from the start of the file), output, command line.
check "invalid UTF-8" 2 '' 'ab, c\xff, d'
expect_stderr "invalid UTF-8 offset" 'standard input is not valid UTF-8 (at byte offset 5)'
check "surrogate encoded in UTF-8" 2 '' 'a\n\xed\xa0\x80'
expect_stderr "surrogate offset" 'byte offset 2'
check "truncated sequence" 2 '' 'a\nb\xc3\n'
expect_stderr "truncated offset" 'byte offset 3'
check "overlong encoding" 2 '' '\xc0\xaf\na'
expect_stderr "overlong offset" 'byte offset 0'
printf '\xef\xbb\xbfok\nbad\xe9\n' >latin1.txt
check "invalid UTF-8 in a file" 2 '' 'fine\n' - apple.txt latin1.txt
expect_stderr "invalid UTF-8 file and offset" "'latin1.txt' is not valid UTF-8 (at byte offset 9)"
check "invalid UTF-8 with --exact" 2 '' '' --exact latin1.txt
expect_stderr "invalid UTF-8 with --exact offset" "'latin1.txt' is not valid UTF-8 (at byte offset 9)"
printf 'b\na\n' | "$sorter" >/dev/full 2>err
status=$?
[ "$status" -eq 3 ] || { echo "FAIL: /dev/full: status $status (want 3)"; failures=$((failures + 1)); }
expect_stderr "/dev/full" 'cannot write standard output: No space left on device'

check "unknown escape" 2 '' 'a, b' -t '\x'
expect_stderr "unknown escape message" 'unknown escape'
check "unknown option" 2 '' 'a, b' --frobnicate
expect_stderr "unknown option named" "unknown option '--frobnicate'"
check "unknown short option" 2 '' 'a, b' -ux
expect_stderr "unknown short option named" "unknown option '-x'"
check "missing separator text" 2 '' 'a, b' -j
expect_stderr "missing separator text named" "option '-j' needs a separator text"
check "value for a plain option" 2 '' 'a, b' --unique=yes
expect_stderr "value for a plain option named" "option '--unique' takes no value"

# --- A list large enough to be written in two halves on two threads: the joint must not lose
# or double anything, not even a CR that ends the last item of the first half.
python3 - <<'PY'
import random
count = 150000
keys = ["".join(c.upper() if random.random() < 0.5 else c for c in f"k{i:06d}x") for i in range(count)]
keys[count // 2 - 1] += "\r"
shuffled = keys[:]
random.Random(7).shuffle(shuffled)
open("big.in", "w", newline="").write("\n".join(k + ("\r" if k.endswith("\r") else "") for k in shuffled))
open("big.want", "w", newline="").write(("\r\n".join(keys) + "\r\n").replace("\r\n", "\n"))
open("big.reversed", "w", newline="").write(("\r\n".join(reversed(keys)) + "\r\n").replace("\r\n", "\n"))
PY
"$sorter" big.in >big.out 2>err && cmp -s big.out big.want ||
  { echo "FAIL: large list written in two halves: $(cmp big.out big.want 2>&1)"; failures=$((failures + 1)); }
"$sorter" -r big.in >big.out 2>err && cmp -s big.out big.reversed ||
  { echo "FAIL: large list reversed: $(cmp big.out big.reversed 2>&1)"; failures=$((failures + 1)); }

# --- Help and version.
check "help" 0 "$("$sorter" --help | sed 's/\\/\\\\/g')\n" '' --help
check "-h is help" 0 "$("$sorter" --help | sed 's/\\/\\\\/g')\n" '' -h
"$sorter" --version | grep -Eq '^ordwell-sort \(Ordwell\) [0-9]+\.[0-9]+\.[0-9]+\.[0-9]+$' ||
  { echo "FAIL: version line"; failures=$((failures + 1)); }

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "all checks passed"
