#!/usr/bin/env python3
"""Runs `quillarc-cli devices` and `quillarc-cli play` many times in a row
against the JACK server and recorders that with_jack.sh started: recorder 0
must be "Quillarc USB Controller", and there must be three recorders.

    check_loop.py CLI GEN_SONG [DEVICES PLAYS]

Every listing must show the three recorders with the controller marked; every
play of a one-second song must end normally and deliver, in order, the volume,
each note and the closing silencing, before the next play starts.
DEVICES and PLAYS default to 40 and 10; QUILLARC_E2E_SOAK=1 makes them 200 and
50.

A crash or a hang ends the check at once with status 3. A missing message is
reported and the loop goes on; at the end it fails the check with status 1,
which with_jack.sh calls inconclusive when the JACK server missed cycles (it
drops their messages). Missed cycles never make a program crash.
"""
import os
import subprocess
import sys
import time

RECORDER_FILE = os.environ["QUILLARC_RECORDER_FILE"]
SCRATCH = os.environ["QUILLARC_E2E_DIR"]
CRASHED = 3


def fail(message, status=1):
    print("FAILED: " + message, file=sys.stderr)
    sys.exit(status)


def run(args, what):
    try:
        result = subprocess.run(args, capture_output=True, text=True, timeout=30)
    except subprocess.TimeoutExpired:
        fail("%s hung" % what, CRASHED)
    if result.returncode < 0:
        fail("%s was killed by signal %d" % (what, -result.returncode), CRASHED)
    if result.returncode != 0:
        fail("%s exited %d: %s" % (what, result.returncode, result.stderr.strip()), CRASHED)
    return result


def recorded():
    with open(RECORDER_FILE) as fh:
        lines = [line.split() for line in fh]
    for fields in lines:
        if fields and fields[0] == "dropped":
            fail("the recorder dropped events")
    return [[int(x, 16) for x in fields[2:]] for fields in lines if len(fields) >= 3]


def check_devices(cli, count):
    expected = sorted(os.environ["QUILLARC_RECORDER_NAME_%d" % i] for i in range(3))
    for attempt in range(1, count + 1):
        out = run([cli, "devices"], "devices run %d" % attempt)
        if out.stderr:
            fail("devices run %d wrote on stderr: %s" % (attempt, out.stderr.strip()))
        rows = [line.split("\t") for line in out.stdout.splitlines()]
        names = sorted(row[1] for row in rows)
        marked = [row[1] for row in rows if row[2:] == ["controller"]]
        if names != expected or marked != ["Quillarc USB Controller"]:
            fail("devices run %d listed %s" % (attempt, out.stdout))
    print("devices: %d runs, no crash" % count)


def check_plays(cli, gen_song, count):
    song = os.path.join(SCRATCH, "loop-song.mid")
    subprocess.run([sys.executable, gen_song, song, "1", "6", "--seed", "11"], check=True)
    notes = run([cli, "notes", song], "notes").stdout.strip().splitlines()[1:]
    one_play = [[0xB0, 7, 31]]
    one_play += [[0x90, int(k) & 0x7F, int(v) & 0x7F] for _, k, v in (row.split(",") for row in notes)]
    one_play += [[0xB0, 120, 0], [0xB0, 123, 0]]
    # A missing message fails the check but the loop goes on, so that every
    # run is still watched for a crash.
    faults = []
    for attempt in range(1, count + 1):
        before = len(recorded())
        run([cli, "play", song], "play run %d" % attempt)
        # Everything was handed to JACK before the player closed its port; the
        # recorder writes it out within a few milliseconds, all-notes-off last.
        deadline = time.monotonic() + 2
        while one_play[-1] not in recorded()[before:] and time.monotonic() < deadline:
            time.sleep(0.01)
        got = recorded()[before:]
        if got != one_play:
            first = next(i for i in range(max(len(got), len(one_play)))
                         if i >= len(got) or i >= len(one_play) or got[i] != one_play[i])
            faults.append("play run %d: the recorder got %d of %d messages, the first difference at message %d: %s"
                          % (attempt, len(got), len(one_play), first, got[first:first + 2]))
            print(faults[-1], file=sys.stderr)
    print("plays: %d runs of %d messages each, no crash, %d with messages missing" % (count, len(one_play), len(faults)))
    if faults:
        fail("%d of %d plays did not deliver every message" % (len(faults), count))


def main():
    cli, gen_song = sys.argv[1:3]
    devices, plays = (int(x) for x in sys.argv[3:5]) if len(sys.argv) >= 5 else (40, 10)
    if os.environ.get("QUILLARC_E2E_SOAK") == "1":
        devices, plays = 200, 50
    if not os.path.exists(gen_song):
        print("SKIP: %s not found" % gen_song, file=sys.stderr)
        sys.exit(77)
    check_devices(cli, devices)
    check_plays(cli, gen_song, plays)


main()
