#!/usr/bin/env bash
# The Windows build of quillarc-cli, run under Wine, against the Linux build:
# standard output, standard error and the exit status of notes, channels and
# duty (the chart and its summary) of every song under SONGS must be the same
# bytes, and so must those of notes for a song in a folder named in non-ASCII
# letters, and those of devices and play on a machine without any MIDI device
# (where the Linux build lists none; skipped with 77 where it does).
#   check_same_output.sh LINUX_CLI WINDOWS_CLI WINE SONGS
set -euo pipefail
linux="$1" windows="$2" wine="$3" songs="$4"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME="$work/config"
export JACK_DEFAULT_SERVER="quillarc-absent-$$"
# Wine hands the arguments over as UTF-8 only in a UTF-8 locale; its own
# diagnostics and its sound drivers (which would probe ALSA) are kept out.
export LC_ALL=C.UTF-8 WINEDEBUG=-all WINEDLLOVERRIDES="winealsa.drv,winepulse.drv,wineoss.drv=d;mscoree,mshtml="

failures=0
compare() {
  local status=0
  "$linux" "$@" >"$work/linux.out" 2>"$work/linux.err" || status=$?
  echo "$status" >"$work/linux.status"
  status=0
  "$wine" "$windows" "$@" >"$work/windows.out" 2>"$work/windows.err" || status=$?
  echo "$status" >"$work/windows.status"
  for part in out err status; do
    if ! cmp -s "$work/linux.$part" "$work/windows.$part"; then
      echo "DIFFERENT $part: quillarc-cli $*" >&2
      diff "$work/linux.$part" "$work/windows.$part" | head -5 >&2 || true
      failures=$((failures + 1))
    fi
  done
}

# The songs listed once, up front: no pipe cut short by its reader (which
# would end the script in silence under pipefail), and nothing in the loop
# can read the list from its standard input.
mapfile -d '' -t listed < <(find "$songs" -name '*.mid' -print0 | sort -z)
[ "${#listed[@]}" -gt 0 ] || { echo "no songs under $songs" >&2; exit 1; }
count=0
for song in "${listed[@]}"; do
  for command in notes channels duty; do
    compare "$command" "$song"
  done
  compare duty --summary "$song"
  count=$((count + 1))
done

folder="$work/Chansons d’été – Песни 歌曲"
mkdir -p "$folder"
cp "${listed[0]}" "$folder/song.mid"
compare notes "$folder/song.mid"
compare notes "$folder/none.mid"

echo "compared $count songs" >&2
[ "$failures" -eq 0 ] || exit 1

"$linux" devices >/dev/null 2>"$work/devices.err" || true
if [ "$(cat "$work/devices.err")" != "quillarc-cli devices: no MIDI output devices" ]; then
  echo "SKIP: the Linux build sees MIDI devices here" >&2
  exit 77
fi
compare devices
compare play "$folder/song.mid"
compare play "$folder/song.mid" --port 0
[ "$failures" -eq 0 ]
