#!/usr/bin/env python3
"""A song's speed and loop through `quillarc-cli play` on the JACK server of
with_jack.sh, recorder 0 being "Quillarc USB Controller".

    check_song.py speed|loop CLI

`speed`: the song's settings say 150 % (written with `song --set`); play
takes them, and every note arrives at the time `notes` gives it, which is the
scaled time of the note at 100 %. `loop`: `play --loop 1-3` plays the notes of
1 s to 3 s again and again, each turn 2 s long, starting at once at the first
note at or after 1 s (no lead-in) after the all-sound-off at 3 s; three turns,
then SIGTERM silences it.
"""
import os
import signal
import subprocess
import sys

from check_panel import SCRATCH, fail, wait_until
from check_rig import events, make_song
from silencing import collapse_silencings

SILENCE = [0xB0, 120, 0]
ENV = dict(os.environ, XDG_CONFIG_HOME=os.path.join(SCRATCH, "config"))


def notes(cli, song, *options):
    out = subprocess.run([cli, "notes", song, *options], check=True, capture_output=True, text=True, env=ENV).stdout
    return [(int(t), [0x90, int(k), int(v)]) for t, k, v in (row.split(",") for row in out.split()[1:])]


def check_speed(cli):
    song, _ = make_song(10, 240)
    subprocess.run([cli, "song", song, "--set", "speed=150"], check=True, capture_output=True, env=ENV)
    own, expected = notes(cli, song, "--no-song-settings"), notes(cli, song)
    if [t for t, _ in expected] != [500 + (t - 500) * 100 // 150 for t, _ in own]:
        fail("notes did not scale the song's times to 150 %%: %s" % expected)
    run = subprocess.run([cli, "play", song], capture_output=True, text=True, timeout=60, env=ENV)
    if run.returncode != 0:
        fail("play exited %d: %s" % (run.returncode, run.stderr))
    got = [e for e in events(0, stop=True) if e[2][0] == 0x90]
    if [m for _, _, m in got[:len(expected)]] != [m for _, m in expected]:
        fail("the notes did not arrive in order: %s" % [m for _, _, m in got])
    for (_, at, _), (t, _) in zip(got, expected):
        late = (at - got[0][1]) / 1000.0 - (t - expected[0][0])
        if abs(late) > 3:
            fail("a note due at %d ms arrived %.1f ms off" % (t, late))
    print("song speed: passed")


def check_loop(cli):
    song, _ = make_song(20, 240)
    region = [m for t, m in notes(cli, song) if 1000 <= t < 3000]
    player = subprocess.Popen([cli, "play", song, "--loop", "1-3"], stderr=subprocess.DEVNULL, env=ENV)
    wait_until(lambda: [m for _, _, m in events(0)].count(SILENCE) >= 3, 20, "three turns")
    os.kill(player.pid, signal.SIGTERM)
    if player.wait(timeout=10) != 128 + signal.SIGTERM:
        fail("play exited %d after SIGTERM" % player.returncode)
    got = events(0, stop=True)
    kept = collapse_silencings(got, lambda e: e[2])
    turns, turn = [], []
    for event in kept[1:]:  # after the volume
        if event[2] == SILENCE:
            turns.append((turn, event[1]))
            turn = []
        else:
            turn.append(event)
    if len(turns) < 3 or not region:
        fail("%d turns of %d notes" % (len(turns), len(region)))
    for number, (played, silenced_at) in enumerate(turns[:3]):
        if [m for _, _, m in played] != region:
            fail("turn %d played %s, not the notes from 1 s to 3 s" % (number, [m for _, _, m in played]))
        if number > 0 and not 1995 <= (silenced_at - turns[number - 1][1]) / 1000.0 <= 2005:
            fail("turn %d lasted %.1f ms" % (number, (silenced_at - turns[number - 1][1]) / 1000.0))
        if number > 0 and (played[0][1] - turns[number - 1][1]) / 1000.0 > 5:
            fail("turn %d began %.1f ms after the turn" % (number, (played[0][1] - turns[number - 1][1]) / 1000.0))
    print("song loop: passed")


if __name__ == "__main__":
    {"speed": check_speed, "loop": check_loop}[sys.argv[1]](sys.argv[2])
