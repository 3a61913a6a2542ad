#!/usr/bin/env python3
"""End-to-end checks of `quillarc-cli play` against the JACK recorder that
with_jack.sh started as "Quillarc USB Controller".

    check_play.py full CLI GEN_SONG   play a short song to the end
    check_play.py signal CLI GEN_SONG NAME  stop a song half-way with signal NAME
                                            (TERM, INT, HUP, QUIT; or TSTP, CONT, TERM)
    check_play.py clients CLI GEN_SONG  count the player's JACK clients
    check_play.py playlist CLI GEN_SONG  two files, the first from part way
    check_play.py keys CLI GEN_SONG     seek and next from the keyboard of a terminal
    check_play.py transport CLI GEN_SONG  pause, resume, seek, restart and stop from the keyboard

`full`: the channel volume arrives first, then every note-list entry in order
with the right bytes, and the last messages are the silencing. With a realtime
JACK server the notes' timing is checked too (generously: the benchmark
measures it precisely).
`signal`: the player exits with 128 + the signal's number and the recorder's
last messages are the silencing (all-sound-off, a note-off for each key left
sounding, all-notes-off), then every channel silenced (with TSTP before the
stop too).
`clients`: while a song plays, the player holds exactly one JACK client.
`playlist`: `play A B --from 1.2`: A from its first entry due at 1200 ms,
then B from its lead-in, each opened with its channel volume.
`keys`: on a terminal, the Right arrow silences the coil and goes on from the
entry due 5 s further on, and n plays the next file from its lead-in, whose
tempo line takes a line of its own over the progress bar.
`transport`: on a terminal, Pause, Play, Right arrow, restart and stop: the
recorder's bytes are runs of the note list, each press's silencing after
its run, nothing during the pause (at long periods a note handed ahead and
not taken back would follow the silence).
"""
import os
import signal
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from silencing import collapse_silencings  # noqa: E402

RECORDER_FILE = os.environ["QUILLARC_RECORDER_FILE"]
RECORDER_PID = int(os.environ["QUILLARC_RECORDER_PID"])
SCRATCH = os.environ["QUILLARC_E2E_DIR"]
REALTIME = os.environ.get("QUILLARC_JACK_REALTIME") == "1"
# Messages leave at the next cycle: longer periods than 64 frames make them later.
LONGER_PERIOD_MS = (int(os.environ.get("QUILLARC_JACK_PERIOD", "64")) - 64) / 48.0


# A failed check that does not depend on messages arriving: with_jack.sh
# keeps it a failure even when the server missed cycles.
FIRM = 3


def fail(message, status=1):
    print("FAILED: " + message, file=sys.stderr)
    sys.exit(status)


def read_events(stop_recorder):
    """The recorded events as (usecs, [bytes]); stops the recorder first so that
    everything it received has been written."""
    if stop_recorder:
        os.kill(RECORDER_PID, signal.SIGTERM)
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline:
            with open(RECORDER_FILE) as fh:
                if fh.read().rstrip().endswith("end"):
                    break
            time.sleep(0.02)
        else:
            fail("the recorder did not finish its file")
    events = []
    with open(RECORDER_FILE) as fh:
        for line in fh:
            fields = line.split()
            if not fields or fields[0] in ("end", "dropped"):
                if fields and fields[0] == "dropped":
                    fail("the recorder dropped events: " + line.strip())
                continue
            events.append((int(fields[1]), [int(x, 16) for x in fields[2:]]))
    return events


def make_song(gen_song, seconds, rate):
    path = os.path.join(SCRATCH, "song-%s-%s.mid" % (seconds, rate))
    subprocess.run([sys.executable, gen_song, path, str(seconds), str(rate), "--seed", "5"], check=True)
    return path


def note_list(cli, song):
    out = subprocess.run([cli, "notes", song], check=True, capture_output=True, text=True).stdout
    rows = [line.split(",") for line in out.strip().splitlines()[1:]]
    return [(int(t), int(k), int(v)) for t, k, v in rows]


