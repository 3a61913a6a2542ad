#!/usr/bin/env bash
# Times whole runs of `quillarc-cli notes` and `quillarc-cli channels` (start,
# read, merge, note walk, CSV on standard output, exit) against the reference
# driver on the generated `large` file.
#
#   bench/cli_bench.sh [RUNS]        (default 5 runs per command and program)
#
# Environment: BENCH_DATA (where the generated files live, default
# /tmp/quillarc-bench; kept between runs), QUILLARC_SHARED_DIR (default
# ../shared), BENCH_FILES (default "large"), BENCH_COMMANDS (default "notes
# channels"), QUILLARC_BENCH_BUILD (the build folder, default build/bench,
# configured with the release preset when it holds no build yet),
# BENCH_PROFILE=1 (then, when perf is installed, one profiled run of each
# command and the share of its samples by phase).
#
# `notes` must find as many channel-0 entries as the reference. Each command
# and the reference then run alternately RUNS times under /usr/bin/time, both
# writing to /dev/null; the script prints the median wall time and peak RSS of
# each, the ratios ours/reference and a verdict line per command and measure.
# Goals: time at most 0.5 times the reference's, peak memory at most 0.9
# times. The exit status is 1 when a goal is missed.
set -euo pipefail
cd "$(dirname "$0")/.."

runs=${1:-5}
shared=${QUILLARC_SHARED_DIR:-$(pwd)/../shared}
data=${BENCH_DATA:-/tmp/quillarc-bench}
files=${BENCH_FILES:-large}
commands=${BENCH_COMMANDS:-notes channels}
build=${QUILLARC_BENCH_BUILD:-build/bench}
time_goal=0.5
mem_goal=0.9

log() { echo "== $*" >&2; }

mkdir -p "$data"
for name in $files; do
  if [ ! -s "$data/$name.mid" ]; then
    log "generating $name.mid"
    python3 "$shared/bench/gen_midi.py" --out "$data" --only "$name" >&2
  fi
done

if [ ! -f "$build/CMakeCache.txt" ]; then
  log "configuring $build (release)"
  cmake --preset release -B "$build" -DQUILLARC_BUILD_TESTS=OFF -DQUILLARC_BUILD_GUI=OFF >/dev/null
fi
log "building quillarc-cli in $build"
cmake --build "$build" -j2 --target quillarc-cli >&2
ours=$build/src/cli/quillarc-cli

reference=$build/reference_baseline
if [ ! -x "$reference" ] || [ "$shared/bench/peers/baseline.cpp" -nt "$reference" ]; then
  log "building the reference driver"
  g++ -std=c++20 -O2 -o "$reference" "$shared/bench/peers/baseline.cpp"
fi

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
export XDG_CONFIG_HOME=$scratch/config
mkdir -p "$XDG_CONFIG_HOME"

