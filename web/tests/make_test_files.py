"""Makes the files that the browser tests give the page, and what the
command-line tools make of each: `mthc-pack -c FILE` (and with --strict),
its standard output, its error lines and its exit status; the listing of
`mthc-pack -l --json FILE`; and for the containers whose music does not
read, what `mthc --decompress` makes of them as they are.

    make_test_files.py OUT_DIR MTHC_PACK MTHC

OUT_DIR/inputs/ gets the files, OUT_DIR/expected.json what the tools said
and what a listing of each song shows (tracks, notes, seconds), and
OUT_DIR/expected/ the tools' outputs.
"""

import json
import os
import subprocess
import sys

import midi_files as midi


# Names as people write them: accents, another script, and one far longer
# than a line.
TRACK_NAMES = ["Flûte à bec", "ピアノ", "Ö" * 3000]
LONG_FILE_NAME = "a-very-long-name-" * 14 + "end.mid"  # 245 characters
# Legal on Linux; a path on Windows.
PATH_LIKE_NAME = "..\\..\\Windows\\evil.mid"


def main(out_dir, pack_tool, unpack_tool):
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
    # A track that does not read as MIDI events to its end (after its notes,
    # an undefined status byte, which no player gets past): packed as it is
    # with a warning, and its container refused.
    body, made = midi.melody(5, 20)
    write("bad-status.mid", midi.midi_file([body + b"\x00\xf4"], fmt=0))
    songs["bad-status.mid"] = {"tracks": 1, "notes": 20, "seconds": made[-1][1] * 500000 / 480 / 1e6}
    # A part doubled: a second track with the same notes at the same times.
    lead, made = midi.melody(6, 40, channel=0)
    again, _ = midi.melody(6, 40, channel=1)
    write("doubled.mid", midi.midi_file([midi.track("Lead", lead, 0, 0, tempo=600000),
                                         midi.track("Lead doubled", again, 40, 1)]))
    songs["doubled.mid"] = {"tracks": 2, "notes": 80, "seconds": made[-1][1] * 600000 / 480 / 1e6}
    names, songs["names.mid"] = midi.song([(name, 8 + i, 20, i, 0) for i, name in
                                           enumerate(TRACK_NAMES)])
    write("names.mid", names)
    write(LONG_FILE_NAME, trio)
    songs[LONG_FILE_NAME] = songs["trio.mid"]
    write(PATH_LIKE_NAME, solo)
    songs[PATH_LIKE_NAME] = songs["solo.midi"]

    # Containers, made by the tools.
    pack("trio.mid", "trio.mthc")
    songs["trio.mthc"] = songs["trio.mid"]
    pack("solo.midi", "solo.mthc")
    pack("bad-status.mid", "bad-status.mthc")
    songs["solo.mthc"] = songs["solo.midi"]
    largest, songs["largest.mid"] = midi.largest_song()
    write("largest.mid", largest)
    pack("largest.mid", "largest.mthc")
    songs["largest.mthc"] = songs["largest.mid"]
    # A container cut short halfway through.
    with open(os.path.join(inputs, "largest.mthc"), "rb") as f:
        image = f.read()
    write("cut.mthc", image[:len(image) // 2])

    expected = {"songs": songs, "files": {}, "as_is": {}, "listings": {}}
    for name in ["bad-status.mthc"]:
        output = "as-is-" + name + ".out"
        subprocess.run([unpack_tool, "--decompress", os.path.join(expected_dir, output), name],
                       cwd=inputs, check=True, capture_output=True)
        expected["as_is"][name] = output
    for n, name in enumerate(sorted(os.listdir(inputs))):
        for strict in (False, True):
            options = ["--strict"] if strict else []
            run = subprocess.run([pack_tool, *options, "-c", name], cwd=inputs,
                                 capture_output=True)
            # Numbered: some names are as long as a name can be.
            output = "%03d%s.out" % (n, "-strict" if strict else "")
            with open(os.path.join(expected_dir, output), "wb") as f:
                f.write(run.stdout)
            if not strict:
                listing = subprocess.run([pack_tool, "-l", "--json", name], cwd=inputs,
                                         capture_output=True)
                if listing.returncode == 0:
                    expected["listings"][name] = json.loads(listing.stdout)
            expected["files"][("strict:" if strict else "") + name] = {
                "status": run.returncode,
                "lines": run.stderr.decode("utf-8").splitlines(),
                "output": output,
            }
    with open(os.path.join(out_dir, "expected.json"), "w") as f:
        json.dump(expected, f, indent=1)


if __name__ == "__main__":
    main(*sys.argv[1:])
