#!/usr/bin/env python3
"""Smoke test of the real control panel on an X server, on the private JACK
server of with_jack.sh.

    check_panel.py recorder QUILLARC QUILLARC_CLI ARTEFACT_DIR SONG [SONG...]
    check_panel.py coil COIL QUILLARC QUILLARC_CLI ARTEFACT_DIR SONG [SONG...]

The controller is the recorder that with_jack.sh started as "Quillarc USB
Controller" (`recorder`), or the coil simulator COIL, started here with a WAV
recording (`coil`). The test starts Xvfb (by PID, on a display number of its
own), then `quillarc` in the folder of the songs, with their names in its
playlist (QUILLARC_PLAYLIST, as if dropped on the window), and its real MIDI
devices. Once the window is drawn it presses Space there with xdotool
(play/pause wherever the focus is): the first song starts. Half-way
through, the window is photographed with ImageMagick's `import` into
ARTEFACT_DIR/panel.png. When the song is over the keyboard moves to the Exit
button and presses it with Enter: the program must end with status 0.

`recorder`: the controller must get the channel volume, every note of the
song's note list in order and the final silencing, and no note after it.
`coil`: the simulator must report a duty cycle while the song plays and none
once it is over; its recording must sound during the song and be silent at
its end.
"""
import os
import select
import shutil
import signal
import subprocess
import sys
import time
import wave

from silencing import collapse_silencings
from xserver import start_xvfb, stop_xvfb

SCRATCH = os.environ["QUILLARC_E2E_DIR"]
TITLE = "Quillarc Control Panel"
CONTROLLER = "Quillarc USB Controller"
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


def note_list(cli, song):
    out = subprocess.run([cli, "notes", song], check=True, capture_output=True, text=True).stdout
    rows = [line.split(",") for line in out.strip().splitlines()[1:]]
    return [[0x90, int(k) & 0x7F, int(v) & 0x7F] for _, k, v in rows]


class Recorder:
    """The JACK recorder of with_jack.sh as the controller: exact bytes."""

    def __init__(self, cli, song):
        self.file = os.environ["QUILLARC_RECORDER_FILE"]
        self.pid = int(os.environ["QUILLARC_RECORDER_PID"])
        self.expected = note_list(cli, song)
        self.song_messages = []

    def recorded(self, finished=False):
        """The recorded messages, each silencing as its all-sound-off; with
        `finished`, None until the recorder has ended its file."""
        with open(self.file) as fh:
            lines = fh.read().splitlines()
        messages = []
        for line in lines:
            fields = line.split()
            if fields and fields[0] == "dropped":
                fail("the recorder dropped events: " + line)
            if fields and fields[0] != "end":
                messages.append([int(x, 16) for x in fields[2:]])
        if finished and (not lines or lines[-1] != "end"):
            return None
        return collapse_silencings(messages)

    def notes(self):
        return [m for m in self.recorded() if m[0] == 0x90]

    def half_played(self):
        return len(self.notes()) >= len(self.expected) // 2

    def song_over(self):
        return self.recorded()[-1:] == [ALL_SOUND_OFF] and len(self.notes()) == len(self.expected)

    def check_song(self):
        self.song_messages = self.recorded()
        if self.song_messages != [[0xB0, 7, 31]] + self.expected + [ALL_SOUND_OFF]:
            fail("the controller did not get volume, the %d notes and all-sound-off in order (%d messages)"
                 % (len(self.expected), len(self.song_messages)))

    def check_after_close(self):
        os.kill(self.pid, signal.SIGTERM)
        after = wait_until(lambda: self.recorded(finished=True), 10, "the recorder's end")[len(self.song_messages):]
        if any(m[0] & 0xF0 == 0x90 and m[2] > 0 for m in after):
            fail("a note sounded after the song")
        return "%d notes in order" % len(self.expected)

    def stop(self):
        pass


