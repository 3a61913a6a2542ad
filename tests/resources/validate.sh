#!/usr/bin/env bash
# Runs a validator (its command line as arguments), or skips (77) when it is
# not installed.
command -v "$1" >/dev/null 2>&1 || { echo "SKIP: $1 is not installed" >&2; exit 77; }
exec "$@"
