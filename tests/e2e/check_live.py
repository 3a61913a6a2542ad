#!/usr/bin/env python3
"""End-to-end checks of `quillarc-cli live` between a sender client (the
keyboard, jack_sender) and the JACK recorder that with_jack.sh started as
"Quillarc USB Controller".

    check_live.py sequence CLI SENDER       a fixed sequence arrives exactly
    check_live.py signal CLI SENDER NAME    signal NAME (INT, TERM, HUP) mid-note
    check_live.py vanish CLI SENDER         the sender killed mid-note
    check_live.py cut CLI SENDER            a held key under --max-note-ms 300
    check_live.py panel QUILLARC SENDER ARTEFACT_DIR   the panel's Live Input dialog
    check_live.py rig CLI SENDER            a two-coil rig, then the panic

`sequence`: devices --inputs lists the sender; every byte at the recorder,
in order, is the one expected, ending with the silencing and the reset of
every channel after SIGINT, live exiting 130 on one JACK client. `signal`:
live exits with 128 + the signal's number, the held note gets its note-off
and every channel is silenced. `vanish`: live says the input went, exits 1,
and every channel is silenced. `cut`: the held key is cut once it has
sounded 300 ms (the worker wakes for it), and its late note-off sends
nothing. `panel`: the real panel on Xvfb opens Fixed Mode and closes it, then Live
Input with Ctrl+L, a keyboard started since then being the default input:
the sender's notes reach the recorder exactly, the panel holds one JACK
client and is never connected into itself, the dialog is photographed into
ARTEFACT_DIR/live-input.png, and Escape closes it with the held note
silenced. `rig`: each coil's recorder gets exactly its notes and silencing;
the controller, in no coil, nothing until `panic` resets all three.
"""
import os
import signal
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from check_play import FIRM, fail, jack_clients, read_events, silencing_fault, wait_for  # noqa: E402

SCRATCH = os.environ["QUILLARC_E2E_DIR"]
KEYBOARD = "Live Keyboard"

# Channel 1 is played; the shift raises 48 to 56; channel 2, the held
# note-off under the pedal and the running-status note-off are the input's own.
SEQUENCE = """0 91 3c 64
20 92 3e 64
40 91 30 50
60 3c 00
80 b1 40 7f
100 81 30 00
120 b1 40 00
140 91 40 7f
160 b1 7b 00
"""
RESET = [[0xB0 + channel, controller, 0] for channel in range(16) for controller in (64, 120, 123)]
# The keyboard's all-notes-off is the coil's silencing, with the note-off of
# the key it left sounding; SIGINT's finds none sounding.
EXPECTED = [[0xB0, 7, 100], [0x90, 0x3C, 0x64], [0x90, 0x38, 0x50], [0x90, 0x3C, 0], [0x90, 0x38, 0],
            [0x90, 0x40, 0x7F], [0xB0, 120, 0], [0x90, 0x40, 0], [0xB0, 123, 0], [0xB0, 120, 0],
            [0xB0, 123, 0]] + RESET


def start_sender(sender, script):
    path = os.path.join(SCRATCH, "script.txt")
    with open(path, "w") as fh:
        fh.write(script)
    ready = os.path.join(SCRATCH, "sender.ready")
    done = os.path.join(SCRATCH, "sender.done")
    for stale in (ready, done):
        if os.path.exists(stale):
            os.remove(stale)
    proc = subprocess.Popen([sender, KEYBOARD, "--script", path, "--ready", ready, "--done", done])
    wait_for("the sender did not start", lambda: os.path.exists(ready), proc)
    return proc, done


def start_live(cli, *args):
    return subprocess.Popen([cli, "live", "--input-device", KEYBOARD] + list(args), stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE, text=True)


def recorded():
    return [b for _, b in read_events(stop_recorder=False)]


def finish(proc, what):
    try:
        _, err = proc.communicate(timeout=10)
    except subprocess.TimeoutExpired:
        proc.kill()
        fail("live did not end after " + what, FIRM)
    return proc.returncode, err


