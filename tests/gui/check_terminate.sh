#!/usr/bin/env bash
# SIGTERM, SIGINT, SIGHUP and SIGQUIT close the control panel like its Exit
# button: the process leaves through its normal exit (status 0, so the last output object
# resets the controller) instead of dying by the signal.
#   check_terminate.sh PATH/TO/quillarc [--system-devices]
#
# With --system-devices the panel uses the system's MIDI devices (run it
# under tests/e2e/with_jack.sh), whose discovery starts threads of its own;
# otherwise in-memory ones.
set -uo pipefail
export QT_QPA_PLATFORM=offscreen
# An empty settings folder: the panel never reads the user's coil limits.
XDG_CONFIG_HOME="$(mktemp -d)"
export XDG_CONFIG_HOME
trap 'rm -rf "$XDG_CONFIG_HOME"' EXIT
if [ "${2:-}" != --system-devices ]; then
  export QUILLARC_VIRTUAL_DEVICES="Quillarc USB Controller"
fi
for signal in TERM INT HUP QUIT; do
  "$1" >/dev/null 2>&1 &
  pid=$!
  # Ready once all four signals are blocked (they then wait for the event loop).
  for _ in $(seq 1 500); do
    mask=$(awk '/^SigBlk:/ {print $2}' "/proc/$pid/status" 2>/dev/null)
    [ -n "$mask" ] && (( (16#$mask & 0x4007) == 0x4007 )) && break
    sleep 0.01
  done
  kill -"$signal" "$pid"
  status=0
  wait "$pid" || status=$?
  if [ "$status" -ne 0 ]; then
    echo "FAILED: SIG$signal ended the panel with status $status" >&2
    exit 1
  fi
done
echo "terminate: passed"