def check_full(cli, gen_song):
    song = make_song(gen_song, 3, 6)
    entries = note_list(cli, song)
    if not entries:
        fail("the song has no notes")
    run = subprocess.run([cli, "play", song], capture_output=True, text=True, timeout=30)
    if run.returncode != 0:
        fail("play exited %d: %s" % (run.returncode, run.stderr))
    events = read_events(stop_recorder=True)
    messages = collapse_silencings([bytes_ for _, bytes_ in events])
    if not messages or messages[0] != [0xB0, 0x07, 31]:
        fail("the first message must be the channel volume B0 07 1F, got %s" % messages[:1])
    expected_notes = [[0x90, key & 0x7F, velocity & 0x7F] for _, key, velocity in entries]
    if messages[1:-1] != expected_notes:
        fail("the notes differ from the note list: %d sent, %d expected" % (len(messages) - 2, len(expected_notes)))
    if messages[-1] != [0xB0, 120, 0]:
        fail("the last message must be all-sound-off, got %s" % messages[-1])
    if REALTIME:
        first_usecs = events[1][0]
        errors = []
        for (usecs, _), (time_ms, _, _) in zip(events[1:-1], entries):
            ideal = (time_ms - entries[0][0]) * 1000
            errors.append(abs((usecs - first_usecs) - ideal) / 1000.0)
        errors.sort()
        if errors[-1] > 20.0 + LONGER_PERIOD_MS:
            fail("a note was %.2f ms off its time" % errors[-1])
        print("timing: median %.2f ms, max %.2f ms over %d notes" % (errors[len(errors) // 2], errors[-1], len(errors)))
    else:
        print("timing not checked: the JACK server runs without realtime scheduling")
    print("play full: passed (%d notes)" % len(expected_notes))


def silencing_fault(messages, stop, every_channel=True):
    """What is wrong with the end of `messages` (the recorder's, after `stop`),
    or None: the program's silencing is all-sound-off, a note-off for every key
    left sounding (in key order), then all-notes-off, on channel 0; no note
    sounds after it; with `every_channel`, every channel is silenced after it
    too (the last output object's reset)."""
    starts = [i for i, b in enumerate(messages) if b == [0xB0, 120, 0]]
    later_note = [i for i, b in enumerate(messages) if b[0] & 0xF0 == 0x90 and b[2] > 0]
    starts = [i for i in starts if not later_note or i > later_note[-1]]
    if not starts:
        return "no all-sound-off after the last note after %s" % stop
    first = starts[0]
    sounding = set()
    for b in messages[:first]:
        if b[0] & 0xF0 == 0x90:
            (sounding.add if b[2] > 0 else sounding.discard)(b[1])
        elif b[0] & 0xF0 == 0x80:
            sounding.discard(b[1])
    expected = [[0xB0, 120, 0]] + [[0x90, key, 0] for key in sorted(sounding)] + [[0xB0, 123, 0]]
    got = messages[first:first + len(expected)]
    if got != expected:
        return "the silencing after %s was %s, expected %s" % (stop, got, expected)
    after = messages[first:]
    for channel in range(16 if every_channel else 0):
        if not [b for b in after if b[0] == 0xB0 + channel and b[1] in (120, 123) and b[2] == 0]:
            return "channel %d was not silenced after %s" % (channel, stop)
    return None


def wait_for(what, ready, player, status=1):
    deadline = time.monotonic() + 15
    while not ready():
        if time.monotonic() > deadline:
            player.kill()
            fail(what, status)
        time.sleep(0.05)


def check_signal(cli, gen_song, name):
    signum = getattr(signal, "SIG" + name)
    song = make_song(gen_song, 20, 8)
    # A process group of its own, as a shell's job: a stop is not dropped.
    player = subprocess.Popen([cli, "play", song], stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
                              process_group=0)
    recorded = lambda: [b for _, b in read_events(stop_recorder=False)]
    notes = lambda: len([b for b in recorded() if b[0] == 0x90])
    wait_for("the song did not start", lambda: notes() >= 6, player)
    if signum == signal.SIGTSTP:
        # Firm: the stopped client makes JACK miss cycles, but the silencing left before.
        player.send_signal(signum)
        state = lambda: open("/proc/%d/stat" % player.pid).read().rsplit(")", 1)[1].split()[0]
        wait_for("the player did not stop", lambda: state() == "T", player, FIRM)
        wait_for("the coil was not silenced before the stop",
                 lambda: silencing_fault(recorded(), "SIGTSTP") is None, player, FIRM)
        held = notes()
        player.send_signal(signal.SIGCONT)
        wait_for("the song did not go on after SIGCONT", lambda: notes() > held, player)
        signum = signal.SIGTERM
    player.send_signal(signum)
    try:
        _, err = player.communicate(timeout=10)
    except subprocess.TimeoutExpired:
        player.kill()
        fail("the player did not stop after SIG%s" % name)
    # As a shell expects of a program that a signal ended: 130 after Ctrl-C.
    if player.returncode != 128 + signum:
        fail("the player exited %d after SIG%s: %s" % (player.returncode, name, err))
    fault = silencing_fault([b for _, b in read_events(stop_recorder=True)], "the stop")
    if fault:
        fail(fault)
    print("play SIG%s: passed" % name)


def jack_clients(pid):
    """The names of the JACK clients that process `pid` holds: each client has
    a notification socket of its own, bound to /dev/shm/jack_NAME_..., beside
    its requests to the server's socket jack_SERVER_..."""
    paths = {}
    with open("/proc/net/unix") as fh:
        next(fh)
        for line in fh:
            fields = line.split(None, 7)
            if len(fields) == 8:
                paths[fields[6]] = fields[7].strip()
    server = "/dev/shm/jack_%s_" % os.environ["JACK_DEFAULT_SERVER"]
    names = set()
    for fd in os.listdir("/proc/%d/fd" % pid):
        try:
            target = os.readlink("/proc/%d/fd/%s" % (pid, fd))
        except OSError:
            continue
        if target.startswith("socket:["):
            path = paths.get(target[8:-1], "")
            if path.startswith("/dev/shm/jack_") and not path.startswith(server):
                names.add(path[len("/dev/shm/jack_"):].rsplit("_", 2)[0])
    return sorted(names)


def check_clients(cli, gen_song):
    song = make_song(gen_song, 6, 6)
    player = subprocess.Popen([cli, "play", song], stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    deadline = time.monotonic() + 15
    while len([b for _, b in read_events(stop_recorder=False) if b[0] == 0x90]) < 2:
        if time.monotonic() > deadline:
            player.kill()
            fail("the song did not start")
        time.sleep(0.05)
    clients = jack_clients(player.pid)
    player.send_signal(signal.SIGTERM)
    player.communicate(timeout=10)
    if len(clients) != 1:
        fail("the player holds %d JACK clients: %s" % (len(clients), clients), FIRM)
    print("play clients: passed (%s)" % clients[0])


def split_songs(messages):
    """The messages between each channel volume and the all-sound-off after it."""
    songs = []
    for b in messages:
        if b == [0xB0, 0x07, 31]:
            songs.append([])
        elif songs:
            songs[-1].append(b)
    return songs


def as_notes(entries):
    return [[0x90, key & 0x7F, velocity & 0x7F] for _, key, velocity in entries]


def check_playlist(cli, gen_song):
    first, second = make_song(gen_song, 3, 6), make_song(gen_song, 2, 5)
    a, b = note_list(cli, first), note_list(cli, second)
    run = subprocess.run([cli, "play", first, second, "--from", "1.2"], capture_output=True, text=True, timeout=30)
    if run.returncode != 0:
        fail("play exited %d: %s" % (run.returncode, run.stderr))
    if ("Playing 2 of 2: " + second) not in run.stderr:
        fail("the second file was not named as it started: %r" % run.stderr)
    events = read_events(stop_recorder=True)
    songs = split_songs(collapse_silencings([bytes_ for _, bytes_ in events]))
    expected = [[[0xB0, 120, 0]] + as_notes([e for e in a if e[0] >= 1200]) + [[0xB0, 120, 0]],
                as_notes(b) + [[0xB0, 120, 0]]]
    if songs != expected:
        fail("the songs differ: %s sent, %s expected" % ([len(x) for x in songs], [len(x) for x in expected]))
    # B's lead-in: its first note comes its due time after its volume.
    volume_at = [usecs for usecs, bytes_ in events if bytes_ == [0xB0, 0x07, 31]][1]
    first_note_at = next(usecs for usecs, bytes_ in events if usecs >= volume_at and bytes_[0] == 0x90)
    if (first_note_at - volume_at) / 1000.0 < b[0][0] - 5:
        fail("the second song's first note came %.1f ms after its volume, due at %d" %
             ((first_note_at - volume_at) / 1000.0, b[0][0]))
    print("play playlist: passed")


def check_keys(cli, gen_song):
    import bisect
    import pty
    import threading
    first, second = make_song(gen_song, 20, 8), make_song(gen_song, 2, 5)
    a, b = note_list(cli, first), note_list(cli, second)
    pid, master = pty.fork()
    if pid == 0:
        os.execv(cli, [cli, "play", first, second])
    # The bar is redrawn on the terminal: read it away so the player never blocks.
    screen = []

    def read_screen():
        try:
            while True:
                screen.append(os.read(master, 4096))
        except OSError:
            pass
    threading.Thread(target=read_screen, daemon=True).start()

    class Player:
        def kill(self):
            os.kill(pid, signal.SIGKILL)
    player = Player()
    events = lambda: read_events(stop_recorder=False)
    wait_for("the song did not start", lambda: len([1 for _, x in events() if x[0] == 0x90]) >= 6, player)
    os.write(master, b"\x1b[C")
    silenced = lambda: [i for i, (_, x) in enumerate(events()) if x == [0xB0, 120, 0]]
    # The silencing ends with all-notes-off; the song goes on after it.
    resumed = lambda: next(i for i, (_, x) in enumerate(events()) if i > silenced()[0] and x == [0xB0, 123, 0])
    wait_for("the seek did not silence the coil",
             lambda: silenced() and [0xB0, 123, 0] in [x for _, x in events()] and len(events()) > resumed() + 1, player)
    got = events()
    at = silenced()[0]
    after = resumed()
    elapsed_ms = (got[at][0] - got[0][0]) / 1000.0
    times = [t for t, _, _ in a]
    # The note the seek went on with, allowing for the recorder's view of the clock.
    allowed = a[bisect.bisect_left(times, elapsed_ms + 5000 - 30):bisect.bisect_left(times, elapsed_ms + 5000 + 30) + 1]
    if got[after + 1][1] not in as_notes(allowed):
        fail("after a seek at %.0f ms the next note was %s, expected one of %s" % (elapsed_ms, got[after + 1][1], allowed))
    os.write(master, b"n")
    wait_for("n did not start the next file",
             lambda: len([1 for _, x in events() if x == [0xB0, 0x07, 31]]) == 2 and events()[-1][1][0] == 0x90, player)
    os.write(master, b"q")
    _, status = os.waitpid(pid, 0)
    if os.WEXITSTATUS(status) != 0:
        fail("the player exited %d after q" % os.WEXITSTATUS(status), FIRM)
    # The second file's tempo line comes while the first one's bar is drawn:
    # it takes a line of its own over the bar, never the end of the bar's.
    text = b"".join(screen).decode(errors="replace")
    tempo = "Tempo change detected, new tempo = 120"
    at = [i for i in range(len(text)) if text.startswith(tempo, i)]
    if len(at) != 2 or any(text[i - 1] != "\r" or "\n" not in text[i:].split("\r[", 1)[0] for i in at[1:]):
        fail("the tempo lines broke the progress bar: %r" % text[-600:], FIRM)
    songs = split_songs(collapse_silencings([x for _, x in read_events(stop_recorder=True)]))
    if len(songs) != 2 or songs[1][0] != as_notes(b)[0] or songs[1][-1] != [0xB0, 120, 0]:
        fail("the second file did not play from its first note to a silenced end: %s" % songs[1:])
    print("play keys: passed (seek at %.0f ms went on with %s)" % (elapsed_ms, got[after + 1][1]))


def check_transport(cli, gen_song):
    import pty
    import threading
    song = make_song(gen_song, 30, 40)
    notes = as_notes(note_list(cli, song))
    pid, master = pty.fork()
    if pid == 0:
        os.execv(cli, [cli, "play", song])
    threading.Thread(target=lambda: [os.read(master, 4096) for _ in iter(int, 1)], daemon=True).start()
    player = type("Player", (), {"kill": lambda self: os.kill(pid, signal.SIGKILL)})()
    messages = lambda: [x for _, x in read_events(stop_recorder=False)]
    silence = [0xB0, 120, 0]
    # Pause, Play, Right arrow, restart and stop, each but Play after a dozen notes.
    for count, press in enumerate((b" ", b" ", b"\x1b[C", b"r", b"q")):
        held = len(messages())
        wait_for("the song did not go on", lambda: count == 1 or [x[0] for x in messages()[held:]].count(0x90) >= 12,
                 player)
        os.write(master, press)
        wait_for("a press did not silence the coil", lambda: messages().count(silence) >= max(count, 1), player)
        if count == 0:
            time.sleep(0.5)
            if messages()[-1] != [0xB0, 123, 0]:
                fail("a note came during the pause")
    os.waitpid(pid, 0)
    got = collapse_silencings([x for _, x in read_events(stop_recorder=True)])
    # The run before each silence starts where the note list says: at the top,
    # after the paused run, further on (found) and at the top again.
    cuts = [0] + [i for i, x in enumerate(got) if x == silence]
    runs = [got[a + 1:b] for a, b in zip(cuts, cuts[1:])] + [[]] * 3
    later = range(len(runs[0]) + len(runs[1]) + 1, len(notes))
    seeked = next((i for i in later if notes[i:i + len(runs[2])] == runs[2]), 0)
    starts = (0, len(runs[0]), seeked, 0)
    expected = [[0xB0, 0x07, 31]] + sum((notes[i:i + len(r)] + [silence] for r, i in zip(runs, starts)), [])
    if len(cuts) != 5 or got != expected:
        fail("the recorded bytes are not runs of the note list each followed by a silence: %s"
             % [len(r) for r in runs[:len(cuts) - 1]])
    print("play transport: passed (runs of %s notes)" % [len(r) for r in runs[:4]])


def main():
    mode, cli, gen_song = sys.argv[1:4]
    if not os.path.exists(gen_song):
        print("SKIP: %s not found" % gen_song, file=sys.stderr)
        sys.exit(77)
    if mode == "full":
        check_full(cli, gen_song)
    elif mode == "clients":
        check_clients(cli, gen_song)
    elif mode == "playlist":
        check_playlist(cli, gen_song)
    elif mode == "keys":
        check_keys(cli, gen_song)
    elif mode == "transport":
        check_transport(cli, gen_song)
    else:
        check_signal(cli, gen_song, sys.argv[4])


if __name__ == "__main__":
    main()
