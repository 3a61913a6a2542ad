#!/usr/bin/env python3
"""Start-up time of the control panel: from exec to the main window drawn on
an X server (Xvfb, started here by PID). The program prints a mark once the
window has been drawn (QUILLARC_SHOWN_MARK); the time runs from just before
the exec to the arrival of that line. Each run is then closed with SIGTERM
(the panel's normal exit).

    startup.py QUILLARC QT_WINDOW_FLOOR RUNS [BASELINE_QUILLARC]

Cases, alternately, after one warm-up run of each (font and library caches):
the system's MIDI devices (run this under tests/e2e/with_jack.sh so that the
controller is the JACK recorder), in-memory devices as the floor without any
device discovery, and, when a second program is given, that program with the
system's devices (an earlier build, for a before/after in the same run).
Beside them, the two floors the panel's start-up stands on, timed the same
way: a bare Qt window (QT_WINDOW_FLOOR, to its first paint) and jack_lsp (a
JACK client that opens, lists the ports and ends), what any Qt program and
any JACK client take on this machine. The X server does not reset between
runs, as a desktop's does not.
Prints every run's time, each case's median, the floors, the machine's load,
and a verdict line: PASS when the median with the system's devices is at most
100 ms, else FAIL and exit status 1.
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

LIMIT_MS = 100.0
JACK_LSP = "jack_lsp"


def one_run(quillarc, env):
    if quillarc == JACK_LSP:
        start = time.monotonic()
        subprocess.run([JACK_LSP], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
        return (time.monotonic() - start) * 1000.0
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


def load():
    with open("/proc/loadavg") as f:
        return " ".join(f.read().split()[:3])


def main():
    quillarc, floor, runs = sys.argv[1], sys.argv[2], int(sys.argv[3])
    baseline = sys.argv[4] if len(sys.argv) > 4 else None
    started = start_xvfb(os.path.join(tempfile.gettempdir(), "quillarc-startup-xvfb.log"), reset=False)
    if started is None:
        sys.exit("startup.py: Xvfb did not start")
    server, display = started
    base = dict(os.environ, DISPLAY=display, QT_QPA_PLATFORM="xcb", QUILLARC_SHOWN_MARK="shown")
    base.pop("QUILLARC_VIRTUAL_DEVICES", None)
    system = "system devices (JACK)"
    cases = {
        system: (quillarc, base),
        "in-memory devices": (quillarc, dict(base, QUILLARC_VIRTUAL_DEVICES="Quillarc USB Controller")),
    }
    if baseline:
        cases["baseline build (JACK)"] = (baseline, base)
    qt_floor, jack_floor = "bare Qt window", "jack_lsp"
    cases[qt_floor] = (floor, base)
    cases[jack_floor] = (JACK_LSP, base)
    times = {name: [] for name in cases}
    load_before = load()
    try:
        for program, env in cases.values():
            one_run(program, env)
        for _ in range(runs):
            for name, (program, env) in cases.items():
                times[name].append(one_run(program, env))
    finally:
        stop_xvfb(server)
    medians = {name: statistics.median(values) for name, values in times.items()}
    for name, values in times.items():
        print("%-22s median %6.1f ms   runs %s" % (name, medians[name], " ".join("%.1f" % v for v in values)))
    if baseline:
        print("ratio this/baseline build: %.2f" % (medians[system] / medians["baseline build (JACK)"]))
    print("floors here: a bare Qt window %.1f ms, a JACK client listing the ports (jack_lsp) %.1f ms;"
          " the panel over the bare window: in-memory devices %+.1f ms, system devices %+.1f ms"
          % (medians[qt_floor], medians[jack_floor], medians["in-memory devices"] - medians[qt_floor],
             medians[system] - medians[qt_floor]))
    print("load average before %s, after %s" % (load_before, load()))
    verdict = "PASS" if medians[system] <= LIMIT_MS else "FAIL"
    print("%s: median %.1f ms with the system devices over %d runs, target at most %.0f ms"
          % (verdict, medians[system], runs, LIMIT_MS))
    sys.exit(0 if verdict == "PASS" else 1)


main()
