#!/usr/bin/env bash
# Playback timing benchmark: plays a 20-second song (20 notes a second)
# through `quillarc-cli play`, and the same note list through a plain sender on
# RtMidi's JACK output that sleeps until each due time (the baseline,
# bench/sleep_sender.cpp), both at once on one server, each to a JACK recorder
# of its own, RUNS times (default 3), on a server of each period in turn.
# Each note's arrival is timed in the recorder by the real time of its cycle
# and its frame; the error is its distance from the ideal schedule, measured
# from the run's median lateness. Reports p50, p99 and max error and the CPU time each player used, as medians
# over the runs, and the notes that never arrived: once for the notes clear of
# the server's xruns (which the recorder notes), once for all of them. A last
# table puts the periods side by side, with the verdicts: p99 within 0.1 ms
# clear of xruns, p99 over all notes at most the sender's, no more notes lost.
#
#   bench/play_timing.sh [RUNS]      (needs root and jackd: see tests/e2e/with_jack.sh)
#
# QUILLARC_JACK_PERIODS lists the server's frames per period (default
# "64 256 1024": 1.3, 5.3 and 21.3 ms at 48 kHz); QUILLARC_SONG_SECONDS the
# song's length (default 20); QUILLARC_SHARED_DIR the shared data (default
# ../shared); QUILLARC_STALL_MS, when set, stops the server for that long
# half-way through every run, both players alike: an xrun at a known time;
# QUILLARC_BENCH_KEEP=1 keeps the recordings. On a machine whose dummy server
# misses thousands of cycles a minute at 64 (the xrun counts show it), the
# lost notes and the tail of the errors measure the server, not the players.
set -euo pipefail
periods="${QUILLARC_JACK_PERIODS:-64 256 1024}"
seconds="${QUILLARC_SONG_SECONDS:-20}"
stall_ms="${QUILLARC_STALL_MS:-0}"
stall_s="$(awk "BEGIN { print $stall_ms / 1000 }")"
# The recorder notes the server's xruns (see bench/play_timing.py).
export QUILLARC_RECORDER_XRUNS=1
cd "$(dirname "$0")/.."
runs="${1:-3}"
# The shared test data beside the checkout (a worktree elsewhere names it).
shared="${QUILLARC_SHARED_DIR:-$(pwd)/../shared}"
build=build/release
cmake --preset release >/dev/null
cmake --build "$build" -j2 --target quillarc-cli sleep_sender jack_recorder >/dev/null
work="$(mktemp -d /tmp/quillarc-play-bench.XXXXXX)"
if [ "${QUILLARC_BENCH_KEEP:-0}" = 1 ]; then echo "recordings in $work" >&2; else trap 'rm -rf "$work"' EXIT; fi
song="$work/song.mid"
python3 "$shared/bench/gen_song.py" "$song" "$seconds" 20 --seed 3
"$build/src/cli/quillarc-cli" notes "$song" >"$work/notes.csv" 2>/dev/null

# One run: both players at once on one server, each to a recorder of its own
# (quillarc's at "Quillarc USB Controller", the sender's at "Baseline
# Recorder"), so that both meet the same xruns under the same load.
cat >"$work/run.sh" <<'RUN'
set -euo pipefail
dir="$1" i="$2"
port=$("$build/src/cli/quillarc-cli" devices | awk -F'\t' '$3 == "controller" {print $1}')
/usr/bin/time -f "%U %S" -o "$dir/quillarc-$i.cpu" "$build/src/cli/quillarc-cli" play "$song" --port "$port" 2>/dev/null &
quillarc=$!
/usr/bin/time -f "%U %S" -o "$dir/baseline-$i.cpu" "$build/bench/sleep_sender" "Baseline Recorder" <"$notes" &
baseline=$!
if [ "$stall_ms" -gt 0 ]; then
  # At realtime priority, so that the stall lasts as asked on a busy machine.
  (sleep $((seconds / 2)); chrt -f 90 bash -c "kill -STOP $QUILLARC_JACK_PID; sleep $stall_s; kill -CONT $QUILLARC_JACK_PID") &
fi
# Each sending thread's own CPU time (clock ticks), sampled every 0.2 s until
# the players end: a process's total also holds its JACK client's process
# thread, which wakes every period. Threads that a sender starts afterwards
# (the JACK client's) inherit its name: the sender is the oldest, the lowest
# thread id of the name.
declare -A ticks=([quillarc-play]=0 [sleep-sender]=0)
while kill -0 $quillarc 2>/dev/null || kill -0 $baseline 2>/dev/null; do
  seen=" "
  for task in $(ls -d /proc/[0-9]*/task/[0-9]* 2>/dev/null | sort -t/ -k5 -n); do
    { read -r name <"$task/comm"; } 2>/dev/null || continue
    [ -n "${ticks[$name]+set}" ] && [[ "$seen" != *" $name "* ]] || continue
    seen+="$name "
    { read -r -a stat <"$task/stat"; } 2>/dev/null || continue
    t=$((stat[13] + stat[14]))
    [ "$t" -gt "${ticks[$name]}" ] && ticks[$name]=$t
  done
  sleep 0.2
done
wait $quillarc $baseline
echo "${ticks[quillarc-play]} $(getconf CLK_TCK)" >"$dir/quillarc-$i.thread"
echo "${ticks[sleep-sender]} $(getconf CLK_TCK)" >"$dir/baseline-$i.thread"
for player in 0 1; do
  pid="QUILLARC_RECORDER_PID_$player" file="QUILLARC_RECORDER_FILE_$player"
  kill -TERM "${!pid}"
  while ! tail -n1 "${!file}" | grep -q end; do sleep 0.05; done
done
cp "$QUILLARC_RECORDER_FILE_0" "$dir/quillarc-$i.rec"
cp "$QUILLARC_RECORDER_FILE_1" "$dir/baseline-$i.rec"
echo "${QUILLARC_JACK_REALTIME:-?}" | tee "$dir/quillarc-$i.rt" >"$dir/baseline-$i.rt"
RUN
export build song seconds stall_ms stall_s
export notes="$work/notes.csv"

# The build leaves dirty pages that the kernel writes back over the next half
# minute, which would disturb the first runs: write them out now.
sync
for period in $periods; do
  export QUILLARC_JACK_PERIOD="$period"
  mkdir -p "$work/$period"
  for i in $(seq 1 "$runs"); do
    tests/e2e/with_jack.sh --recorder-bin "$build/tests/e2e/jack_recorder" \
      --recorder "Quillarc USB Controller" --recorder "Baseline Recorder" -- bash "$work/run.sh" "$work/$period" "$i"
  done
done
python3 bench/play_timing.py "$work/notes.csv" "$work" "$runs" $periods
