#!/usr/bin/env bash
# Builds the fuzz targets (clang, ASan + UBSan) and fuzzes one input of the
# programs for SECONDS seconds (default 600):
#
#   fuzz/run.sh [TARGET] [SECONDS]
#
# TARGET is midifile (the default: read, absolute ticks, merge, note list),
# curve (the velocity curve file), limits (the coil limits file), rig (the
# rig file), songsettings (a song's settings file) or forwarder (live
# input's forwarder). The committed seeds in fuzz/corpus/TARGET/ (for
# midifile: the .mid files under fuzz/corpus/) are copied to fuzz/corpus-work/TARGET/ (not
# tracked), which the fuzzer grows; crashing inputs land in
# build/fuzz/artifacts/TARGET/. Extra libFuzzer flags can be passed in
# FUZZ_FLAGS. Reproduce a finding with: build/fuzz/fuzz/fuzz_TARGET ARTIFACT
set -euo pipefail
cd "$(dirname "$0")/.."

target=midifile
case "${1:-}" in
  midifile|curve|limits|rig|songsettings|forwarder) target=$1; shift ;;
  ''|[0-9]*) ;;
  *) echo "fuzz/run.sh: no target $1 (midifile, curve, limits, rig, songsettings, forwarder)" >&2; exit 2 ;;
esac
seconds=${1:-600}
build=build/fuzz
work=fuzz/corpus-work/$target
artifacts=$build/artifacts/$target

cmake --preset fuzz -B "$build" >/dev/null
cmake --build "$build" -j2 --target "fuzz_$target"

mkdir -p "$work" "$artifacts"
if [ "$target" = midifile ]; then
  find fuzz/corpus -type f -name '*.mid' -exec cp -f {} "$work"/ \;
  dictionary=(-dict=fuzz/midi.dict -max_len=4096)
elif [ "$target" = forwarder ]; then
  cp -f fuzz/corpus/forwarder/* "$work"/
  dictionary=(-max_len=2048)
else
  cp -f fuzz/corpus/"$target"/* "$work"/
  dictionary=(-dict=fuzz/settings.dict -max_len=1024)
fi

# halt_on_error keeps UBSan reports fatal, so each one is saved as a crash.
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}

# shellcheck disable=SC2086  # FUZZ_FLAGS is a list of flags
exec "$build/fuzz/fuzz_$target" "$work" \
  "${dictionary[@]}" \
  -timeout=10 \
  -rss_limit_mb=2048 \
  -max_total_time="$seconds" \
  -print_final_stats=1 \
  -artifact_prefix="$artifacts/" \
  ${FUZZ_FLAGS:-}
