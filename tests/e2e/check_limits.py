#!/usr/bin/env python3
"""End-to-end checks of the coil limits: `quillarc-cli play` to the JACK
recorder that with_jack.sh started as "Quillarc USB Controller".

    check_limits.py duty CLI    a dense two-voice song with --duty-limit 4
    check_limits.py cut CLI     a held 20 s note with --max-note-ms 2000

`duty`: the coil model's estimate of the recorded stream (worked out here,
every key, two voices) never exceeds 4 %, where the song without the limit
does. `cut`: the note gets its note-off 2 s after its note-on, within 10 ms.
"""
import os
import signal
import struct
import subprocess
import sys
import time

from check_panel import Recorder, fail, wait_until

SCRATCH = os.environ["QUILLARC_E2E_DIR"]
REALTIME = os.environ.get("QUILLARC_JACK_REALTIME") == "1"


def write_song(path, notes):
    """A format 0 file at 120 bpm, 500 ticks a quarter (a tick is a
    millisecond): `notes` as (start_ms, length_ms, key, velocity)."""
    events = []
    for start, length, key, velocity in notes:
        events += [(start, 1, bytes([0x90, key, velocity])), (start + length, 0, bytes([0x80, key, 0]))]
    events.sort(key=lambda e: (e[0], e[1]))
    body, last = b"", 0
    for tick, _, message in events:
        delta, chunk = tick - last, []
        chunk.append(delta & 0x7F)
        while delta > 0x7F:
            delta >>= 7
            chunk.append(0x80 | (delta & 0x7F))
        body += bytes(reversed(chunk)) + message
        last = tick
    body += b"\x00\xff\x2f\x00"
    with open(path, "wb") as fh:
        fh.write(b"MThd" + struct.pack(">IHHH", 6, 0, 1, 500) + b"MTrk" + struct.pack(">I", len(body)) + body)


def note_duty(key, velocity):
    if key == 0 and velocity == 0:
        return 0.0
    period = 1e6 / (220.0 * 2.0 ** ((key - 57) / 12.0))
    return velocity / 128.0 * min(period / 16.0, 100.0) / period


def peak_duty(messages):
    """The highest estimate over the stream: two voices, the older dropped
    for a third note, a note-off silencing the older voice of its key first."""
    voices, peak = [], 0.0
    for status, key, value in messages:
        if status == 0x90 and value > 0:
            voices = (voices + [(key, value)])[-2:]
        elif status == 0x90:
            for i, (held, _) in enumerate(voices):
                if held == key:
                    del voices[i]
                    break
        elif status == 0xB0 and key in (120, 123):
            voices = []
        peak = max(peak, sum(note_duty(k, v) for k, v in voices))
    return peak


def play(cli, song, *options):
    run = subprocess.run([cli, "play", song, *options], capture_output=True, text=True, timeout=60)
    if run.returncode != 0:
        fail("play exited %d: %s" % (run.returncode, run.stderr))
    return run.stderr


def check_duty(cli):
    song = os.path.join(SCRATCH, "two-voices.mid")
    write_song(song, [(i * 125, 250, 60 + (i * 7) % 31, 90 + (i * 13) % 38) for i in range(40)])
    recorder = Recorder(cli, song)
    play(cli, song, "--no-limits")
    unlimited = peak_duty(recorder.recorded())
    if unlimited <= 0.04:
        fail("the song must ask more than 4 %% of the coil without the limit, it asks %.3f %%" % (unlimited * 100))
    before = len(recorder.recorded())
    said = play(cli, song, "--duty-limit", "4")
    limited = peak_duty(recorder.recorded()[before:])
    if limited > 0.04 + 1e-12:
        fail("with --duty-limit 4 the recorded stream reaches %.4f %%" % (limited * 100))
    if "Coil limits:" not in said:
        fail("play did not say what the limits did: %r" % said)
    print("limits duty: passed (%.3f %% without the limit, %.3f %% with it)" % (unlimited * 100, limited * 100))


def check_cut(cli):
    song = os.path.join(SCRATCH, "held.mid")
    write_song(song, [(0, 20000, 69, 100)])
    recorder = Recorder(cli, song)
    player = subprocess.Popen([cli, "play", song, "--max-note-ms", "2000"], stdout=subprocess.DEVNULL,
                              stderr=subprocess.PIPE, text=True)
    try:
        wait_until(lambda: [0x90, 69, 0] in recorder.recorded(), 10, "the note to be cut")
    finally:
        player.send_signal(signal.SIGTERM)
        player.communicate(timeout=10)
    times = {}
    with open(recorder.file) as fh:
        for line in fh:
            fields = line.split()
            if len(fields) == 5 and fields[2:] in (["90", "45", "64"], ["90", "45", "00"]):
                times.setdefault(fields[4], int(fields[1]))
    if "64" not in times or "00" not in times:
        fail("the recorder did not get the note and its cut: %s" % times)
    held_ms = (times["00"] - times["64"]) / 1000.0
    slack = 10.0 if REALTIME else 40.0
    if abs(held_ms - 2000.0) > slack:
        fail("the note was cut after %.2f ms, not 2000" % held_ms)
    print("limits cut: passed (cut after %.2f ms)" % held_ms)


def main():
    mode, cli = sys.argv[1], os.path.abspath(sys.argv[2])
    check_duty(cli) if mode == "duty" else check_cut(cli)


main()
