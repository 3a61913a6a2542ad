#!/usr/bin/env bash
# Playback timing benchmark: plays a 20-second song (20 notes a second) to the
# JACK recorder through `quillarc-cli play`, and the same note list through a
# plain sender on RtMidi's JACK output that sleeps until each due time (the
# baseline, bench/sleep_sender.cpp), alternately, RUNS times each (default 3),
# on a server of each period in turn. Each note's arrival is timed in the
# recorder by the real time of its cycle and its frame; the error is its
# distance from the ideal schedule, measured from the run's median lateness.
# Reports p50, p99 and max error and the CPU time each player used, as medians
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

# The build leaves dirty pages that the kernel writes back over the next half
# minute, which disturbed whichever player ran first: write them out now, and
# let the players take turns at going first.
sync
for period in $periods; do
export QUILLARC_JACK_PERIOD="$period"
mkdir -p "$work/$period"
for i in $(seq 1 "$runs"); do
  order="quillarc baseline"
  if [ $((i % 2)) -eq 0 ]; then order="baseline quillarc"; fi
  for player in $order; do
    out="$work/$period/$player-$i"
    tests/e2e/with_jack.sh --recorder-bin "$build/tests/e2e/jack_recorder" --recorder "Quillarc USB Controller" -- \
      bash -c '
        port=$("'"$build"'/src/cli/quillarc-cli" devices | awk -F"\t" "\$3==\"controller\"{print \$1}")
        if [ "'"$player"'" = quillarc ]; then
          thread=quillarc-play
          /usr/bin/time -f "%U %S" -o "'"$out"'.cpu" "'"$build"'/src/cli/quillarc-cli" play "'"$song"'" --port "$port" 2>/dev/null &
        else
          thread=sleep-sender
          /usr/bin/time -f "%U %S" -o "'"$out"'.cpu" "'"$build"'/bench/sleep_sender" "Quillarc USB Controller" <"'"$work"'/notes.csv" &
        fi
        timer=$!
        if [ '"$stall_ms"' -gt 0 ]; then
          # At realtime priority, so that the stall lasts as asked on a busy machine.
          (sleep '"$((seconds / 2))"'
           chrt -f 90 bash -c "kill -STOP $QUILLARC_JACK_PID; sleep '"$stall_s"'; kill -CONT $QUILLARC_JACK_PID") &
        fi
        # The sending thread'"'"'s own CPU time (clock ticks), sampled every 0.2 s
        # until the player ends: the process total also holds the JACK
        # client'"'"'s own process thread, which wakes every period.
        # Threads that the sender starts afterwards (the JACK client'"'"'s) inherit
        # its name: the sender is the oldest, the lowest thread id of the name.
        ticks=0
        while kill -0 $timer 2>/dev/null; do
          for task in $(ls -d /proc/[0-9]*/task/[0-9]* 2>/dev/null | sort -t/ -k5 -n); do
            if [ "$(cat $task/comm 2>/dev/null)" = "$thread" ]; then
              t=$(awk "{print \$14 + \$15}" $task/stat 2>/dev/null || echo 0)
              [ -n "$t" ] && [ "$t" -gt "$ticks" ] && ticks=$t
              break
            fi
          done
          sleep 0.2
        done
        wait $timer
        echo "$ticks $(getconf CLK_TCK)" >"'"$out"'.thread"
        echo "${QUILLARC_JACK_REALTIME:-?}" >"'"$out"'.rt"
        kill -TERM "$QUILLARC_RECORDER_PID"
        while ! tail -n1 "$QUILLARC_RECORDER_FILE" | grep -q end; do sleep 0.05; done
        cp "$QUILLARC_RECORDER_FILE" "'"$out"'.rec"'
  done
done
done
python3 bench/play_timing.py "$work/notes.csv" "$work" "$runs" $periods
