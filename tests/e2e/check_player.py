#!/usr/bin/env python3
"""The control panel as a player, on Xvfb against the recorder that
with_jack.sh started as "Quillarc USB Controller", driven by the keyboard.

    check_player.py SCENARIO QUILLARC QUILLARC_CLI ARTEFACT_DIR [SONG SONG]

The playlist is two songs of the script's own, short notes after a lead-in,
or the two SONGs given.

whole   Playback > "Play the whole playlist" (Alt+P, W), Space: both songs
        arrive in order, each as volume, its notes, all-sound-off.
next    Space, N mid-song: the first song is silenced and the second
        plays from its start.
seek    Space, Right mid-song: all-sound-off, then the first entry due at
        or after 5 s on from where the song was.
notes   Space, Tools > "View notes..." (Alt+T, V), the window beside the
        panel (photographed into ARTEFACT_DIR/panel-notes.png), then Stop
        on the panel (Tab, Tab, Enter from Play): the song ends.
Every scenario ends with Ctrl+Q: the panel exits 0 and no note follows.
With a realtime server the lead-ins and the clock after a seek are timed too.
"""
import os
import shutil
import struct
import subprocess
import sys
import time

from check_panel import ALL_SOUND_OFF, SCRATCH, TITLE, fail, wait_until, xdotool
from xserver import start_xvfb, stop_xvfb

REALTIME = os.environ.get("QUILLARC_JACK_REALTIME") == "1"
RECORDER_FILE = os.environ["QUILLARC_RECORDER_FILE"]
VOLUME = [0xB0, 7, 31]
SLACK_MS = 40


def write_song(name, first_key, notes, lead_in_ms=400):
    """A format 0 song, a millisecond per tick: `notes` notes of 150 ms, one
    every 250 ms after the lead-in."""
    body = b""
    for i in range(notes):
        key = first_key + i % 12
        gap = lead_in_ms if i == 0 else 100
        body += vlq(gap) + bytes([0x90, key, 90]) + vlq(150) + bytes([0x80, key, 0])
    body += b"\x00\xff\x2f\x00"
    path = os.path.join(SCRATCH, name)
    with open(path, "wb") as fh:
        fh.write(b"MThd" + struct.pack(">IHHH", 6, 0, 1, 500) + b"MTrk" + struct.pack(">I", len(body)) + body)
    return path


def vlq(value):
    out = [value & 0x7F]
    value >>= 7
    while value:
        out.append(0x80 | (value & 0x7F))
        value >>= 7
    return bytes(reversed(out))


def entries(cli, song):
    out = subprocess.run([cli, "notes", song], check=True, capture_output=True, text=True).stdout
    return [(int(t), [0x90, int(k), int(v)]) for t, k, v in (line.split(",") for line in out.split()[1:])]


def recorded():
    """(ms, message) of everything recorded so far."""
    with open(RECORDER_FILE) as fh:
        rows = [line.split() for line in fh]
    if any(row and row[0] == "dropped" for row in rows):
        fail("the recorder dropped events")
    return [(int(row[1]) / 1000.0, [int(x, 16) for x in row[2:]]) for row in rows if row and row[0] != "end"]


def search(display, name):
    """The visible windows titled `name` (none is no failure)."""
    return subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^%s$" % name], capture_output=True,
                          text=True, env=dict(os.environ, DISPLAY=display), timeout=20).stdout.split()


def messages():
    return [m for _, m in recorded()]


def check_lead_in(events, at, song):
    """The song that starts at `at` (its volume) plays its first entry after its lead-in."""
    if REALTIME and abs(events[at + 1][0] - events[at][0] - song[0][0]) > SLACK_MS:
        fail("the first note came %.0f ms after the volume, not %d" % (events[at + 1][0] - events[at][0], song[0][0]))


def whole(display, window, cli, songs):
    a, b = (entries(cli, s) for s in songs)
    xdotool(display, "key", "--delay", "100", "alt+p", "w", "space")
    expected = [VOLUME] + [m for _, m in a] + [ALL_SOUND_OFF, VOLUME] + [m for _, m in b] + [ALL_SOUND_OFF]
    wait_until(lambda: len(messages()) >= len(expected), 30, "both songs")
    time.sleep(0.5)
    if messages() != expected:
        fail("the playlist did not arrive as both songs in order: %s" % messages())
    events = recorded()
    check_lead_in(events, 0, a)
    check_lead_in(events, len(a) + 2, b)
    return "%d + %d entries in order, each after its lead-in" % (len(a), len(b))


def next_song(display, window, cli, songs):
    a, b = (entries(cli, s) for s in songs)
    xdotool(display, "key", "space")
    wait_until(lambda: sum(1 for m in messages() if m[0] == 0x90) >= 4, 20, "four entries of the first song")
    xdotool(display, "key", "n")
    wait_until(lambda: messages()[-1:] == [ALL_SOUND_OFF] and VOLUME in messages()[1:], 30, "the second song")
    sent = messages()
    cut = sent.index(ALL_SOUND_OFF)
    expected = [VOLUME] + [m for _, m in a[:cut - 1]] + [ALL_SOUND_OFF, VOLUME] + [m for _, m in b] + [ALL_SOUND_OFF]
    if sent != expected or cut - 1 >= len(a):
        fail("Next did not silence the first song and play the second from its start: %s" % sent)
    check_lead_in(recorded(), cut + 1, b)
    return "first song cut after %d of %d entries, the second whole" % (cut - 1, len(a))


