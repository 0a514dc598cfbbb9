#!/usr/bin/env python3
"""Decompression bombs, measured.

Builds small hostile containers, runs the release build of mthc on each
(--decompress into a scratch directory) under /usr/bin/time -v, and prints a
table: container size, exit status, the error line (if any), wall time and
peak resident memory. Fails if any run takes a second or more, uses 256 MiB
or more, or ends other than with exit status 0 or 1.

    scripts/studies/bombs.py [--mthc PATH] [--keep DIR]

Without --mthc the release preset is configured and built first.
"""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tests", "cli"))
from block_stream import BitWriter  # noqa: E402
from measured_run import parse_time_v, release_tool  # noqa: E402

WALL_LIMIT_S = 1.0
RSS_LIMIT_KB = 256 * 1024


MAX_GAMMA = 0xFFFFFFFF
# The longest copy: the length is the gamma value + 2 and the count one more,
# in 32-bit arithmetic, so the largest gamma values would wrap to short ones.
FILL_GAMMA = 0xFFFFFFF0


def container(blocks, block_count=None):
    """blocks: (declared size, packed bytes) pairs."""
    out = bytearray(b"MThc")
    out.append(len(blocks) if block_count is None else block_count)
    for declared, packed in blocks:
        out += declared.to_bytes(2, "big") + len(packed).to_bytes(2, "big") + packed
    return bytes(out)


def stream_header(track_count, spare=b"\x00\x00"):
    return b"MThp\x00\x00\x00\x06\x00\x01" + track_count.to_bytes(2, "big") + b"\x00\x60" + spare


def filling_block(first=b"\x00"):
    # Some literals, then a match of the longest length a gamma code can
    # state without wrapping: it fills whatever room the walk hands over.
    w = BitWriter()
    w.literals(first)
    w.repeat_match(FILL_GAMMA)
    return w.bytes()


def literal_block(data):
    w = BitWriter()
    w.literals(data)
    return w.bytes()


