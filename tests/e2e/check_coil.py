#!/usr/bin/env python3
"""End-to-end check of the coil simulator: `quillarc-coil --wav` on the
private JACK server of with_jack.sh (started without recorders) receives
`quillarc-cli play` of a short song.

    check_coil.py play COIL CLI
    check_coil.py server-gone COIL CLI

`play`: the simulator must be listed by `quillarc-cli devices` as the
controller, exactly like the device; its WAV must sound where the song holds
notes (at the notes' pitch), be silent in the rests and, after the final
all-sound-off, to its end, although the song's last note is never released.
It exits 0 on SIGTERM, with the duty peak of the noteDuty model and a warning
for passing --duty-limit.
`server-gone`: when the JACK server stops, the simulator says so, finishes
its WAV and exits 1.
"""
import os
import signal
import struct
import subprocess
import sys
import time
import wave

SCRATCH = os.environ["QUILLARC_E2E_DIR"]
MARGIN_MS = 40  # JACK cycles, the player's millisecond clock, a server without realtime
RATE = 48000


def fail(message):
    print("FAILED: " + message, file=sys.stderr)
    sys.exit(1)


def var_len(value):
    groups = [value & 0x7F]
    value >>= 7
    while value:
        groups.insert(0, 0x80 | (value & 0x7F))
        value >>= 7
    return bytes(groups)


def write_song(path):
    """Format 0, 500 ticks per quarter at 120 bpm: one tick is one millisecond.
    A note, a rest, a note, a rest, a two-note chord, a rest, and a last note
    that is never released."""
    events = [(0, [0x90, 57, 100]), (300, [0x80, 57, 0]),
              (600, [0x90, 69, 80]), (900, [0x80, 69, 0]),
              (1200, [0x90, 60, 90]), (1200, [0x90, 67, 70]), (1500, [0x80, 60, 0]), (1500, [0x80, 67, 0]),
              (1800, [0x90, 57, 110]), (2000, [0xFF, 0x2F, 0x00])]
    body = b""
    last = 0
    for tick, message in events:
        body += var_len(tick - last) + bytes(message)
        last = tick
    with open(path, "wb") as fh:
        fh.write(b"MThd" + struct.pack(">IHHH", 6, 0, 1, 500) + b"MTrk" + struct.pack(">I", len(body)) + body)


def note_duty(key, velocity):
    frequency = 220.0 * (2.0 ** (1.0 / 12.0)) ** (key - 57)
    period = 1000000.0 / frequency
    return velocity / 128.0 * min(period / 16.0, 100.0) / period


def spans(entries):
    """(start_ms, end_ms, keys) of each stretch with notes held; the last one
    ends when the song ends (end_ms None)."""
    held = {}
    result = []
    start = None
    for time_ms, key, velocity in entries:
        if velocity > 0:
            if not held:
                start = time_ms
            held[key] = velocity
        elif key in held:
            del held[key]
            if not held:
                result.append((start, time_ms))
    if held:
        result.append((start, None))
    return result


def wait_for_controller(cli):
    deadline = time.monotonic() + 10
    while time.monotonic() < deadline:
        out = subprocess.run([cli, "devices"], capture_output=True, text=True).stdout
        if out == "0\tQuillarc USB Controller\tcontroller\n":
            return
        time.sleep(0.05)
    fail("quillarc-cli devices does not list the simulator as the controller; last output: %r" % out)


