#!/usr/bin/env bash
# Start-up time of the control panel to its main window drawn on Xvfb, with
# the controller found over JACK (the recorder of the end-to-end tests on a
# private server), against in-memory devices; median of RUNS runs (default
# 10) after a warm-up, every run's time printed. A verdict line: PASS when
# the median with JACK is at most 100 ms; FAIL and exit status 1 otherwise.
#
#   bench/startup.sh [RUNS]     (needs root and jackd: see tests/e2e/with_jack.sh)
#
# Beside the panel it times the floors it stands on: a bare Qt window
# (bench/qt_window_floor.cpp) and jack_lsp.
#
# QUILLARC_BENCH_BUILD names another build folder to take quillarc from (it is
# not built then), QUILLARC_JACK_RECORDER another recorder, QUILLARC_QT_FLOOR
# another bare window;
# QUILLARC_BENCH_BASELINE another build folder whose quillarc runs alternately
# with this one, for a before and after under the same load.
set -euo pipefail
cd "$(dirname "$0")/.."
runs="${1:-10}"
build="${QUILLARC_BENCH_BUILD:-build/release}"
if [ "$build" = build/release ]; then
  cmake --preset release >/dev/null
  cmake --build "$build" -j2 --target quillarc jack_recorder qt_window_floor >/dev/null
fi
recorder="${QUILLARC_JACK_RECORDER:-$build/tests/e2e/jack_recorder}"
floor="${QUILLARC_QT_FLOOR:-$build/bench/qt_window_floor}"
baseline=()
if [ -n "${QUILLARC_BENCH_BASELINE:-}" ]; then
  baseline=("$QUILLARC_BENCH_BASELINE/src/app/quillarc")
fi
# The server's missed cycles do not make a start-up's time inconclusive: a
# FAIL is a FAIL (with_jack.sh would report it as 75).
status=0
tests/e2e/with_jack.sh --recorder-bin "$recorder" --recorder "Quillarc USB Controller" -- \
  python3 bench/startup.py "$build/src/app/quillarc" "$floor" "$runs" "${baseline[@]}" || status=$?
if [ "$status" -eq 75 ]; then
  status=1
fi
exit "$status"
