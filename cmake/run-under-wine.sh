#!/usr/bin/env bash
# Runs a Windows program under Wine: the cross build's test runner and the
# way its tests are listed at build time.
#   run-under-wine.sh WINE PROGRAM [ARGUMENTS...]
# Now and then, on a loaded machine, Wine fails to start a program at all: it
# exits non-zero before the program has printed a line. Such a run is tried
# again, twice at most, and said so on standard error. A run that printed
# anything on standard output, or that succeeded, stands as it is: every test
# program here prints its results there.
set -uo pipefail
wine="$1"
shift
out="$(mktemp)"
trap 'rm -f "$out"' EXIT
for attempt in 1 2 3; do
  status=0
  "$wine" "$@" >"$out" || status=$?
  if [ "$status" -eq 0 ] || [ -s "$out" ] || [ "$attempt" -eq 3 ]; then
    break
  fi
  echo "run-under-wine: Wine exited $status without output from $1; once more" >&2
done
cat "$out"
exit "$status"
