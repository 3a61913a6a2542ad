#!/usr/bin/env bash
# Runs `quillarc-cli devices` against the recorders that with_jack.sh started
# ("Other Synth", "Quillarc USB Controller 2", "Quillarc USB Controller") and
# checks that every one is listed and only the exact name is the controller.
#   check_devices.sh PATH/TO/quillarc-cli
set -euo pipefail
cli="$1"
out="$QUILLARC_E2E_DIR/devices.out"
err="$QUILLARC_E2E_DIR/devices.err"
status=0
"$cli" devices >"$out" 2>"$err" || status=$?
fail() { echo "FAILED: $*" >&2; echo "--- stdout:" >&2; cat "$out" >&2; echo "--- stderr:" >&2; cat "$err" >&2; exit 1; }

[ "$status" -eq 0 ] || fail "exit status $status"
[ ! -s "$err" ] || fail "something on stderr"
[ "$(wc -l <"$out")" -eq 3 ] || fail "expected three devices"
awk -F'\t' '$1 !~ /^[0-9]+$/ || NR - 1 != $1 { exit 1 }' "$out" || fail "lines must be numbered 0, 1, 2"
for name in "Other Synth" "Quillarc USB Controller 2"; do
  awk -F'\t' -v n="$name" '$2 == n && NF == 2 { found = 1 } END { exit !found }' "$out" \
    || fail "'$name' must be listed without the controller mark"
done
[ "$(awk -F'\t' '$3 == "controller"' "$out" | wc -l)" -eq 1 ] || fail "exactly one controller"
awk -F'\t' '$2 == "Quillarc USB Controller" && $3 == "controller" && NF == 3 { found = 1 } END { exit !found }' "$out" \
  || fail "the exact name must be the controller"
echo "devices: passed"
