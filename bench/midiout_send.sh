#!/usr/bin/env bash
# Cost of sendNoteOn through the output layer (JackMidiService) to a JACK
# recorder on a private server (tests/e2e/with_jack.sh): builds the benchmark
# and runs it, printing
# the median and 99th-percentile microseconds per call. Needs root and jackd.
#
#   bench/midiout_send.sh [BUILD_DIR]    (default build/release, the release preset)
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build/release}"
cmake --preset release -B "$build" >/dev/null
cmake --build "$build" -j2 --target midiout_send_bench jack_recorder >/dev/null
exec tests/e2e/with_jack.sh --recorder-bin "$build/tests/e2e/jack_recorder" --recorder "Quillarc USB Controller" -- \
  "$build/bench/midiout_send_bench" --benchmark_counters_tabular=true
