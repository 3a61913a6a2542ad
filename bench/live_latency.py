#!/usr/bin/env python3
"""Figures of bench/live_latency.sh from the files it leaves in WORK: the
sender's log and the two recorders' files, matched note-on by note-on (each
note-on's key and velocity are in order, so a lost note shows as a gap)."""
import sys

RATE = 48000.0


def note_ons(path, fields_from):
    ons = []
    with open(path) as fh:
        for line in fh:
            fields = line.split()
            if len(fields) < fields_from + 3 or fields[0] in ("end", "dropped", "xrun"):
                continue
            status, key, velocity = (int(x, 16) for x in fields[fields_from:fields_from + 3])
            if status & 0xF0 == 0x90 and velocity > 0:
                ons.append((int(fields[0]), key, velocity))
    return ons


def latencies(sent, received):
    """Per sent note-on, its latency in ms, or None when it never arrived."""
    out, at = [], 0
    for frame, key, velocity in sent:
        found = None
        for index in range(at, min(at + 50, len(received))):
            if received[index][1:] == (key, velocity):
                found, at = index, index + 1
                break
        out.append(None if found is None else ((received[found][0] - frame) & 0xFFFFFFFF) / RATE * 1000.0)
    return out


def percentile(values, fraction):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(fraction * len(ordered)))]


def main():
    work, period = sys.argv[1], int(sys.argv[2])
    sent = note_ons(work + "/sent.txt", 1)
    paths = {"quillarc live": note_ons(work + "/recorder-0.txt", 2),
             "baseline pass-through": note_ons(work + "/recorder-1.txt", 2)}
    figures = {}
    print("%d notes sent; period %d frames (%.2f ms); realtime %s; server xruns %s" % (
        len(sent), period, period / RATE * 1000, open(work + "/realtime.txt").read().strip(),
        open(work + "/xruns.txt").read().strip() or "0"))
    for name, received in paths.items():
        values = latencies(sent, received)
        arrived = [v for v in values if v is not None]
        lost = {i for i, v in enumerate(values) if v is None}
        figures[name] = (percentile(arrived, 0.99) if arrived else float("inf"), lost)
        print("%-22s p50 %.3f ms  p99 %.3f ms  max %.3f ms  lost %d" % (
            name, percentile(arrived, 0.5), percentile(arrived, 0.99), max(arrived), len(lost)))
    ours, base = figures["quillarc live"], figures["baseline pass-through"]
    added = ours[0] - base[0]
    extra_lost = ours[1] - base[1]
    within = added <= period / RATE * 1000 + 1e-9 and not extra_lost
    print("added to the baseline's p99: %.3f ms (at most %.3f); lost beyond the baseline's: %d -> %s" % (
        added, period / RATE * 1000, len(extra_lost), "PASS" if within else "FAIL"))
    sys.exit(0 if within else 1)


main()
