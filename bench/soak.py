#!/usr/bin/env python3
"""The soak of bench/soak.sh: one `quillarc-cli` process kept busy for a
long time against the JACK recorder that with_jack.sh started as "Quillarc
USB Controller", its memory and descriptors sampled every minute, and what
reached the recorder checked at the end.

    soak.py play MINUTES CLI WORK SONGS...    random transport keys from a terminal
    soak.py live MINUTES CLI SENDER WORK      `live` fed by a sender client

`play`: the CLI plays SONGS over and over (the list repeated on its command
line, more often than the keys could ever skip through it) in a pseudo
terminal, which gets a random key every 0.5 to 5 s: space (pause, play), the
arrows (seek), n (next), r (restart), + and - (speed). At the end q stops it.
`live`: a sender client plays MINUTES of random notes, sustain pedal and an
all-notes-off or all-sound-off now and then into `quillarc-cli live` in a
pseudo terminal; q stops it once the sender is done.

Every minute (and at the end) the process's VmRSS, its Pss (smaps_rollup)
and the number of its open descriptors are sampled and printed. The verdicts:
memory (VmRSS) at the end at most 2 MB over the sample after minute 1 (the
largest sample is printed too), no more descriptors at the end than after
minute 1, no key left sounding, no note-on lost outside xrun cycles. Exit
status 1 when any fails.

Keys left sounding. A key sounds at the recorder from its note-on to a
note-on of velocity 0 (or a note-off) of the same key: an all-sound-off or
all-notes-off is not counted as releasing anything, so each silencing must
carry the note-off of every key it finds sounding, as the program sends them.
`play`: right after every silencing (all-sound-off, note-offs,
all-notes-off; pause, seek, speed, restart, next, a song's end and q each
send one) nothing may sound; from 300 ms after a pause key to the key that
ends the pause (space, n, q) no note-on may come, and at that key nothing may
sound; at the end nothing may sound. `live`: wherever the sender's own keys
and pedal leave nothing sounding (every key up and the pedal up, or right
after its all-notes-off or all-sound-off), the coil must have nothing
sounding 20 ms later, and nothing at the end. A key whose release the
server may have dropped (an xrun between its note-on and the moment it had
to be released; for live also one at the sender's note-off of the key, or
at a pedal or all-off message from the pedal message before that note-off
on) is counted apart.

What was due while playing. `play`: the note lists come from `quillarc-cli
notes` (a file whose list is empty is refused and skipped by the CLI). Every
channel volume (B0 07) the recorder gets starts the next song that plays
(or one of the two after it, when its notes say so: a volume the server
dropped in an xrun; song_order says how, and a song start whose volume did
not arrive with no xrun to explain it fails the run).
The time line is cut at every key sent, every song start and every silencing;
within each piece the song's clock runs at one speed from one place, which
this script follows from the keys it sent as the transport serves them (a
pause holds the clock, a seek moves it 5 s of the played time, a speed step
changes the speed by 5 %, restart goes back to 0; speed steps and restart
wait while paused; a new song starts at its volume at 100 %, plus the speed
steps still waiting: those pressed while paused in a song sought past its
end, which ends as it resumes, and those pressed after a song's end before
the next one started). Where note-ons
arrived in a piece they fix its clock (the time offset most of them agree
on); where none did, the clock follows from the pieces before. Every note-on
of the list whose due time on that clock falls in a piece while playing,
more than 60 ms from either end of it (the serve of a key takes some
milliseconds), must have arrived within 100 ms of that time; one that did not
is lost, unless it was due within max(20 ms, four periods) of an xrun the
server reported (or between the last event before it and it) or of a jump in the server's clock (cycles lost without a
report), or it arrived within a second with an xrun reported in between
(held back by a stall of the server); one that arrived within a second
without one is counted as late (printed, not a failure: it was not lost). SOAK_DEBUG=1 prints each piece whose clock, as the notes that
arrived fix it, is more than 100 ms from the one the keys predict. `live`:
every note-on sent must arrive, with its key and velocity, in order, within
100 ms; excused near xruns as above. A recorder line that is no whole
short message fails the run.
"""
import os
import bisect
import pty
import random
import shutil
import signal
import statistics
import subprocess
import sys
import threading
import time

RATE = 48000
MEMORY_LIMIT_KB = 2048
MARGIN_US = 60000          # pieces' ends not judged
MATCH_US = 100000          # how far from its due time a note may arrive
CLUSTER_US = 20000         # arrivals agreeing on one clock offset
PAUSE_SERVE_US = 300000    # a note-on this long after a pause key is one during the pause
QUIET_CHECK_FRAMES = RATE * 20 // 1000
SILENCE_KEYS = {"pause", "seek+", "seek-", "next", "restart", "faster", "slower", "quit"}
KEYS = [(" ", "space", 3.0), ("\x1b[C", "seek+", 2.0), ("\x1b[D", "seek-", 2.0), ("n", "next", 1.0),
        ("r", "restart", 1.0), ("+", "faster", 1.5), ("-", "slower", 1.5)]
