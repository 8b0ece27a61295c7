#!/usr/bin/env bash
# Times ordwell-sort against `LC_ALL=C sort -f` (default parallelism and --parallel=1) and
# Python's sorted(lines, key=str.lower) on files of each benchmark list shape, one item per line.
# Runs are interleaved (every tool once per round), and the script prints the median wall time
# and peak memory of each tool and the ratio of each peer's median to ordwell-sort's.
#
# Usage: bench/compare.sh [-n COUNT] [-r ROUNDS] [-s "SHAPE..."] [-b BUILD_DIR] [-t ORDWELL_SORT]
#   COUNT items per file (default 1000000), ROUNDS runs per tool (default 7), SHAPEs among
#   random sorted reversed equal variants long organ adversary sawtooth fewkeys intl intllong
#   organcase (default all),
#   BUILD_DIR a release build (default build/release; configured with the release preset when
#   missing), ORDWELL_SORT another ordwell-sort binary to time instead of the build's (say, an
#   older one, for a before-and-after comparison).
set -euo pipefail
cd "$(dirname "$0")/.."

count=1000000
rounds=7
shapes="random sorted reversed equal variants long organ adversary sawtooth fewkeys intl intllong organcase"
build=build/release
sorter=""
while getopts "n:r:s:b:t:" option; do
  case "$option" in
    n) count="$OPTARG" ;;
    r) rounds="$OPTARG" ;;
    s) shapes="$OPTARG" ;;
    b) build="$OPTARG" ;;
    t) sorter="$(realpath "$OPTARG")" ;;
    *) sed -n '2,14p' "$0" >&2; exit 2 ;;
  esac
done

if [ ! -f "$build/build.ninja" ]; then
  cmake --preset release -B "$build" >/dev/null
fi
cmake --build "$build" --target ordwell-sort make_list_shape >/dev/null
sorter="${sorter:-$build/tools/ordwell-sort/ordwell-sort}"
maker="$build/sorting/bench/make_list_shape"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
export PYTHONUTF8=1

tools=(ordwell sort sort-p1 python)
run_tool() {  # run_tool TOOL INPUT OUTPUT
  case "$1" in
    ordwell) "$sorter" --input-separator='\n' --output-separator='\n' <"$2" >"$3" ;;
    sort) LC_ALL=C sort -f <"$2" >"$3" ;;
    sort-p1) LC_ALL=C sort -f --parallel=1 <"$2" >"$3" ;;
    python) python3 -c 'import sys; sys.stdout.write("\n".join(sorted(sys.stdin.read().split("\n"), key=str.lower)) + "\n")' <"$2" >"$3" ;;
  esac
}
export -f run_tool
export sorter

echo "$(nproc) cores; $count items per shape; $rounds interleaved rounds; medians"
printf '%-9s %-8s %10s %12s %18s\n' shape tool "wall (s)" "peak (MiB)" "peer / ordwell"
for shape in $shapes; do
  input="$work/$shape.txt"
  "$maker" "$shape" "$count" >"$input"
  results="$work/$shape.results"
  : >"$results"
  for ((round = 1; round <= rounds; ++round)); do
    for tool in "${tools[@]}"; do
      # The wall time is taken inside the shell that runs the tool, so the start of that shell and
      # of /usr/bin/time (about 5 ms, a tenth of a sort of a sorted list) is not counted.
      /usr/bin/time -f '%M' -o "$work/mem" bash -c \
        'exec 3>&2; TIMEFORMAT=%3R; { time run_tool "$@" 2>&3; } 2>"$0"' "$work/wall" "$tool" "$input" "$work/$tool.out"
      echo "$tool $(awk '{printf "%d", $1 * 1e6}' "$work/wall") $(tail -n 1 "$work/mem")" >>"$results"
    done
  done
  # The same items, in an order that agrees with Python's once letter case is ignored (ASCII
  # only: Python lower-cases other letters in full and orders by code point).
  if LC_ALL=C grep -q '[^[:print:][:space:]]' "$input"; then
    if ! cmp -s <(LC_ALL=C sort "$work/ordwell.out") <(LC_ALL=C sort "$input"); then
      echo "$shape: ordwell-sort's output holds other items than its input" >&2
      exit 1
    fi
  elif ! cmp -s <(tr 'A-Z' 'a-z' <"$work/ordwell.out") <(tr 'A-Z' 'a-z' <"$work/python.out"); then
    echo "$shape: ordwell-sort's output differs from Python's beyond letter case" >&2
    exit 1
  fi
  python3 - "$shape" "$results" <<'PY'
import statistics, sys
shape, path = sys.argv[1], sys.argv[2]
walls, peaks = {}, {}
for line in open(path):
    tool, micros, kib = line.split()
    walls.setdefault(tool, []).append(int(micros) / 1e6)
    peaks.setdefault(tool, []).append(int(kib) / 1024)
base = statistics.median(walls["ordwell"])
for tool in ["ordwell", "sort", "sort-p1", "python"]:
    wall = statistics.median(walls[tool])
    ratio = "" if tool == "ordwell" else f"{wall / base:.2f}x"
    print(f"{shape:<9} {tool:<8} {wall:10.3f} {statistics.median(peaks[tool]):12.1f} {ratio:>18}")
PY
done
