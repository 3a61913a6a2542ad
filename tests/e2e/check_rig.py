#!/usr/bin/env python3
"""A rig of two coils played by `quillarc-cli play` on the JACK server of
with_jack.sh, recorders "Lead Coil" (0) and "Bass Coil" (1) standing in for
the coils: Lead plays channel 0, Bass channel 1 an octave up at half volume.

    check_rig.py play|transport|lost|tstp CLI
    check_rig.py check CLI SONG

`play`: `coils` finds both; each recorder gets exactly its coil's list
(`notes --coil`) after its own volume and the lead-in, then the silencing,
the notes of a step in one frame. `transport`: pause, seek and stop each
silence both, nothing sounds while paused. `lost`: Bass killed mid-song ends
the song on Lead too, named, exit 1. `tstp`: Ctrl-Z resets both devices.
`check`: `check --format csv` of SONG (a real song, chords on channels 0 to
2) on the rig lists channel 2, which no coil plays, with its note count, and
the notes each coil plays, as `channels` counts them.
"""
import os
import pty
import signal
import struct
import subprocess
import sys
import threading
import time

from check_panel import SCRATCH, fail, wait_until
from silencing import collapse_silencings

# Every recorder with_jack.sh started (check_song.py has one).
FILES = [os.environ[n] for n in ("QUILLARC_RECORDER_FILE_%d" % i for i in range(2)) if n in os.environ]
PIDS = [int(os.environ[n]) for n in ("QUILLARC_RECORDER_PID_%d" % i for i in range(2)) if n in os.environ]
SILENCE = [0xB0, 120, 0]
RIG = ("[coil Lead]\ndevice = Lead Coil\nchannels = 0\n"
       "[coil Bass]\ndevice = Bass Coil\nchannels = 1\ntranspose = 12\nvolume_percent = 50\n")


def vlq(value):
    out = [value & 0x7F]
    while value > 0x7F:
        value >>= 7
        out.insert(0, 0x80 | (value & 0x7F))
    return bytes(out)


def make_song(steps, step_ticks):  # at 120 bpm, each step a note on channels 0 and 1, held 60 %
    timed = []
    for step in range(steps):
        on, off, lead, bass = step * step_ticks, step * step_ticks + step_ticks * 6 // 10, 60 + step * 5 % 24, 36 + step * 7 % 12
        timed += [(on, [0x90, lead, 40 + step % 80]), (on, [0x91, bass, 100 - step % 60]), (off, [0x80, lead, 64]),
                  (off, [0x81, bass, 64])]
    body, last = b"", 0
    for tick, message in sorted(timed, key=lambda e: e[0]):
        body, last = body + vlq(tick - last) + bytes(message), tick
    body += b"\x00\xff\x2f\x00"
    song, rig = os.path.join(SCRATCH, "rig-song.mid"), os.path.join(SCRATCH, "rig.conf")
    open(song, "wb").write(b"MThd" + struct.pack(">IHHH", 6, 0, 1, 480) + b"MTrk" + struct.pack(">I", len(body)) + body)
    open(rig, "w").write(RIG)
    return song, rig


def events(index, stop=False):
    if stop:
        os.kill(PIDS[index], signal.SIGTERM)
        wait_until(lambda: open(FILES[index]).read().rstrip().endswith("end"), 10, "the recorder's end")
    lines = [line.split() for line in open(FILES[index])]
    if any(f and f[0] == "dropped" for f in lines):
        fail("recorder %d dropped events" % index)
    return [(int(f[0]), int(f[1]), [int(x, 16) for x in f[2:]]) for f in lines if f and f[0] != "end"]


def messages(index, stop=False):  # its bytes alone
    return [m for _, _, m in events(index, stop)]


def check_play(cli):
    song, rig = make_song(12, 240)
    shown = subprocess.run([cli, "coils", "--rig", rig], check=True, capture_output=True, text=True).stdout
    if "Coil Lead: device Lead Coil (present)" not in shown or "Coil Bass: device Bass Coil (present)" not in shown:
        fail("coils did not find both devices: %r" % shown)
    expected = []
    for name in ("Lead", "Bass"):
        out = subprocess.run([cli, "notes", song, "--coil", name, "--rig", rig], check=True, capture_output=True,
                             text=True).stdout
        expected.append([(int(t), [0x90, int(k), int(v)]) for t, k, v in (row.split(",") for row in out.split()[1:])])
    run = subprocess.run([cli, "play", song, "--rig", rig, "--volume", "101"], capture_output=True, text=True,
                         timeout=60)
    if run.returncode != 0:
        fail("play exited %d: %s" % (run.returncode, run.stderr))
    got = [events(i, stop=True) for i in range(2)]
    for index, volume in enumerate((101, 50)):
        wanted = [[0xB0, 7, volume]] + [m for _, m in expected[index]] + [SILENCE]
        if collapse_silencings([m for _, _, m in got[index]]) != wanted:
            fail("coil %d did not receive %s" % (index, wanted))
        after_ms = (got[index][1][1] - got[index][0][1]) / 1000.0
        if after_ms < expected[index][0][0] - 5:
            fail("coil %d's first note came %.1f ms after its volume" % (index, after_ms))
    frames = [[f for f, _, m in got[i] if m[0] == 0x90 and m[2] > 0] for i in range(2)]
    if len(frames[0]) != 12 or frames[0] != frames[1]:
        fail("the coils' notes of a step arrived in different frames: %s and %s" % tuple(frames))
    print("rig play: passed")


