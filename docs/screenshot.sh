#!/usr/bin/env bash
# Makes docs/quillarc.png, the README's screenshot: the photograph that the
# panel's smoke test (tests/e2e/check_panel.py, label smoke) takes of the real
# program on Xvfb half-way through a demo song played to the coil simulator;
# and docs/player-notes.png, the panel playing with the Notes window beside
# it, that tests/e2e/check_player.py takes in its `notes` scenario.
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
