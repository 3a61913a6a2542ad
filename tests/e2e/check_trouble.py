#!/usr/bin/env python3
"""End-to-end checks of the controller's troubles, on the private JACK server
of with_jack.sh.

    check_trouble.py cli-lost CLI GEN_SONG
    check_trouble.py panel-panic QUILLARC CLI SONG
    check_trouble.py panel-late QUILLARC COIL CLI SONG

`cli-lost`: the recorder (the controller) is killed mid-song: `quillarc-cli
play` ends within seconds with "Error: lost the connection to the
controller" and exit status 1.
`panel-panic`: the panel is killed (SIGKILL) mid-song, so nothing silences
the coil; a new panel's Escape ("Silence coil") sends all-sound-off and
all-notes-off on all 16 channels to the recorder.
`panel-late`: the panel starts with no controller (only "Other Synth"); the
coil simulator starts after it; the next Play (Space) plays the song to it.
"""
import os
import select
import shutil
import signal
import subprocess
import sys
import time

from check_panel import Coil, Recorder, fail, wait_until, xdotool
from xserver import start_xvfb, stop_xvfb

SCRATCH = os.environ["QUILLARC_E2E_DIR"]
TITLE = "Quillarc Control Panel"


def make_song(gen_song, seconds, rate):
    path = os.path.join(SCRATCH, "song-%s-%s.mid" % (seconds, rate))
    subprocess.run([sys.executable, gen_song, path, str(seconds), str(rate), "--seed", "7"], check=True)
    return path


def check_cli_lost(cli, gen_song):
    song = make_song(gen_song, 20, 8)
    recorder = Recorder(cli, song)
    player = subprocess.Popen([cli, "play", song], stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    wait_until(lambda: len(recorder.notes()) >= 6, 15, "the song to start")
    os.kill(recorder.pid, signal.SIGKILL)
    try:
        _, err = player.communicate(timeout=10)
    except subprocess.TimeoutExpired:
        player.kill()
        fail("the player went on after its controller was killed")
    if player.returncode != 1:
        fail("the player exited %d, not 1, after its controller was killed: %s" % (player.returncode, err))
    if "Error: lost the connection to the controller" not in err:
        fail("the player did not say that the controller was lost: %r" % err)
    print("cli-lost: passed")


class Panel:
    """One control panel on the X server, with the real MIDI devices."""

    def __init__(self, quillarc, display, song, name):
        folder = os.path.dirname(os.path.abspath(song))
        env = dict(os.environ, DISPLAY=display, QT_QPA_PLATFORM="xcb", QUILLARC_PLAYLIST=os.path.basename(song),
                   QUILLARC_SHOWN_MARK="shown", XDG_RUNTIME_DIR=SCRATCH, XDG_CONFIG_HOME=SCRATCH)
        env.pop("QUILLARC_VIRTUAL_DEVICES", None)
        env.pop("WAYLAND_DISPLAY", None)
        self.err = os.path.join(SCRATCH, name + ".err")
        self.process = subprocess.Popen([quillarc], env=env, cwd=folder, stdout=subprocess.PIPE, text=True,
                                        stderr=open(self.err, "w"))
        ready, _, _ = select.select([self.process.stdout], [], [], 30)
        if not ready or self.process.stdout.readline().strip() != "shown":
            fail("the window of %s was not shown" % name)
        windows = xdotool(display, "search", "--onlyvisible", "--pid", str(self.process.pid), "--name",
                          "^%s$" % TITLE).split()
        if len(windows) != 1:
            fail("expected one window of %s, found %d" % (name, len(windows)))
        self.display = display
        # Without a window manager nobody activates the window: the focus
        # goes to its first button, Play.
        xdotool(display, "windowfocus", "--sync", windows[0])

    def key(self, name):
        xdotool(self.display, "key", name)

    def close(self):
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        with open(self.err) as fh:
            sys.stderr.write(fh.read())


def on_x_server(run):
    log = os.path.join(SCRATCH, "xvfb.log")
    started = start_xvfb(log)
    if started is None:
        with open(log) as fh:
            sys.stderr.write(fh.read())
        fail("Xvfb did not start")
    server, display = started
    try:
        return run(display)
    finally:
        stop_xvfb(server)


def check_panel_panic(quillarc, cli, song):
    recorder = Recorder(cli, song)

    def run(display):
        first = Panel(quillarc, display, song, "first panel")
        first.key("space")
        wait_until(lambda: len(recorder.notes()) >= 4, 30, "the song to start")
        first.process.kill()
        first.process.wait()
        killed_at = len(recorder.recorded())
        second = Panel(quillarc, display, song, "second panel")
        try:
            second.key("Escape")

            def silenced():
                after = recorder.recorded()[killed_at:]
                return all(any(m == [0xB0 + c, n, 0] for m in after) for c in range(16) for n in (120, 123))

            wait_until(silenced, 10, "every channel to be silenced after the panic")
            if any(m[0] & 0xF0 == 0x90 and m[2] > 0 for m in recorder.recorded()[killed_at:]):
                fail("a note sounded after the panel was killed")
        finally:
            second.close()
        return len(recorder.recorded()) - killed_at

    messages = on_x_server(run)
    print("panel-panic: passed (%d messages after the kill)" % messages)


def check_panel_late(quillarc, coil_binary, cli, song):
    def run(display):
        panel = Panel(quillarc, display, song, "panel")
        coil = None
        try:
            coil = Coil(coil_binary, cli)
            panel.key("space")
            wait_until(coil.half_played, 30, "the song to sound on the simulator started after the panel")
        finally:
            panel.close()
            if coil is not None:
                coil.stop()

    on_x_server(run)
    print("panel-late: passed")


def main():
    mode = sys.argv[1]
    args = [os.path.abspath(arg) for arg in sys.argv[2:]]
    if mode != "cli-lost":
        for tool in ("Xvfb", "xdpyinfo", "xdotool"):
            if shutil.which(tool) is None:
                print("SKIP: %s is not installed (scripts/bootstrap installs it)" % tool, file=sys.stderr)
                sys.exit(77)
    if mode == "cli-lost":
        if not os.path.exists(args[1]):
            print("SKIP: %s not found" % args[1], file=sys.stderr)
            sys.exit(77)
        check_cli_lost(*args)
    elif mode == "panel-panic":
        check_panel_panic(*args)
    else:
        check_panel_late(*args)


main()
