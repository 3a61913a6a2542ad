#!/usr/bin/env bash
# Every benchmark in one go, for a quiet machine: first builds what all of
# them need (so that no build runs while one of them measures), then runs them
# one after the other, each under a line with the time and the machine's load,
# and ends with the verdict lines of all of them and each one's exit status.
# Exit status 1 when any of them failed or missed its goal.
#
#   bench/all.sh            (needs root and jackd, as the JACK benchmarks do)
#
# BENCH_ONLY="name ..." runs only the named ones (play_timing live_latency
# cli_bench read_bench startup views_paint midiout_send).
set -uo pipefail
cd "$(dirname "$0")/.."
names="${BENCH_ONLY:-play_timing live_latency cli_bench read_bench startup views_paint midiout_send}"
logs="$(mktemp -d /tmp/quillarc-bench-all.XXXXXX)"
echo "== $(date +%T) building; the logs go to $logs" >&2

build() {
  cmake --preset release -B "$1" "${@:3}" >/dev/null && cmake --build "$1" -j2 --target $2 >"$logs/build.log" 2>&1
}
build build/release "quillarc quillarc-cli sleep_sender jack_sender jack_recorder jack_passthrough midiout_send_bench" || {
  echo "the release build failed: $logs/build.log" >&2; exit 1; }
build build/bench "quillarc-cli read_driver" -DQUILLARC_BUILD_TESTS=OFF -DQUILLARC_BUILD_GUI=OFF || {
  echo "the bench build failed: $logs/build.log" >&2; exit 1; }
build build/bench-gui "views_paint quillarc-cli" -DQUILLARC_BUILD_TESTS=OFF || {
  echo "the bench-gui build failed: $logs/build.log" >&2; exit 1; }

declare -A statuses
for name in $names; do
  echo "== $(date +%T) $name; load average $(cut -d' ' -f1-3 /proc/loadavg)"
  status=0
  if [ "$name" = midiout_send ]; then
    bench/midiout_send.sh build/release 2>&1 | tee "$logs/$name.log" || status=$?
  else
    "bench/$name.sh" 2>&1 | tee "$logs/$name.log" || status=$?
  fi
  statuses[$name]=$status
done

echo
echo "== $(date +%T) verdicts; load average $(cut -d' ' -f1-3 /proc/loadavg)"
failed=0
for name in $names; do
  echo "-- $name: exit ${statuses[$name]}"
  grep -Ei 'verdict|PASS|FAIL|MISSED|at every period|goal met|target' "$logs/$name.log" | grep -v '^== ' | sed 's/^/   /'
  [ "${statuses[$name]}" -eq 0 ] || failed=1
done
exit "$failed"