LEAD_IN_MS = 500
SPEED_STEP, SLOWEST, FASTEST = 5, 25, 400
SEEK_MS = 5000

RECORDER_FILE = os.environ["QUILLARC_RECORDER_FILE"]
RECORDER_PID = int(os.environ["QUILLARC_RECORDER_PID"])
PERIOD = int(os.environ.get("QUILLARC_JACK_PERIOD", "64"))
XRUN_WINDOW_US = max(20000, 4 * PERIOD * 1000000 // RATE)


def now_us():
    # The clock the recorder stamps its events with (JACK's): not the
    # NTP-slewed CLOCK_MONOTONIC, which drifts from it by parts per million.
    return time.clock_gettime_ns(time.CLOCK_MONOTONIC_RAW) // 1000


def say(text):
    print(text, flush=True)


# ---------------------------------------------------------------- the process

class Child:
    """A program in a pseudo terminal whose output is read away (to a file),
    so that it never blocks on its progress bar."""

    def __init__(self, argv, log_path):
        self.pid, self.master = pty.fork()
        if self.pid == 0:
            try:
                os.execv(argv[0], argv)
            finally:
                os._exit(127)
        self.status = None
        self.log = open(log_path, "wb")
        self.reader = threading.Thread(target=self._read, daemon=True)
        self.reader.start()

    def _read(self):
        try:
            while True:
                chunk = os.read(self.master, 65536)
                if not chunk:
                    break
                self.log.write(chunk)
        except OSError:
            pass

    def send(self, text):
        os.write(self.master, text.encode())

    def alive(self):
        if self.status is None:
            pid, status = os.waitpid(self.pid, os.WNOHANG)
            if pid == self.pid:
                self.status = status
        return self.status is None

    def wait(self, seconds):
        deadline = time.monotonic() + seconds
        while self.alive() and time.monotonic() < deadline:
            time.sleep(0.05)
        return not self.alive()

    def end(self):
        """Stops it for good (SIGTERM, then SIGKILL) when it still runs."""
        if self.alive():
            os.kill(self.pid, signal.SIGTERM)
            if not self.wait(5):
                os.kill(self.pid, signal.SIGKILL)
                self.wait(5)

    def exit_code(self):
        if self.status is None:
            return None
        return os.WEXITSTATUS(self.status) if os.WIFEXITED(self.status) else 128 + os.WTERMSIG(self.status)


def sample(pid):
    """VmRSS and Pss in kB and the number of open descriptors (the least of
    three looks: a song file is open for milliseconds while it is read)."""
    rss = pss = None
    with open("/proc/%d/status" % pid) as fh:
        for line in fh:
            if line.startswith("VmRSS:"):
                rss = int(line.split()[1])
    with open("/proc/%d/smaps_rollup" % pid) as fh:
        for line in fh:
            if line.startswith("Pss:"):
                pss = int(line.split()[1])
    fds = []
    for _ in range(3):
        fds.append(len(os.listdir("/proc/%d/fd" % pid)))
        time.sleep(0.02)
    return rss, pss, min(fds)


class Samples:
    def __init__(self, pid):
        self.pid = pid
        self.rows = []
        say("%8s %10s %10s %5s" % ("minute", "VmRSS kB", "Pss kB", "fds"))

    def take(self, minute):
        row = (minute,) + sample(self.pid)
        self.rows.append(row)
        say("%8s %10d %10d %5d" % row)

    def verdicts(self):
        """(memory growth kB, largest growth kB, descriptor growth) after minute 1."""
        base = next((r for r in self.rows if r[0] == 1), self.rows[-1])
        last = self.rows[-1]
        return last[1] - base[1], max(r[1] for r in self.rows[self.rows.index(base):]) - base[1], last[3] - base[3]


def run_for(minutes, samples, child, each_step):
    """Samples every minute until MINUTES are up, calling each_step() (which
    returns the monotonic time it next wants to be called at) in between."""
    start = time.monotonic()
    # The first look once the program has started up.
    time.sleep(5)
    samples.take(0)
    next_sample = 1
    wake = each_step()
    while child.alive():
        sample_at = start + 60 * next_sample
        if next_sample > minutes:
            break
        until = min(wake, sample_at)
        time.sleep(max(0.0, until - time.monotonic()))
        if time.monotonic() >= sample_at:
            try:
                samples.take(next_sample)
            except OSError:
                break  # it ended meanwhile
            next_sample += 1
        if time.monotonic() >= wake:
            wake = each_step()
    return next_sample > minutes


# ---------------------------------------------------------------- recordings

def stop_recorder():
    os.kill(RECORDER_PID, signal.SIGTERM)
    deadline = time.monotonic() + 20
    while time.monotonic() < deadline:
        with open(RECORDER_FILE, "rb") as fh:
            fh.seek(max(0, os.path.getsize(RECORDER_FILE) - 16))
            if fh.read().rstrip().endswith(b"end"):
                return True
        time.sleep(0.05)
    return False


def read_recording(work):
    """Events (frame, usecs, bytes), the xrun times, the events the recorder
    dropped and the lines that are no event (not one whole short message,
    or out of time); the recording is kept in WORK."""
    shutil.copy(RECORDER_FILE, os.path.join(work, "recording.txt"))
    events, xruns, dropped, unreadable = [], [], 0, 0
    with open(RECORDER_FILE) as fh:
        for line in fh:
            f = line.split()
            if not f or f[0] == "end":
                continue
            if f[0] == "xrun":
                xruns.append(int(f[1]))
            elif f[0] == "dropped":
                dropped = int(f[1])
            else:
                b = tuple(int(x, 16) for x in f[2:])
                usecs = int(f[1])
                # Cycles run back to back after a late one can stamp a
                # message a little before the one ahead of it.
                if len(b) != 3 or b[0] < 0x80 or (events and not -10 ** 6 <= usecs - events[-1][1] < 3600 * 10 ** 6):
                    unreadable += 1
                    continue
                events.append((int(f[0]), usecs, b))
    return events, xruns, dropped, unreadable


def troubled_spans(events, xruns):
    """Time spans (usecs) the server may have lost or held back events in:
    around each xrun it reported and back to the event before it, and before an event whose real time moved
    on from the one before it by more than their frames did (cycles lost
    without a report), as far back as the time lost."""
    # An xrun is reported as the server comes back from a stall that began
    # when it last delivered anything, or earlier.
    times = [u for _, u, _ in events]
    spans = []
    for x in xruns:
        before = bisect.bisect_left(times, x)
        start = times[before - 1] if before > 0 else x
        spans.append((min(start, x - XRUN_WINDOW_US), x + XRUN_WINDOW_US))
    for (f0, u0, _), (f1, u1, _) in zip(events, events[1:]):
        lost = (u1 - u0) - ((f1 - f0) & 0xFFFFFFFF) * 1000000 // RATE
        # The server's frames and the real clock part by a few parts in ten
        # thousand over long gaps; a cycle lost is a period at least.
        if lost > 2000 + (u1 - u0) // 1000:
            spans.append((u1 - lost - XRUN_WINDOW_US, u1 + XRUN_WINDOW_US))
    return sorted(spans)


def near(spans, t):
    return any(a <= t <= b for a, b in spans)


def is_note(b):
    return len(b) == 3 and b[0] & 0xF0 in (0x80, 0x90)


def note_on(b):
    return len(b) == 3 and b[0] & 0xF0 == 0x90 and b[2] > 0


class Sounding:
    """Keys sounding at the recorder, released only by their own note-offs."""

    def __init__(self, spans):
        self.keys = {}  # key -> usecs of its note-on
        self.spans = spans
        self.excused = 0

    def left(self, now, dropped=lambda key: False):
        """The keys sounding, less those whose note-off the server may have
        dropped (an xrun since their note-on, or `dropped(key)`), which are
        counted apart; clears."""
        count = 0
        for key, since in self.keys.items():
            if dropped(key) or any(b >= since and a <= now for a, b in self.spans):
                self.excused += 1
            else:
                count += 1
        self.keys.clear()
        return count

    def feed(self, usecs, b):
        if note_on(b):
            self.keys[b[1]] = usecs
        elif is_note(b):
            self.keys.pop(b[1], None)


def jackd_xruns():
    log = os.path.join(os.path.dirname(RECORDER_FILE), "jackd.log")
    try:
        return sum(1 for line in open(log, errors="replace") if "xrun" in line.lower())
    except OSError:
        return 0


# ---------------------------------------------------------------- play

def scaled(ms, speed):
    return ms if ms <= LEAD_IN_MS else LEAD_IN_MS + (ms - LEAD_IN_MS) * 100 // speed


def unscaled(ms, speed):
    return ms if ms <= LEAD_IN_MS else LEAD_IN_MS + (ms - LEAD_IN_MS) * speed // 100


def note_list(cli, path):
    out = subprocess.run([cli, "notes", path], capture_output=True, text=True).stdout
    rows = [line.split(",") for line in out.strip().splitlines()[1:] if line.strip()]
    return [(int(t), (0x90, int(k) & 0x7F, int(v) & 0x7F)) for t, k, v in rows]


class Clock:
    """The song's clock as the transport serves the keys: `anchor` is the
    real time (usecs) of the song's time 0 at `speed`, None when no song plays."""

    def __init__(self):
        self.song = None
        self.anchor = None
        self.speed = 100
        self.paused = False
        self.paused_at = None
        self.steps = 0
        self.restart = False

    def position(self, t):
        return (t - self.anchor) // 1000

    def set_speed(self, t, speed):
        if self.anchor is not None:
            song_ms = unscaled(self.position(t), self.speed)
            self.anchor = t - scaled(song_ms, speed) * 1000
        self.speed = speed

    def song_start(self, t, song):
        self.song, self.anchor, self.speed = song, t, 100
        self.restart = False
        if self.steps:
            self.set_speed(t, max(SLOWEST, min(FASTEST, 100 + SPEED_STEP * self.steps)))
            self.steps = 0
        if self.paused:
            self.paused_at = t

    def key(self, t, name, total_ms):
        if name in ("next", "quit"):
            self.song = self.anchor = None
            self.paused = False
        elif name == "pause":
            self.paused, self.paused_at = True, t
        elif name == "resume":
            self.paused = False
            if self.anchor is None:
                return
            self.anchor += t - self.paused_at
            if self.position(t) > scaled(total_ms, self.speed):
                # A song sought past its end while paused ends as it
                # resumes: its speed steps wait for the next song, and its
                # restart is dropped.
                self.restart = False
                return
            if self.steps:
                self.set_speed(t, max(SLOWEST, min(FASTEST, self.speed + SPEED_STEP * self.steps)))
                self.steps = 0
            if self.restart:
                self.anchor, self.restart = t, False
        elif name in ("faster", "slower"):
            step = 1 if name == "faster" else -1
            if self.paused or self.anchor is None or self.position(t) > scaled(total_ms, self.speed):
                # Served once a song plays: while paused, and after a song's
                # end until the next one starts (the step waits for it).
                self.steps += step
            else:
                self.set_speed(t, max(SLOWEST, min(FASTEST, self.speed + SPEED_STEP * step)))
        elif self.anchor is None:
            return
        elif name in ("seek+", "seek-"):
            at = self.paused_at if self.paused else t
            wanted = self.position(at) + (SEEK_MS if name == "seek+" else -SEEK_MS)
            wanted = max(0, min(scaled(total_ms, self.speed) + 1, wanted))
            self.anchor = at - wanted * 1000
        elif name == "restart":
            if self.paused:
                self.restart = True
            else:
                self.anchor = t


def fix_clock(arrivals, notes, speed, predicted):
    """The anchor most arrivals agree on (each arrival against every entry of
    the same bytes), the prediction breaking ties; None without arrivals."""
    by_bytes = {}
    for ms, b in notes:
        by_bytes.setdefault(b, []).append(ms)
    offsets = []
    for usecs, b in arrivals:
        offsets.extend(usecs - (scaled(ms, speed) + 1) * 1000 for ms in by_bytes.get(b, []))
    if not offsets:
        return None
    offsets.sort()
    best, best_key = None, None
    lo = 0
    for hi, value in enumerate(offsets):
        while offsets[lo] < value - CLUSTER_US:
            lo += 1
        group = offsets[lo:hi + 1]
        key = (len(group), -abs(value - predicted) if predicted is not None else 0)
        if best_key is None or key > best_key:
            best_key, best = key, statistics.median(group)
    return int(best)


def analyse_play(songs, keys, events, xruns):
    spans = troubled_spans(events, xruns)
    played = [s for s in songs if s[1]]
    # Silencings: from an all-sound-off to the all-notes-off after it.
    silencing = set()
    start = None
    for i, (_, _, b) in enumerate(events):
        if b == (0xB0, 120, 0):
            start = i
        elif b == (0xB0, 123, 0) and start is not None:
            silencing.update(range(start, i + 1))
            start = None
    marks = [(u, "volume") for _, u, b in events if b[:2] == (0xB0, 7)]
    marks += [(events[i][1], "silence") for i in sorted(silencing) if events[i][2] == (0xB0, 120, 0)]
    marks += keys
    marks.sort(key=lambda m: m[0])
    notes_at = [(u, b) for i, (_, u, b) in enumerate(events) if i not in silencing and note_on(b)]

    note_times = [u for u, _ in notes_at]

    def arrived_late(message, due):
        # When the message arrived within a second after its due time, if it did.
        i = bisect.bisect_left(note_times, due)
        return next((u for u, nb in notes_at[i:bisect.bisect_left(note_times, due + 10 ** 6)] if nb == message), None)

    indexed = []
    for _, notes in played:
        by_bytes = {}
        for ms, b in notes:
            by_bytes.setdefault(b, []).append(ms)
        indexed.append(by_bytes)
    starts, missed = song_order(events, notes_at, note_times, indexed, xruns)
    clock = Clock()
    song_count = 0
    lost, late, excused, judged, unexpected, drift = 0, 0, 0, 0, 0, 0
    lost_examples = []
    cursor = 0
    pieces = list(zip(marks, marks[1:] + [((events[-1][1] + 1) if events else 0, "end")]))
    for (a, what), (b, _) in pieces:
        # The mark at `a` changes the clock; the piece [a, b) plays on it.
        if what == "volume":
            clock.song_start(a, starts[song_count])
            song_count += 1
        elif what != "silence":
            song = played[clock.song] if clock.song is not None else None
            clock.key(a, what, song[1][-1][0] if song else 0)
        while cursor < len(notes_at) and notes_at[cursor][0] < a:
            cursor += 1
        arrived = []
        while cursor < len(notes_at) and notes_at[cursor][0] < b:
            arrived.append(notes_at[cursor])
            cursor += 1
        if clock.paused or clock.song is None or clock.anchor is None:
            continue
        notes = played[clock.song][1]
        # A piece too short to judge anything (a key and the silencing that
        # serves it) may hold a note of the clock before: it fixes nothing.
        fixed = fix_clock(arrived, notes, clock.speed, clock.anchor) if b - a > 2 * MARGIN_US else None
        if fixed is not None:
            if abs(fixed - clock.anchor) > MATCH_US:
                drift += 1
                if os.environ.get("SOAK_DEBUG"):
                    say("  drift: piece %d..%d us after %s (%d arrivals, %d %%): clock off by %+d ms"
                        % (a, b, what, len(arrived), clock.speed, (fixed - clock.anchor) // 1000))
            clock.anchor = fixed
        used = set()
        for ms, nb in notes:
            if nb[2] == 0:
                continue
            due = clock.anchor + (scaled(ms, clock.speed) + 1) * 1000
            if not (a + MARGIN_US <= due <= b - MARGIN_US):
                continue
            judged += 1
            hit = next((j for j, (u, ab) in enumerate(arrived)
                        if j not in used and ab == nb and abs(u - due) <= MATCH_US), None)
            if hit is not None:
                used.add(hit)
            elif near(spans, due):
                excused += 1
            elif arrived_late(nb, due) is not None:
                # It came, late: held back by a stall of the server when an
                # xrun was reported meanwhile, else counted as late.
                late_at = arrived_late(nb, due)
                if any(due - XRUN_WINDOW_US <= x <= late_at + XRUN_WINDOW_US for x in xruns):
                    excused += 1
                else:
                    late += 1
            else:
                lost += 1
                if os.environ.get("SOAK_DEBUG"):
                    say("  lost: %s at %d ms of %s, piece %d..%d us after %s, %d arrivals, %d %%, due %d us"
                        % (" ".join("%02x" % x for x in nb), ms, os.path.basename(played[clock.song][0]), a, b,
                           what, len(arrived), clock.speed, due))
                if len(lost_examples) < 5:
                    lost_examples.append("%s at %d ms (%d %%), due %d us" %
                                         (" ".join("%02x" % x for x in nb), ms, clock.speed, due))
        by_bytes = indexed[clock.song]
        for j, (u, ab) in enumerate(arrived):
            if j in used or not (a + MARGIN_US <= u <= b - MARGIN_US) or near(spans, u):
                continue
            if not any(abs(clock.anchor + (scaled(ms, clock.speed) + 1) * 1000 - u) <= MATCH_US
                       for ms in by_bytes.get(ab, [])):
                unexpected += 1
    return {"songs started": song_count, "arrived": len(notes_at), "judged": judged, "lost": lost, "late": late, "excused": excused,
            "unexpected": unexpected, "drift": drift, "lost examples": lost_examples, "missed volumes": missed}


def song_order(events, notes_at, note_times, indexed, xruns):
    """The playlist index of the song each channel volume starts, and the song
    starts whose volume never arrived, as (songs, of them near an xrun).

    The playlist goes round and round (a refused file never starts), so each
    volume starts the song after the one before; but a volume the server drops
    in an xrun would put every later song one off. So the song is the one
    expected or one of the two after it, whichever holds most of the note-ons
    that arrived until the next volume (the one expected on a tie). Skipping
    a song means its volume never arrived: the server may have dropped it
    when an xrun was reported between the volume before and the first note-on
    that only the skipped song has (or this volume), else it was never sent."""
    volumes = [u for _, u, b in events if b[:2] == (0xB0, 7)] + [float("inf")]
    count = len(indexed)
    starts, starts_at, missed, near_xrun = [], [], 0, 0
    expected = 0
    for at, until in zip(volumes, volumes[1:]):
        arrived = [nb for _, nb in notes_at[bisect.bisect_left(note_times, at):bisect.bisect_left(note_times, until)]]
        fits = [sum(1 for nb in arrived if nb in indexed[(expected + k) % count]) for k in range(3)]
        skip = max(range(3), key=lambda k: (fits[k], -k))
        for k in range(skip):
            skipped, before = indexed[(expected + k) % count], indexed[(expected + k - 1) % count]
            since = starts_at[-1] if starts else 0
            first = next((u for u, nb in notes_at[bisect.bisect_left(note_times, since):bisect.bisect_left(note_times, at)]
                          if nb in skipped and nb not in before), at)
            missed += 1
            near_xrun += any(since <= x <= first for x in xruns)
        starts.append((expected + skip) % count)
        starts_at.append(at)
        expected += skip + 1
    return starts, (missed, near_xrun)


def sounding_play(keys, events, xruns):
    """Keys left sounding: after each silencing, at the end of each pause
    and during it after its silencing, and at the end; and those excused
    (an xrun since their note-on)."""
    left, examples = 0, []
    sounding = Sounding(troubled_spans(events, xruns))
    pauses = []  # (pause key, the key that ends the pause)
    for i, (t, name) in enumerate(keys):
        if name == "pause":
            pauses.append((t, next((t2 for t2, n in keys[i + 1:] if n in ("resume", "next", "quit")), 1 << 62)))
    # Pauses long enough to have been served, by their ends: nothing may
    # sound then (a pause that silenced nothing leaves its keys sounding).
    # A key's note-off dropped by the server is excused only when it was
    # due before the pause was served.
    ends = sorted((q, p) for p, q in pauses if q - p > PAUSE_SERVE_US and q < 1 << 62)
    in_silencing = False
    for _, u, b in events:
        while ends and ends[0][0] <= u:
            keys_left = sorted(sounding.keys)
            count = sounding.left(ends[0][1] + PAUSE_SERVE_US)
            if count:
                left += count
                examples.append("at the end of a pause, %d us: keys %s" % (ends[0][0], keys_left))
            ends.pop(0)
        if b == (0xB0, 120, 0):
            in_silencing = True
        sounding.feed(u, b)
        if b == (0xB0, 123, 0) and in_silencing:
            in_silencing = False
            keys_left = sorted(sounding.keys)
            count = sounding.left(u)
            if count:
                left += count
                examples.append("after the silencing at %d us: keys %s" % (u, keys_left))
        if note_on(b) and any(p + PAUSE_SERVE_US <= u < q for p, q in pauses):
            left += 1
            examples.append("note-on %02x %02x at %d us during a pause" % (b[1], b[2], u))
    keys_left = sorted(sounding.keys)
    count = sounding.left(events[-1][1] if events else 0)
    if count:
        left += count
        examples.append("at the end: keys %s" % keys_left)
    return left, sounding.excused, examples[:5]


def run_play(minutes, cli, work, song_paths):
    songs = [(p, note_list(cli, p)) for p in song_paths]
    for p, notes in songs:
        say("song %s: %d note-ons%s" % (os.path.basename(p), sum(1 for _, b in notes if b[2] > 0),
                                          "" if notes else " (refused: no notes)"))
    # More entries than keys every 0.5 s could skip through, with every song
    # but one shorter than that skipped: the list never runs out.
    repeats = minutes * 60 * 2 // max(1, len(songs)) + 2
    playlist = [p for _ in range(repeats) for p in song_paths]
    seed = int(os.environ.get("SOAK_SEED", random.SystemRandom().randrange(1 << 31)))
    say("seed %d (SOAK_SEED=%d repeats the keys)" % (seed, seed))
    rng = random.Random(seed)
    child = Child([cli, "play"] + playlist, os.path.join(work, "terminal.log"))
    keys = []
    paused = [False]

    first = [True]

    def press():
        # The first call only sets the time of the first key.
        if not first[0]:
            text, name, _ = rng.choices(KEYS, weights=[w for _, _, w in KEYS])[0]
            if name == "space":
                name = "resume" if paused[0] else "pause"
                paused[0] = not paused[0]
            elif name == "next":
                paused[0] = False
            keys.append((now_us(), name))
            child.send(text)
        first[0] = False
        return time.monotonic() + rng.uniform(0.5, 5.0)

    try:
        samples = Samples(child.pid)
        lasted = run_for(minutes, samples, child, press)
        keys.append((now_us(), "quit"))
        if child.alive():
            child.send("q")
        ended = child.wait(20)
    finally:
        child.end()
    code = child.exit_code()
    stopped = stop_recorder()
    events, xruns, dropped, unreadable = read_recording(work)
    with open(os.path.join(work, "keys.txt"), "w") as fh:
        fh.writelines("%d %s\n" % key for key in keys)
    figures = analyse_play(songs, keys, events, xruns)
    left, left_excused, examples = sounding_play(keys, events, xruns)
    counts = {}
    for _, name in keys:
        counts[name] = counts.get(name, 0) + 1
    say("keys: %s" % ", ".join("%s %d" % kv for kv in sorted(counts.items())))
    say("songs started %d; note-ons arrived %d, judged %d, late by 0.1 to 1 s %d, excused near xruns %d; note-ons off the note list %d; "
        "pieces whose clock moved from the model's by over 100 ms %d; sounding keys excused by an xrun %d"
        % (figures["songs started"], figures["arrived"], figures["judged"], figures["late"], figures["excused"], figures["unexpected"],
           figures["drift"], left_excused))
    missed, dropped_volumes = figures["missed volumes"]
    say("song starts whose channel volume did not arrive: %d, with an xrun before their first note: %d"
        % (missed, dropped_volumes))
    for line in figures["lost examples"]:
        say("  lost: " + line)
    for line in examples:
        say("  sounding: " + line)
    problems = []
    if not lasted:
        problems.append("the CLI ended before the time was up (exit status %s)" % code)
    if not ended or code != 0:
        problems.append("q did not end the CLI with status 0 (%s)" % code)
    if missed > dropped_volumes:
        problems.append("song starts without their channel volume and no xrun to drop it: %d"
                        % (missed - dropped_volumes))
    if not stopped or dropped or unreadable:
        problems.append("the recorder did not finish cleanly (dropped %d, lines that are no event %d)"
                        % (dropped, unreadable))
    return verdicts(samples, left, figures["lost"], xruns, problems)


# ---------------------------------------------------------------- live

def live_script(minutes, rng):
    """The sender's events (ms, bytes). At most three keys down, each once at a time;
    channel 0, keys 51..100 (no low-note shift), rests, the pedal now and
    then, an all-notes-off or all-sound-off every 15 to 40 s."""
    out = []
    down = {}        # key -> release time
    held = set()     # released under the pedal
    pedal = False
    t = 50.0
    next_panic = rng.uniform(15000, 40000)
    end = minutes * 60000.0
    while t < end:
        # Releases due before t.
        for key, at in sorted(down.items(), key=lambda kv: kv[1]):
            if at <= t:
                out.append((at, (0x80, key, 64)))
                del down[key]
                if pedal:
                    held.add(key)
        choice = rng.random()
        if t >= next_panic:
            if pedal:
                out.append((t, (0xB0, 64, 0)))
                pedal = False
                t += 5
            out.append((t, (0xB0, rng.choice((120, 123)), 0)))
            down.clear()
            held.clear()
            next_panic = t + rng.uniform(15000, 40000)
        elif choice < 0.08:
            pedal = not pedal
            out.append((t, (0xB0, 64, 127 if pedal else 0)))
            if not pedal:
                held.clear()
        elif choice < 0.25:
            t += rng.uniform(300, 1200)  # a rest: the keys come up meanwhile
            continue
        elif len(down) < 3:
            key = rng.choice([k for k in range(51, 101) if k not in down and k not in held])
            out.append((t, (0x90, key, rng.randint(1, 127))))
            down[key] = t + rng.uniform(30, 800)
        t += rng.uniform(20, 300)
    for key, at in sorted(down.items(), key=lambda kv: kv[1]):
        out.append((max(at, t), (0x80, key, 64)))
        t = max(at, t) + 5
    if pedal:
        out.append((t + 5, (0xB0, 64, 0)))
    out.sort(key=lambda e: e[0])
    # Whole milliseconds 2 ms apart at least: the order is the frames'.
    script, last = [], -10
    for ms, b in out:
        ms = max(int(ms), last + 2)
        script.append((ms, b))
        last = ms
    return script


def quiet_points(sent):
    """Indices into `sent` (frame, bytes) after which the sender leaves nothing sounding."""
    down, held, pedal, out = set(), set(), False, []
    for i, (_, b) in enumerate(sent):
        if note_on(b):
            down.add(b[1])
        elif is_note(b):
            down.discard(b[1])
            if pedal:
                held.add(b[1])
        elif b[:2] == (0xB0, 64):
            pedal = b[2] >= 64
            if not pedal:
                held.clear()
        elif b in ((0xB0, 120, 0), (0xB0, 123, 0)):
            down.clear()
            held.clear()
        if not down and not held:
            out.append(i)
    return out


def analyse_live(sent, events, xruns):
    spans = troubled_spans(events, xruns)
    frames = [f for f, _, _ in events]

    def usecs_of(frame):
        # The real time of a frame, from the recorder's nearest event before it.
        i = max(0, bisect.bisect_right(frames, frame) - 1)
        f, u, _ = events[i] if events else (frame, 0, None)
        return u + ((frame - f) & 0xFFFFFFFF if frame >= f else -(f - frame)) * 1000000 // RATE

    ons = [(f, b) for f, _, b in events if note_on(b)]
    lost, excused, at, examples = 0, 0, 0, []
    for frame, b in sent:
        if not note_on(b):
            continue
        want = (0x90, b[1], b[2])
        found = next((j for j in range(at, min(at + 50, len(ons)))
                      if ons[j][1] == want and 0 <= ons[j][0] - frame <= MATCH_US * RATE // 1000000), None)
        if found is not None:
            at = found + 1
        elif near(spans, usecs_of(frame)):
            excused += 1
        else:
            lost += 1
            if len(examples) < 5:
                examples.append("lost: note-on %02x %02x sent at frame %d" % (want[1], want[2], frame))
    sent_frames = [f for f, _ in sent]

    def release_dropped(key, check_at):
        # Whether the server may have dropped an input that released `key`
        # by `check_at`: its last note-off (or all-off) before then, or a
        # pedal message from the last one before that note-off on (a pedal
        # up lost in an xrun holds every later key until the next one).
        end = bisect.bisect_right(sent_frames, check_at)
        off = next((j for j in range(end - 1, -1, -1) if sent[j][1] in ((0xB0, 120, 0), (0xB0, 123, 0)) or
                    (is_note(sent[j][1]) and not note_on(sent[j][1]) and sent[j][1][1] == key)), None)
        if off is None:
            return False
        pedal = next((k for k in range(off, -1, -1) if sent[k][1][:2] == (0xB0, 64)), off)
        return any(near(spans, usecs_of(sent[m][0])) for m in range(pedal, end)
                   if m == off or sent[m][1][0] == 0xB0)

    # Nothing sounding QUIET_CHECK_FRAMES after each quiet point of the sender.
    left = 0
    sounding = Sounding(spans)
    e = 0
    quiet = quiet_points(sent)
    for i in quiet:
        check_at = sent[i][0] + QUIET_CHECK_FRAMES
        if i + 1 < len(sent) and sent[i + 1][0] <= check_at:
            continue  # the sender goes on before the check
        while e < len(events) and events[e][0] <= check_at:
            sounding.feed(events[e][1], events[e][2])
            e += 1
        keys_left = sorted(sounding.keys)
        count = sounding.left(usecs_of(check_at), lambda key: release_dropped(key, check_at))
        if count:
            left += count
            if len(examples) < 10:
                examples.append("sounding at frame %d, where the sender left nothing: keys %s" % (check_at, keys_left))
    while e < len(events):
        sounding.feed(events[e][1], events[e][2])
        e += 1
    keys_left = sorted(sounding.keys)
    count = sounding.left(events[-1][1] if events else 0)
    if count:
        left += count
        examples.append("at the end: keys %s" % keys_left)
    excused += sounding.excused
    judged = sum(1 for _, b in sent if note_on(b))
    return lost, excused, judged, left, len(quiet), examples


def run_live(minutes, cli, sender, work):
    seed = int(os.environ.get("SOAK_SEED", random.SystemRandom().randrange(1 << 31)))
    say("seed %d (SOAK_SEED=%d repeats the sender's notes)" % (seed, seed))
    script = live_script(minutes, random.Random(seed))
    with open(os.path.join(work, "script.txt"), "w") as fh:
        for ms, b in script:
            fh.write("%d %s\n" % (ms, " ".join("%02x" % x for x in b)))
    ready, done, log = (os.path.join(work, n) for n in ("sender.ready", "sender.done", "sent.txt"))
    keyboard = subprocess.Popen([sender, "Live Keyboard", "--script", os.path.join(work, "script.txt"),
                                 "--ready", ready, "--log", log, "--done", done])
    child = None
    try:
        deadline = time.monotonic() + 20
        while not os.path.exists(ready) and keyboard.poll() is None and time.monotonic() < deadline:
            time.sleep(0.05)
        if not os.path.exists(ready):
            say("FAILED: the sender did not start")
            return 1
        child = Child([cli, "live", "--input-device", "Live Keyboard"], os.path.join(work, "terminal.log"))
        samples = Samples(child.pid)
        lasted = run_for(minutes, samples, child, lambda: time.monotonic() + 3600)
        deadline = time.monotonic() + 30
        while not os.path.exists(done) and time.monotonic() < deadline and child.alive():
            time.sleep(0.1)
        finished = os.path.exists(done)
        time.sleep(0.2)  # the last note-off's forwarding
        child.send("q")
        ended = child.wait(20)
        child.end()
        code = child.exit_code()
    finally:
        if child is not None:
            child.end()
        keyboard.terminate()
        keyboard.wait()
    stopped = stop_recorder()
    events, xruns, dropped, unreadable = read_recording(work)
    sent = []
    if finished:
        for line in open(log):
            f = line.split()
            sent.append((int(f[0]), tuple(int(x, 16) for x in f[1:])))
    lost, excused, judged, left, quiet, examples = analyse_live(sent, events, xruns)
    say("sender: %d events, %d note-ons, %d points where it left nothing sounding; excused near xruns %d"
        % (len(sent), judged, quiet, excused))
    for line in examples:
        say("  " + line)
    problems = []
    if not lasted:
        problems.append("live ended before the time was up (exit status %s)" % code)
    if not finished:
        problems.append("the sender did not finish its script")
    if not ended or code != 0:
        problems.append("q did not end live with status 0 (%s)" % code)
    if not stopped or dropped or unreadable:
        problems.append("the recorder did not finish cleanly (dropped %d, lines that are no event %d)"
                        % (dropped, unreadable))
    return verdicts(samples, left, lost, xruns, problems, live=True)


# ---------------------------------------------------------------- verdicts

def verdicts(samples, left, lost, xruns, problems, live=False):
    growth, largest, fd_growth = samples.verdicts()
    say("xruns: %d reported to the recorder, %d lines in the server's log" % (len(xruns), jackd_xruns()))
    checks = [
        ("memory growth after minute 1: %+d kB (largest %+d kB), at most %d kB" % (growth, largest, MEMORY_LIMIT_KB),
         growth <= MEMORY_LIMIT_KB),
        ("descriptor growth after minute 1: %+d, at most 0" % fd_growth, fd_growth <= 0),
        ("keys left sounding %s: %d, at most 0"
         % ("where the sender left none, and after the stop" if live else "after pause, stop and seek", left),
         left == 0),
        ("note-ons %s that did not arrive, outside xrun cycles: %d, at most 0"
         % ("sent" if live else "due while playing", lost), lost == 0),
    ]
    checks += [(p, False) for p in problems]
    for text, ok in checks:
        say("%s: %s" % ("PASS" if ok else "FAIL", text))
    passed = all(ok for _, ok in checks)
    say("soak: %s" % ("PASS" if passed else "FAIL"))
    return 0 if passed else 1


def main():
    mode, minutes = sys.argv[1], int(sys.argv[2])
    # SIGTERM and SIGHUP end the soak as Ctrl-C does: the finally clauses
    # stop the CLI and the sender.
    for sig in (signal.SIGTERM, signal.SIGHUP):
        signal.signal(sig, lambda *_: sys.exit(143))
    if mode == "play":
        cli, work, songs = sys.argv[3], sys.argv[4], sys.argv[5:]
        return run_play(minutes, cli, work, songs)
    if mode == "live":
        return run_live(minutes, sys.argv[3], sys.argv[4], sys.argv[5])
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main())