def check_sequence(cli, sender):
    keyboard, done = start_sender(sender, SEQUENCE)
    listed = subprocess.run([cli, "devices", "--inputs"], capture_output=True, text=True, timeout=30).stdout
    if listed != "0\t%s\n" % KEYBOARD:
        fail("devices --inputs listed %r" % listed, FIRM)
    live = start_live(cli, "--channel", "1", "--shift-low-notes", "--volume", "100")
    wait_for("the sequence was not sent", lambda: os.path.exists(done), live)
    wait_for("the sequence did not arrive", lambda: len(recorded()) >= 7, live)
    clients = jack_clients(live.pid)
    live.send_signal(signal.SIGINT)
    status, err = finish(live, "SIGINT")
    keyboard.terminate()
    keyboard.wait(timeout=10)
    if len(clients) != 1:
        fail("live holds %d JACK clients: %s" % (len(clients), clients), FIRM)
    if status != 128 + signal.SIGINT:
        fail("live exited %d: %s" % (status, err), FIRM)
    got = [b for _, b in read_events(stop_recorder=True)]
    if got != EXPECTED:
        fail("the recorder got %s, expected %s" % (got, EXPECTED))
    print("live sequence: passed (%d messages)" % len(got))


# Lead: channels 0-1, one voice (the higher key steals); Bass: channels 1-2 an
# octave down at half the volume (101 x 50 / 100). SIGINT finds one key held on each.
RIG = ("[coil Lead]\ndevice = Lead Coil\nchannels = 0-1\nvoices = 1\n"
       "[coil Bass]\ndevice = Bass Coil\nchannels = 1, 2\ntranspose = -12\nvolume_percent = 50\n")
RIG_SEQUENCE = "0 90 3c 64\n20 92 30 50\n40 91 40 70\n60 80 3c 00\n80 81 40 00\n100 82 30 00\n120 91 45 60\n"
RIG_EXPECTED = {
    "Lead Coil": [[0xB0, 7, 101], [0x90, 0x3C, 0x64], [0x90, 0x3C, 0], [0x90, 0x40, 0x70], [0x90, 0x40, 0],
                  [0x90, 0x45, 0x60], [0xB0, 120, 0], [0x90, 0x45, 0], [0xB0, 123, 0]] + RESET,
    "Bass Coil": [[0xB0, 7, 50], [0x90, 0x24, 0x50], [0x90, 0x34, 0x70], [0x90, 0x34, 0], [0x90, 0x24, 0],
                  [0x90, 0x39, 0x60], [0xB0, 120, 0], [0x90, 0x39, 0], [0xB0, 123, 0]] + RESET,
    "Quillarc USB Controller": []}


def recorder_messages(name):
    i = [os.environ["QUILLARC_RECORDER_NAME_%d" % i] for i in range(len(RIG_EXPECTED))].index(name)
    with open(os.environ["QUILLARC_RECORDER_FILE_%d" % i]) as fh:
        return [[int(x, 16) for x in row[2:]] for row in map(str.split, fh) if row and row[0].isdigit()]


def check_rig(cli, sender):
    rig = os.path.join(SCRATCH, "two-coils.conf")
    with open(rig, "w") as fh:
        fh.write(RIG)
    keyboard, done = start_sender(sender, RIG_SEQUENCE)
    live = start_live(cli, "--rig", rig, "--volume", "101")
    wait_for("the sequence did not arrive on both coils", lambda: os.path.exists(done) and all(
        len(recorder_messages(name)) >= 6 for name in ("Lead Coil", "Bass Coil")), live)
    live.send_signal(signal.SIGINT)
    status, err = finish(live, "SIGINT")
    keyboard.terminate()
    keyboard.wait(timeout=10)
    panic = subprocess.run([cli, "panic", "--rig", rig], capture_output=True, text=True, timeout=30)
    if status != 128 + signal.SIGINT or panic.returncode != 0:
        fail("live exited %d (%s), panic %d (%s)" % (status, err, panic.returncode, panic.stderr), FIRM)
    # The panic resets each device once more, the controller too.
    expected = {name: messages + RESET for name, messages in RIG_EXPECTED.items()}
    wait_for("not every device was reset", lambda: all(
        len(recorder_messages(name)) >= len(messages) for name, messages in expected.items()), live)
    for name, messages in expected.items():
        if recorder_messages(name) != messages:
            fail("%s got %s, expected %s" % (name, recorder_messages(name), messages))
    print("live rig: passed (%s)" % ", ".join("%s %d" % (n, len(recorder_messages(n))) for n in expected))


