#!/usr/bin/env bash
# Times the preparation of a song for playback (read, absolute ticks, merge,
# channel-0 note list) against the reference driver, on the generated
# `medium` and `large` files.
#
#   bench/read_bench.sh [RUNS]        (default 5 runs per file and program)
#
# Environment: BENCH_DATA (where the generated files live, default
# /tmp/quillarc-bench; kept between runs), QUILLARC_SHARED_DIR (default
# ../shared), BENCH_FILES (default "medium large").
#
# For each file both programs must report the same number of channel-0 notes;
# then they run alternately, each under /usr/bin/time, and the script prints
# the median wall time and median peak RSS of each with the ratios
# ours/reference. Targets: on `large`, time ratio <= 0.6 and memory ratio
# <= 1.2; on `medium`, time ratio <= 1. The exit status is 1 when a target
# is missed.
set -euo pipefail
cd "$(dirname "$0")/.."

runs=${1:-5}
shared=${QUILLARC_SHARED_DIR:-$(pwd)/../shared}
data=${BENCH_DATA:-/tmp/quillarc-bench}
files=${BENCH_FILES:-medium large}
build=build/bench

log() { echo "== $*" >&2; }

mkdir -p "$data"
for name in $files; do
  if [ ! -s "$data/$name.mid" ]; then
    log "generating $name.mid"
    python3 "$shared/bench/gen_midi.py" --out "$data" --only "$name" >&2
  fi
done

log "building read_driver (release)"
cmake --preset release -B "$build" -DQUILLARC_BUILD_TESTS=OFF -DQUILLARC_BUILD_GUI=OFF >/dev/null
cmake --build "$build" -j2 --target read_driver >&2
ours=$build/bench/read_driver

reference=$build/reference_baseline
if [ ! -x "$reference" ] || [ "$shared/bench/peers/baseline.cpp" -nt "$reference" ]; then
  log "building the reference driver"
  g++ -std=c++20 -O2 -o "$reference" "$shared/bench/peers/baseline.cpp"
fi

# notes=N from the last line a driver prints.
note_count() { "$@" | tail -n 1 | sed -n 's/.*notes=\([0-9]*\).*/\1/p'; }

median() { sort -g | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# Appends "seconds kilobytes" of one run of the command to the file $1.
timed_run() {
  local out=$1
  shift
  /usr/bin/time -f "%e %M" -o "$out.one" "$@" >/dev/null
  cat "$out.one" >> "$out"
}

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
missed=0
table="$scratch/table"
printf '%-7s %12s %12s %8s %12s %12s %8s\n' file ours_s ref_s time_x ours_MB ref_MB mem_x > "$table"

for name in $files; do
  file=$data/$name.mid
  ours_notes=$(note_count "$ours" "$file") || true
  ref_notes=$(note_count "$reference" "$file") || true
  log "$name: channel-0 notes: ours $ours_notes, reference $ref_notes"
  if [ -z "$ours_notes" ] || [ "$ours_notes" != "$ref_notes" ]; then
    echo "error: $name.mid: the channel-0 note counts differ (ours '$ours_notes', reference '$ref_notes')" >&2
    exit 1
  fi

  : > "$scratch/ours" && : > "$scratch/ref"
  for ((i = 1; i <= runs; i++)); do
    log "$name: run $i/$runs"
    timed_run "$scratch/ours" "$ours" "$file"
    timed_run "$scratch/ref" "$reference" "$file"
  done
  ours_s=$(cut -d' ' -f1 "$scratch/ours" | median)
  ref_s=$(cut -d' ' -f1 "$scratch/ref" | median)
  ours_kb=$(cut -d' ' -f2 "$scratch/ours" | median)
  ref_kb=$(cut -d' ' -f2 "$scratch/ref" | median)
  time_x=$(awk -v a="$ours_s" -v b="$ref_s" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "n/a" }')
  mem_x=$(awk -v a="$ours_kb" -v b="$ref_kb" 'BEGIN { printf "%.2f", a / b }')
  printf '%-7s %12.2f %12.2f %8s %12.1f %12.1f %8s\n' "$name" "$ours_s" "$ref_s" "$time_x" \
    "$(awk -v k="$ours_kb" 'BEGIN { print k / 1024 }')" "$(awk -v k="$ref_kb" 'BEGIN { print k / 1024 }')" \
    "$mem_x" >> "$table"

  # time and memory limits per file (empty: none)
  case $name in
    large) time_limit=0.6 mem_limit=1.2 ;;
    medium) time_limit=1.0 mem_limit= ;;
    *) time_limit= mem_limit= ;;
  esac
  if [ -n "$time_limit" ] && awk -v x="$time_x" -v l="$time_limit" 'BEGIN { exit !(x == "n/a" || x > l) }'; then
    echo "target missed: $name.mid time ratio $time_x > $time_limit" >&2
    missed=1
  fi
  if [ -n "$mem_limit" ] && awk -v x="$mem_x" -v l="$mem_limit" 'BEGIN { exit !(x > l) }'; then
    echo "target missed: $name.mid peak memory ratio $mem_x > $mem_limit" >&2
    missed=1
  fi
done

echo "medians of $runs runs (wall seconds, peak RSS in MB); x = ours / reference"
cat "$table"
echo "targets (large: time <= 0.6 x, memory <= 1.2 x; medium: time <= 1.0 x): $([ "$missed" = 0 ] && echo met || echo MISSED)"
exit "$missed"
