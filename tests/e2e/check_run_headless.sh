#!/usr/bin/env bash
# `scripts/run --headless` as on a fresh machine without a display or a sound
# card: in a private mount namespace with an empty /dev/shm no JACK server
# answers, so the script must start one of its own with the dummy driver, play
# the demo song to the coil simulator, report the WAV (and the charts, where
# quillarc-cli has `plot`) and the duty peak, and stop the server and the
# simulator again.
#   check_run_headless.sh BUILD_DIR
set -euo pipefail
if ! command -v jackd >/dev/null 2>&1; then
  echo "SKIP: jackd is not installed" >&2
  exit 77
fi
if [ -z "${QUILLARC_IN_RUN_NAMESPACE:-}" ]; then
  export QUILLARC_IN_RUN_NAMESPACE=1
  exec unshare -m --propagation private -- "$BASH" "$0" "$@"
fi
mount -t tmpfs -o size=256m tmpfs /dev/shm
build="$(cd "$1" && pwd)"
root="$(cd "$(dirname "$0")/../.." && pwd)"
out="$(mktemp -d "${TMPDIR:-/tmp}/quillarc-run-test.XXXXXX")"
trap 'rm -rf "$out"' EXIT
fail() { echo "FAILED: $*" >&2; cat "$out/run.log" >&2; exit 1; }

unset DISPLAY WAYLAND_DISPLAY JACK_DEFAULT_SERVER
status=0
QUILLARC_RUN_BUILD="$build" QUILLARC_RUN_OUT="$out" "$root/scripts/run" >"$out/run.log" 2>&1 || status=$?
[ "$status" -eq 0 ] || fail "scripts/run exited with status $status"
wav=$(sed -n 's/^WAV: *//p' "$out/run.log")
[ "$wav" = "$out/two-voices/two-voices.wav" ] || fail "no WAV reported in $out/two-voices"
python3 - "$wav" <<'PY' || fail "the WAV is silent"
import sys, wave
with wave.open(sys.argv[1]) as w:
    frames = w.readframes(w.getnframes())
sys.exit(0 if any(frames) else 1)
PY
grep -Eq '^Duty: +peak [0-9]' "$out/run.log" || fail "no duty peak reported"
# The charts, where this build's quillarc-cli draws them.
if "$build/src/cli/quillarc-cli" --help | grep -q '^  plot '; then
  for chart in spectrum notes duty; do
    png="$out/two-voices/two-voices-$chart.png"
    grep -qx "PNG: *$png" "$out/run.log" && [ -s "$png" ] || fail "the $chart chart was not drawn"
  done
fi
for pid in $(pgrep -x jackd || true) $(pgrep -x quillarc-coil || true); do
  if tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -q '^QUILLARC_RUN_OUT='"$out"'$'; then
    fail "scripts/run left process $pid running"
  fi
done
echo "run --headless: passed"
