#!/usr/bin/env python3
"""The wire format checked against JACK's own example clients from Debian's
jackd2, code nobody here wrote, on the private server of with_jack.sh.

    check_jack_tools.py dump CLI SONG      (a recorder that is not the coil)
    check_jack_tools.py midiseq CLI        (the recorder is the coil)

`dump`: jack_midi_dump stands as the coil ("Quillarc USB Controller");
`quillarc-cli play SONG --volume 64` reaches it with exactly the channel
volume, every entry of `notes SONG` as its note-on bytes, then the silencing,
each entry at its note-list time after the first (within a millisecond: the
dump stamps frames; on a run where the server missed cycles, the bytes only). `midiseq`: jack_midiseq loops 60 and 63 (8000 frames
each, a quarter of a second apart) into `quillarc-cli live`; the coil gets
them in turn at velocity 64, each released 8000 frames after it was struck,
and the silencing after SIGINT (exit 130).
"""
import os
import signal
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from check_play import SCRATCH, fail, note_list, read_events, wait_for  # noqa: E402

CONTROLLER = "Quillarc USB Controller"
RATE = 48000


def port_of(client):
    listing = subprocess.run(["jack_lsp"], capture_output=True, text=True, timeout=20).stdout
    return any(line.startswith(client + ":") for line in listing.splitlines())


def check_dump(cli, song):
    out = os.path.join(SCRATCH, "dump.txt")
    dump = subprocess.Popen(["stdbuf", "-oL", "jack_midi_dump", "-a", CONTROLLER], stdout=open(out, "w"),
                            stderr=subprocess.DEVNULL)
    wait_for("jack_midi_dump has no port", lambda: port_of(CONTROLLER), dump)
    player = subprocess.run([cli, "play", song, "--volume", "64"], capture_output=True, text=True, timeout=120)
    time.sleep(0.2)  # the last cycle's events printed
    dump.send_signal(signal.SIGINT)
    dump.wait(timeout=10)
    if player.returncode != 0:
        fail("play exited %d: %s" % (player.returncode, player.stderr))
    # "  30848: b0 07 40 control change ...": the frame, then the bytes.
    got = []
    for line in open(out):
        frame, _, rest = line.partition(":")
        if frame.strip().isdigit():
            got.append((int(frame), [int(b, 16) for b in rest.split()[:3]]))
    entries = note_list(cli, song)
    expected = [[0xB0, 7, 64]] + [[0x90, key, velocity] for _, key, velocity in entries] + [[0xB0, 120, 0], [0xB0, 123, 0]]
    if [message for _, message in got] != expected:
        fail("jack_midi_dump got %s, expected %s" % ([m for _, m in got], expected))
    first_frame, first_ms = got[1][0], entries[0][0]
    late = [(ms, (frame - first_frame) * 1000.0 / RATE - (ms - first_ms))
            for (frame, _), (ms, _, _) in zip(got[1:], entries)]
    worst = max(late, key=lambda item: abs(item[1]))
    # A missed cycle moves the frames after it (the player's clock is the
    # cycle's real start): the times are held to the millisecond only on a
    # run the server kept up with; the bytes always.
    with open(os.path.join(SCRATCH, "jackd.log")) as log:
        xruns = sum(1 for line in log if "xrun" in line.lower())
    if abs(worst[1]) > 1.0 and xruns == 0:
        fail("the entry of %d ms reached jack_midi_dump %.3f ms off its time" % worst)
    print("jack_midi_dump: passed (%d messages, worst %.3f ms%s)"
          % (len(got), worst[1], ", times not held: %d xruns" % xruns if xruns else ""))


def check_midiseq(cli):
    keys = subprocess.Popen(["jack_midiseq", "Keys", "24000", "0", "60", "8000", "12000", "63", "8000"],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    wait_for("jack_midiseq has no port", lambda: port_of("Keys"), keys)
    live = subprocess.Popen([cli, "live", "--input-device", "Keys", "--volume", "64"], stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE, text=True)
    wait_for("the loop did not reach the coil four times",
             lambda: sum(1 for _, m in read_events(False) if m[0] == 0x90 and m[2] == 64) >= 8, live)
    live.send_signal(signal.SIGINT)
    status = live.wait(timeout=10)
    keys.terminate()
    keys.wait(timeout=10)
    events = read_events(stop_recorder=True)
    if status != 128 + signal.SIGINT:
        fail("live exited %d: %s" % (status, live.stderr.read()))
    messages = [m for _, m in events]
    end = messages.index([0xB0, 120, 0]) if [0xB0, 120, 0] in messages else len(messages)
    notes = events[1:end]
    # A key still held at SIGINT is released by the silencing.
    held = [[0x90, notes[-1][1][1], 0]] if len(notes) % 2 == 1 else []
    if messages[0] != [0xB0, 7, 64] or messages[end:end + 1 + len(held)] != [[0xB0, 120, 0]] + held or \
            any(m[0] != 0x90 for _, m in notes):
        fail("the coil got %s" % messages)
    first = notes[0][1][1]
    for i in range(0, len(notes) - 1, 2):
        (on_at, on), (off_at, off) = notes[i], notes[i + 1]
        key = first if i % 4 == 0 else 60 + 63 - first
        held_ms = (off_at - on_at) / 1000.0
        if on != [0x90, key, 64] or off != [0x90, key, 0] or abs(held_ms - 8000 * 1000.0 / RATE) > 3.0:
            fail("note %d: %s then %s %.2f ms later, expected key %d held 166.67 ms" % (i // 2, on, off, held_ms, key))
    print("jack_midiseq: passed (%d notes)" % (len(notes) // 2))


if __name__ == "__main__":
    {"dump": check_dump, "midiseq": check_midiseq}[sys.argv[1]](*sys.argv[2:])
