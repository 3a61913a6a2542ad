#!/usr/bin/env python3
"""Writes the hand-made seed files of the fuzz corpus into fuzz/corpus/handmade/.

Each seed is small and aims at one corner of the reader, the merge or the
note-list extraction; names start with "ok-" for well-formed files, "bad-" for files
that the reader refuses or reads only in part, and "odd-" for files whose
reading depends on a quirk of the reader. Run it again
after changing a seed and commit the result.
"""
import os
import struct

OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus", "handmade")


def header(fmt, ntracks, division, length=6):
    return b"MThd" + struct.pack(">IHHh", length, fmt, ntracks, division)


def track(body, end=True):
    data = bytes(body) + (b"\x00\xff\x2f\x00" if end else b"")
    return b"MTrk" + struct.pack(">I", len(data)) + data


def tempo(delta, microseconds):
    return bytes([delta, 0xFF, 0x51, 0x03]) + microseconds.to_bytes(3, "big")


SEEDS = {
    # Tempo map in its own track, notes of two channels in another; running
    # status, a velocity-0 note-on, keys on both sides of the low-note limit.
    "ok-tempo-map-format1.mid": header(1, 2, 480)
    + track(tempo(0, 500000) + bytes([0x83, 0x60]) + tempo(0, 1000000)[1:])
    + track([0x00, 0x90, 40, 100, 0x00, 50, 90, 0x00, 51, 80,
             0x83, 0x60, 0x80, 40, 0, 0x00, 0x90, 50, 0, 0x00, 51, 0,
             0x00, 0x91, 60, 70, 0x81, 0x70, 60, 0]),
    # Format 0: note-ons below key 12 (markers, marker 2 counted), a tempo
    # meta at the same tick as a note, a zero-length meta.
    "ok-markers-format0.mid": header(0, 1, 96)
    + track([0x00, 0x90, 2, 1, 0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20,
             0x00, 0x90, 60, 64, 0x10, 0x90, 2, 5, 0x00, 5, 5, 0x00, 0xFF, 0x01, 0x00,
             0x10, 0x80, 60, 64, 0x00, 0x90, 2, 9]),
    # Running status is kept across tracks: the end-of-track meta of the first
    # track leaves FF in force when the second starts with a data byte.
    "odd-running-status-across-tracks.mid": header(1, 2, 120)
    + track([0x00, 0x90, 64, 100, 0x10, 64, 0])
    + track([0x00, 66, 90, 0x10, 66, 0]),
    # A system-exclusive event, single-byte system messages and the longest
    # delta that fits in four bytes.
    "ok-sysex-and-system.mid": header(1, 1, 240)
    + track([0x00, 0x90, 70, 100, 0x00, 0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7,
             0x00, 0x90, 72, 100, 0x00, 0xF8, 0x00, 0xFE, 0xFF, 0xFF, 0xFF, 0x7F, 0x80, 70, 0]),
    # Two tracks whose events meet at the same ticks: channel messages before
    # meta events, lower track first.
    "ok-equal-ticks.mid": header(1, 3, 48)
    + track(tempo(0, 400000) + bytes([0x00, 0xFF, 0x06, 0x01, 0x41]))
    + track([0x00, 0x90, 30, 1, 0x30, 0x80, 30, 0])
    + track([0x00, 0x90, 31, 2, 0x30, 0x90, 31, 0]),
    "bad-vlq-five-bytes.mid": header(0, 1, 96) + track([0x81, 0x81, 0x81, 0x81, 0x81, 0x00, 0x90, 60, 1]),
    "bad-data-byte-first.mid": header(0, 1, 96) + track([0x00, 60, 100]),
    "bad-second-track-missing.mid": header(1, 2, 96) + track([0x00, 0x90, 60, 100, 0x10, 0x80, 60, 0]),
    "bad-meta-cut-short.mid": header(0, 1, 96) + b"MTrk\x00\x00\x00\x10\x00\x90\x3c\x40\x00\xff\x03\x20ab",
    "bad-smpte-division.mid": header(1, 1, -7680) + track([0x00, 0x90, 60, 100]),
    "bad-format-2.mid": header(2, 1, 96) + track([]),
    "bad-header-length-7.mid": header(0, 1, 96, length=7) + b"\x00" + track([]),
    "ok-no-tracks.mid": header(1, 0, 96),
    "bad-tempo-zero.mid": header(0, 1, 96) + track(tempo(0, 0) + bytes([0x00, 0x90, 60, 100])),
    "bad-tempo-two-bytes.mid": header(0, 1, 96) + track([0x00, 0xFF, 0x51, 0x02, 0x07, 0xA1, 0x00, 0x90, 60, 1]),
    # Ticks past 2^31: the times no longer fit in 32-bit milliseconds.
    "bad-time-overflow.mid": header(0, 1, 1)
    + track([0x00, 0x90, 60, 100] + [0xFF, 0xFF, 0xFF, 0x7F, 0x80, 60, 0] * 9),
}


def main():
    os.makedirs(OUT, exist_ok=True)
    for name, data in sorted(SEEDS.items()):
        with open(os.path.join(OUT, name), "wb") as f:
            f.write(data)
        print("%-40s %4d bytes" % (name, len(data)))


if __name__ == "__main__":
    main()
