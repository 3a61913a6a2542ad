#!/usr/bin/env python3
"""Start-up time of the control panel: from exec to the main window drawn on
an X server (Xvfb, started here by PID). The program prints a mark once the
window has been drawn (QUILLARC_SHOWN_MARK); the time runs from just before
the exec to the arrival of that line. Each run is then closed with SIGTERM
(the panel's normal exit).

    startup.py QUILLARC RUNS [BASELINE_QUILLARC]

Cases, alternately, after one warm-up run of each (font and library caches):
the system's MIDI devices (run this under tests/e2e/with_jack.sh so that the
controller is the JACK recorder), in-memory devices as the floor without any
device discovery, and, when a second program is given, that program with the
system's devices (an earlier build, for a before/after in the same run).
Prints every run's time, each case's median, the machine's load, and a
verdict line: PASS when the median with the system's devices is at most
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


def load():
    with open("/proc/loadavg") as f:
        return " ".join(f.read().split()[:3])


def main():
    quillarc, runs = sys.argv[1], int(sys.argv[2])
    baseline = sys.argv[3] if len(sys.argv) > 3 else None
    started = start_xvfb(os.path.join(tempfile.gettempdir(), "quillarc-startup-xvfb.log"))
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
    print("load average before %s, after %s" % (load_before, load()))
    verdict = "PASS" if medians[system] <= LIMIT_MS else "FAIL"
    print("%s: median %.1f ms with the system devices over %d runs, target at most %.0f ms"
          % (verdict, medians[system], runs, LIMIT_MS))
    sys.exit(0 if verdict == "PASS" else 1)


main()