def bombs():
    out = []

    # Every block declares 65535 bytes and fills all the free room, so each
    # one doubles the stream. Eleven reach the 64 MiB limit exactly (a
    # stream of zeros after the header: tracks without data); twelve and
    # more would go past it.
    head = stream_header(2) + b"\x00\x00\x00\x00"
    out.append(("doubling to the 64 MiB stream limit",
                container([(0xFFFF, filling_block(head))] + [(0xFFFF, filling_block())] * 10)))
    out.append(("doubling past the stream limit (255 blocks)",
                container([(0xFFFF, filling_block(head))] + [(0xFFFF, filling_block())] * 254)))

    # Declared sizes of 0 after the first block: every later block starts at
    # the same place and reads the same records again. 65535 tracks, and the
    # stream after its header is 0xFF bytes: each block start reads as 65535
    # records of 65535 bytes, re-gathering the stream until the 64 MiB limit
    # of gathered track data fails the assembly.
    first = stream_header(0xFFFF, b"\xff\xff") + b"\xff"
    blocks = [(0xFFFF, filling_block(first))] + [(0xFFFF, filling_block(b"\xff"))] * 7
    blocks += [(0, b"")] * 200
    out.append(("zero sizes re-reading 8 MiB of records", container(blocks)))

    # The same re-reading, kept under the limit. Block 0 is the stream header
    # and an empty record area; block 1 (declared size 0) holds one record of
    # 60000 bytes, and the 253 empty blocks after it (declared size 0) start
    # where it starts: 254 readings gather 15 MB, which is written.
    head = stream_header(1) + b"\x00\x00\x00\x00"
    w = BitWriter()
    w.literals(b"\x00\x00\x01\x00" + (60000).to_bytes(2, "big") + b"\x90")
    w.repeat_match(60000 - 3)
    blocks = [(len(head), literal_block(head)), (0, w.bytes())] + [(0, b"")] * 253
    out.append(("zero sizes re-reading one record 254 times", container(blocks)))

    # Huge record counts: 65535 tracks, and a record area claiming 65535
    # records, of which the 32756 empty ones that fit in the stream are
    # there; 254 blocks read it, 8.3 million records in all, and the file
    # has 65535 chunks.
    head = stream_header(0xFFFF) + b"\x00\x00\x00\x00"
    w = BitWriter()
    w.literals(b"\x00\x00\xff\xff\x00\x00")
    w.repeat_match(FILL_GAMMA)
    blocks = [(len(head), literal_block(head)), (0, w.bytes())] + [(0, b"")] * 253
    out.append(("a count of 65535 records read 254 times", container(blocks)))

    # Maximal gamma values everywhere: distances far beyond the output (the
    # 32-bit arithmetic wraps) and lengths of 2^32 - 1, in every block.
    w = BitWriter()
    w.literals(stream_header(1) + b"\x00\x00\x01\x00")
    for _ in range(1000):
        w.flag(0)
        w.gamma(MAX_GAMMA)
        w.out.append(0xFE)
        w.flag(0)
        w.flag(0)
        w.gamma(MAX_GAMMA)
    packed = w.bytes()
    out.append(("maximal gamma codes in 255 blocks", container([(0xFFFF, packed)] * 255)))

    # A block count of 255 over a container that holds one block header and
    # packed sizes running past the end.
    out.append(("255 blocks declared, one present",
                container([(0xFFFF, literal_block(stream_header(1) + b"\x00\x00\x01\x00"))], 255)
                + b"\xff\xff\xff\xff"))
    return out


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--mthc", help="the mthc executable (default: build the release preset)")
    parser.add_argument("--keep", help="write the containers to this directory and keep them")
    options = parser.parse_args()

    mthc = os.path.abspath(options.mthc or release_tool("mthc"))

    work = options.keep or tempfile.mkdtemp(prefix="mthc-bombs-")
    os.makedirs(work, exist_ok=True)
    rows = []
    failed = []
    try:
        for i, (name, data) in enumerate(bombs()):
            path = os.path.join(work, "bomb%02d.mthc" % i)
            with open(path, "wb") as f:
                f.write(data)
            out_mid = os.path.join(work, "bomb%02d.mid" % i)
            done = subprocess.run(["/usr/bin/time", "-v", mthc, "--decompress", out_mid, path],
                                  stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, timeout=60)
            seconds, rss_kb = parse_time_v(done.stderr)
            tool_err = [line for line in done.stderr.splitlines() if line.startswith("Error: ")]
            success = [line for line in done.stdout.splitlines() if line.startswith("Decompressed")]
            outcome = tool_err[0] if tool_err else (success[0].replace(out_mid, "out.mid") if success else "")
            status = done.returncode
            rows.append((name, len(data), status, seconds, rss_kb, outcome))
            if status not in (0, 1) or seconds >= WALL_LIMIT_S or rss_kb >= RSS_LIMIT_KB or len(tool_err) > 1:
                failed.append(name)
    finally:
        if not options.keep:
            shutil.rmtree(work, ignore_errors=True)

    print("| container | size (bytes) | exit | wall (s) | peak RSS (MiB) | outcome |")
    print("|---|---:|---:|---:|---:|---|")
    for name, size, status, seconds, rss_kb, outcome in rows:
        print("| %s | %d | %d | %.2f | %.1f | %s |" % (name, size, status, seconds, rss_kb / 1024.0, outcome))
    if failed:
        print("over the limits (%.1f s, %d MiB) or a crash: %s" % (WALL_LIMIT_S, RSS_LIMIT_KB // 1024,
                                                                   ", ".join(failed)))
        return 1
    print("all %d within %.1f s and %d MiB" % (len(rows), WALL_LIMIT_S, RSS_LIMIT_KB // 1024))
    return 0


if __name__ == "__main__":
    sys.exit(main())