def check_play(coil, cli):
    song = os.path.join(SCRATCH, "song.mid")
    wav_path = os.path.join(SCRATCH, "coil.wav")
    write_song(song)
    notes = subprocess.run([cli, "notes", song], check=True, capture_output=True, text=True).stdout
    entries = [tuple(int(x) for x in line.split(",")) for line in notes.strip().splitlines()[1:]]

    out_path = os.path.join(SCRATCH, "coil.out")
    err_path = os.path.join(SCRATCH, "coil.err")
    with open(out_path, "w") as out, open(err_path, "w") as err:
        simulator = subprocess.Popen([coil, "--wav", wav_path, "--duty-limit", "3"], stdout=out, stderr=err)
    try:
        wait_for_controller(cli)
        run = subprocess.run([cli, "play", song, "--volume", "100"], capture_output=True, text=True, timeout=30)
        if run.returncode != 0:
            fail("play exited %d: %s" % (run.returncode, run.stderr))
        time.sleep(0.6)  # the released-never note would sound on through this
    finally:
        simulator.send_signal(signal.SIGTERM)
        try:
            simulator.wait(timeout=10)
        except subprocess.TimeoutExpired:
            simulator.kill()
            fail("the simulator did not stop on SIGTERM")
    stdout = open(out_path).read()
    stderr = open(err_path).read()
    if simulator.returncode != 0:
        fail("the simulator exited %d: %s" % (simulator.returncode, stderr))

    with wave.open(wav_path) as wav:
        if (wav.getframerate(), wav.getnchannels(), wav.getsampwidth()) != (RATE, 1, 2):
            fail("the WAV is not 48 kHz mono 16-bit")
        frames = wav.getnframes()
        samples = struct.unpack("<%dh" % frames, wav.readframes(frames))
    loud = [i for i, s in enumerate(samples) if s != 0]
    if not loud:
        fail("the WAV is silent")
    if max(samples) != round(32767 * 100 / 127):
        fail("the level is %d, not channel volume 100/127 of full scale" % max(samples))

    # The first pulse is the first note's start: the WAV's clock against the song's.
    first_ms = entries[0][0]
    frame_at = lambda ms: loud[0] + (ms - first_ms) * RATE // 1000
    onsets = [i for i in loud if i == 0 or samples[i - 1] == 0]

    def onsets_between(from_ms, to_ms):
        return [i for i in onsets if frame_at(from_ms) <= i < frame_at(to_ms)]

    def silent_between(from_ms, to_ms):
        return not any(samples[i] for i in range(max(frame_at(from_ms), 0), min(frame_at(to_ms), frames)))

    stretches = spans(entries)
    for index, (start, end) in enumerate(stretches):
        if end is None:
            # Sent last, silenced by the all-sound-off that follows it at once.
            if not silent_between(start + MARGIN_MS, (frames - loud[0]) * 1000 // RATE + first_ms):
                fail("the WAV is not silent after the final all-sound-off")
            if frames - frame_at(start + MARGIN_MS) < RATE // 2:
                fail("the WAV ends too soon after the song to show the silence")
            continue
        inside = onsets_between(start + MARGIN_MS, end - MARGIN_MS)
        keys = {key for t, key, v in entries if v > 0 and start <= t < end}
        if len(keys) == 1:
            key = keys.pop()
            hertz = 220.0 * 2 ** ((key - 57) / 12.0)
            spacing = sorted(b - a for a, b in zip(inside, inside[1:]))[len(inside) // 2]
            if abs(spacing - RATE / hertz) > 1.5:
                fail("key %d: pulses %d samples apart, not %.1f" % (key, spacing, RATE / hertz))
        elif len(inside) < 10:
            fail("the chord at %d ms is not sounding" % start)
        following = stretches[index + 1][0]
        if not silent_between(end + MARGIN_MS, following - MARGIN_MS):
            fail("the rest from %d to %d ms is not silent" % (end, following))

    peak = max(note_duty(60, 90) + note_duty(67, 70), note_duty(57, 110))
    if "peak duty %.2f %%, measured " % (peak * 100) not in stdout:
        fail("the simulator's duty peak is not %.2f %%: %s" % (peak * 100, stdout))
    if "past the limit of 3 %" not in stderr:
        fail("no warning for a duty cycle past --duty-limit 3: %s" % stderr)
    print("coil: passed (%d pulses, %.2f s recorded, duty peak %.2f %%)" % (len(onsets), frames / RATE, peak * 100))


def check_server_gone(coil, cli):
    wav_path = os.path.join(SCRATCH, "gone.wav")
    simulator = subprocess.Popen([coil, "--wav", wav_path], stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    try:
        wait_for_controller(cli)
        os.kill(int(os.environ["QUILLARC_JACK_PID"]), signal.SIGTERM)
        out, err = simulator.communicate(timeout=10)
    except subprocess.TimeoutExpired:
        simulator.kill()
        fail("the simulator did not stop when the server went away")
    if simulator.returncode != 1 or err != "quillarc-coil: the JACK server went away\n":
        fail("expected exit 1 and one line on stderr, got %d: %r" % (simulator.returncode, err))
    with wave.open(wav_path) as wav:
        if wav.getnframes() <= 0 or ("wrote %.2f s" % (wav.getnframes() / RATE)) not in out:
            fail("the WAV was not finished: %d frames, %r" % (wav.getnframes(), out))
    print("coil server-gone: passed")


def main():
    mode, coil, cli = sys.argv[1:4]
    {"play": check_play, "server-gone": check_server_gone}[mode](coil, cli)


main()
