#!/usr/bin/env python3
"""Summarises bench/play_timing.sh runs: timing error against the ideal
schedule (measured from the median lateness) and CPU use, median over runs,
for each period of the server; then the periods side by side.

    play_timing.py NOTES WORK RUNS PERIOD...   (the runs of PERIOD in WORK/PERIOD)

The recorder stamps each message with the real time of its cycle and notes
the time of every xrun the server reports. A note due within XRUN_WINDOW of
one (four periods, at least 10 ms), or that arrived in the first cycle after
the server lost time (below), may have been held back or dropped by the
server rather than by the player: such notes are counted apart, and the
"clear" figures leave them out. The figures over all notes are printed as
well, and the goal is judged on both."""
import bisect
import difflib
import os
import statistics
import sys

# The timing error a player must stay within, clear of xruns, at every period.
TARGET_P99_MS = 0.1
# A server that stalls starts again late without counting the frames it
# missed, so the real time between two messages then exceeds their distance
# in frames: by more than this, the later one came out of a disturbed cycle.
SLIP_MS = 1.0


def load_notes(path):
    rows = [line.strip().split(",") for line in open(path).read().splitlines()[1:] if line.strip()]
    return [(int(t), int(k) & 0x7F, int(v) & 0x7F) for t, k, v in rows]


def percentiles(errors):
    errors = sorted(errors)
    pick = lambda q: errors[min(len(errors) - 1, int(q * len(errors)))]
    return pick(0.5), pick(0.99), errors[-1]


def analyse(notes, rec_path, xrun_window_ms):
    events = []
    xruns = []
    for line in open(rec_path):
        f = line.split()
        if len(f) == 2 and f[0] == "xrun":
            xruns.append(int(f[1]) / 1000.0)
        elif len(f) >= 3 and f[0] not in ("end", "dropped"):
            b = [int(x, 16) for x in f[2:]]
            if b[0] == 0x90:
                events.append((int(f[1]), b, int(f[0])))
    xruns.sort()
    # Each message's real time less its frame time; a rise means frames were
    # lost. Messages of one cycle share the figure, so they share the mark.
    offsets = [usecs / 1000.0 - ((frame - events[0][2]) & 0xFFFFFFFF) / 48.0 for usecs, _, frame in events]
    slipped = set()
    for b in range(1, len(events)):
        rise = offsets[b] - offsets[b - 1]
        if rise > SLIP_MS or (b - 1 in slipped and abs(rise) < 0.01):
            slipped.add(b)
    # Pair each arrival with its note-list entry; a note that never arrived
    # is counted as lost (it is not a timing error).
    expected = [(0x90, k, v) for _, k, v in notes]
    arrived = [tuple(b) for _, b, _ in events]
    pairs = []
    for block in difflib.SequenceMatcher(None, expected, arrived, autojunk=False).get_matching_blocks():
        pairs.extend((block.a + i, block.b + i) for i in range(block.size))
    # Each note's lateness against the schedule, measured from the median
    # lateness: aligning on the first note alone would add that note's place
    # in its JACK cycle (up to a period) to every error.
    late = {a: events[b][0] / 1000.0 - notes[a][0] for a, b in pairs}
    after_slip = {a for a, b in pairs if b in slipped}
    centre = statistics.median(late.values())

    def near_xrun(a):
        due = centre + notes[a][0]
        at = bisect.bisect_left(xruns, due - xrun_window_ms)
        return a in after_slip or (at < len(xruns) and xruns[at] <= due + xrun_window_ms)

    lost = [a for a in range(len(notes)) if a not in late]
    errors = [abs(x - centre) for x in late.values()]
    clear_errors = [abs(x - centre) for a, x in late.items() if not near_xrun(a)]
    clear_lost = sum(1 for a in lost if not near_xrun(a))
    excused = sum(1 for a in range(len(notes)) if near_xrun(a))
    return percentiles(clear_errors) + (clear_lost,), percentiles(errors) + (len(lost),), excused, len(xruns)


