#!/usr/bin/env bash
# Start-up time of the control panel to its main window drawn on Xvfb, with
# the controller found over JACK (the recorder of the end-to-end tests on a
# private server), against in-memory devices; median of RUNS runs (default 5)
# after a warm-up. Exit status 1 when the median reaches 300 ms.
#
#   bench/startup.sh [RUNS]     (needs root and jackd: see tests/e2e/with_jack.sh)
#
# QUILLARC_BENCH_BUILD names another build folder to take quillarc from (it is
# not built then), QUILLARC_JACK_RECORDER another recorder.
set -euo pipefail
cd "$(dirname "$0")/.."
runs="${1:-5}"
build="${QUILLARC_BENCH_BUILD:-build/release}"
if [ "$build" = build/release ]; then
  cmake --preset release >/dev/null
  cmake --build "$build" -j2 --target quillarc jack_recorder >/dev/null
fi
recorder="${QUILLARC_JACK_RECORDER:-$build/tests/e2e/jack_recorder}"
tests/e2e/with_jack.sh --recorder-bin "$recorder" --recorder "Quillarc USB Controller" -- \
  python3 bench/startup.py "$build/src/app/quillarc" "$runs"
