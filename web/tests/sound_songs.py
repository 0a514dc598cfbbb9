"""Songs made here to hear the page's sound: a held tone and a fortissimo
chord of sixteen channels."""

import midi_files as midi

DIVISION = 480


def track_bytes(events, name=None):
    """A track of (tick, message bytes), sorted by tick (note-offs first at a
    tick), with its end mark."""
    data = bytearray(midi.meta(0x03, name.encode("utf-8")) if name else b"")
    now = 0
    for tick, message in sorted(events, key=lambda e: (e[0], e[1][0] & 0xF0 != 0x80)):
        data += midi.vlq(tick - now) + bytes(message)
        now = tick
    return bytes(data) + midi.END_OF_TRACK


def tempo_track(tempo):
    return midi.meta(0x51, tempo.to_bytes(3, "big")) + midi.END_OF_TRACK


def tone(key=60, seconds=8, velocity=100):
    """One note held on channel 1 (piano), at 120 beats a minute."""
    ticks = seconds * 2 * DIVISION
    body = track_bytes([(0, [0xC0, 0]), (0, [0x90, key, velocity]), (ticks, [0x80, key, 0])],
                       "Tone")
    return midi.midi_file([tempo_track(500000), body], fmt=1, division=DIVISION)


# A program for each of the fifteen melodic channels: pianos, organs,
# guitars, basses, strings, brass, reeds, leads and pads.
LOUD_PROGRAMS = [0, 16, 19, 24, 29, 30, 33, 48, 56, 61, 62, 68, 80, 81, 90]


def fortissimo(seconds=4):
    """Every channel at its loudest (volume and expression 127), each melodic
    one a chord of five notes at velocity 127, held; the drums hit cymbals,
    bass drum and snare together every quarter second."""
    ticks = seconds * 2 * DIVISION
    tracks = [tempo_track(500000)]
    melodic = [c for c in range(16) if c != 9]
    for channel, program in zip(melodic, LOUD_PROGRAMS):
        events = [(0, [0xB0 | channel, 7, 127]), (0, [0xB0 | channel, 11, 127]),
                  (0, [0xC0 | channel, program])]
        root = 36 + 3 * (channel % 8)
        for key in (root, root + 7, root + 12, root + 16, root + 19):
            events += [(1, [0x90 | channel, key, 127]), (ticks, [0x80 | channel, key, 0])]
        tracks.append(track_bytes(events, "Channel %d" % (channel + 1)))
    drums = [(0, [0xB9, 7, 127]), (0, [0xB9, 11, 127])]
    for hit in range(seconds * 4):
        at = 1 + hit * DIVISION // 2
        for key in (36, 38, 49, 57):
            drums += [(at, [0x99, key, 127]), (at + DIVISION // 4, [0x89, key, 0])]
    tracks.append(track_bytes(drums, "Drums"))
    return midi.midi_file(tracks, fmt=1, division=DIVISION)


def note_on_times(parts, tempo=600000, division=480):
    """The note-ons of a song that midi_files.song() made of `parts`, as
    (seconds, channel, key), in time order."""
    found = []
    for i, (_, seed, count, channel, _) in enumerate(parts):
        _, notes = midi.melody(seed, count, channel, low=36 + 12 * i)
        found += [(start * tempo / division / 1e6, channel, key) for start, _, key in notes]
    return sorted(found)
