#!/usr/bin/env python3
"""End-to-end checks of a rig of two coils played by `quillarc-cli play`, on
the private JACK server of with_jack.sh with two recorders, "Lead Coil"
(recorder 0) and "Bass Coil" (recorder 1), standing in for two controllers.

    check_rig.py play CLI        play a song to the end
    check_rig.py transport CLI   pause, resume, seek and stop from the keyboard
    check_rig.py lost CLI        kill the bass recorder mid-song

The rig: Lead plays channel 0, Bass channel 1 an octave up with half the
volume. The song has a note on each channel at every step.
`play`: `quillarc-cli coils` finds both devices; each recorder receives exactly its coil's note list (`quillarc-cli
notes --coil`) after its own channel volume and the lead-in, then the
silencing; the two notes of a step arrive in the same frame.
`transport`: the pause, the seek and the stop each silence both coils, and
no note sounds during the pause.
`lost`: the player ends the song on both coils (Lead's last messages are its
silencing), says "Error: lost the connection to coil Bass (Bass Coil)" and
exits 1.
"""
import os
import pty
import signal
import struct
import subprocess
import sys
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from silencing import collapse_silencings  # noqa: E402

SCRATCH = os.environ["QUILLARC_E2E_DIR"]
FILES = [os.environ["QUILLARC_RECORDER_FILE_%d" % i] for i in range(2)]
PIDS = [int(os.environ["QUILLARC_RECORDER_PID_%d" % i]) for i in range(2)]
SILENCE = [0xB0, 120, 0]
RIG = """# melody on one coil, bass on the other
[coil Lead]
device = Lead Coil
channels = 0

[coil Bass]
device = Bass Coil
channels = 1
transpose = 12
volume_percent = 50
"""


def fail(message):
    print("FAILED: " + message, file=sys.stderr)
    sys.exit(1)


def vlq(value):
    out = [value & 0x7F]
    value >>= 7
    while value:
        out.append(0x80 | (value & 0x7F))
        value >>= 7
    return bytes(reversed(out))


def make_song(steps, step_ticks):
    """One track at 120 bpm, 480 ticks a quarter: at each step a note on
    channel 0 and one on channel 1, each held for 60 % of the step."""
    events, last = b"", 0
    timed = []
    for step in range(steps):
        on, off = step * step_ticks, step * step_ticks + step_ticks * 6 // 10
        lead, bass = 60 + (step * 5) % 24, 36 + (step * 7) % 12
        timed += [(on, bytes([0x90, lead, 40 + step % 80])), (on, bytes([0x91, bass, 100 - step % 60])),
                  (off, bytes([0x80, lead, 64])), (off, bytes([0x81, bass, 64]))]
    for tick, message in sorted(timed, key=lambda e: e[0]):
        events += vlq(tick - last) + message
        last = tick
    events += vlq(0) + b"\xff\x2f\x00"
    path = os.path.join(SCRATCH, "rig-song-%d.mid" % steps)
    with open(path, "wb") as fh:
        fh.write(b"MThd" + struct.pack(">IHHH", 6, 0, 1, 480) + b"MTrk" + struct.pack(">I", len(events)) + events)
    return path


def write_rig():
    path = os.path.join(SCRATCH, "rig.conf")
    with open(path, "w") as fh:
        fh.write(RIG)
    return path


def coil_list(cli, song, rig, coil):
    out = subprocess.run([cli, "notes", song, "--coil", coil, "--rig", rig], check=True, capture_output=True,
                         text=True).stdout
    return [(int(t), [0x90, int(k), int(v)]) for t, k, v in (line.split(",") for line in out.split()[1:])]


def events(index, stop=False):
    """Recorder `index`'s events as (frame, usecs, bytes); with `stop`, after
    it has written everything it received."""
    if stop:
        os.kill(PIDS[index], signal.SIGTERM)
        deadline = time.monotonic() + 10
        while not open(FILES[index]).read().rstrip().endswith("end"):
            if time.monotonic() > deadline:
                fail("recorder %d did not finish its file" % index)
            time.sleep(0.02)
    got = []
    for line in open(FILES[index]):
        fields = line.split()
        if fields and fields[0] == "dropped":
            fail("recorder %d dropped events" % index)
        if fields and fields[0] != "end":
            got.append((int(fields[0]), int(fields[1]), [int(x, 16) for x in fields[2:]]))
    return got


def messages(index, stop=False):
    return [m for _, _, m in events(index, stop)]


def wait_until(ready, seconds, what):
    deadline = time.monotonic() + seconds
    while not ready():
        if time.monotonic() > deadline:
            fail("timed out waiting for " + what)
        time.sleep(0.02)


