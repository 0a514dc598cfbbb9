#!/usr/bin/env python3
"""How much damage `mthc-pack -t` sees in a container without a checksum.

Flips random single bits in the packed bytes of containers (the example
tune's and a few generated songs', packed by mthc-pack), and for each flip
compares three readings of the damaged container:

- what a user gets: `mthc --decompress` (a MIDI file, or a failure); a flip
  is damaging when that is not the original MIDI file;
- `mthc-pack -t`: caught when it exits with status 1;
- an independent strict reader: mido, with every track ending in its
  end-of-track event; it rejects the file when mthc fails, mido raises, or a
  track does not end with end-of-track.

Prints, per song and in all: the flips, the damaging ones and the share
caught; the share caught of those that make their block decode to another
size than it declares (found by a decoder of the script's own), and of those
that the strict reader rejects (the event syntax broken). Flips that the strict reader
accepts change notes, velocities, times and the like, which no check
without a checksum can see.

    scripts/studies/flip_detection.py [--flips N] [--seed S] [--build DIR]

Needs a native build (default build/release-tests, or configured and built
here with the release preset) and Debian's python3-mido.
"""

import argparse
import os
import random
import shutil
import struct
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(ROOT, "tests", "cli"))
from midi_builder import chunk, variable_length as vlq  # noqa: E402


