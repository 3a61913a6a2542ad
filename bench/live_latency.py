#!/usr/bin/env python3
"""Figures of bench/live_latency.sh from the files it leaves in WORK/PERIOD
for each period: the sender's log and the two recorders' files. Every note
message is followed (note-ons and note-offs, a note-off as a note-on of
velocity 0, as the program sends it), matched in order against what was sent:
a message never received is lost, and the sequence is exact when what a path
delivered is what was sent, in its order, nothing changed or added.

Two things the server does are told apart from the paths' own. A message
the server dropped on its way into a client during an xrun is lost on that
path alone, so messages sent within an xrun window (4 periods, at least
10 ms, of an xrun the recorders noted) are counted apart, as play_timing
does. And when a note-off was dropped that way, the program still holds the
key: struck again, the key is released and struck anew at the same frame
(its note-off, then its note-on), which is the program keeping one sound
per key, not a message added: such a re-strike is counted apart too."""
import sys

RATE = 48000.0
GOAL_MS = 0.1  # at most this much over the pass-through's p99


def xrun_frames(path):
    """The frames of the xruns a recorder noted, placed by its own lines'
    frame and real time (the nearest line before each)."""
    lines, xruns = [], []
    with open(path) as fh:
        for line in fh:
            fields = line.split()
            if fields and fields[0] == "xrun":
                xruns.append(int(fields[1]))
            elif len(fields) >= 3 and fields[0] not in ("end", "dropped"):
                lines.append((int(fields[1]), int(fields[0])))
    frames = []
    for usecs in xruns:
        before = [line for line in lines if line[0] <= usecs] or lines[:1]
        if before:
            at_usecs, frame = before[-1]
            frames.append((frame + int((usecs - at_usecs) * RATE / 1e6)) & 0xFFFFFFFF)
    return frames


def note_messages(path, fields_from):
    out = []
    with open(path) as fh:
        for line in fh:
            fields = line.split()
            if len(fields) < fields_from + 3 or fields[0] in ("end", "dropped", "xrun"):
                continue
            status, key, velocity = (int(x, 16) for x in fields[fields_from:fields_from + 3])
            if status & 0xF0 == 0x80:
                status, velocity = 0x90 | (status & 0x0F), 0
            if status & 0xF0 == 0x90:
                out.append((int(fields[0]), status, key, velocity))
    return out


def follow(sent, received):
    """Latencies (ms) of the messages matched in order, the places (in the
    order sent) of those lost, and whether the received ones are the sent
    ones in order."""
    latencies, at, exact, matched, restrikes = [], 0, True, set(), 0
    for index, (frame, *message) in enumerate(received):
        status, key, velocity = message
        following = received[index + 1] if index + 1 < len(received) else None
        next_sent_of_key = next((sent[j] for j in range(at, min(at + 50, len(sent))) if sent[j][2] == key), None)
        if (velocity == 0 and following is not None and following[0] == frame and following[1:] == (status, key, following[3])
                and following[3] > 0 and next_sent_of_key is not None and next_sent_of_key[3] > 0):
            restrikes += 1
            continue
        found = next((j for j in range(at, min(at + 50, len(sent))) if sent[j][1:] == tuple(message)), None)
        if found is None:
            exact = False
            continue
        latencies.append(((frame - sent[found][0]) & 0xFFFFFFFF) / RATE * 1000.0)
        matched.add(found)
        at = found + 1
    return latencies, [i for i in range(len(sent)) if i not in matched], exact, restrikes


def percentile(values, fraction):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(fraction * len(ordered)))] if ordered else float("inf")


def main():
    work, periods = sys.argv[1], [int(p) for p in sys.argv[2:]]
    passed = True
    for period in periods:
        folder = "%s/%d" % (work, period)
        sent = note_messages(folder + "/sent.txt", 1)
        print("period %d frames (%.2f ms): %d note messages sent; JACK realtime %s; server xruns %s" % (
            period, period / RATE * 1000, len(sent), open(folder + "/realtime.txt").read().strip(),
            open(folder + "/xruns.txt").read().strip() or "0"))
        paths = (("quillarc live", "/recorder-0.txt"), ("pass-through", "/recorder-1.txt"))
        xruns = sorted(set(frame for _, path in paths for frame in xrun_frames(folder + path)))
        window = max(4 * period, int(0.010 * RATE))
        near_xrun = lambda frame: any(((frame - x + window) & 0xFFFFFFFF) <= 2 * window for x in xruns)
        figures = {}
        for name, path in paths:
            latencies, lost_at, exact, restrikes = follow(sent, note_messages(folder + path, 2))
            clear = [i for i in lost_at if not near_xrun(sent[i][0])]
            figures[name] = (percentile(latencies, 0.99), len(clear), exact)
            print("  %-14s p50 %.3f ms  p99 %.3f ms  max %.3f ms  lost %d clear of xruns, %d near one%s;"
                  " re-strikes %d; exact sequence %s" % (
                      name, percentile(latencies, 0.5), figures[name][0], max(latencies, default=float("inf")),
                      len(clear), len(lost_at) - len(clear),
                      " (messages %s of those sent)" % " ".join(str(i + 1) for i in lost_at[:8]) if lost_at else "",
                      restrikes, "yes" if exact else "no"))
        ours, base = figures["quillarc live"], figures["pass-through"]
        met = ours[0] <= base[0] + GOAL_MS + 1e-9 and ours[1] <= base[1] and ours[2]
        passed = passed and met
        print("  p99 %.3f ms against the pass-through's %.3f + %.1f; lost clear of xruns %d against %d (%d xruns"
              " noted, window %.1f ms); exact sequence %s: %s" % (
                  ours[0], base[0], GOAL_MS, ours[1], base[1], len(xruns), window / RATE * 1000,
                  "yes" if ours[2] else "no", "PASS" if met else "FAIL"))
    sys.exit(0 if passed else 1)


main()