median() { sort -g | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# Appends "seconds kilobytes" of one run of the command to the file $1.
timed_run() {
  local out=$1
  shift
  /usr/bin/time -f "%e %M" -o "$out.one" "$@" >/dev/null 2>"$out.err" || {
    echo "error: $* failed:" >&2
    cat "$out.err" >&2
    exit 1
  }
  tail -n 1 "$out.one" >> "$out"
}

# The share of a profiled run's samples by phase, from the symbols perf saw.
profile() {
  local cmd=$1 file=$2
  perf record -q -F 4000 -o "$scratch/perf.data" "$ours" "$cmd" "$file" >/dev/null 2>&1
  perf report -i "$scratch/perf.data" --stdio --sort sym 2>/dev/null | awk -v cmd="$cmd" '
    /^ *[0-9.]+%/ {
      share = $1 + 0; sym = $0; sub(/^ *[0-9.]+% +/, "", sym)
      if (sym ~ /Reader|assignAppended|ByteStream|EventSelection/) phase = "parse"
      else if (sym ~ /mergeTracks|sortTrack|LoserTree|forgetFront/) phase = "merge (sort of each track)"
      else if (sym ~ /extractNotes|noteTimeMs|surveyChannels|walkNoteTimes|tempoOf|MergedEvents/) phase = "note walk (merging as it goes)"
      else if (sym ~ /IntegerCsv|to_chars|ostream|num_put|_IO_|fwrite|sentry|locale|putc|xsputn|write|Function_handler/) phase = "CSV out"
      else if (sym ~ /~MidiFile|~CheckedArray|release|munmap|madvise|mremap|_int_free|cfree/) phase = "freeing"
      else if (sym ~ /\[k\]/) phase = "kernel (file read, page faults)"
      else phase = "other (start-up, libc)"
      total[phase] += share
    }
    END { for (p in total) printf "  %-8s %-36s %5.1f%%\n", cmd, p, total[p] }' | sort -k2
}

missed=0
table=$scratch/table
verdicts=$scratch/verdicts
: > "$verdicts"
printf '%-7s %-9s %10s %10s %7s %10s %10s %7s\n' file command ours_s ref_s time_x ours_MB ref_MB mem_x > "$table"

for name in $files; do
  file=$data/$name.mid
  ref_notes=$("$reference" "$file" | sed -n 's/.*notes=\([0-9]*\).*/\1/p')
  ours_notes=$(("$(XDG_CONFIG_HOME=$XDG_CONFIG_HOME "$ours" notes "$file" 2>/dev/null | wc -l)" - 1))
  log "$name: channel-0 entries: ours $ours_notes, reference $ref_notes"
  if [ "$ours_notes" != "$ref_notes" ]; then
    echo "error: $name.mid: the channel-0 entry counts differ (ours $ours_notes, reference $ref_notes)" >&2
    exit 1
  fi
  for cmd in $commands; do
    : > "$scratch/ours" && : > "$scratch/ref"
    for ((i = 1; i <= runs; i++)); do
      log "$name $cmd: run $i/$runs"
      timed_run "$scratch/ours" "$ours" "$cmd" "$file"
      timed_run "$scratch/ref" "$reference" "$file"
    done
    ours_s=$(cut -d' ' -f1 "$scratch/ours" | median)
    ref_s=$(cut -d' ' -f1 "$scratch/ref" | median)
    ours_kb=$(cut -d' ' -f2 "$scratch/ours" | median)
    ref_kb=$(cut -d' ' -f2 "$scratch/ref" | median)
    time_x=$(awk -v a="$ours_s" -v b="$ref_s" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 99) }')
    mem_x=$(awk -v a="$ours_kb" -v b="$ref_kb" 'BEGIN { printf "%.2f", a / b }')
    printf '%-7s %-9s %10.2f %10.2f %7s %10.1f %10.1f %7s\n' "$name" "$cmd" "$ours_s" "$ref_s" "$time_x" \
      "$(awk -v k="$ours_kb" 'BEGIN { print k / 1024 }')" "$(awk -v k="$ref_kb" 'BEGIN { print k / 1024 }')" \
      "$mem_x" >> "$table"
    for measure in "time $time_x $time_goal" "memory $mem_x $mem_goal"; do
      read -r what ratio goal <<< "$measure"
      if awk -v x="$ratio" -v g="$goal" 'BEGIN { exit !(x <= g) }'; then
        echo "verdict: $name $cmd $what ${ratio}x of the reference <= ${goal}x: met" >> "$verdicts"
      else
        echo "verdict: $name $cmd $what ${ratio}x of the reference > ${goal}x: MISSED" >> "$verdicts"
        missed=1
      fi
    done
  done
done

echo "load: $(uptime | sed 's/.*load average: //') (1, 5, 15 min); $(nproc) cores"
echo "medians of $runs alternated runs (wall seconds, peak RSS in MB); x = ours / reference"
cat "$table"
cat "$verdicts"
if [ "${BENCH_PROFILE:-0}" = 1 ] && command -v perf >/dev/null; then
  echo "share of perf samples by phase, one run each:"
  for name in $files; do
    for cmd in $commands; do
      profile "$cmd" "$data/$name.mid"
    done
  done
fi
exit "$missed"
