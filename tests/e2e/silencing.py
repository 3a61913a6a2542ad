"""The coil's silencing as the recorder sees it, for the end-to-end checks."""
import sys


def collapse_silencings(items, message=lambda item: item):
    """`items` (messages, or anything `message` takes one from) with each
    silencing (all-sound-off, the note-offs of the keys sounding then, in key
    order, all-notes-off) as its all-sound-off alone; fails when one is not
    whole (one still arriving at the end is left as it is). A device reset
    passes as it is."""
    out, sounding, at = [], set(), 0
    while at < len(items):
        b = message(items[at])
        # A device reset (the panic, the last output object) sends sustain off
        # right before each channel's all-sound-off: no silencing of ours.
        after_sustain_off = at > 0 and message(items[at - 1]) == [0xB0, 64, 0]
        if b == [0xB0, 120, 0] and not after_sustain_off:
            whole = [b] + [[0x90, key, 0] for key in sorted(sounding)] + [[0xB0, 123, 0]]
            got = [message(item) for item in items[at:at + len(whole)]]
            if got == whole[:len(got)] and at + len(got) == len(items) and got != whole:
                out.extend(items[at:])  # still arriving
                break
            if got != whole:
                print("FAILED: a silencing was %s, expected %s" % (got, whole), file=sys.stderr)
                sys.exit(1)
            out.append(items[at])
            sounding.clear()
            at += len(whole)
            continue
        if b[0] & 0xF0 == 0x90:
            (sounding.add if b[2] > 0 else sounding.discard)(b[1])
        elif b == [0xB0, 123, 0]:
            sounding.clear()
        out.append(items[at])
        at += 1
    return out
