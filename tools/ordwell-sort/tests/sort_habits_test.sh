#!/usr/bin/env bash
# The habits of sort(1) users, checked against references: -o in place and its failures, ties in
# input order and -u keeping the first in the input (Python's stable sort), -z round trips,
# -c/-C statuses, CR LF lists, and --locale against ICU's collator comparing line by line.
# Usage: sort_habits_test.sh path/to/ordwell-sort path/to/collate_reference
set -uo pipefail
sorter="$(realpath "$1")"
reference="$(realpath "$2")"
failures=0
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# --- -o: in place, permissions kept, nothing replaced on failure.
printf 'pear\nApple\nfig\n' >list.txt
chmod 640 list.txt
"$sorter" -o list.txt list.txt || fail "-o in place: status $?"
[ "$(cat list.txt)" = $'Apple\nfig\npear' ] || fail "-o in place: content '$(cat list.txt)'"
[ "$(stat -c %a list.txt)" = 640 ] || fail "-o in place: permissions $(stat -c %a list.txt)"
"$sorter" --output=new.txt list.txt && [ "$(stat -c %a new.txt)" = "$(printf '%o' $((0666 & ~$(umask))))" ] ||
  fail "--output to a new file: status or permissions $(stat -c %a new.txt 2>&1)"
ln -s list.txt link.txt
"$sorter" -r -o link.txt list.txt && [ -L link.txt ] && [ "$(head -1 list.txt)" = pear ] ||
  fail "-o through a symbolic link replaced the link or missed its file"
cp list.txt before.txt
printf 'ok\nbad\xff\n' >invalid.txt
"$sorter" -o list.txt list.txt invalid.txt 2>err
[ $? -eq 2 ] && cmp -s list.txt before.txt || fail "-o with an unreadable input changed the file"
# A write that fails in the middle (the file size limit) leaves the file and no temporary behind.
python3 -c 'print("\n".join(f"item{i:05d}" for i in range(3000, 0, -1)))' >big.txt
cp big.txt big.before
(ulimit -f 8 && "$sorter" -o big.txt big.txt) 2>err
status=$?
[ $status -eq 3 ] && cmp -s big.txt big.before || fail "a write failing midway: status $status, file changed"
grep -q "cannot write 'big.txt'" err || fail "a write failing midway: message '$(cat err)'"
[ -z "$(ls -A | grep '^\.ordwell-sort')" ] || fail "a temporary file was left behind: $(ls -A)"
# A folder nobody may write to: root may write anywhere, so the run drops to an ordinary user.
mkdir locked && cp before.txt locked/list.txt && chmod 644 locked/list.txt && chmod 555 locked && chmod 755 "$work"
as_user=()
[ "$(id -u)" -eq 0 ] && as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
"${as_user[@]}" "$sorter" -o locked/list.txt locked/list.txt 2>err
status=$?
[ $status -eq 2 ] && cmp -s locked/list.txt before.txt || fail "read-only folder: status $status (want 2) or file changed"
grep -q "cannot create 'locked/list.txt'" err || fail "read-only folder: message '$(cat err)'"
chmod 755 locked
"$sorter" -o /dev/null list.txt && [ -c /dev/null ] || fail "-o /dev/null is not written through"
"$sorter" -c -o list.txt before.txt >/dev/null 2>&1; cmp -s list.txt before.txt || fail "-c wrote its -o FILE"

# --- Ties, -u, -r against Python's stable sort by lower-case keys, on lists of many case
# variants: ASCII (sorted from the bytes) and Latin-1 letters (decoded first), small and large.
python3 - <<'PY'
import random
rng = random.Random(17)
stems = ["apple", "b", "ab", "é", "zèbre", "ö", "a b", "10", "9", "_x", ""]
def variant(s):
    return "".join(c.upper() if rng.random() < 0.5 else c for c in s)
