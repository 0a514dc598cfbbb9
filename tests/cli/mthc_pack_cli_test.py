"""End-to-end cases of the mthc-pack command line: arguments, input faults,
the output file, and the round trip through mthc --decompress."""

import argparse
import os
import random
import re
import struct
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from cli_harness import Case, main  # noqa: E402

PACK_USAGE = (
    "MThc packer\n"
    "Usage: {prog} [options] <input.mid> <output.mthc>\n"
    "\n"
    "Options:\n"
    "  -9, --best                 Smallest output (default)\n"
    "  -1, --fast                 Fastest packing, for large files\n"
    "  -h, --help                 Show this text\n"
    "  --version                  Show the version\n"
)
# The version is set in one place, the project() call of the top CMakeLists.txt.
with open(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "CMakeLists.txt")) as f:
    VERSION = re.search(r"project\(mthc VERSION ([0-9.]+)", f.read()).group(1)

USAGE_FAIL = dict(status=1, stdout="", stderr=PACK_USAGE, program="mthc-pack")


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


SONG = midi_file([b"\x00\xff\x51\x03\x07\xa1\x20\x00\xff\x2f\x00"] +
                 [tune_track(s, s, 40) for s in range(1, 6)])
WITH_EMPTY = midi_file([tune_track(9, 0, 4), b"", b"\x00\xff\x2f\x00", b""])
WITH_EMPTY_BACK = midi_file([tune_track(9, 0, 4), b"\x00\xff\x2f\x00", b"\x00\xff\x2f\x00",
                             b"\x00\xff\x2f\x00"])


def make_too_large(directory):
    # One byte more than any packable MIDI file can have (sparse on disk).
    with open(os.path.join(directory, "big.mid"), "wb") as f:
        f.truncate(14 + (255 + 8) * 0xFFFF + 1)


