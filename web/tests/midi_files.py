"""MIDI files made here for the page's tests, and the byte strings of their parts."""

import os
import struct
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tests",
                                "cli"))
from midi_builder import chunk, midi_file, variable_length as vlq  # noqa: E402,F401

# The most track data a container holds (mthc::k_max_track_data): 255 blocks
# of 65535 bytes, less the stream's header and each block's record headers.
MAX_TRACK_DATA = 255 * 65535 - 16 - 255 * (4 + 2)


def meta(kind, data, delta=0):
    return vlq(delta) + bytes([0xFF, kind]) + vlq(len(data)) + data


END_OF_TRACK = b"\x00\xff\x2f\x00"


def melody(seed, count, channel=0, low=48, span=24, step=120):
    """`count` notes of a track: note-on and note-off pairs, running status
    used as sequencers write it. Returns the bytes and the notes (start tick,
    end tick, pitch)."""
    out = bytearray()
    notes = []
    tick = 0
    state = seed
    for i in range(count):
        state = (state * 1103515245 + 12345) & 0x7FFFFFFF
        pitch = low + (state >> 8) % span
        length = step * (1 + (state >> 16) % 3)
        gap = 0 if i == 0 else step // 2
        out += vlq(gap) + bytes([0x90 | channel, pitch, 64 + (state >> 4) % 40])
        out += vlq(length) + bytes([pitch, 0])
        tick += gap
        notes.append((tick, tick + length, pitch))
        tick += length
    return bytes(out), notes


def track(name, body, program=None, channel=0, tempo=None):
    data = meta(0x03, name.encode("utf-8"))
    if tempo is not None:
        data += meta(0x51, struct.pack(">I", tempo)[1:])
    if program is not None:
        data += b"\x00" + bytes([0xC0 | channel, program])
    return data + body + END_OF_TRACK


def song(parts, division=480, fmt=1, tempo=600000):
    """A MIDI file of one track per part (name, seed, notes, channel, program),
    the first with the tempo (microseconds a quarter note). Names are written
    in UTF-8. Returns the file and what a listing of it says: tracks, notes,
    seconds."""
    tracks = []
    count = 0
    end = 0
    for i, (name, seed, notes, channel, program) in enumerate(parts):
        body, made = melody(seed, notes, channel, low=36 + 12 * i)
        count += len(made)
        end = max([end] + [stop for _, stop, _ in made])
        tracks.append(track(name, body, program, channel, tempo=tempo if i == 0 else None))
    return midi_file(tracks, fmt, division), {"tracks": len(tracks), "notes": count, "seconds": end * tempo / division / 1e6}


def largest_song():
    """A format-0 song of one track of exactly MAX_TRACK_DATA bytes: a phrase
    of 64 notes played over and over, shifted in pitch, so that every block
    compresses and the container needs all 255 blocks. Returns the file and
    what a listing of it says."""
    phrase, made = melody(7, 64, low=48, span=12)
    phrase_ticks = made[-1][1]  # from its first note-on to its last note-off
    body = bytearray(meta(0x03, b"Everything"))
    notes = 0
    shift = 0
    end = MAX_TRACK_DATA - len(END_OF_TRACK)
    while len(body) + len(phrase) + 16 < end:
        body += transpose(phrase, shift)
        notes += 64
        shift = (shift + 5) % 12
    # A text event fills the track to the last byte.
    room = end - len(body)
    for length in range(room, 0, -1):
        event = meta(0x01, b"." * length)
        if len(event) == room:
            body += event
            break
    body += END_OF_TRACK
    assert len(body) == MAX_TRACK_DATA
    # Played back to back, at the default tempo (120 beats a minute).
    seconds = notes // 64 * phrase_ticks * 500000 / 480 / 1e6
    return midi_file([bytes(body)], fmt=0), {"tracks": 1, "notes": notes, "seconds": seconds}


def transpose(phrase, shift):
    """`phrase` (a melody's bytes) with every pitch moved up by `shift`."""
    out = bytearray()
    at = 0
    while at < len(phrase):
        # delta, [status], pitch, velocity
        while phrase[at] & 0x80:
            out.append(phrase[at])
            at += 1
        out.append(phrase[at])
        at += 1
        if phrase[at] & 0x80:
            out.append(phrase[at])
            at += 1
        out.append(phrase[at] + shift)
        out.append(phrase[at + 1])
        at += 2
    return bytes(out)
