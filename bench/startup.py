#!/usr/bin/env python3
"""Start-up time of the control panel: from exec to the main window drawn on
an X server (Xvfb, started here by PID). The program prints a mark once the
window has been drawn (QUILLARC_SHOWN_MARK); the time runs from just before
the exec to the arrival of that line. Each run is then closed with SIGTERM
(the panel's normal exit).

    startup.py QUILLARC RUNS

Two cases, alternately, after one warm-up run of each (font and library
caches): the system's MIDI devices (run this under tests/e2e/with_jack.sh so
that the controller is the JACK recorder), and in-memory devices as the
baseline without any device discovery. Prints each case's median and the
ratio; exits 1 when the median with the real devices is 300 ms or more.
"""
import os
import select
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
from xserver import start_xvfb, stop_xvfb  # noqa: E402

LIMIT_MS = 300.0


def one_run(quillarc, env):
    start = time.monotonic()
    panel = subprocess.Popen([quillarc], env=env, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    ready, _, _ = select.select([panel.stdout], [], [], 30)
    line = panel.stdout.readline().strip() if ready else ""
    elapsed_ms = (time.monotonic() - start) * 1000.0
    panel.terminate()
    status = panel.wait(timeout=30)
    if line != "shown" or status != 0:
        sys.exit("startup.py: the panel did not show its window (mark %r, exit status %d)" % (line, status))
    return elapsed_ms


def main():
    quillarc, runs = sys.argv[1], int(sys.argv[2])
    started = start_xvfb(os.path.join(tempfile.gettempdir(), "quillarc-startup-xvfb.log"))
    if started is None:
        sys.exit("startup.py: Xvfb did not start")
    server, display = started
    base = dict(os.environ, DISPLAY=display, QT_QPA_PLATFORM="xcb", QUILLARC_SHOWN_MARK="shown")
    base.pop("QUILLARC_VIRTUAL_DEVICES", None)
    cases = {
        "system devices (JACK)": base,
        "in-memory devices": dict(base, QUILLARC_VIRTUAL_DEVICES="Quillarc USB Controller"),
    }
    times = {name: [] for name in cases}
    try:
        for name, env in cases.items():
            one_run(quillarc, env)
        for _ in range(runs):
            for name, env in cases.items():
                times[name].append(one_run(quillarc, env))
    finally:
        stop_xvfb(server)
    medians = {name: statistics.median(values) for name, values in times.items()}
    for name, values in times.items():
        print("%-22s median %6.1f ms   runs %s" % (name, medians[name], " ".join("%.1f" % v for v in values)))
    real, virtual = medians["system devices (JACK)"], medians["in-memory devices"]
    print("ratio system/in-memory: %.2f; target: median under %.0f ms with the system devices" % (real / virtual, LIMIT_MS))
    sys.exit(0 if real < LIMIT_MS else 1)


main()