def check_held(cli, sender, stop, expected_status):
    keyboard, _ = start_sender(sender, "0 90 45 70\n")
    live = start_live(cli)
    wait_for("the note did not arrive", lambda: [0x90, 0x45, 0x70] in recorded(), live)
    what = stop(live, keyboard)
    status, err = finish(live, what)
    if keyboard.poll() is None:
        keyboard.terminate()
        keyboard.wait(timeout=10)
    if status != expected_status:
        fail("live exited %d after %s: %s" % (status, what, err), FIRM)
    if expected_status == 1 and "lost the connection to the input device" not in err:
        fail("live did not say the input went: %r" % err, FIRM)
    fault = silencing_fault([b for _, b in read_events(stop_recorder=True)], what)
    if fault:
        fail(fault)
    print("live %s: passed" % what)


def check_cut(cli, sender):
    keyboard, done = start_sender(sender, "0 90 45 70\n700 80 45 00\n")
    live = start_live(cli, "--max-note-ms", "300")
    wait_for("the note-off was not sent", lambda: os.path.exists(done), live)
    time.sleep(0.1)
    live.send_signal(signal.SIGTERM)
    status, err = finish(live, "SIGTERM")
    keyboard.terminate()
    keyboard.wait(timeout=10)
    events = read_events(stop_recorder=True)
    messages = [b for _, b in events]
    if status != 128 + signal.SIGTERM or messages[:4] != [[0xB0, 7, 31], [0x90, 0x45, 0x70], [0x90, 0x45, 0], [0xB0, 120, 0]]:
        fail("live exited %d, the recorder got %s" % (status, messages[:4]))
    held_ms = (events[2][0] - events[1][0]) / 1000.0
    # The forwarder's clock counts whole milliseconds, and each message
    # leaves at the start of the cycle after it is sent: the cut can come up
    # to a millisecond and a period (1.3 ms) before 300 ms have passed.
    if not 298 <= held_ms < 330:
        fail("the key was cut after %.1f ms, not at 300" % held_ms)
    print("live cut: passed (cut after %.1f ms)" % held_ms)


def own_connections(clients):
    """The connections in the JACK graph from a port of one of `clients` to a
    port of one of them: the program connected back into itself."""
    listing = subprocess.run(["jack_lsp", "-c"], capture_output=True, text=True, timeout=20).stdout
    found, port = [], ""
    for line in listing.splitlines():
        if not line[:1].isspace():
            port = line
        elif port.split(":")[0] in clients and line.strip().split(":")[0] in clients:
            found.append((port, line.strip()))
    return found


