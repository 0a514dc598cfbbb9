#!/usr/bin/env python3
"""Hostile MIDI files, measured.

Builds MIDI files of 64 MiB, the largest input, made of millions of small
pieces (empty foreign chunks, empty tracks), one of them with as many tracks
as can hold data, each without an end-of-track event; runs the release build of
mthc-pack on each (packing at the fast level into a scratch directory, and
listing) under /usr/bin/time -v, and prints a table: exit status, warning
lines, bytes of standard error, wall time and peak resident memory. Fails if
any run takes 10 s or more, uses 256 MiB or more, prints more than one
warning line per kind, or ends other than with exit status 0 or 1.

    scripts/studies/hostile_midi.py [--mthc-pack PATH]

Without --mthc-pack the release preset is configured and built first.
"""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tests", "cli"))
from midi_builder import chunk, midi_file, tune_track  # noqa: E402
from measured_run import parse_time_v, release_tool  # noqa: E402

WALL_LIMIT_S = 10.0
RSS_LIMIT_KB = 256 * 1024
LARGEST = 64 << 20
TEMPO = b"\x00\xff\x51\x03\x07\xa1\x20\x00\xff\x2f\x00"


def filled(head, piece):
    """`head`, then as many copies of `piece` as fit the largest input."""
    return head + piece * ((LARGEST - len(head)) // len(piece))


def files():
    song = midi_file([TEMPO, tune_track(1, 1, 40)])
    return [
        ("8.4 million empty foreign chunks after a song", filled(song, chunk(b"JUNK", b"")), 1),
        ("8.4 million empty tracks", filled(midi_file([]), chunk(b"MTrk", b"")), 0),
        ("32765 tracks without end-of-track, then foreign chunks",
         filled(midi_file([b"\x00\x90\x3c\x40"] * 32765), chunk(b"JUNK", b"")), 2),
    ]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--mthc-pack", help="the mthc-pack executable (default: build the release preset)")
    options = parser.parse_args()

    tool = os.path.abspath(options.mthc_pack or release_tool("mthc-pack"))

    work = tempfile.mkdtemp(prefix="mthc-hostile-midi-")
    rows, failed = [], []
    try:
        for i, (name, data, most_warnings) in enumerate(files()):
            path = os.path.join(work, "hostile%d.mid" % i)
            with open(path, "wb") as f:
                f.write(data)
            for mode in (["-f", "-1"], ["-l"]):
                done = subprocess.run(["/usr/bin/time", "-v", tool] + mode + [path], stdout=subprocess.PIPE,
                                      stderr=subprocess.PIPE, text=True, timeout=120)
                seconds, rss_kb = parse_time_v(done.stderr)
                tool_err = done.stderr[:done.stderr.find("\tCommand being timed")]
                warnings = sum(1 for line in tool_err.splitlines() if line.startswith("Warning: "))
                rows.append((name, " ".join(mode), done.returncode, warnings, len(tool_err), seconds, rss_kb))
                if (done.returncode not in (0, 1) or seconds >= WALL_LIMIT_S or rss_kb >= RSS_LIMIT_KB
                        or warnings > most_warnings):
                    failed.append("%s (%s)" % (name, " ".join(mode)))
    finally:
        shutil.rmtree(work, ignore_errors=True)

    print("| file (64 MiB) | run | exit | warning lines | stderr (bytes) | wall (s) | peak RSS (MiB) |")
    print("|---|---|---:|---:|---:|---:|---:|")
    for name, mode, status, warnings, err_bytes, seconds, rss_kb in rows:
        print("| %s | %s | %d | %d | %d | %.2f | %.1f |" % (name, mode, status, warnings, err_bytes, seconds,
                                                           rss_kb / 1024.0))
    if failed:
        print("over the limits (%.0f s, %d MiB, a line per kind) or a crash: %s"
              % (WALL_LIMIT_S, RSS_LIMIT_KB // 1024, ", ".join(failed)))
        return 1
    print("all %d runs within %.0f s and %d MiB" % (len(rows), WALL_LIMIT_S, RSS_LIMIT_KB // 1024))
    return 0


if __name__ == "__main__":
    sys.exit(main())