def seek(display, window, cli, songs):
    a = entries(cli, songs[0])
    xdotool(display, "key", "space")
    wait_until(lambda: len(messages()) >= 9, 20, "eight entries")
    xdotool(display, "key", "Right")
    wait_until(lambda: ALL_SOUND_OFF in messages() and len(messages()) > messages().index(ALL_SOUND_OFF) + 1, 20,
               "the entry after the seek")
    events = recorded()
    cut = [m for _, m in events].index(ALL_SOUND_OFF)
    start = events[0][0]
    position = events[cut][0] - start + 5000
    due = [i for i, (t, _) in enumerate(a) if t >= position]
    near = [i for i, (t, _) in enumerate(a) if abs(t - position) <= SLACK_MS]
    allowed = [a[i][1] for i in due[:1] + near]
    if [m for _, m in events[1:cut]] != [m for _, m in a[:cut - 1]] or events[cut + 1][1] not in allowed:
        fail("after a seek to %.0f ms the next entry was %s, not %s" % (position, events[cut + 1][1], a[due[0]][1]))
    landed = next(i for i in due[:1] + near if a[i][1] == events[cut + 1][1])
    if REALTIME and abs(events[cut + 1][0] - (start - 5000 + a[landed][0])) > SLACK_MS:
        fail("the entry after the seek left the song's clock")
    return "seek to %.0f ms: entry %d (%d ms) came next" % (position, landed, a[landed][0])


def notes_beside(display, window, cli, songs, artefacts):
    xdotool(display, "key", "space")
    wait_until(lambda: len(messages()) >= 4, 20, "three entries")
    xdotool(display, "key", "--delay", "100", "alt+t", "v")
    notes = wait_until(lambda: search(display, "Notes"), 20, "the Notes window")[0]
    width = int(dict(line.split("=") for line in xdotool(display, "getwindowgeometry", "--shell", window).split())["WIDTH"])
    xdotool(display, "windowmove", window, "0", "0")
    xdotool(display, "windowmove", notes, str(width + 8), "0")
    time.sleep(1.5)
    shot = os.path.join(artefacts, "panel-notes.png")
    subprocess.run(["import", "-display", display, "-window", "root", "-crop", "%dx330+0+0" % (width + 8 + 680), shot],
                   check=True, timeout=30)
    # Back to the panel, where Play kept the focus: two tabs on is Stop.
    xdotool(display, "windowfocus", "--sync", window)
    xdotool(display, "key", "--delay", "100", "Tab", "Tab", "Return")
    wait_until(lambda: messages()[-1:] == [ALL_SOUND_OFF], 10, "the song to end")
    count = len(messages())
    time.sleep(1.0)
    if len(messages()) != count:
        fail("the song went on after Stop")
    if not search(display, "Notes"):
        fail("the Notes window closed with the song")
    return "Stop ended the song after %d entries with the Notes window open (%s)" % (count - 2, shot)


def main():
    scenario = sys.argv[1]
    quillarc, cli, artefacts = map(os.path.abspath, sys.argv[2:5])
    os.makedirs(artefacts, exist_ok=True)
    songs = [write_song("first.mid", 60, 40 if scenario != "whole" else 6), write_song("second.mid", 72, 5, 600)]
    if len(sys.argv) > 5:
        songs = [os.path.join(SCRATCH, os.path.basename(song)) for song in sys.argv[5:7]]
        for given, copy in zip(sys.argv[5:7], songs):
            shutil.copyfile(given, copy)
    started = start_xvfb(os.path.join(SCRATCH, "xvfb.log"), "1280x600x24")
    if started is None:
        fail("Xvfb did not start")
    server, display = started
    env = dict(os.environ, DISPLAY=display, QT_QPA_PLATFORM="xcb", QUILLARC_PLAYLIST=";".join(map(os.path.basename, songs)),
               QUILLARC_SHOWN_MARK="shown", XDG_RUNTIME_DIR=SCRATCH)
    env.pop("QUILLARC_VIRTUAL_DEVICES", None)
    panel = subprocess.Popen([quillarc], env=env, cwd=SCRATCH, stdout=subprocess.PIPE, text=True,
                             stderr=open(os.path.join(SCRATCH, "panel.err"), "w"))
    try:
        if panel.stdout.readline().strip() != "shown":
            fail("the window was not shown")
        window = xdotool(display, "search", "--onlyvisible", "--name", "^%s$" % TITLE).split()[0]
        xdotool(display, "windowfocus", "--sync", window)
        if scenario == "notes":
            result = notes_beside(display, window, cli, songs, artefacts)
        else:
            result = {"whole": whole, "next": next_song, "seek": seek}[scenario](display, window, cli, songs)
        before = len(messages())
        xdotool(display, "windowfocus", "--sync", window)
        xdotool(display, "key", "ctrl+q")
        if panel.wait(timeout=30) != 0:
            fail("the panel exited with status %d" % panel.returncode)
        if any(m[0] == 0x90 and m[2] > 0 for m in messages()[before:]):
            fail("a note sounded after the panel closed")
    finally:
        if panel.poll() is None:
            panel.kill()
            panel.wait()
        stop_xvfb(server)
        with open(os.path.join(SCRATCH, "panel.err")) as fh:
            sys.stderr.write(fh.read())
    print("player %s: passed (%s)" % (scenario, result))


if __name__ == "__main__":
    main()