def song(seed, tracks, bars):
    """A generated song: a tempo track, then instruments with running status,
    controllers, pitch bends and names."""
    rng = random.Random(seed)
    out = [b"\x00\xff\x03\x04Song\x00\xff\x51\x03\x07\xa1\x20" + vlq(bars * 1920)
           + b"\xff\x51\x03\x06\x1a\x80\x00\xff\x2f\x00"]
    for t in range(1, tracks):
        channel = t % 16
        name = b"Part %d" % t
        data = bytearray(b"\x00\xff\x03" + bytes([len(name)]) + name)
        data += bytes([0, 0xC0 | channel, rng.randrange(128), 0, 0xB0 | channel, 7, 100])
        motifs = [[(rng.randrange(40, 84), rng.choice([120, 240, 480])) for _ in range(6)] for _ in range(4)]
        for bar in range(bars):
            for pitch, length in motifs[(bar // 2) % 4]:
                data += vlq(0) + bytes([0x90 | channel, pitch, 70 + rng.randrange(30)])
                data += vlq(length) + bytes([pitch, 0])  # running status, note-on velocity 0
            if bar % 4 == 3:
                data += vlq(0) + bytes([0xE0 | channel, rng.randrange(128), 64])
        data += b"\x00\xff\x2f\x00"
        out.append(bytes(data))
    return chunk(b"MThd", struct.pack(">HHH", 1, len(out), 480)) + b"".join(chunk(b"MTrk", t) for t in out)


def blocks_of(container):
    """(offset of the packed bytes, packed size, declared size) of every block."""
    blocks = []
    cursor = 5
    for _ in range(container[4]):
        declared, packed = struct.unpack(">HH", container[cursor:cursor + 4])
        blocks.append((cursor + 4, packed, declared))
        cursor += 4 + packed
    return blocks


def decoded_size(packed, room=1 << 17):
    """The number of bytes a block decodes to, read flag bit by flag bit as
    docs/format.md describes the stream: an independent decoder."""
    state = {"in": 0, "flags": 0}
    out = bytearray()

    class Stop(Exception):
        pass

    def flag():
        if state["flags"] & 0x7F:
            state["flags"] <<= 1
        else:
            if state["in"] == len(packed):
                raise Stop
            state["flags"] = packed[state["in"]] * 2 + 1
            state["in"] += 1
        return (state["flags"] >> 8) & 1

    def byte():
        if state["in"] == len(packed):
            raise Stop
        state["in"] += 1
        return packed[state["in"] - 1]

    def gamma():
        v = 1
        while True:
            v = (v * 2 + flag()) & 0xFFFFFFFF
            if flag():
                return v

    last = 1
    try:
        while True:
            if flag():
                b = byte()
                if len(out) == room:
                    break
                out.append(b)
                continue
            v = gamma()
            distance = last
            if v != 2:
                distance = (v * 256 + byte() - 767) & 0xFFFFFFFF
                if distance == 0:
                    break
                last = distance
            length = flag() * 2
            length += flag()
            if length == 0:
                length = (gamma() + 2) & 0xFFFFFFFF
            count = length + (2 if distance > 0xD00 else 1)
            if distance <= len(out):
                for _ in range(min(count, room - len(out))):
                    out.append(out[-distance])
            if state["in"] == len(packed):
                break
    except Stop:
        pass
    return len(out)


def strict_reader_rejects(path):
    import mido
    try:
        midi = mido.MidiFile(path)
    except Exception:  # any failure to read is a rejection
        return True
    return any(not track or track[-1].type != "end_of_track" for track in midi.tracks)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--flips", type=int, default=300, help="flips per song")
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--build", default=os.path.join(ROOT, "build", "release-tests"))
    options = parser.parse_args()
    try:
        import mido  # noqa: F401
    except ImportError:
        sys.exit("needs mido: apt-get install python3-mido (and run with /usr/bin/python3)")
    mthc = os.path.join(options.build, "programs", "mthc")
    pack = os.path.join(options.build, "programs", "mthc-pack")
    if not os.path.exists(pack):
        options.build = os.path.join(ROOT, "build", "release")
        subprocess.run(["cmake", "--preset", "release"], cwd=ROOT, check=True, stdout=subprocess.DEVNULL)
        subprocess.run(["cmake", "--build", "--preset", "release"], cwd=ROOT, check=True, stdout=subprocess.DEVNULL)
        mthc = os.path.join(options.build, "programs", "mthc")
        pack = os.path.join(options.build, "programs", "mthc-pack")
    work = tempfile.mkdtemp(prefix="mthc-flips-")
    songs = [("example tune", open(os.path.join(options.build, "examples", "tune.mid"), "rb").read())]
    songs += [("generated %d" % i, song(i, tracks, bars)) for i, (tracks, bars) in
              enumerate([(4, 40), (9, 120), (16, 300)], start=1)]
    rng = random.Random(options.seed)
    totals = [0] * 7
    print("%-14s %7s %6s %9s %8s %9s %8s %9s %8s" % ("song", "bytes", "flips", "damaging", "caught",
                                                       "resized", "caught", "rejected", "caught"))
    try:
        for label, midi in songs:
            source = os.path.join(work, "song.mid")
            with open(source, "wb") as f:
                f.write(midi)
            container_path = os.path.join(work, "song.mthc")
            subprocess.run([pack, "-q", "-f", "-o", container_path, source], check=True)
            container = open(container_path, "rb").read()
            blocks = blocks_of(container)
            counts = [0] * 7  # flips, damaging, caught, resized, caught, rejected, caught
            for _ in range(options.flips):
                # A byte of the packed bytes, every byte alike.
                start, packed_size, declared = rng.choices(blocks, weights=[b[1] for b in blocks])[0]
                position = start + rng.randrange(packed_size)
                damaged = bytearray(container)
                damaged[position] ^= 1 << rng.randrange(8)
                path = os.path.join(work, "damaged.mthc")
                out = os.path.join(work, "out.mid")
                with open(path, "wb") as f:
                    f.write(damaged)
                if os.path.exists(out):
                    os.remove(out)
                converted = subprocess.run([mthc, "--decompress", out, path], stdout=subprocess.DEVNULL,
                                           stderr=subprocess.DEVNULL).returncode == 0
                got = open(out, "rb").read() if converted else None
                counts[0] += 1
                if got == midi:
                    continue
                caught = subprocess.run([pack, "-t", "-q", path], stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL).returncode != 0
                counts[1] += 1
                counts[2] += caught
                if decoded_size(bytes(damaged[start:start + packed_size])) != declared:
                    counts[3] += 1
                    counts[4] += caught
                if got is None or strict_reader_rejects(out):
                    counts[5] += 1
                    counts[6] += caught
            totals = [a + b for a, b in zip(totals, counts)]
            print_row(label, len(container), counts)
        print_row("all", None, totals)
    finally:
        shutil.rmtree(work, ignore_errors=True)


def share(caught, of):
    return "%d/%d" % (caught, of) if of else "-"


def print_row(label, size, c):
    print("%-14s %7s %6d %9d %8s %9d %8s %9d %8s" % (
        label, size if size is not None else "", c[0], c[1], "%.1f%%" % (100.0 * c[2] / c[1]) if c[1] else "-",
        c[3], "%.1f%%" % (100.0 * c[4] / c[3]) if c[3] else "-", c[5],
        "%.1f%%" % (100.0 * c[6] / c[5]) if c[5] else "-"))


if __name__ == "__main__":
    main()
