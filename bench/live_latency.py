#!/usr/bin/env python3
"""Figures of bench/live_latency.sh from the files it leaves in WORK/PERIOD
for each period: the sender's log and the two recorders' files. Every note
message is followed (note-ons and note-offs, a note-off as a note-on of
velocity 0, as the program sends it), matched in order against what was sent:
a message never received is lost, and the sequence is exact when what a path
delivered is what was sent, in its order, nothing changed or added."""
import sys

RATE = 48000.0
GOAL_MS = 0.1  # at most this much over the pass-through's p99


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
    latencies, at, exact, matched = [], 0, True, set()
    for frame, *message in received:
        found = next((j for j in range(at, min(at + 50, len(sent))) if sent[j][1:] == tuple(message)), None)
        if found is None:
            exact = False
            continue
        latencies.append(((frame - sent[found][0]) & 0xFFFFFFFF) / RATE * 1000.0)
        matched.add(found)
        at = found + 1
    return latencies, [i for i in range(len(sent)) if i not in matched], exact


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
        figures = {}
        for name, path in (("quillarc live", "/recorder-0.txt"), ("pass-through", "/recorder-1.txt")):
            latencies, lost_at, exact = follow(sent, note_messages(folder + path, 2))
            lost = len(lost_at)
            figures[name] = (percentile(latencies, 0.99), lost, exact)
            print("  %-14s p50 %.3f ms  p99 %.3f ms  max %.3f ms  lost %d%s  exact sequence %s" % (
                name, percentile(latencies, 0.5), figures[name][0], max(latencies, default=float("inf")), lost,
                " (messages %d to %d of those sent)" % (lost_at[0] + 1, lost_at[-1] + 1) if lost else "",
                "yes" if exact else "no"))
        ours, base = figures["quillarc live"], figures["pass-through"]
        met = ours[0] <= base[0] + GOAL_MS + 1e-9 and ours[1] <= base[1] and ours[2]
        passed = passed and met
        print("  p99 %.3f ms against the pass-through's %.3f + %.1f; lost %d against %d; exact sequence %s: %s" % (
            ours[0], base[0], GOAL_MS, ours[1], base[1], "yes" if ours[2] else "no", "PASS" if met else "FAIL"))
    sys.exit(0 if passed else 1)


main()
