#!/usr/bin/env bash
# Builds the fuzz targets (clang, ASan + UBSan) and fuzzes the MIDI file path
# (read, absolute ticks, merge, note list) for SECONDS seconds (default 600).
#
#   fuzz/run.sh [SECONDS]
#
# The committed seeds in fuzz/corpus/ are copied to fuzz/corpus-work/ (not
# tracked), which the fuzzer grows; crashing inputs land in
# build/fuzz/artifacts/. Extra libFuzzer flags can be passed in FUZZ_FLAGS.
# Reproduce a finding with: build/fuzz/fuzz/fuzz_midifile ARTIFACT
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-600}
build=build/fuzz
work=fuzz/corpus-work
artifacts=$build/artifacts

cmake --preset fuzz -B "$build" >/dev/null
cmake --build "$build" -j2 --target fuzz_midifile

mkdir -p "$work" "$artifacts"
find fuzz/corpus -type f -name '*.mid' -exec cp -f {} "$work"/ \;

# halt_on_error keeps UBSan reports fatal, so each one is saved as a crash.
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}

# shellcheck disable=SC2086  # FUZZ_FLAGS is a list of flags
exec "$build/fuzz/fuzz_midifile" "$work" \
  -dict=fuzz/midi.dict \
  -max_len=4096 \
  -timeout=10 \
  -rss_limit_mb=2048 \
  -max_total_time="$seconds" \
  -print_final_stats=1 \
  -artifact_prefix="$artifacts/" \
  ${FUZZ_FLAGS:-}
