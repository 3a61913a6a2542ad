#!/usr/bin/env python3
"""Writes the bundled demo songs, short pieces for trying the coil:

    scale.mid       C major up and down, getting louder (format 0, note-offs
                    as note-on with velocity 0 under running status)
    chords.mid      a chord study: block and broken chords of C-Am-F-G-C,
                    ending on a long chord (format 0)
    two-voices.mid  a two-voice piece, one track per voice and both on
                    channel 0, as the coil plays them (format 1, tempo track)

    make_demos.py [OUT_DIR]     (default: the folder of this script)

The files are committed; run this again only after changing a piece.
"""
import os
import struct
import sys

TPQ = 480
EIGHTH = TPQ // 2
QUARTER = TPQ
HALF = 2 * TPQ


def vlq(value):
    out = [value & 0x7F]
    value >>= 7
    while value:
        out.append(0x80 | (value & 0x7F))
        value >>= 7
    return bytes(reversed(out))


def tempo_event(bpm):
    micros = round(60_000_000 / bpm)
    return b"\xff\x51\x03" + micros.to_bytes(3, "big")


def track_name(text):
    data = text.encode("ascii")
    return b"\xff\x03" + vlq(len(data)) + data


class Track:
    """Events at absolute ticks, written out in time order (note-offs before
    note-ons at the same tick), optionally with running status."""

    def __init__(self, name, running_status=False):
        self.events = [(0, 0, track_name(name))]
        self.running_status = running_status

    def meta(self, tick, data):
        self.events.append((tick, 0, data))

    def note(self, start, length, key, velocity, channel=0, release_as_note_on=False):
        self.events.append((start, 2, bytes([0x90 | channel, key, velocity])))
        off = bytes([0x90 | channel, key, 0]) if release_as_note_on else bytes([0x80 | channel, key, 64])
        self.events.append((start + length, 1, off))

    def controller(self, tick, number, value, channel=0):
        self.events.append((tick, 0, bytes([0xB0 | channel, number, value])))

    def chunk(self):
        body = b""
        last_tick = 0
        status = None
        for tick, _, data in sorted(self.events, key=lambda e: (e[0], e[1])):
            body += vlq(tick - last_tick)
            last_tick = tick
            if self.running_status and data[0] < 0xF0 and data[0] == status:
                body += data[1:]
            else:
                body += data
            status = data[0] if data[0] < 0xF0 else None
        body += vlq(0) + b"\xff\x2f\x00"
        return b"MTrk" + struct.pack(">I", len(body)) + body


def smf(format_, tracks):
    header = b"MThd" + struct.pack(">IHHH", 6, format_, len(tracks), TPQ)
    return header + b"".join(t.chunk() for t in tracks)


def scale():
    track = Track("C major scale", running_status=True)
    track.meta(0, tempo_event(150))
    keys = [60, 62, 64, 65, 67, 69, 71, 72, 71, 69, 67, 65, 64, 62, 60]
    for i, key in enumerate(keys):
        length = HALF if i == len(keys) - 1 else EIGHTH - 40
        track.note(i * EIGHTH, length, key, 40 + 5 * i, release_as_note_on=True)
    return smf(0, [track])


def chords():
    track = Track("Chord study")
    track.meta(0, tempo_event(96))
    progression = [  # root position triads, voiced close around middle C
        [48, 52, 55],  # C
        [45, 48, 52],  # Am
        [41, 45, 48],  # F
        [43, 47, 50],  # G
    ]
    tick = 0
    for chord in progression:  # block chords, one per half note
        for key in chord:
            track.note(tick, HALF - 30, key, 90)
        tick += HALF
    for chord in progression:  # broken: root, third, fifth, octave
        for i, key in enumerate(chord + [chord[0] + 12]):
            track.note(tick + i * EIGHTH, EIGHTH - 20, key, 70 + 8 * i)
        tick += HALF
    # A tempo change would retime the whole song (the player times every
    # event at the tempo in force), so the close is held instead of slowed.
    for key in [48, 52, 55, 60]:
        track.note(tick, 2 * HALF, key, 100)
    return smf(0, [track])


def two_voices():
    conductor = Track("Two voices")
    conductor.meta(0, tempo_event(112))
    # Upper voice in eighths, lower voice in quarters: an A minor phrase that
    # turns to C major and comes home.
    upper_keys = [76, 74, 72, 74, 76, 76, 76, 0,
                  74, 74, 74, 0, 76, 79, 79, 0,
                  76, 74, 72, 74, 76, 76, 76, 76,
                  74, 74, 76, 74, 72, 0, 0, 0]
    lower_keys = [57, 52, 57, 52, 55, 50, 55, 50,
                  57, 52, 53, 55, 48, 43, 48, 0]
    upper = Track("Upper voice")
    for i, key in enumerate(upper_keys):
        if key:
            upper.note(i * EIGHTH, EIGHTH - 30, key, 96 if i % 4 == 0 else 80)
    lower = Track("Lower voice")
    for i, key in enumerate(lower_keys):
        if key:
            lower.note(i * QUARTER, QUARTER - 40, key, 64)
    return smf(1, [conductor, upper, lower])


def main():
    out_dir = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    songs = {"scale.mid": scale(), "chords.mid": chords(), "two-voices.mid": two_voices()}
    for name, data in songs.items():
        with open(os.path.join(out_dir, name), "wb") as fh:
            fh.write(data)


if __name__ == "__main__":
    main()