def summarise(notes, work, runs, period_frames):
    xrun_window_ms = max(10.0, 4 * period_frames / 48.0)
    song_s = (notes[-1][0] - notes[0][0]) / 1000.0 + 0.5
    clear_table, all_table, cpu_table = {}, {}, {}
    for player in ("quillarc", "baseline"):
        clear_runs, all_runs, cpu_runs = [], [], []
        for i in range(1, runs + 1):
            base = "%s/%s-%d" % (work, player, i)
            clear, everything, excused, xruns = analyse(notes, base + ".rec", xrun_window_ms)
            user, system = (float(x) for x in open(base + ".cpu").read().split()[-2:])
            ticks, per_second = (int(x) for x in open(base + ".thread").read().split())
            cpu = (100.0 * (user + system) / song_s, 100.0 * ticks / per_second / song_s)
            clear_runs.append(clear)
            all_runs.append(everything)
            cpu_runs.append(cpu)
            realtime = open(base + ".rt").read().strip()
            print("%s run %d: clear of xruns: p50 %.3f p99 %.3f max %.3f ms, lost %d; all notes: p50 %.3f p99 %.3f "
                  "max %.3f ms, lost %d; %d xruns, %d notes near one; CPU %.3f%%, sending thread %.3f%%"
                  % ((player, i) + clear + everything + (xruns, excused) + cpu))
        clear_table[player] = [statistics.median(col) for col in zip(*clear_runs)]
        all_table[player] = [statistics.median(col) for col in zip(*all_runs)]
        cpu_table[player] = [statistics.median(col) for col in zip(*cpu_runs)]
    print("JACK realtime: %s, %d frames per period, xrun window %.1f ms; %d notes over %.1f s; medians of %d runs"
          % (realtime, period_frames, xrun_window_ms, len(notes), song_s, runs))
    print("%-10s %-6s %8s %8s %8s %6s %12s %12s"
          % ("player", "notes", "p50 ms", "p99 ms", "max ms", "lost", "process CPU%", "sender CPU%"))
    for player in clear_table:
        for label, row in (("clear", clear_table[player]), ("all", all_table[player])):
            print("%-10s %-6s %8.3f %8.3f %8.3f %6g %12.3f %12.3f" % ((player, label) + tuple(row) + tuple(cpu_table[player])))
    q, b = clear_table["quillarc"], clear_table["baseline"]
    print("ratio quillarc/baseline, clear of xruns: p50 %.2f, p99 %.2f, max %.2f" % (q[0] / b[0], q[1] / b[1], q[2] / b[2]))
    for label, table in (("clear of xruns", clear_table), ("all notes, xrun cycles included", all_table)):
        q_row, b_row = table["quillarc"], table["baseline"]
        verdict = "yes" if q_row[1] <= b_row[1] and q_row[3] <= b_row[3] else "no"
        print("quillarc no worse than the sender on p99 error and lost notes, %s: %s" % (label, verdict))
    print()
    return q, b, all_table["quillarc"], all_table["baseline"]


def main():
    notes_path, work, runs = sys.argv[1], sys.argv[2], int(sys.argv[3])
    periods = [int(p) for p in sys.argv[4:]]
    notes = load_notes(notes_path)
    rows = [(p,) + summarise(notes, "%s/%d" % (work, p), runs, p) for p in periods]
    print("Medians of %d runs: p99 timing error (ms) clear of xruns and over all notes (xrun cycles included), "
          "and notes lost of %d" % (runs, len(notes)))
    print("%-8s %8s %12s %12s %8s %12s %12s %8s" % ("period", "ms", "clear p99", "all p99", "lost", "sender clear",
                                                   "sender all", "lost"))
    clear_met = all_met = lost_met = True
    for period, q, b, q_all, b_all in rows:
        print("%-8d %8.1f %12.3f %12.3f %8g %12.3f %12.3f %8g"
              % (period, period / 48.0, q[1], q_all[1], q_all[3], b[1], b_all[1], b_all[3]))
        clear_met = clear_met and q[1] <= TARGET_P99_MS
        all_met = all_met and q_all[1] <= b_all[1]
        lost_met = lost_met and q_all[3] <= b_all[3]
    yes = lambda met: "yes" if met else "no"
    print("quillarc within %.1f ms at p99 clear of xruns at every period: %s" % (TARGET_P99_MS, yes(clear_met)))
    print("quillarc p99 over all notes, xrun cycles included, at most the sender's at every period: %s" % yes(all_met))
    print("quillarc losing no more notes than the sender at every period: %s" % yes(lost_met))
    print("goal met: %s" % yes(clear_met and all_met and lost_met))


main()