def check_transport(cli):
    song, rig = make_song(160, 120)
    pid, master = pty.fork()
    if pid == 0:
        os.execv(cli, [cli, "play", song, "--rig", rig])
    threading.Thread(target=lambda: [os.read(master, 4096) for _ in iter(int, 1)], daemon=True).start()
    notes = lambda: [sum(1 for m in messages(i) if m[0] == 0x90 and m[2] > 0) for i in range(2)]

    def press_after_notes(key, silences):
        held = notes()
        wait_until(lambda: all(n >= h + 4 for n, h in zip(notes(), held)), 15, "the song on both coils")
        os.write(master, key)
        wait_until(lambda: all(messages(i).count(SILENCE) >= silences for i in range(2)), 10, "both silenced")

    press_after_notes(b" ", 1)  # pause
    held = notes()
    time.sleep(0.5)
    if notes() != held:
        fail("a note sounded during the pause")
    os.write(master, b" ")
    press_after_notes(b"\x1b[C", 2)  # 5 s on
    press_after_notes(b"q", 3)
    _, status = os.waitpid(pid, 0)
    for index in range(2):
        received = collapse_silencings(messages(index, stop=True))
        if os.WEXITSTATUS(status) != 0 or received.count(SILENCE) < 3 or received[-1] != SILENCE:
            fail("coil %d was not silenced by pause, seek and stop (exit %d)" % (index, os.WEXITSTATUS(status)))
    print("rig transport: passed")


def check_lost(cli):
    song, rig = make_song(80, 240)
    player = subprocess.Popen([cli, "play", song, "--rig", rig], stderr=subprocess.PIPE, text=True)
    wait_until(lambda: sum(1 for m in messages(1) if m[0] == 0x90) >= 6, 15, "the song to start")
    os.kill(PIDS[1], signal.SIGKILL)
    err = player.communicate(timeout=10)[1]  # raises when the player goes on
    if player.returncode != 1 or "Error: lost the connection to coil Bass (Bass Coil)" not in err:
        fail("exit %d, not 1 with the lost coil named: %r" % (player.returncode, err))
    lead = collapse_silencings(messages(0, stop=True))
    if SILENCE not in lead or any(m[0] == 0x90 and m[2] > 0 for m in lead[len(lead) - lead[::-1].index(SILENCE):]):
        fail("Lead was not silenced at the end: %s" % lead[-4:])
    print("rig lost: passed")


def check_tstp(cli):
    song, rig = make_song(80, 240)
    player = subprocess.Popen([cli, "play", song, "--rig", rig], stderr=subprocess.DEVNULL)
    wait_until(lambda: all(sum(1 for m in messages(i) if m[0] == 0x90) >= 6 for i in range(2)), 15, "the song")
    os.kill(player.pid, signal.SIGTSTP)  # each coil's device reset (sustain off first) before it stops
    wait_until(lambda: all([0xB0, 64, 0] in messages(i) for i in range(2)), 10, "both coils reset")
    os.kill(player.pid, signal.SIGTERM)
    os.kill(player.pid, signal.SIGCONT)
    try:
        player.wait(timeout=10)
    except subprocess.TimeoutExpired:
        # Left stopped, it would hold the test's output open to its timeout.
        player.kill()
        player.wait()
        fail("the player was still running 10 s after SIGTERM and SIGCONT")
    if player.returncode != 128 + signal.SIGTERM:
        fail("the player exited %d after SIGTERM" % player.returncode)


def check_check(cli, song):
    rig = os.path.join(SCRATCH, "rig.conf")
    open(rig, "w").write(RIG)
    counts = dict(line.split(",")[:2] for line in subprocess.run(
        [cli, "channels", song], capture_output=True, text=True, timeout=30, check=True).stdout.splitlines()[1:])
    run = subprocess.run([cli, "check", "--format", "csv", "--rig", rig, song], capture_output=True, text=True, timeout=30)
    rows = [line.split(",") for line in run.stdout.splitlines()]
    expected = [["song", "finding", "coil", "channel", "count", "value", "limit", "track"],
                [song, "unplayed_channel", "", "2", counts["2"], "", "", ""]]
    if run.returncode != 0 or rows[:2] != expected or len(counts) != 3:
        fail("check exited %d with %s, expected %s (channels: %s)" % (run.returncode, rows[:2], expected, counts))
    played = {row[2]: row[4] for row in rows if row[1] == "played"}
    if played != {"Lead": counts["0"], "Bass": counts["1"]}:
        fail("check says the coils play %s; channels counts %s" % (played, counts))
    print("rig check: passed")


if __name__ == "__main__":
    {"play": check_play, "transport": check_transport, "lost": check_lost, "tstp": check_tstp,
     "check": check_check}[sys.argv[1]](*sys.argv[2:])
