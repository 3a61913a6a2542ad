#!/usr/bin/env python3
"""Summarises bench/play_timing.sh runs: timing error against the ideal
schedule (aligned on the first note) and CPU use, median over runs."""
import difflib
import statistics
import sys


def load_notes(path):
    rows = [line.strip().split(",") for line in open(path).read().splitlines()[1:] if line.strip()]
    return [(int(t), int(k) & 0x7F, int(v) & 0x7F) for t, k, v in rows]


def analyse(notes, rec_path):
    events = []
    for line in open(rec_path):
        f = line.split()
        if len(f) >= 3 and f[0] not in ("end", "dropped"):
            b = [int(x, 16) for x in f[2:]]
            if b[0] == 0x90:
                events.append((int(f[1]), b))
    # Pair each arrival with its note-list entry; a note that never arrived
    # is counted as lost (it is not a timing error).
    expected = [(0x90, k, v) for _, k, v in notes]
    arrived = [tuple(b) for _, b in events]
    pairs = []
    for block in difflib.SequenceMatcher(None, expected, arrived, autojunk=False).get_matching_blocks():
        pairs.extend((block.a + i, block.b + i) for i in range(block.size))
    lost = len(expected) - len(pairs)
    first_note, first_event = pairs[0]
    errors = sorted(abs((events[b][0] - events[first_event][0]) / 1000.0 - (notes[a][0] - notes[first_note][0]))
                    for a, b in pairs)
    pick = lambda q: errors[min(len(errors) - 1, int(q * len(errors)))]
    return pick(0.5), pick(0.99), errors[-1], lost


def main():
    notes_path, work, runs = sys.argv[1], sys.argv[2], int(sys.argv[3])
    notes = load_notes(notes_path)
    song_s = (notes[-1][0] - notes[0][0]) / 1000.0 + 0.5
    table = {}
    for player in ("quillarc", "baseline"):
        results = []
        for i in range(1, runs + 1):
            base = "%s/%s-%d" % (work, player, i)
            p50, p99, worst, lost = analyse(notes, base + ".rec")
            user, system = (float(x) for x in open(base + ".cpu").read().split()[-2:])
            ticks, per_second = (int(x) for x in open(base + ".thread").read().split())
            results.append((p50, p99, worst, 100.0 * (user + system) / song_s, lost, 100.0 * ticks / per_second / song_s))
            realtime = open(base + ".rt").read().strip()
            xruns = open(base + ".xruns").read().strip() or "0"
            print("%s run %d: p50 %.3f p99 %.3f max %.3f ms, CPU %.3f%%, lost %d, sending thread CPU %.3f%%, JACK xruns %s"
                  % ((player, i) + results[-1] + (xruns,)))
        table[player] = [statistics.median(col) for col in zip(*results)]
        table[player][4] = sum(r[4] for r in results)  # lost notes: the total over all runs
    print("JACK realtime: %s; %d notes over %.1f s; medians of %d runs" % (realtime, len(notes), song_s, runs))
    print("%-10s %8s %8s %8s %12s %14s %6s" % ("player", "p50 ms", "p99 ms", "max ms", "process CPU%", "sender CPU%", "lost"))
    for player, (p50, p99, worst, cpu, lost, thread_cpu) in table.items():
        print("%-10s %8.3f %8.3f %8.3f %12.3f %14.3f %6d" % (player, p50, p99, worst, cpu, thread_cpu, lost))
    q, b = table["quillarc"], table["baseline"]
    print("ratio quillarc/baseline: p50 %.2f, p99 %.2f, max %.2f" % (q[0] / b[0], q[1] / b[1], q[2] / b[2]))


main()
