#!/usr/bin/env bash
# Runs `quillarc-cli devices` where no JACK server runs: it must exit 0 with
# nothing on stdout and exactly its own one line on stderr (no noise from the
# MIDI libraries probing for a server). Skipped (77) where an ALSA sequencer
# exists, since its ports would be listed.
#   check_no_devices.sh PATH/TO/quillarc-cli
set -euo pipefail
cli="$1"
if [ -e /dev/snd/seq ]; then
  echo "SKIP: this machine has an ALSA sequencer, so it has devices" >&2
  exit 77
fi
export JACK_DEFAULT_SERVER="quillarc-absent-$$"
out="$(mktemp)"; err="$(mktemp)"
trap 'rm -f "$out" "$err"' EXIT
status=0
"$cli" devices >"$out" 2>"$err" || status=$?
fail() { echo "FAILED: $*" >&2; echo "--- stdout:" >&2; cat "$out" >&2; echo "--- stderr:" >&2; cat "$err" >&2; exit 1; }
[ "$status" -eq 0 ] || fail "exit status $status"
[ ! -s "$out" ] || fail "stdout must be empty"
[ "$(cat "$err")" = "quillarc-cli devices: no MIDI output devices" ] || fail "stderr must hold exactly the one line"
echo "no devices: passed"