class Coil:
    """The coil simulator as the controller: its duty reports and recording.
    The song must hold a note at every moment from its first note to its end,
    so that a report without duty means the song is over."""

    def __init__(self, coil, cli):
        self.wav = os.path.join(SCRATCH, "coil.wav")
        self.out = os.path.join(SCRATCH, "coil.out")
        self.process = subprocess.Popen([coil, "--wav", self.wav], stdout=open(self.out, "w"),
                                        stderr=open(os.path.join(SCRATCH, "coil.err"), "w"))
        listed = lambda: CONTROLLER + "\tcontroller" in subprocess.run(
            [cli, "devices"], capture_output=True, text=True).stdout or self.process.poll() is not None
        wait_until(listed, 15, "the simulator to be listed as the controller")
        if self.process.poll() is not None:
            fail("the simulator ended with status %d" % self.process.returncode)

    def peaks(self):
        """The duty peak of each report so far, in per cent."""
        with open(self.out) as fh:
            return [float(line.split()[4]) for line in fh if line.startswith("duty ")]

    def half_played(self):
        return sum(1 for p in self.peaks() if p > 0) >= 2

    def song_over(self):
        peaks = self.peaks()
        first = next((i for i, p in enumerate(peaks) if p > 0), None)
        return first is not None and any(p == 0 for p in peaks[first:])

    def check_song(self):
        pass

    def check_after_close(self):
        self.process.send_signal(signal.SIGTERM)
        if self.process.wait(timeout=30) != 0:
            fail("the simulator exited with status %d" % self.process.returncode)
        with wave.open(self.wav) as recording:
            rate = recording.getframerate()
            width = recording.getsampwidth()
            frames = recording.readframes(recording.getnframes())
        samples = [int.from_bytes(frames[i:i + width], "little", signed=True)
                   for i in range(0, len(frames) - width + 1, width)]
        if not any(samples):
            fail("the simulator's recording is silent")
        if any(samples[-rate // 2:]):
            fail("the simulator's recording still sounds at its end")
        return "the simulator sounded it, peak duty %.2f %%" % max(self.peaks())

    def stop(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()


def xdotool(display, *args):
    env = dict(os.environ, DISPLAY=display)
    return subprocess.run(["xdotool", *args], env=env, check=True, capture_output=True, text=True, timeout=20).stdout


def run_panel(panel, display, controller, artefacts):
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
    # Space plays wherever the focus is.
    xdotool(display, "windowfocus", "--sync", window)
    xdotool(display, "key", "space")

    wait_until(controller.half_played, 30, "half of the song")
    subprocess.run(["import", "-display", display, "-window", window, os.path.join(artefacts, "panel.png")],
                   check=True, timeout=30)
    wait_until(controller.song_over, 60, "the end of the song")
    controller.check_song()

    # Tab order from Play: Pause, Stop, Restart, Previous, Next, Fixed Mode,
    # Exit; Enter presses the button with the focus (Space is play/pause).
    xdotool(display, "key", "--delay", "20", *(["Tab"] * 7), "Return")
    try:
        status = panel.wait(timeout=30)
    except subprocess.TimeoutExpired:
        fail("the panel did not close on Exit")
    if status != 0:
        fail("the panel exited with status %d" % status)
    return controller.check_after_close()


def main():
    mode = sys.argv[1]
    args = sys.argv[2:]
    coil = os.path.abspath(args.pop(0)) if mode == "coil" else None
    quillarc, cli, artefacts = map(os.path.abspath, args[:3])
    songs = args[3:]
    folder = os.path.dirname(os.path.abspath(songs[0]))
    for tool in ("Xvfb", "xdpyinfo", "xdotool", "import"):
        if shutil.which(tool) is None:
            print("SKIP: %s is not installed (scripts/bootstrap installs it)" % tool, file=sys.stderr)
            sys.exit(77)
    os.makedirs(artefacts, exist_ok=True)
    controller = Coil(coil, cli) if mode == "coil" else Recorder(cli, songs[0])
    log = os.path.join(SCRATCH, "xvfb.log")
    started = start_xvfb(log)
    if started is None:
        controller.stop()
        with open(log) as fh:
            sys.stderr.write(fh.read())
        fail("Xvfb did not start")
    server, display = started
    playlist = ";".join(os.path.relpath(os.path.abspath(song), folder) for song in songs)
    env = dict(os.environ, DISPLAY=display, QT_QPA_PLATFORM="xcb", QUILLARC_PLAYLIST=playlist,
               QUILLARC_SHOWN_MARK="shown", XDG_RUNTIME_DIR=SCRATCH)
    env.pop("QUILLARC_VIRTUAL_DEVICES", None)
    env.pop("WAYLAND_DISPLAY", None)
    panel = subprocess.Popen([quillarc], env=env, cwd=folder, stdout=subprocess.PIPE, text=True,
                             stderr=open(os.path.join(SCRATCH, "panel.err"), "w"))
    try:
        result = run_panel(panel, display, controller, artefacts)
    finally:
        if panel.poll() is None:
            panel.terminate()
            try:
                panel.wait(timeout=10)
            except subprocess.TimeoutExpired:
                panel.kill()
                panel.wait()
        controller.stop()
        stop_xvfb(server)
        with open(os.path.join(SCRATCH, "panel.err")) as fh:
            sys.stderr.write(fh.read())
    print("panel: passed (%s; screenshot %s)" % (result, os.path.join(artefacts, "panel.png")))


if __name__ == "__main__":
    main()
