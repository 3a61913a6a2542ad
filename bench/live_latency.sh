#!/usr/bin/env bash
# Live latency benchmark: on one private JACK server for each period in turn,
# a sender client plays NOTES notes (default 1000, one every 20 ms, each
# released 10 ms later, at frames spread over the period) into
# `quillarc-cli live` and, in the same run, into a plain same-cycle
# pass-through client (bench/jack_passthrough.cpp), the baseline. Each path
# ends at a recorder of its own: quillarc's at "Quillarc USB Controller", the
# baseline's at "Baseline Recorder". A message's lateness is its frame at the
# recorder less its frame at the sender. Reports, per period, p50, p99 and max
# per path over every note-on and note-off, the messages lost, whether each
# path delivered the exact sequence sent, and a verdict line: PASS when
# quillarc's p99 is at most the pass-through's + 0.1 ms, it loses no more
# than the pass-through and its sequence is exact; then the machine's load.
#
#   bench/live_latency.sh [NOTES]    (needs root and jackd: see tests/e2e/with_jack.sh)
#
# QUILLARC_JACK_PERIODS lists the frames per period (default "64 256": 1.33
# and 5.33 ms at 48 kHz); QUILLARC_BENCH_BUILD the build folder (default
# build/release, configured and built here); QUILLARC_BENCH_KEEP=1 keeps the
# recordings.
set -euo pipefail
periods="${QUILLARC_JACK_PERIODS:-64 256}"
cd "$(dirname "$0")/.."
notes="${1:-1000}"
build="${QUILLARC_BENCH_BUILD:-build/release}"
if [ "$build" = build/release ]; then
  cmake --preset release >/dev/null
fi
cmake --build "$build" -j2 --target quillarc-cli jack_sender jack_recorder jack_passthrough >/dev/null
# The recorders note the server's xruns: messages the server dropped in one
# are counted apart (see bench/live_latency.py).
export QUILLARC_RECORDER_XRUNS=1
work="$(mktemp -d /tmp/quillarc-live-bench.XXXXXX)"
if [ "${QUILLARC_BENCH_KEEP:-0}" = 1 ]; then echo "recordings in $work" >&2; else trap 'rm -rf "$work"' EXIT; fi
python3 - "$notes" >"$work/script.txt" <<'PY'
import sys
# Each note lands at another frame of its period (i * 37 mod 256 frames in).
for i in range(int(sys.argv[1])):
    key, velocity = 36 + i % 48, 1 + (i // 48) % 127
    at = i * 20 + (i * 37 % 256) / 48.0
    print("%.4f 90 %02x %02x" % (at, key, velocity))
    print("%.4f 80 %02x 00" % (at + 10, key))
PY
sync
for period in $periods; do
  mkdir -p "$work/$period"
  QUILLARC_JACK_PERIOD="$period" tests/e2e/with_jack.sh --recorder-bin "$build/tests/e2e/jack_recorder" \
    --recorder "Quillarc USB Controller" --recorder "Baseline Recorder" -- bash -c '
      set -e
      build="$1"; work="$2"; out="$3"
      "$build/bench/jack_passthrough" "Plain Through" --ready "$work/through.ready" & through=$!
      "$build/tests/e2e/jack_sender" "Live Keyboard" --script "$work/script.txt" --connections 2 \
        --ready "$work/sender.ready" --log "$work/sent.txt" --done "$work/sent.done" & sender=$!
      while [ ! -e "$work/through.ready" ] || [ ! -e "$work/sender.ready" ]; do sleep 0.02; done
      jack_connect "Plain Through:midi_out" "Baseline Recorder:midi_in"
      jack_connect "Live Keyboard:midi_out" "Plain Through:midi_in"
      "$build/src/cli/quillarc-cli" live --input-device "Live Keyboard" --volume 100 2>"$out/live.err" & live=$!
      while [ ! -e "$work/sent.done" ]; do sleep 0.1; done
      sleep 0.5
      kill -INT $live; wait $live || true
      kill -TERM $sender $through; wait $sender $through || true
      for i in 0 1; do
        pid_var="QUILLARC_RECORDER_PID_$i"; file_var="QUILLARC_RECORDER_FILE_$i"
        kill -TERM "${!pid_var}"
        while ! tail -n1 "${!file_var}" | grep -q end; do sleep 0.05; done
        cp "${!file_var}" "$out/recorder-$i.txt"
      done
      cp "$work/sent.txt" "$out/sent.txt"
      rm -f "$work"/*.ready "$work/sent.done"
      grep -ci xrun "$(dirname "$QUILLARC_RECORDER_FILE")/jackd.log" >"$out/xruns.txt" || true
      echo "${QUILLARC_JACK_REALTIME:-?}" >"$out/realtime.txt"' _ "$build" "$work" "$work/$period"
done
status=0
python3 bench/live_latency.py "$work" $periods || status=$?
echo "load: $(uptime | sed 's/.*load average: //') (1, 5, 15 min); $(nproc) cores"
exit $status