def check_panel(quillarc, sender, artefacts):
    import shutil
    from xserver import start_xvfb, stop_xvfb
    for tool in ("Xvfb", "xdpyinfo", "xdotool", "import", "jack_lsp"):
        if shutil.which(tool) is None:
            print("SKIP: %s is not installed (scripts/bootstrap installs it)" % tool, file=sys.stderr)
            sys.exit(77)
    os.makedirs(artefacts, exist_ok=True)
    started = start_xvfb(os.path.join(SCRATCH, "xvfb.log"))
    if started is None:
        fail("Xvfb did not start", FIRM)
    server, display = started
    env = dict(os.environ, DISPLAY=display, QT_QPA_PLATFORM="xcb", QUILLARC_SHOWN_MARK="shown",
               XDG_RUNTIME_DIR=SCRATCH)
    env.pop("QUILLARC_VIRTUAL_DEVICES", None)
    xdotool = lambda *args: subprocess.run(["xdotool", *args], env=env, check=True, capture_output=True,
                                           text=True, timeout=20).stdout
    focus = lambda title: xdotool("windowfocus", "--sync",
                                  xdotool("search", "--onlyvisible", "--name", "^%s$" % title).split()[0])
    panel = subprocess.Popen([quillarc], env=env, stdout=subprocess.PIPE, text=True,
                             stderr=open(os.path.join(SCRATCH, "panel.err"), "w"))
    keyboard = None
    try:
        if panel.stdout.readline().strip() != "shown":
            fail("the window was not shown", FIRM)
        # Fixed Mode first (Tab order from Play: Pause, Stop, Restart,
        # Previous, Next, Fixed Mode): its output port is the program's own,
        # and must not be offered as a keyboard afterwards.
        focus("Quillarc Control Panel")
        xdotool("key", "--delay", "20", *(["Tab"] * 6), "Return")
        wait_for("fixed mode did not sound", lambda: [0x90, 64, 127] in recorded(), panel)
        focus("Fixed Mode")
        xdotool("key", "Return")
        wait_for("closing fixed mode did not silence the coil", lambda: [0xB0, 120, 0] in recorded(), panel)
        tuned = recorded()
        # The keyboard comes after: it is the last port to appear.
        keyboard, done = start_sender(sender, "0 90 45 70\n200 80 45 00\n400 90 48 60\n")
        focus("Quillarc Control Panel")
        xdotool("key", "ctrl+l")
        played = [[0xB0, 7, 31], [0x90, 0x45, 0x70], [0x90, 0x45, 0], [0x90, 0x48, 0x60]]
        wait_for("the notes did not pass", lambda: recorded()[len(tuned):len(tuned) + 4] == played, panel, FIRM)
        clients = jack_clients(panel.pid)
        if len(clients) != 1:
            fail("the panel holds %d JACK clients: %s" % (len(clients), clients), FIRM)
        if own_connections(clients):
            fail("the panel is connected into itself: %s" % own_connections(clients), FIRM)
        dialog = xdotool("search", "--onlyvisible", "--name", "^Live Input$").split()[0]
        time.sleep(0.3)  # the note line is drawn after the note has left
        subprocess.run(["import", "-display", display, "-window", dialog, os.path.join(artefacts, "live-input.png")],
                       check=True, timeout=30)
        xdotool("windowfocus", "--sync", dialog)
        xdotool("key", "Escape")
        wait_for("closing the dialog did not silence the coil",
                 lambda: len(recorded()) > len(tuned) + 4, panel)
        panel.terminate()
        if panel.wait(timeout=30) != 0:
            fail("the panel exited with status %d" % panel.returncode, FIRM)
    finally:
        if panel.poll() is None:
            panel.kill()
            panel.wait()
        if keyboard is not None:
            keyboard.terminate()
            keyboard.wait(timeout=10)
        stop_xvfb(server)
    got = [b for _, b in read_events(stop_recorder=True)]
    live = got[len(tuned):]
    for part, what in ((tuned, "closing Fixed Mode"), (live, "closing Live Input")):
        fault = silencing_fault(part, what, every_channel=False)
        if fault:
            fail(fault + ": " + str(got))
    if live[:4] != played:
        fail("the recorder got %s" % got)
    print("live panel: passed (%d messages; screenshot %s)" % (len(got), os.path.join(artefacts, "live-input.png")))


def main():
    mode, cli, sender = sys.argv[1:4]
    if mode == "panel":
        check_panel(cli, sender, sys.argv[4])
    elif mode == "cut":
        check_cut(cli, sender)
    elif mode == "rig":
        check_rig(cli, sender)
    elif mode == "sequence":
        check_sequence(cli, sender)
    elif mode == "signal":
        name = sys.argv[4]

        def send(live, _):
            live.send_signal(getattr(signal, "SIG" + name))
            return "SIG" + name
        check_held(cli, sender, send, 128 + getattr(signal, "SIG" + name))
    else:
        def vanish(_, keyboard):
            keyboard.kill()
            keyboard.wait(timeout=10)
            return "the sender vanished"
        check_held(cli, sender, vanish, 1)


main()
