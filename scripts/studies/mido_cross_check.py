#!/usr/bin/env python3
"""Compares what the event reader and the music summary make of MIDI files
with what mido (an independent reader; Debian's python3-mido) reads in them:
per track the number of events, of notes (note-ons of velocity above 0) and
the last event's tick, and per file the length in seconds (formats 0 and 1;
mido does not time format 2).

  scripts/studies/mido_cross_check.py [--list-tracks build/dev/tests/mthc_list_tracks] [file.mid ...]

Without files, the generated songs that list_tracks writes are checked, and
the example tune of the dev build when it is there.
"""
import argparse
import os
import re
import subprocess
import sys
import tempfile

try:
    import mido
except ImportError:
    sys.exit("mido is not installed (apt-get install python3-mido; it lives in /usr/bin/python3)")


def ours(list_tracks, path):
    lines = subprocess.run([list_tracks, path], check=True, capture_output=True,
                           text=True).stdout.splitlines()
    head = re.match(r".* format (\d+) tracks (\d+) end_tick (\d+) seconds (\S+)$", lines[0])
    tracks = [tuple(int(x) for x in re.match(
        r"\s+track \d+ events (\d+) notes (\d+) end_tick (\d+) error (.*)$", line).groups()[:3])
        for line in lines[1:]]
    return int(head.group(1)), float(head.group(4)), tracks


def theirs(path):
    midi = mido.MidiFile(path)
    tracks = [(len(track), sum(1 for m in track if m.type == "note_on" and m.velocity > 0),
               sum(m.time for m in track)) for track in midi.tracks]
    return midi, tracks


def main():
    root = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
    parser = argparse.ArgumentParser()
    parser.add_argument("--list-tracks", default=os.path.join(root, "build/dev/tests/mthc_list_tracks"))
    parser.add_argument("files", nargs="*")
    args = parser.parse_args()
    files = list(args.files)
    with tempfile.TemporaryDirectory() as directory:
        if not files:
            subprocess.run([args.list_tracks, "--write-songs", directory], check=True,
                           stdout=subprocess.DEVNULL)
            files = sorted(os.path.join(directory, f) for f in os.listdir(directory))
            tune = os.path.join(root, "build/dev/examples/tune.mid")
            if os.path.exists(tune):
                files.append(tune)
        failures = 0
        for path in files:
            format_, seconds, our_tracks = ours(args.list_tracks, path)
            problems = []
            try:
                midi, their_tracks = theirs(path)
                if our_tracks != their_tracks:
                    problems.append(f"tracks (events, notes, end tick): ours {our_tracks}, "
                                    f"mido {their_tracks}")
                if format_ != 2 and abs(midi.length - seconds) > 1e-6 * max(1.0, seconds):
                    problems.append(f"seconds: ours {seconds}, mido {midi.length}")
            except (OSError, EOFError, ValueError, KeyError) as error:
                problems.append(f"mido cannot read it ({type(error).__name__}: {error})")
            name = os.path.basename(path)
            events = sum(t[0] for t in our_tracks)
            if problems:
                failures += 1
                print(f"DIFFERENT {name}: " + "; ".join(problems))
            else:
                print(f"same      {name}: format {format_}, {len(our_tracks)} tracks, {events} events, "
                      f"{seconds:.3f} s")
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