def packed_by(tool, args):
    """A setup step: runs mthc-pack in the case's directory before the case."""
    def setup(directory):
        subprocess.run(tool + args, cwd=directory, check=True, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
    return setup


def cases(pack_tool):
    song = {"song.mid": SONG}
    c = [
        # Arguments.
        Case("pack: no arguments", [], **USAGE_FAIL),
        Case("pack: input only", ["song.mid"], files=song, absent=["song.mthc"], **USAGE_FAIL),
        Case("pack: help", ["--help"], status=0, stdout="", stderr=PACK_USAGE, program="mthc-pack"),
        Case("pack: help after paths", ["song.mid", "out.mthc", "-h"], files=song, status=0, stdout="",
             stderr=PACK_USAGE, program="mthc-pack", absent=["out.mthc"]),
        Case("pack: version", ["--version"], status=0, stdout="mthc-pack %s\n" % VERSION, stderr="",
             program="mthc-pack"),
        Case("pack: unknown option", ["-x", "song.mid", "out.mthc"], files=song, status=1, stdout="",
             stderr="Error: unknown option '-x'\n" + PACK_USAGE, program="mthc-pack", absent=["out.mthc"]),
        Case("pack: three paths", ["song.mid", "out.mthc", "more"], files=song, status=1, stdout="",
             stderr="Error: unexpected argument 'more'\n" + PACK_USAGE, program="mthc-pack",
             absent=["out.mthc"]),
        # Input faults: one error line, no output file.
        Case("pack: missing input", ["none.mid", "out.mthc"], status=1, stdout="",
             stderr="Error: cannot open 'none.mid': No such file or directory\n", program="mthc-pack",
             absent=["out.mthc"]),
        Case("pack: not a MIDI file", ["x.mid", "out.mthc"], files={"x.mid": b"RIFF\x00\x00\x00\x04RMID"},
             status=1, stdout="", stderr="Error: 'x.mid' is not a MIDI file (no MThd header)\n",
             program="mthc-pack", absent=["out.mthc"]),
        Case("pack: empty input", ["x.mid", "out.mthc"], files={"x.mid": b""}, status=1, stdout="",
             stderr="Error: 'x.mid' is not a MIDI file (no MThd header)\n", program="mthc-pack",
             absent=["out.mthc"]),
        Case("pack: header length 8", ["x.mid", "out.mthc"],
             files={"x.mid": chunk(b"MThd", b"\x00\x01\x00\x00\x01\xe0\x00\x00")}, status=1, stdout="",
             stderr="Error: MThd header length is 8, expected 6\n", program="mthc-pack", absent=["out.mthc"]),
        Case("pack: track past the end", ["x.mid", "out.mthc"], files={"x.mid": SONG[:-1]}, status=1,
             stdout="", stderr="Error: chunk at offset %d runs past the end of the file\n"
             % (len(SONG) - len(tune_track(5, 5, 40)) - 8), program="mthc-pack", absent=["out.mthc"]),
        Case("pack: foreign chunk", ["x.mid", "out.mthc"],
             files={"x.mid": midi_file([b"\x00\xff\x2f\x00"]) + chunk(b"XFIH", b"\x01")}, status=1,
             stdout="", stderr="Error: chunk 'XFIH' at offset 26 is not an MTrk chunk; only MTrk chunks "
             "can be packed\n", program="mthc-pack", absent=["out.mthc"]),
        Case("pack: track count mismatch", ["x.mid", "out.mthc"],
             files={"x.mid": midi_file([b"\x00\xff\x2f\x00"], declared=2)}, status=1, stdout="",
             stderr="Error: MThd declares 2 tracks but the file holds 1 MTrk chunks\n", program="mthc-pack",
             absent=["out.mthc"]),
        Case("pack: file too large for 255 blocks", ["big.mid", "out.mthc"], setup=make_too_large, status=1,
             stdout="", stderr="Error: too much MIDI data for 255 blocks\n", program="mthc-pack",
             absent=["out.mthc"]),
        Case("pack: output into a missing directory", ["song.mid", "no/out.mthc"], files=song, status=1,
             stdout="", stderr="Error: cannot create 'no/out.mthc': No such file or directory\n",
             program="mthc-pack"),
        # Success: the size in the line depends on the encoder, so only the
        # round trips below pin the bytes.
        Case("pack: success line", ["song.mid", "out.mthc"], files=song, status=0, stdout=None, stderr="",
             program="mthc-pack"),
        Case("pack: empty tracks warn", ["e.mid", "out.mthc"], files={"e.mid": WITH_EMPTY}, status=0,
             stdout=None, program="mthc-pack",
             stderr="Warning: track 1 is empty; it will unpack as an end-of-track event (00 ff 2f 00)\n"
                    "Warning: track 3 is empty; it will unpack as an end-of-track event (00 ff 2f 00)\n"),
    ]
    if pack_tool:
        # Round trips: pack (in the setup step), then decompress with mthc.
        for level in ["--best", "--fast", "-9", "-1"]:
            c.append(Case("round trip %s" % level, ["--decompress", "back.mid", "song.mthc"], files=song,
                          setup=packed_by(pack_tool, [level, "song.mid", "song.mthc"]), status=0, stdout=None,
                          stderr="", expect_files={"back.mid": SONG}))
        c.append(Case("round trip with empty tracks", ["--decompress", "back.mid", "e.mthc"],
                      files={"e.mid": WITH_EMPTY}, setup=packed_by(pack_tool, ["e.mid", "e.mthc"]), status=0,
                      stdout=None, stderr="", expect_files={"back.mid": WITH_EMPTY_BACK}))
    return c


if __name__ == "__main__":
    known = argparse.ArgumentParser(add_help=False)
    known.add_argument("--mthc-pack")
    known.add_argument("--emulator", default="")
    seen, _ = known.parse_known_args()
    tool = None
    if seen.mthc_pack:
        tool = (seen.emulator.split() if seen.emulator else []) + [os.path.abspath(seen.mthc_pack)]
    sys.exit(main(cases(tool)))
