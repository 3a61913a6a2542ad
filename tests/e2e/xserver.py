"""A private X server for tests and benchmarks: Xvfb on a display number
nobody uses, started and stopped by PID."""
import os
import random
import subprocess
import time


def start_xvfb(log_path, size="800x480x24", reset=True):
    """Starts Xvfb and waits until it answers; a server that loses a race for
    its display number is replaced on another. Returns (process, display), or
    None when no server came up (its messages are in log_path).

    With reset False it does not set itself up again (keyboard map included)
    when its last client leaves, as a desktop's server, never left, does not."""
    for number in random.Random(os.getpid()).sample(range(200, 1000), 5):
        if os.path.exists("/tmp/.X%d-lock" % number):
            continue
        display = ":%d" % number
        with open(log_path, "a") as log:
            server = subprocess.Popen(["Xvfb", display, "-screen", "0", size, "-nolisten", "tcp"]
                                      + ([] if reset else ["-noreset"]),
                                      stdout=subprocess.DEVNULL, stderr=log)
        deadline = time.monotonic() + 15
        while time.monotonic() < deadline and server.poll() is None:
            if subprocess.run(["xdpyinfo", "-display", display], stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL).returncode == 0:
                return server, display
            time.sleep(0.02)
        if server.poll() is None:
            server.kill()
        server.wait()
    return None


def stop_xvfb(server):
    server.terminate()
    server.wait()
