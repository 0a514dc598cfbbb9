"""Makes the files that the browser tests give the page, and what the
command-line tools make of each: `mthc-pack -c FILE` (and with --strict),
its standard output, its error lines and its exit status.

    make_test_files.py OUT_DIR MTHC_PACK

OUT_DIR/inputs/ gets the files, OUT_DIR/expected.json what the tools said
and what a listing of each song shows (tracks, notes, seconds), and
OUT_DIR/expected/ the tools' outputs.
"""

import json
import os
import subprocess
import sys

import midi_files as midi


def main(out_dir, pack_tool):
    inputs = os.path.join(out_dir, "inputs")
    expected_dir = os.path.join(out_dir, "expected")
    os.makedirs(inputs, exist_ok=True)
    os.makedirs(expected_dir, exist_ok=True)
    songs = {}

    def write(name, data):
        with open(os.path.join(inputs, name), "wb") as f:
            f.write(data)

    def pack(midi_name, container_name):
        subprocess.run([pack_tool, "-q", "-f", "-o", container_name, midi_name], cwd=inputs,
                       check=True)

    trio, songs["trio.mid"] = midi.song([("Piano", 1, 120, 0, 0), ("Bass", 2, 60, 1, 33),
                                         ("Strings", 3, 80, 2, 48)])
    write("trio.mid", trio)
    solo, songs["solo.midi"] = midi.song([("Flute", 4, 200, 3, 73)], division=96, fmt=0,
                                         tempo=400000)
    write("solo.midi", solo)
    # A second track without data: packed, with a warning.
    with_empty = trio + midi.chunk(b"MTrk", b"")
    with_empty = with_empty[:10] + b"\x00\x04" + with_empty[12:]
    write("with-empty-track.mid", with_empty)
    songs["with-empty-track.mid"] = dict(songs["trio.mid"], tracks=4, tracks_with_notes=3)
    # What players take and a container cannot keep: a chunk of another kind
    # between the tracks, and bytes after the last chunk.
    first_track_end = 14 + 8 + int.from_bytes(trio[18:22], "big")
    lenient = (trio[:first_track_end] + midi.chunk(b"XFIL", b"sequencer notes") +
               trio[first_track_end:] + b"\x00\x00garbage")
    write("lenient.mid", lenient)
    songs["lenient.mid"] = songs["trio.mid"]
    write("notes.txt", b"not a MIDI file\n")
    # A track that does not read as MIDI events to its end (it has no
    # end-of-track event): packed with a warning, and its container refused.
    body, made = midi.melody(5, 20)
    write("no-end.mid", midi.midi_file([body], fmt=0))
    songs["no-end.mid"] = {"tracks": 1, "notes": 20, "seconds": made[-1][1] * 500000 / 480 / 1e6}

    # Containers, made by the tools.
    pack("trio.mid", "trio.mthc")
    songs["trio.mthc"] = songs["trio.mid"]
    pack("solo.midi", "solo.mthc")
    pack("no-end.mid", "no-end.mthc")
    songs["solo.mthc"] = songs["solo.midi"]
    largest, songs["largest.mid"] = midi.largest_song()
    write("largest.mid", largest)
    pack("largest.mid", "largest.mthc")
    songs["largest.mthc"] = songs["largest.mid"]
    # A container cut short halfway through.
    with open(os.path.join(inputs, "largest.mthc"), "rb") as f:
        image = f.read()
    write("cut.mthc", image[:len(image) // 2])

    expected = {"songs": songs, "files": {}}
    for name in sorted(os.listdir(inputs)):
        for strict in (False, True):
            options = ["--strict"] if strict else []
            run = subprocess.run([pack_tool, *options, "-c", name], cwd=inputs,
                                 capture_output=True)
            output = ("strict-" if strict else "") + name + ".out"
            with open(os.path.join(expected_dir, output), "wb") as f:
                f.write(run.stdout)
            expected["files"][("strict:" if strict else "") + name] = {
                "status": run.returncode,
                "lines": run.stderr.decode("utf-8").splitlines(),
                "output": output,
            }
    with open(os.path.join(out_dir, "expected.json"), "w") as f:
        json.dump(expected, f, indent=1)


if __name__ == "__main__":
    main(*sys.argv[1:])
