#!/usr/bin/env bash
# Times ordwell-sort --locale=root against `LC_ALL=C.UTF-8 sort -f` on mixed-script words, every
# round running each once, and prints wall time, CPU time and peak memory of every run.
# Usage: bench/locale_compare.sh [COUNT [ROUNDS]]  (default 1000000 words, 3 rounds)
set -euo pipefail
cd "$(dirname "$0")/.."
count="${1:-1000000}"
rounds="${2:-3}"
build=build/release
[ -f "$build/build.ninja" ] || cmake --preset release >/dev/null
cmake --build "$build" --target ordwell-sort >/dev/null
sorter="$build/tools/ordwell-sort/ordwell-sort"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

python3 - "$count" >"$work/words.txt" <<'PY'
import random, sys
rng = random.Random(1)
alphabets = [
    "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ",
    "abcdefghijklmnopqrstuvwxyzéèêëàâäöüçñåøæßÉÀÖÜ",
    "абвгдеёжзийклмнопрстуфхцчшщъыьэюяАБВГДЕЖЗИЙКЛМНОПРСТУФХЦЧШЩЭЮЯ",
    "αβγδεζηθικλμνξοπρστυφχψωΑΒΓΔΕΖΗΘΙΚΛΜΝΞΟΠΡΣΤΥΦΧΨΩ",
    "的一是不了人我在有他这中大来上国个到说们为子和你地出道也时年",
    "אבגדהוזחטיכלמנסעפצקרשת",
]
out = []
for _ in range(int(sys.argv[1])):
    a = rng.choices(alphabets, [40, 25, 15, 10, 5, 5])[0]
    n = rng.randint(3, 12) if len(a) > 30 else rng.randint(1, 4)
    out.append("".join(rng.choice(a) for _ in range(n)))
sys.stdout.write("\n".join(out) + "\n")
PY
echo "$(nproc) cores; $count words, $(du -h "$work/words.txt" | cut -f1)"
for ((round = 1; round <= rounds; ++round)); do
  /usr/bin/time -f "ordwell-sort --locale=root  %e s wall  %U s user  %S s sys  %M KiB" \
    "$sorter" --locale=root "$work/words.txt" >"$work/ordwell.out"
  /usr/bin/time -f "LC_ALL=C.UTF-8 sort -f      %e s wall  %U s user  %S s sys  %M KiB" \
    env LC_ALL=C.UTF-8 sort -f "$work/words.txt" >"$work/sort.out"
done
