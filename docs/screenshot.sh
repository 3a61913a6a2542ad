#!/usr/bin/env bash
# Makes the README's pictures: docs/quillarc.png, the photograph that the
# panel's smoke test (tests/e2e/check_panel.py, label smoke) takes of the real
# program on Xvfb half-way through a demo song played to the coil simulator;
# docs/player-notes.png, the panel playing with the labelled Notes window
# beside it, that tests/e2e/check_player.py takes in its `notes` scenario;
# docs/coils.png, the Coils dialog with a second coil, from its `coils` one;
# docs/song-settings.png and docs/loop.png, the Song settings dialog and a
# loop's band on the progress slider, from its `song` one;
# the three analysis windows' charts with their labels, drawn by
# `quillarc-cli plot` from the karaoke song of the shared test collection
# (channel 0; the Duty Cycle chart under a duty limit of 4 %);
# and docs/charts-coil.png, the Notes window of a two-coil rig with its coil
# chooser turned to the second coil, on Xvfb, of a song with a speed of its own.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/bootstrap
cmake --preset dev >/dev/null
cmake --build --preset dev --target quillarc quillarc-cli quillarc-coil jack_recorder >/dev/null
shot=build/dev/tests/e2e/artefacts/panel-coil/panel.png
rm -f "$shot"
ctest --preset dev -L smoke
[ -f "$shot" ] || { echo "screenshot.sh: the smoke test took no screenshot (skipped?)" >&2; exit 1; }
cp "$shot" docs/quillarc.png
echo "docs/quillarc.png"
beside=build/dev/tests/e2e/artefacts/panel-player/panel-notes.png
rm -f "$beside"
ctest --preset dev -R 'e2e\.panel\.Player\.notes$'
[ -f "$beside" ] || { echo "screenshot.sh: the player test took no screenshot (skipped?)" >&2; exit 1; }
cp "$beside" docs/player-notes.png
echo "docs/player-notes.png"
coils=build/dev/tests/e2e/artefacts/panel-player/coils.png
rm -f "$coils"
ctest --preset dev -R 'e2e\.panel\.Player\.coils$'
[ -f "$coils" ] || { echo "screenshot.sh: the Coils test took no screenshot (skipped?)" >&2; exit 1; }
cp "$coils" docs/coils.png
echo "docs/coils.png"
for shot in song-settings loop; do
  rm -f "build/dev/tests/e2e/artefacts/panel-player/$shot.png"
done
ctest --preset dev -R 'e2e\.panel\.Player\.song$'
for shot in song-settings loop; do
  [ -f "build/dev/tests/e2e/artefacts/panel-player/$shot.png" ] || { echo "screenshot.sh: the song settings test took no $shot.png (skipped?)" >&2; exit 1; }
  cp "build/dev/tests/e2e/artefacts/panel-player/$shot.png" "docs/$shot.png"
  echo "docs/$shot.png"
done
# A fresh settings folder: no coil limits file of the user's draws its line.
XDG_CONFIG_HOME="$(mktemp -d)"
export XDG_CONFIG_HOME
trap 'rm -rf "$XDG_CONFIG_HOME"' EXIT
shared="$(sed -n 's/^QUILLARC_SHARED_DIR:PATH=//p' build/dev/CMakeCache.txt)"
song="$shared/midi/jazz-soft/test-karaoke-kar.mid"
cli=build/dev/src/cli/quillarc-cli
"$cli" plot spectrum "$song" -o docs/frequency-analysis.png
"$cli" plot notes "$song" -o docs/notes-roll.png
"$cli" plot duty "$song" --duty-limit 4 -o docs/duty-cycle.png
echo "docs/frequency-analysis.png docs/notes-roll.png docs/duty-cycle.png"

# The panel on Xvfb with a rig of two coils, a song at 150 % and the Notes
# window open (as the panel remembers it); the Down key in the window's coil
# chooser shows Bass.
"$cli" song "$shared/midi/jazz-soft/test-multichannel-chords-0.mid" --set speed=150 >/dev/null
printf '[coil Lead]\nchannels = 0\n\n[coil Bass]\nchannels = 1, 2\ntranspose = -12\nvoices = 2\n' \
  >"$XDG_CONFIG_HOME/quillarc/rig.conf"
printf '[windows]\nnotesOpen=true\n' >"$XDG_CONFIG_HOME/quillarc/panel.conf"
photograph_notes() {
  QUILLARC_VIRTUAL_DEVICES="Quillarc USB Controller" QT_QPA_PLATFORM=xcb build/dev/src/app/quillarc >/dev/null 2>&1 &
  local panel=$! window=""
  for _ in $(seq 100); do
    window="$(xdotool search --name '^Notes$' 2>/dev/null | head -1 || true)"
    [ -n "$window" ] && break
    sleep 0.1
  done
  [ -n "$window" ] || { kill "$panel"; echo "screenshot.sh: no Notes window" >&2; return 1; }
  sleep 1
  xdotool windowfocus --sync "$window" || true
  xdotool key --window "$window" Down
  sleep 1
  import -window "$window" docs/charts-coil.png
  kill "$panel"
  wait "$panel" || true
}
QUILLARC_PLAYLIST="$shared/midi/jazz-soft/test-multichannel-chords-0.mid" \
  xvfb-run -a -s "-screen 0 1280x800x24" bash -c "$(declare -f photograph_notes); photograph_notes"
echo "docs/charts-coil.png"