def check_play(cli):
    song, rig = make_song(12, 240), write_rig()
    shown = subprocess.run([cli, "coils", "--rig", rig], check=True, capture_output=True, text=True).stdout
    for line in ("Coil Lead: device Lead Coil (present)", "Coil Bass: device Bass Coil (present)"):
        if line not in shown.splitlines():
            fail("coils did not show %r: %r" % (line, shown))
    expected = [coil_list(cli, song, rig, name) for name in ("Lead", "Bass")]
    run = subprocess.run([cli, "play", song, "--rig", rig, "--volume", "101"], capture_output=True, text=True,
                         timeout=60)
    if run.returncode != 0:
        fail("play exited %d: %s" % (run.returncode, run.stderr))
    got = [events(i, stop=True) for i in range(2)]
    for index, volume in enumerate((101, 50)):
        received = collapse_silencings([m for _, _, m in got[index]])
        wanted = [[0xB0, 7, volume]] + [m for _, m in expected[index]] + [SILENCE]
        if received != wanted:
            fail("coil %d received %s, expected %s" % (index, received, wanted))
        # The lead-in: the first note comes its due time after the volume.
        after_ms = (got[index][1][1] - got[index][0][1]) / 1000.0
        if after_ms < expected[index][0][0] - 5:
            fail("coil %d's first note came %.1f ms after its volume, due at %d" % (index, after_ms,
                                                                                   expected[index][0][0]))
    # Every note-on of a step, due at the same millisecond on both coils, in the same frame.
    frames = [[f for f, _, m in got[i] if m[0] == 0x90 and m[2] > 0] for i in range(2)]
    if len(frames[0]) != 12 or frames[0] != frames[1]:
        fail("the two coils' notes of a step arrived in different frames: %s and %s" % (frames[0], frames[1]))
    print("rig play: passed (%d and %d entries, notes of a step in one frame)" % tuple(len(e) for e in expected))


def check_transport(cli):
    song, rig = make_song(160, 120), write_rig()
    pid, master = pty.fork()
    if pid == 0:
        os.execv(cli, [cli, "play", song, "--rig", rig])
    threading.Thread(target=lambda: [os.read(master, 4096) for _ in iter(int, 1)], daemon=True).start()
    notes = lambda i: sum(1 for m in messages(i) if m[0] == 0x90 and m[2] > 0)
    silenced = lambda count: all(messages(i).count(SILENCE) >= count for i in range(2))

    def go_on():
        held = [notes(i) for i in range(2)]
        wait_until(lambda: all(notes(i) >= held[i] + 4 for i in range(2)), 15, "the song to go on on both coils")

    def press(key, silences):
        os.write(master, key)
        wait_until(lambda: silenced(silences), 10, "both coils silenced after %r" % key)

    go_on()
    press(b" ", 1)  # pause
    held = [notes(i) for i in range(2)]
    time.sleep(0.5)
    if [notes(i) for i in range(2)] != held:
        fail("a note sounded during the pause")
    os.write(master, b" ")  # play
    go_on()
    press(b"\x1b[C", 2)  # 5 s on
    go_on()
    press(b"q", 3)
    _, status = os.waitpid(pid, 0)
    if os.WEXITSTATUS(status) != 0:
        fail("the player exited %d after q" % os.WEXITSTATUS(status))
    for index in range(2):
        received = collapse_silencings(messages(index, stop=True))
        if received.count(SILENCE) < 3 or received[-1] != SILENCE:
            fail("coil %d was not silenced by the pause, the seek and the stop: %s" % (index, received[-6:]))
    print("rig transport: passed")


def check_lost(cli):
    song, rig = make_song(80, 240), write_rig()
    player = subprocess.Popen([cli, "play", song, "--rig", rig], stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                              text=True)
    wait_until(lambda: sum(1 for m in messages(1) if m[0] == 0x90) >= 6, 15, "the song to start")
    os.kill(PIDS[1], signal.SIGKILL)
    try:
        _, err = player.communicate(timeout=10)
    except subprocess.TimeoutExpired:
        player.kill()
        fail("the player went on after a coil was killed")
    if player.returncode != 1:
        fail("the player exited %d, not 1, after a coil was killed: %s" % (player.returncode, err))
    if "Error: lost the connection to coil Bass (Bass Coil)" not in err:
        fail("the player did not name the lost coil: %r" % err)
    lead = collapse_silencings(messages(0, stop=True))
    last_silence = max(i for i, m in enumerate(lead) if m == SILENCE)
    if any(m[0] == 0x90 and m[2] > 0 for m in lead[last_silence:]):
        fail("a note sounded on Lead after the song ended: %s" % lead[last_silence:])
    print("rig lost: passed")


def main():
    mode, cli = sys.argv[1:3]
    {"play": check_play, "transport": check_transport, "lost": check_lost}[mode](cli)


if __name__ == "__main__":
    main()
