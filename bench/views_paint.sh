#!/usr/bin/env bash
# Time to the first paint of the Frequency Analysis, Notes and Duty Cycle
# windows, and of a repaint, on a generated song of a million notes, against
# `quillarc-cli notes` on the same file, in one run of the same build.
#
#   bench/views_paint.sh [RUNS]        (default 5)
#
# Environment: BENCH_DATA (where the song is kept, default /tmp/quillarc-bench),
# BENCH_NOTES (default 1000000). Targets: each first paint at most 1.3 x the
# median time of `notes`, each repaint under 16 ms; exit status 1 when missed.
set -euo pipefail
cd "$(dirname "$0")/.."

runs=${1:-5}
data=${BENCH_DATA:-/tmp/quillarc-bench}
notes=${BENCH_NOTES:-1000000}
build=build/bench-gui

echo "== building views_paint and quillarc-cli (release)" >&2
cmake --preset release -B "$build" -DQUILLARC_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target views_paint quillarc-cli >&2

mkdir -p "$data"
song=$data/notes-$notes.mid
if [ ! -s "$song" ]; then
  echo "== generating $song" >&2
  "$build/bench/views_paint" generate "$song" "$notes"
fi
QT_QPA_PLATFORM=offscreen "$build/bench/views_paint" measure "$song" "$build/src/cli/quillarc-cli" "$runs"
