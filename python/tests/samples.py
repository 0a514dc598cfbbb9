"""MIDI files and containers for the module's tests, made here with mido and
by hand, and mthc-pack run on them: what the module is held to."""

import io
import os
import pathlib
import random
import struct
import subprocess
import warnings

import mido

import mthc

MTHC_PACK = os.environ["MTHC_PACK"]
TUNE = pathlib.Path(os.environ["MTHC_TUNE"])


def song(seed=0, parts=3, notes=150):
    """A MIDI file made with mido: a conductor track and parts playing motifs."""
    rng = random.Random(seed)
    midi = mido.MidiFile(type=1, ticks_per_beat=480)
    midi.tracks.append(mido.MidiTrack([
        mido.MetaMessage("track_name", name="Conductor"),
        mido.MetaMessage("set_tempo", tempo=rng.randrange(400000, 700000))]))
    for channel in range(parts):
        track = mido.MidiTrack([
            mido.MetaMessage("track_name", name=f"Part {channel}"),
            mido.Message("program_change", channel=channel, program=rng.randrange(128))])
        motif = [(rng.randrange(40, 80), rng.choice([120, 240, 480])) for _ in range(8)]
        for i in range(notes):
            pitch, length = motif[i % 8]
            pitch += rng.choice([0, 0, 0, 12, -12])
            velocity = rng.randrange(60, 100)
            track.append(mido.Message("note_on", channel=channel, note=pitch, velocity=velocity,
                                      time=0))
            track.append(mido.Message("note_off", channel=channel, note=pitch, time=length))
        midi.tracks.append(track)
    out = io.BytesIO()
    midi.save(file=out)
    return out.getvalue()


def chunk(tag, data):
    return tag + struct.pack(">I", len(data)) + data


def with_track_count(smf, count):
    return smf[:10] + struct.pack(">H", count) + smf[12:]


SMF = song()
TRACKS = struct.unpack(">H", SMF[10:12])[0]
# A track that ends inside a note-on event: repaired, with a warning.
CUT_TRACK = chunk(b"MTrk", b"\x00\x90\x40")
# A track with an undefined status byte after a note, which no player gets
# past: packed as it is, with a warning, and its container refused.
BAD_STATUS = chunk(b"MTrk", b"\x00\x90\x40\x40\x00\xf4")

# MIDI files that lenient packing changes (or packs with a warning).
ODD_FILES = {
    "riff": b"RIFF" + struct.pack("<I", 12 + len(SMF)) + b"RMID" + b"data"
            + struct.pack("<I", len(SMF)) + SMF,
    "trailing": SMF + b"\x00\x01junk",
    "foreign_chunk": SMF[:14] + chunk(b"XFIH", b"abc") + SMF[14:],
    "track_count": with_track_count(SMF, TRACKS + 2),
    "long_header": b"MThd\x00\x00\x00\x08" + SMF[8:14] + b"\x00\x00" + SMF[14:],
    "empty_tracks": with_track_count(SMF + chunk(b"MTrk", b"") * 2, TRACKS + 2),
    "cut_track": with_track_count(SMF + CUT_TRACK, TRACKS + 1),
    "bad_status": with_track_count(SMF + BAD_STATUS, TRACKS + 1),
    "several": SMF[:14] + chunk(b"XFIH", b"abc") + SMF[14:] + chunk(b"MTrk", b"") + b"junk",
}


class Tool:
    """mthc-pack run on one file; the texts of its lines for that file."""

    def __init__(self, folder, data, *options, name="song"):
        (folder / name).write_bytes(data)
        run = subprocess.run([MTHC_PACK, *options, name], cwd=folder, capture_output=True,
                             check=False)
        self.stdout = run.stdout
        lines = run.stderr.decode().splitlines()
        self.errors = [line[len(f"Error: {name}: "):] for line in lines
                       if line.startswith(f"Error: {name}: ")]
        self.warnings = [line[len(f"Warning: {name}: "):] for line in lines
                         if line.startswith(f"Warning: {name}: ")]
        assert len(self.errors) + len(self.warnings) == len(lines), lines
        assert (run.returncode == 0) == (not self.errors)


def damaged_containers():
    good = mthc.pack(SMF)
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", mthc.PackWarning)
        bad_status = mthc.pack(ODD_FILES["bad_status"])
    return {
        "cut short": good[:-7],
        "block missing": good[:4] + bytes([good[4] + 1]) + good[5:],
        "no MThp tag": good[:10] + b"MThx" + good[14:],
        "a MIDI file": SMF,
        "a track that does not read": bad_status,
    }


DAMAGED = damaged_containers()


def long_song(notes):
    """A MIDI file of one track playing one note over and over: fast to make,
    and many megabytes of MIDI from a small container."""
    track = b"\x00\x90\x40\x40\x10\x80\x40\x40" * notes + b"\x00\xff\x2f\x00"
    return chunk(b"MThd", struct.pack(">HHH", 0, 1, 480)) + chunk(b"MTrk", track)