for n, (count, pool) in enumerate([(40, stems[:4]), (300, stems), (5000, stems), (150000, stems[:3] + stems[6:])]):
    items = [variant(rng.choice(pool)) + (str(rng.randrange(3)) if rng.random() < 0.3 else "") for _ in range(count)]
    open(f"ties{n}.in", "w", encoding="utf-8", newline="").write("\n".join(items) + "\n")
    key = str.lower
    first = list({key(s): s for s in reversed(items)}.values())  # the first spelling of each key
    outputs = {
        "": sorted(items, key=key),
        "-s": sorted(items, key=key),
        "-r": sorted(items, key=key, reverse=True),
        "-u": sorted(first, key=key),
        "-ur": sorted(first, key=key, reverse=True),
    }
    for flags, lines in outputs.items():
        open(f"ties{n}.want{flags}", "w", encoding="utf-8", newline="").write("".join(l + "\n" for l in lines))
PY
for n in 0 1 2 3; do
  for flags in "" -s -r -u -ur; do
    "$sorter" $flags "ties$n.in" >out 2>err && cmp -s out "ties$n.want$flags" ||
      fail "list $n with '$flags' differs from the stable reference: $(cmp out "ties$n.want$flags" 2>&1 | head -1) $(cat err)"
  done
done
# With --exact the window's order stays; -s puts ties in input order there too.
[ "$(printf 'b, B, a' | "$sorter" --exact -t ', ' -j ' ')" = "a B b" ] || fail "--exact order changed"
[ "$(printf 'b, B, a' | "$sorter" --exact -s -t ', ' -j ' ')" = "a b B" ] || fail "--exact -s is not stable"
# -u keeps the first spelling in the input in every order.
[ "$(printf 'Ab, ab, aB, AB' | "$sorter" --exact -u -t ', ' -j ' ')" = "Ab" ] || fail "--exact -u"
[ "$(printf 'Éa\néa\nea\nEA\n' | "$sorter" --locale=fr -u | tr '\n' ' ')" = "ea Éa " ] || fail "--locale -u"
[ "$(printf 'éa\nÉa\nb\n' | "$sorter" --locale=fr -r | tr '\n' ' ')" = "éa Éa b " ] || fail "--locale -r"

# --- -z: names with newlines, spaces and non-ASCII letters come back whole.
python3 - <<'PY'
names = ["b\nnew line", "a", "A", "spaced name", "é\n", "\nlead", "Z\n\nz", "a"]
open("names.z", "wb").write(b"".join(n.encode() + b"\0" for n in names))
want = sorted(names, key=str.lower)
open("names.want", "wb").write(b"".join(n.encode() + b"\0" for n in want))
first = list({n.lower(): n for n in reversed(names)}.values())
open("names.want-u", "wb").write(b"".join(n.encode() + b"\0" for n in sorted(first, key=str.lower)))
ascii_names = ["x\ny", "x y", "X", "w"]
open("ascii.z", "wb").write(b"".join(n.encode() + b"\0" for n in ascii_names))
open("ascii.want", "wb").write(b"".join(n.encode() + b"\0" for n in sorted(ascii_names, key=str.lower)))
PY
"$sorter" -z names.z >out && cmp -s out names.want || fail "-z round trip: $(od -c out | head -3)"
"$sorter" -zu names.z >out && cmp -s out names.want-u || fail "-z -u round trip: $(od -c out | head -3)"
"$sorter" --zero-terminated <ascii.z >out && cmp -s out ascii.want || fail "-z ASCII round trip: $(od -c out | head -3)"
"$sorter" -z -c names.want || fail "-z -c on a sorted list"
[ "$(printf 'b,a' | "$sorter" -t , -j '\0' | od -An -c | tr -s ' ')" = " a \0 b \n" ] || fail "\\0 escape in -j"
printf 'b\r\nx\0a\0' | "$sorter" -z >out 2>err
[ $? -eq 2 ] && [ ! -s out ] && grep -qF 'CR LF' err || fail "-z with CR LF in an item is not refused: $(od -c out)"

