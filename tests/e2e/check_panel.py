#!/usr/bin/env python3
"""Smoke test of the real control panel on an X server, against the JACK
recorder that with_jack.sh started as "Quillarc USB Controller".

    check_panel.py QUILLARC QUILLARC_CLI ARTEFACT_DIR SONG [SONG...]

It starts Xvfb (by PID, on a display number of its own), then `quillarc`
in the folder of the songs, with their names in its playlist
(QUILLARC_PLAYLIST, as if dropped on the window), and its real MIDI devices.
The first song is played. Once the window is drawn it presses Space there
with xdotool: the Play button, which has the keyboard focus, starts the song. The recorder must see
the channel volume, every note of the song's note list in order and the
final all-sound-off; half-way through, the window is photographed with
ImageMagick's `import` into ARTEFACT_DIR/panel.png. Then the keyboard moves
to the Exit button and presses it: the program must end with status 0, and
no note may sound after the song's all-sound-off.
"""
import os
import select
import shutil
import signal
import subprocess
import sys
import time

from xserver import start_xvfb, stop_xvfb

RECORDER_FILE = os.environ["QUILLARC_RECORDER_FILE"]
RECORDER_PID = int(os.environ["QUILLARC_RECORDER_PID"])
SCRATCH = os.environ["QUILLARC_E2E_DIR"]
TITLE = "Quillarc Control Panel"
ALL_SOUND_OFF = [0xB0, 120, 0]


def fail(message):
    print("FAILED: " + message, file=sys.stderr)
    sys.exit(1)


def wait_until(predicate, seconds, what):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        value = predicate()
        if value:
            return value
        time.sleep(0.02)
    fail("timed out waiting for " + what)


def recorded(finished=False):
    """The recorded messages; `finished` once the recorder has ended its file."""
    messages = []
    with open(RECORDER_FILE) as fh:
        lines = fh.read().splitlines()
    for line in lines:
        fields = line.split()
        if fields and fields[0] == "dropped":
            fail("the recorder dropped events: " + line)
        if fields and fields[0] not in ("end", "dropped"):
            messages.append([int(x, 16) for x in fields[2:]])
    if finished and (not lines or lines[-1] != "end"):
        return None
    return messages


def xdotool(display, *args):
    env = dict(os.environ, DISPLAY=display)
    return subprocess.run(["xdotool", *args], env=env, check=True, capture_output=True, text=True, timeout=20).stdout


def note_list(cli, song):
    out = subprocess.run([cli, "notes", song], check=True, capture_output=True, text=True).stdout
    rows = [line.split(",") for line in out.strip().splitlines()[1:]]
    return [[0x90, int(k) & 0x7F, int(v) & 0x7F] for _, k, v in rows]


def run_panel(panel, display, expected, artefacts):
    # The mark comes once the window has been drawn.
    ready, _, _ = select.select([panel.stdout], [], [], 30)
    if not ready or panel.stdout.readline().strip() != "shown":
        fail("the window was not shown")
    window = xdotool(display, "search", "--onlyvisible", "--name", "^%s$" % TITLE).split()
    if len(window) != 1:
        fail("expected one window titled %r, found %d" % (TITLE, len(window)))
    window = window[0]
    # Without a window manager nobody activates the window: give it the
    # input focus, which puts the keyboard focus on its first button, Play.
    xdotool(display, "windowfocus", "--sync", window)
    xdotool(display, "key", "space")

    notes = lambda: [m for m in recorded() if m[0] == 0x90]
    wait_until(lambda: len(notes()) >= len(expected) // 2, 30, "half of the song")
    subprocess.run(["import", "-display", display, "-window", window, os.path.join(artefacts, "panel.png")],
                   check=True, timeout=30)
    wait_until(lambda: recorded()[-1:] == [ALL_SOUND_OFF] and len(notes()) == len(expected), 60,
               "the end of the song")
    messages = recorded()
    if messages != [[0xB0, 7, 31]] + expected + [ALL_SOUND_OFF]:
        fail("the controller did not get volume, the %d notes and all-sound-off in order (%d messages)"
             % (len(expected), len(messages)))

    # Tab order from Play: Pause, Stop, Restart, Next, Fixed Mode, Exit.
    xdotool(display, "key", "--delay", "20", *(["Tab"] * 6), "space")
    try:
        status = panel.wait(timeout=30)
    except subprocess.TimeoutExpired:
        fail("the panel did not close on Exit")
    if status != 0:
        fail("the panel exited with status %d" % status)
    os.kill(RECORDER_PID, signal.SIGTERM)
    after = wait_until(lambda: recorded(finished=True), 10, "the recorder's end")[len(messages):]
    if any(m[0] & 0xF0 == 0x90 and m[2] > 0 for m in after):
        fail("a note sounded after the song")
    print("panel: passed (%d notes, screenshot %s)" % (len(expected), os.path.join(artefacts, "panel.png")))


def main():
    quillarc, cli, artefacts = map(os.path.abspath, sys.argv[1:4])
    songs = sys.argv[4:]
    folder = os.path.dirname(os.path.abspath(songs[0]))
    for tool in ("Xvfb", "xdpyinfo", "xdotool", "import"):
        if shutil.which(tool) is None:
            print("SKIP: %s is not installed (scripts/bootstrap installs it)" % tool, file=sys.stderr)
            sys.exit(77)
    os.makedirs(artefacts, exist_ok=True)
    expected = note_list(cli, songs[0])
    log = os.path.join(SCRATCH, "xvfb.log")
    started = start_xvfb(log)
    if started is None:
        with open(log) as fh:
            sys.stderr.write(fh.read())
        fail("Xvfb did not start")
    server, display = started
    env = dict(os.environ, DISPLAY=display, QT_QPA_PLATFORM="xcb", QUILLARC_PLAYLIST=";".join(os.path.relpath(os.path.abspath(song), folder) for song in songs),
               QUILLARC_SHOWN_MARK="shown", XDG_RUNTIME_DIR=SCRATCH)
    env.pop("QUILLARC_VIRTUAL_DEVICES", None)
    env.pop("WAYLAND_DISPLAY", None)
    panel = subprocess.Popen([quillarc], env=env, cwd=folder, stdout=subprocess.PIPE, text=True,
                             stderr=open(os.path.join(SCRATCH, "panel.err"), "w"))
    try:
        run_panel(panel, display, expected, artefacts)
    finally:
        if panel.poll() is None:
            panel.terminate()
            try:
                panel.wait(timeout=10)
            except subprocess.TimeoutExpired:
                panel.kill()
                panel.wait()
        stop_xvfb(server)
        with open(os.path.join(SCRATCH, "panel.err")) as fh:
            sys.stderr.write(fh.read())


main()
