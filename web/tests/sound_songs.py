"""Songs made here to hear the page's sound: a held tone, a fortissimo
chord of sixteen channels, and General MIDI band songs of a few styles
(drums, bass, piano, strings, guitar and a lead, at the levels sequencers
write), for the loudness figures and the WAV render time."""

import random

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


# Styles: tempo (beats a minute), key, scale, chords (scale degrees), and
# the programs of the lead, the chords and the bass.
STYLES = {
    "pop": dict(bpm=118, key=60, minor=False, chords=[0, 4, 5, 3], lead=73, keys=0, pad=48,
                guitar=25, bass=33),
    "rock": dict(bpm=140, key=57, minor=True, chords=[0, 5, 2, 6], lead=30, keys=16, pad=61,
                 guitar=29, bass=34),
    "ballad": dict(bpm=72, key=62, minor=False, chords=[0, 5, 3, 4], lead=40, keys=0, pad=49,
                   guitar=24, bass=32),
}
MAJOR = [0, 2, 4, 5, 7, 9, 11]
MINOR = [0, 2, 3, 5, 7, 8, 10]


def band_song(style, seconds, seed=1):
    """A General MIDI song of `seconds` in `style`: drums, bass, chords on
    keys, a pad of strings, guitar strums and a lead melody, every channel
    at volume 100 and panned, with velocities as played."""
    s = STYLES[style]
    rng = random.Random(seed)
    scale = MINOR if s["minor"] else MAJOR
    beat = DIVISION
    bars = max(1, int(seconds * s["bpm"] / 60 / 4))
    tempo = int(60e6 / s["bpm"])
    parts = {"Drums": [], "Bass": [], "Keys": [], "Strings": [], "Guitar": [], "Lead": []}
    setup = {"Bass": (1, s["bass"], 64), "Keys": (2, s["keys"], 50), "Strings": (3, s["pad"], 78),
             "Guitar": (4, s["guitar"], 90), "Lead": (5, s["lead"], 64), "Drums": (9, None, 64)}
    for name, (channel, program, pan) in setup.items():
        parts[name] += [(0, [0xB0 | channel, 7, 100]), (0, [0xB0 | channel, 10, pan]),
                        (0, [0xB0 | channel, 91, 40])]
        if program is not None:
            parts[name].append((0, [0xC0 | channel, program]))

    def note(part, channel, at, length, key, velocity):
        velocity = max(1, min(127, velocity + rng.randint(-6, 6)))
        parts[part] += [(at, [0x90 | channel, key, velocity]),
                        (at + length, [0x80 | channel, key, 0])]

    def degree(d, octave=0):
        return s["key"] + scale[d % 7] + 12 * (d // 7 + octave)

    lead_degree = 7
    for bar in range(bars):
        start = bar * 4 * beat
        chord = s["chords"][bar % len(s["chords"])]
        triad = [degree(chord), degree(chord + 2), degree(chord + 4)]
        for b in range(4):
            at = start + b * beat
            # Drums: bass drum on 1 and 3, snare on 2 and 4, hats in eighths.
            note("Drums", 9, at, beat // 4, 36 if b % 2 == 0 else 38, 110 if b % 2 else 115)
            for half in (0, beat // 2):
                note("Drums", 9, at + half, beat // 8, 42, 80 if half else 95)
            # Bass in eighths on the root.
            for half in (0, beat // 2):
                note("Bass", 1, at + half, beat // 2 - 20, degree(chord, -2), 100)
            # Keys: the chord on every beat.
            for key in triad:
                note("Keys", 2, at, beat - 30, key, 80)
            # Guitar: a strum on 2 and 4.
            if b % 2:
                for k, key in enumerate(triad + [triad[0] + 12]):
                    note("Guitar", 4, at + 10 * k, beat - 40, key - 12, 85)
        if bar % 8 == 0:
            note("Drums", 9, start, beat, 49, 110)
        for key in triad:
            note("Strings", 3, start, 4 * beat - 10, key - 12, 70)
        # Lead: a walk near the chord in eighths and quarters.
        at = start
        while at < start + 4 * beat:
            length = rng.choice([beat // 2, beat // 2, beat, beat * 3 // 2])
            lead_degree = max(5, min(13, lead_degree + rng.choice([-2, -1, -1, 0, 1, 1, 2])))
            note("Lead", 5, at, length - 20, degree(lead_degree), 100)
            at += length
    tracks = [tempo_track(tempo)] + [track_bytes(events, name) for name, events in parts.items()]
    return midi.midi_file(tracks, fmt=1, division=DIVISION)


def note_on_times(parts, tempo=600000, division=480):
    """The note-ons of a song that midi_files.song() made of `parts`, as
    (seconds, channel, key), in time order."""
    found = []
    for i, (_, seed, count, channel, _) in enumerate(parts):
        _, notes = midi.melody(seed, count, channel, low=36 + 12 * i)
        found += [(start * tempo / division / 1e6, channel, key) for start, _, key in notes]
    return sorted(found)