# --- -c and -C: STATUS ARGS INPUT [MESSAGE].
while IFS='|' read -r want args input message; do
  # shellcheck disable=SC2086
  printf '%b' "$input" | "$sorter" $args >out 2>err
  status=$?
  [ $status -eq "$want" ] || fail "$args on '$input': status $status (want $want)"
  [ -s out ] && fail "$args on '$input' wrote '$(cat out)'"
  if [ -n "$message" ]; then
    grep -qF -- "$message" err || fail "$args on '$input': message '$(cat err)' lacks '$message'"
  elif [ -s err ]; then
    fail "$args on '$input': unexpected message '$(cat err)'"
  fi
done <<'TABLE'
0|-c|a\nB\nb\nc\n|
1|-c|a\nc\nb\n|item 3 is out of order: 'b'
1|-C|a\nc\nb\n|
0|-C|\n|
0|-c -r|c\nB\nb\na\n|
1|-c -r|a\nb\n|item 2 is out of order: 'b'
1|-c -u|a\nB\nb\n|item 3 is out of order: 'b'
0|-c -u|a\nb\n|
0|-c -t ,|a,B,c|
1|-c|é\nz\n|item 2 is out of order: 'z'
0|-c --locale=fr|é\nz\n|
1|-c --locale=sv|ö\nz\n|item 2 is out of order: 'z'
1|-C -z|b\0a\0|
TABLE

# --- CR LF lists stay CR LF, ASCII or not, through -o too; a mix gives LF.
[ "$(printf 'b\r\né\r\na\r\n' | "$sorter" | od -An -c | tr -s ' ')" = " a \r \n b \r \n 303 251 \r \n" ] ||
  fail "a non-ASCII CR LF list lost its CR LF"
printf 'b\r\na\r\n' >crlf.txt
"$sorter" -o crlf.txt crlf.txt && [ "$(od -An -c crlf.txt | tr -s ' ')" = " a \r \n b \r \n" ] ||
  fail "-o on a CR LF file: $(od -c crlf.txt)"

# --- --locale against ICU's collator comparing line by line, in locales with their own rules.
python3 - <<'PY'
import random
rng = random.Random(5)
pieces = ["a", "A", "b", "e", "E", "é", "É", "e\u0301", "z", "Z", "å", "Å", "ä", "ö", "Ö", "ø", "æ", "ß",
          "ch", "Ch", "ll", "ı", "İ", "i", "I", "ж", "Ж", "σ", "Σ", "ς", "中", "文", "한", "0", "10", "2",
          " ", "-", "'", "𝐀"]
words = ["".join(rng.choice(pieces) for _ in range(rng.randint(0, 4))) for _ in range(3000)]
open("words.txt", "w", encoding="utf-8", newline="").write("\n".join(words) + "\n")
PY
for locale in "" de sv fr_CA tr es da ja "de@collation=phonebook"; do
  LC_ALL=C "$reference" "${locale:-root}" <words.txt >want || fail "the reference failed for '$locale'"
  if [ -n "$locale" ]; then
    "$sorter" --locale="$locale" words.txt >out 2>err
  else
    LC_ALL=C "$sorter" --locale words.txt >out 2>err
  fi
  cmp -s out want || fail "--locale=$locale differs from ICU's collator: $(cmp out want 2>&1) $(cat err)"
done
LC_ALL=sv_SE.UTF-8 "$sorter" --locale words.txt >out 2>/dev/null && "$reference" sv <words.txt | cmp -s out - ||
  fail "--locale did not take the environment's locale"
"$sorter" --locale=xx_NOWHERE words.txt >out 2>err
[ $? -eq 2 ] && grep -qF "unknown locale 'xx_NOWHERE'" err || fail "an unknown --locale is not refused: $(cat err)"

# --- File names in messages are quoted, a newline shown escaped.
"$sorter" $'odd\nname.txt' 2>err
grep -qF "cannot read 'odd\\nname.txt'" err || fail "an odd file name is not escaped: $(cat err)"

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "all checks passed"
