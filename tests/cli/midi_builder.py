"""Standard MIDI Files made by code, for the command-line tests and scripts."""

import random
import struct


def chunk(tag, data):
    return tag + struct.pack(">I", len(data)) + data


def midi_file(tracks, fmt=1, division=480, declared=None):
    count = len(tracks) if declared is None else declared
    return chunk(b"MThd", struct.pack(">HHH", fmt, count, division)) + b"".join(
        chunk(b"MTrk", t) for t in tracks)


def variable_length(value):
    groups = [value & 0x7F]
    value >>= 7
    while value:
        groups.append(0x80 | (value & 0x7F))
        value >>= 7
    return bytes(reversed(groups))


def tune_track(seed, channel, bars):
    """Note events of one instrument: a few motifs repeated with small changes."""
    rng = random.Random(seed)
    motifs = [[(rng.randrange(48, 72), rng.choice([120, 240, 480])) for _ in range(8)] for _ in range(3)]
    out = bytearray(b"\x00" + bytes([0xC0 | channel, rng.randrange(128)]))
    for bar in range(bars):
        for pitch, length in motifs[(bar // 2) % 3]:
            velocity = 80 + rng.randrange(8)
            out += variable_length(0) + bytes([0x90 | channel, pitch, velocity])
            out += variable_length(length) + bytes([0x80 | channel, pitch, 0x40])
    return bytes(out + b"\x00\xff\x2f\x00")
