"""End-to-end cases of the mthc-pack command line: arguments, packing and
unpacking file by file, output names, never overwriting, atomic output,
standard input and output, checking and listing containers."""

import argparse
import os
import re
import resource
import signal
import socket
import stat
import struct
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from block_stream import single_block_container  # noqa: E402
from cli_harness import Case, into_a_full_device, main  # noqa: E402
from midi_builder import chunk, midi_file, tune_track, variable_length  # noqa: E402
from mthc_cli_test import WORKED, WORKED_MIDI, WORKED_REPORT  # noqa: E402

# The usage text, from the one file that the program is built with; "%s"
# stands for the program's name.
with open(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "programs", "cli",
                       "pack_usage.txt"), encoding="utf-8") as usage_file:
    PACK_USAGE = usage_file.read().replace("%s", "{prog}")
# The version is set in one place, the project() call of the top CMakeLists.txt.
with open(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "CMakeLists.txt")) as f:
    VERSION = re.search(r"project\(mthc VERSION ([0-9.]+)", f.read()).group(1)

PACK = dict(program="mthc-pack")


TEMPO = b"\x00\xff\x51\x03\x07\xa1\x20\x00\xff\x2f\x00"
SONG = midi_file([TEMPO] + [tune_track(s, s, 40) for s in range(1, 6)])
OTHER = midi_file([TEMPO, tune_track(7, 2, 12)])
# Track data over several blocks (each holds at most 65535 bytes).
LONG = midi_file([TEMPO] + [tune_track(s, s % 16, 900) for s in range(1, 5)])
# Some seconds of packing at the best level (about 2.5 MB a second on the
# machine it was measured on): long enough for its progress to show on a
# terminal, after a second, on a machine twice as fast.
BIG = midi_file([TEMPO] + [tune_track(s, s % 16, 16000) for s in range(1, 9)])
BIG_BLOCKS = (len(BIG) + 0xFFFF - 1) // 0xFFFF
WITH_EMPTY = midi_file([tune_track(9, 0, 4), b"", b"\x00\xff\x2f\x00", b""])
END = b"\x00\xff\x2f\x00"
WITH_EMPTY_BACK = midi_file([tune_track(9, 0, 4), END, END, END])


def packed_size_line(source, target, blocks=1):
    return re.compile(r"Packed MIDI %s into MThc %s \(\d+ bytes, %d blocks?\)\n"
                      % (re.escape(source), re.escape(target), blocks))


def converts_back(name, expected):
    """A check: mthc --decompress of the container `name` gives `expected`."""
    def check(directory, tools):
        back = os.path.join(directory, "..", os.path.basename(directory) + "-back.mid")
        done = subprocess.run(tools["mthc"] + ["--decompress", back, os.path.join(directory, name)],
                              stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        try:
            with open(back, "rb") as f:
                got = f.read()
        except OSError:
            return ["%s does not convert: %s" % (name, done.stderr.decode("utf-8", "replace"))]
        finally:
            if os.path.exists(back):
                os.remove(back)
        return [] if got == expected else ["%s converts to %d bytes, not the %d expected" % (
            name, len(got), len(expected))]
    return check


def all_of(*checks):
    return lambda directory, tools: [p for c in checks for p in c(directory, tools)]


def prepared(tool_args):
    """A setup step: runs mthc-pack with `tool_args` in the case's directory."""
    def setup(directory):
        subprocess.run(TOOLS["mthc-pack"] + tool_args, cwd=directory, check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return setup


def cut(name, keep):
    """A setup step that cuts the file `name` to `keep` bytes (negative: drop that many)."""
    def setup(directory):
        path = os.path.join(directory, name)
        with open(path, "rb") as f:
            data = f.read()
        with open(path, "wb") as f:
            f.write(data[:keep])
    return setup


def remove(name):
    """A setup step that removes the file `name`."""
    return lambda directory: os.remove(os.path.join(directory, name))


def then(*steps):
    def setup(directory):
        for step in steps:
            step(directory)
    return setup


def through_a_pipe(directory, command):
    """Packs standard input to standard output, and unpacks that again."""
    packed = subprocess.run(command + ["-c"], cwd=directory, input=SONG, capture_output=True)
    if packed.returncode != 0:
        return packed.returncode, packed.stdout, packed.stderr
    return_trip = subprocess.run(command + ["-d"], cwd=directory, input=packed.stdout, capture_output=True)
    return return_trip.returncode, return_trip.stdout, packed.stderr + return_trip.stderr


def on_a_terminal(directory, command):
    """Standard output is a terminal: binary data must not go there."""
    import pty
    leader, follower = pty.openpty()
    done = subprocess.run(command + ["-c", "song.mid"], cwd=directory, stdout=follower,
                          stderr=subprocess.PIPE, stdin=subprocess.DEVNULL)
    os.close(follower)
    os.set_blocking(leader, False)
    try:
        shown = os.read(leader, 65536)
    except (BlockingIOError, OSError):
        shown = b""
    os.close(leader)
    return done.returncode, shown, done.stderr


def interrupted(directory, command):
    """Packs a long song at the best level with standard error a terminal,
    and interrupts the run once its progress shows: midway, whatever the
    machine's speed."""
    import pty
    leader, follower = pty.openpty()
    run = subprocess.Popen(command + ["-f", "long.mid"], cwd=directory, stdout=subprocess.PIPE,
                           stderr=follower, stdin=subprocess.DEVNULL)
    os.close(follower)
    shown = b""
    while b"Packing" not in shown:
        try:
            piece = os.read(leader, 4096)
        except OSError:
            piece = b""
        if not piece:
            break
        shown += piece
    run.send_signal(signal.SIGINT)
    out, _ = run.communicate(timeout=60)
    os.close(leader)
    return run.returncode, out, b"" if b"Packing" in shown else b"finished before it was interrupted"


def progress_on_a_terminal(directory, command):
    """Packs a song that takes some seconds at the best level, with standard
    error a terminal: the progress shows there, and is cleared at the end."""
    import pty
    leader, follower = pty.openpty()
    run = subprocess.Popen(command + ["big.mid"], cwd=directory, stdout=subprocess.PIPE, stderr=follower,
                           stdin=subprocess.DEVNULL)
    os.close(follower)
    shown = b""
    while True:
        try:
            piece = os.read(leader, 4096)
        except OSError:
            break
        if not piece:
            break
        shown += piece
    out, _ = run.communicate(timeout=120)
    os.close(leader)
    return run.returncode, out, shown


def make_sparse(name, size):
    def setup(directory):
        with open(os.path.join(directory, name), "wb") as f:
            f.truncate(size)
    return setup


def track_facts(track):
    """Notes, channels, programs and the end tick of a generated track, read
    here event by event (full status bytes, no running status)."""
    position, tick, notes, channels, programs, name, last_delta = 0, 0, 0, set(), set(), "", 0
    while position < len(track):
        delta = 0
        while True:
            delta = delta << 7 | (track[position] & 0x7F)
            position += 1
            if track[position - 1] < 0x80:
                break
        tick += delta
        status = track[position]
        if status == 0xFF:
            length = track[position + 2]
            if track[position + 1] == 0x03 and not name:
                name = track[position + 3:position + 3 + length].decode("latin-1")
            position += 3 + length
            continue
        size = 2 if status & 0xE0 == 0xC0 else 3
        channels.add(status & 0x0F)
        if status & 0xF0 == 0xC0:
            programs.add(track[position + 1])
        if status & 0xF0 == 0x90 and track[position + 2] > 0:
            notes += 1
        position += size
        last_delta = delta
    return {"notes": notes, "channels": sorted(channels), "programs": sorted(programs), "end": tick,
            "name": name, "bytes": len(track), "last_delta": last_delta}


SONG_TRACKS = [TEMPO] + [tune_track(s, s, 40) for s in range(1, 6)]
SONG_FACTS = [track_facts(t) for t in SONG_TRACKS]
# 500000 microseconds per quarter note of 480 ticks.
SONG_SECONDS = max(f["end"] for f in SONG_FACTS) / 480 * 0.5


def song_listing(name, packed):
    """The listing of SONG with -l -v, worked out from the song's own events,
    as a pattern (the packed size is the encoder's)."""
    def members(values):
        return ",".join(str(v + 1) for v in values) or "-"
    minutes = int(SONG_SECONDS) // 60
    text = re.escape("%s: format 1, 480 ticks per quarter note, 6 tracks, %d:%04.1f (%.1f s)\n" % (
        name, minutes, SONG_SECONDS - 60 * minutes, SONG_SECONDS))
    text += (r"  1 block, \d+ bytes packed, %d bytes of MIDI, \d+\.\d%% saved\n" % len(SONG) if packed
             else re.escape("  %d bytes of MIDI\n" % len(SONG)))
    text += re.escape("  track   notes      bytes  channels         programs         name\n")
    for t, f in enumerate(SONG_FACTS):
        text += re.escape("  %5d %7d %10d  %-16s %-16s %s\n" % (
            t, f["notes"], f["bytes"], members(f["channels"]), members(f["programs"]), f["name"]))
    return text


def song_json(text):
    import json
    problems = []
    lines = text.splitlines()
    if len(lines) != 2:
        return ["%d lines of JSON, expected 2" % len(lines)]
    for line, name, kind in zip(lines, ["song.mthc", "song.mid"], ["container", "midi"]):
        got = json.loads(line)
        expected = {"file": name, "type": kind, "midi_bytes": len(SONG), "format": 1, "division": 480,
                    "track_count": 6, "end_tick": max(f["end"] for f in SONG_FACTS),
                    "duration_seconds": round(SONG_SECONDS, 3),
                    "tracks": [{"index": t, "name": f["name"], "channels": f["channels"],
                                "programs": f["programs"], "notes": f["notes"], "bytes": f["bytes"],
                                "end_tick": f["end"], "fault": None} for t, f in enumerate(SONG_FACTS)]}
        for track in got.get("tracks", []):
            track.pop("events", None)
        got.pop("blocks", None)
        got.pop("packed_bytes", None)
        if list(got) != list(expected) or got != expected:
            problems.append("JSON of %s differs:\n%s\nexpected\n%s" % (name, got, expected))
    return problems


# A track that lost its end (as damage or an old file would): the note-off's
# last data byte and the end-of-track are missing, so the note-off, which
# begins with its delta time, runs past the end.
BROKEN_TRACK = tune_track(3, 1, 4)
BROKEN = midi_file([TEMPO, BROKEN_TRACK[:-6]])
BROKEN_AT = len(BROKEN_TRACK) - 4 - 3 - len(variable_length(track_facts(BROKEN_TRACK)["last_delta"]))
# A track that no player gets past: an undefined status byte (F4) after the
# program change, at offset 4 of the track.
UNREADABLE_TRACK = tune_track(3, 1, 4)[:3] + b"\x00\xf4" + tune_track(3, 1, 4)[3:]
UNREADABLE = midi_file([TEMPO, UNREADABLE_TRACK])
SONG_LAST_AT = len(SONG) - len(SONG_TRACKS[-1]) - 8
# A container made elsewhere: one literal-only block holding the stream
# header and one record, a track without end-of-track.
UNCLOSED_TRACK = b"\x00\x90\x3c\x40\x60\x80\x3c\x00"
UNCLOSED = single_block_container(b"MThp\0\0\0\x06\0\x00\0\x01\0\x60\0\0" + b"\0\0\x01\0"
                                  + len(UNCLOSED_TRACK).to_bytes(2, "big") + UNCLOSED_TRACK)
UNCLOSED_MIDI = midi_file([UNCLOSED_TRACK], fmt=0, division=0x60)
JUNK = SONG + chunk(b"JUNK", b"") * 100000


def notes(midi):
    """The note-ons and note-offs of a MIDI file, with their track and tick,
    read as players read: each "MTrk" chunk as far as the file holds it, up
    to its end-of-track or the end of its data, running status applied."""
    found = []
    at, track = 8 + struct.unpack(">I", midi[4:8])[0], 0
    while at + 8 <= len(midi):
        tag, length = midi[at:at + 4], struct.unpack(">I", midi[at + 4:at + 8])[0]
        data, at = midi[at + 8:at + 8 + length], at + 8 + length
        if tag != b"MTrk":
            continue
        pos = tick = running = 0

        def quantity():
            nonlocal pos
            value = 0
            while True:
                byte = data[pos]
                pos += 1
                value = value << 7 | (byte & 0x7F)
                if byte < 0x80:
                    return value
        try:
            while True:
                tick += quantity()
                status = data[pos]
                if status & 0x80:
                    pos += 1
                else:
                    status = running
                if status == 0xFF:
                    kind = data[pos]
                    pos += 1
                    pos += quantity()
                    if pos > len(data) or kind == 0x2F:
                        break
                elif status in (0xF0, 0xF7):
                    pos += quantity()
                else:
                    size = 1 if status & 0xE0 == 0xC0 else 2
                    if pos + size > len(data):
                        break
                    if status & 0xE0 == 0x80:
                        found.append((track, tick, status, data[pos], data[pos + 1]))
                    pos, running = pos + size, status
        except IndexError:
            pass
        track += 1
    return found


def repaired_as_players_take(name, original):
    """A check: the container `name` passes mthc-pack -t, and unpacks to a
    MIDI file with the notes of `original` as players take it."""
    def check(directory, tools):
        tested = subprocess.run(tools["mthc-pack"] + ["-t", name], cwd=directory, capture_output=True)
        if tested.returncode != 0:
            return ["-t fails: %s" % tested.stderr.decode("utf-8", "replace")]
        back = subprocess.run(tools["mthc-pack"] + ["-d", "-c", name], cwd=directory, capture_output=True)
        if back.returncode != 0:
            return ["-d fails: %s" % back.stderr.decode("utf-8", "replace")]
        got, expected = notes(back.stdout), notes(original)
        if not expected or got != expected:
            return ["%d notes back, %d expected (the same: %s)" % (len(got), len(expected), got == expected)]
        return []
    return check


def repairs():
    """Songs that players play though they do not end as the format wants:
    (name, file, the warning, the error with --strict)."""
    last = SONG_TRACKS[-1]
    head = SONG_TRACKS[:-1]
    dropped = len(BROKEN_TRACK) - 6 - BROKEN_AT
    return [
        ("a track without end-of-track", midi_file(head + [last[:-4]]),
         "track 5 has no end-of-track event; one is added",
         "track 5 has no end-of-track event (--strict)"),
        ("4 zero bytes after end-of-track", midi_file(head + [last + b"\0" * 4]),
         "track 5: the 4 bytes after its end-of-track event are dropped",
         "track 5: 4 bytes follow its end-of-track event (--strict)"),
        ("an end-of-track one byte short", midi_file(head + [last[:-1]]),
         "track 5: its end-of-track event is cut short; the 1 missing byte is added",
         "track 5: its end-of-track event is cut short (--strict)"),
        ("a song whose last 100 bytes are missing", SONG[:-100],
         "the file ends 100 bytes short of the end of track 5 (at offset %d); the track keeps its whole "
         "events and is closed with an end-of-track event" % SONG_LAST_AT,
         "the track at offset %d runs 100 bytes past the end of the file (--strict)" % SONG_LAST_AT),
        ("a track that ends inside an event", BROKEN,
         "track 1 ends inside an event, whose %d bytes are dropped; an end-of-track event is added" % dropped,
         "track 1 ends inside an event (--strict)"),
    ]


def riff(smf):
    data = b"data" + struct.pack("<I", len(smf)) + smf + (b"\0" if len(smf) % 2 else b"")
    return b"RIFF" + struct.pack("<I", 4 + len(data)) + b"RMID" + data


def real_world_variants():
    """MIDI files as real collections hold them: (name, file, what it packs as,
    the warning, the error with --strict)."""
    two = [TEMPO, tune_track(4, 1, 6)]
    plain = midi_file(two)
    header8 = chunk(b"MThd", struct.pack(">HHH", 1, 2, 480) + b"\0\0") + b"".join(chunk(b"MTrk", t) for t in two)
    foreign_at = len(chunk(b"MThd", b"\0" * 6)) + len(chunk(b"MTrk", TEMPO))
    with_foreign = (chunk(b"MThd", struct.pack(">HHH", 1, 2, 480)) + chunk(b"MTrk", TEMPO)
                    + chunk(b"XFIH", b"\x01\x02") + chunk(b"MTrk", two[1]))
    text = b"Made by a sequencer, 1997\n"
    return [
        ("a RIFF RMID wrapper", "x.rmi", riff(plain), plain,
         "the MIDI file is taken out of its RIFF RMID wrapper",
         "a MIDI file in a RIFF RMID wrapper, which would not come back as it is (--strict)"),
        ("trailing zeros", "x.mid", plain + b"\0" * 5, plain,
         "5 bytes at offset %d after the last chunk are ignored" % len(plain),
         "5 bytes at offset %d follow the last chunk (--strict)" % len(plain)),
        ("a trailing 0x1A", "x.mid", plain + b"\x1a", plain,
         "1 byte at offset %d after the last chunk is ignored" % len(plain),
         "1 byte at offset %d follows the last chunk (--strict)" % len(plain)),
        ("trailing text", "x.mid", plain + text, plain,
         "%d bytes at offset %d after the last chunk are ignored" % (len(text), len(plain)),
         "%d bytes at offset %d follow the last chunk (--strict)" % (len(text), len(plain))),
        ("a chunk that is not MTrk", "x.mid", with_foreign, plain,
         "chunk 'XFIH' at offset %d (2 bytes) is dropped; only MTrk chunks are packed" % foreign_at,
         "chunk 'XFIH' at offset %d is not an MTrk chunk (--strict)" % foreign_at),
        ("a track count too high", "x.mid", midi_file(two, declared=3), plain,
         "the MThd header declares 3 tracks but the file holds 2; the count is corrected",
         "the MThd header declares 3 tracks but the file holds 2 (--strict)"),
        ("a track count too low", "x.mid", midi_file(two, declared=1), plain,
         "the MThd header declares 1 tracks but the file holds 2; the count is corrected",
         "the MThd header declares 1 tracks but the file holds 2 (--strict)"),
        ("a header of 8 bytes", "x.mid", header8, plain,
         "2 bytes of the MThd header beyond its sixth are dropped",
         "the MThd header is 8 bytes long, not 6 (--strict)"),
    ]


LINUX_ONLY = {"skip": "a Linux facility"}
song = {"song.mid": SONG}


TOO_LARGE = "the file is larger than 64 MiB (67108864 bytes), the most that is read of a file"
NOT_A_CONTAINER = "file does not start with MThc"


def on_a_terminal_input(arguments):
    """A runner: standard input is a terminal."""
    def runner(directory, command):
        import pty
        leader, follower = pty.openpty()
        done = subprocess.run(command + arguments, cwd=directory, stdin=follower, capture_output=True)
        os.close(follower)
        os.close(leader)
        return done.returncode, done.stdout, done.stderr
    return runner


def word_cases():
    """What a refusal says: a file that is not a container is called so
    however large or small it is, the size limit is the file's, and options
    that do not go with the run are usage errors."""
    big = (64 << 20) + 1
    rows = [
        # (label, arguments, setup or files, status, stdout, stderr, Linux only)
        ("-t of /dev/zero", ["-t", "/dev/zero"], {}, 1, "", "Error: /dev/zero: %s\n" % NOT_A_CONTAINER, True),
        ("-d of /dev/zero", ["-d", "/dev/zero"], {}, 1, "", "Error: /dev/zero: %s\n" % NOT_A_CONTAINER, True),
        ("-t of a large file that is not a container", ["-t", "x.bin"], make_sparse("x.bin", big), 1, "",
         "Error: x.bin: %s\n" % NOT_A_CONTAINER, False),
        ("-d of a large file that is not a container", ["-d", "x.bin"], make_sparse("x.bin", big), 1, "",
         "Error: x.bin: %s\n" % NOT_A_CONTAINER, False),
        ("-t of a short file that is not a container", ["-t", "x.bin"], {"x.bin": b"RIFX"}, 1, "",
         "Error: x.bin: %s\n" % NOT_A_CONTAINER, False),
        ("-d of a short file that is not a container", ["-d", "x.bin"], {"x.bin": b"RIFX"}, 1, "",
         "Error: x.bin: %s\n" % NOT_A_CONTAINER, False),
        ("-t of an empty file", ["-t", "x.mthc"], {"x.mthc": b""}, 1, "",
         "Error: x.mthc: file is too small to be an MThc container\n", False),
        ("-t of a container's first bytes", ["-t", "x.mthc"], {"x.mthc": WORKED[:10]}, 1, "",
         "Error: x.mthc: file is too small to be an MThc container\n", False),
        ("-l of a large file", ["-l", "x.bin"], make_sparse("x.bin", big), 1,
         "blocks     packed       midi  ratio tracks format division  name\n", "Error: x.bin: %s\n" % TOO_LARGE,
         False),
        ("--strict with -d", ["--strict", "-d", "song.mthc"], {}, 1, "",
         "Error: option '--strict' goes with packing, not with -d, -t or -l\n" + PACK_USAGE, False),
        ("--strict with -t", ["-t", "--strict", "song.mthc"], {}, 1, "",
         "Error: option '--strict' goes with packing, not with -d, -t or -l\n" + PACK_USAGE, False),
        ("--strict with -l", ["--strict", "-lv", "song.mthc"], {}, 1, "",
         "Error: option '--strict' goes with packing, not with -d, -t or -l\n" + PACK_USAGE, False),
        ("--as-is with a MIDI file", ["--as-is", "a.mthc", "song.mid"], {"song.mid": SONG, "a.mthc": WORKED}, 1,
         "", "Error: option '--as-is' goes with unpacking, but 'song.mid' is a MIDI file, not a container\n"
         + PACK_USAGE, False),
    ]
    c = [Case("words: " + label, arguments, status, stdout=stdout, stderr=stderr,
              setup=files if callable(files) else None, files=None if callable(files) else files,
              only_files=None if callable(files) else list(files), windows=LINUX_ONLY if linux else {}, **PACK)
         for label, arguments, files, status, stdout, stderr, linux in rows]
    c += [
        Case("words: --as-is with a MIDI file through a pipe", ["--as-is", "-c"], 1, stdin=SONG, stdout="",
             stderr="Error: standard input: option '--as-is' goes with unpacking, and this is a MIDI file, not a "
             "container\n", **PACK),
        # Refused before anything is printed, the listing's header row too.
        Case("words: -l with a terminal for standard input", [], 1, runner=on_a_terminal_input(["-l"]), stdout="",
             stderr="Error: refusing to read binary data from a terminal; name a file, or see --help\n",
             windows=LINUX_ONLY, **PACK),
        Case("words: -l of a file and a terminal", [], 1, files={"a.mthc": WORKED},
             runner=on_a_terminal_input(["-l", "a.mthc", "-"]), stdout="",
             stderr="Error: refusing to read binary data from a terminal; name a file, or see --help\n",
             windows=LINUX_ONLY, **PACK),
    ]
    return c


def links_and_nodes(directory):
    """A setup step for the walk: beside top/a.mid, a link to a folder
    elsewhere, a link to a MIDI file elsewhere, a link to nothing, a FIFO and a
    socket, all named as MIDI files would be."""
    top = os.path.join(directory, "top")
    os.symlink(os.path.join("..", "outside"), os.path.join(top, "linked.mid"))
    os.symlink(os.path.join("..", "outside", "f.mid"), os.path.join(top, "link.mid"))
    os.symlink("nowhere.mid", os.path.join(top, "dangling.mid"))
    os.mkfifo(os.path.join(top, "fifo.mid"))
    with socket.socket(socket.AF_UNIX) as s:
        s.bind(os.path.join(top, "sock.mid"))


def too_deep(directory):
    """A setup step: top/deep holds folders nested until their path is longer
    than a path may be (PATH_MAX), so that the walk cannot open the deepest."""
    name = "x" * 250
    folder = os.open(os.path.join(directory, "top"), os.O_RDONLY)
    for _ in range(20):
        os.mkdir(name if _ else "deep", dir_fd=folder)
        inner = os.open(name if _ else "deep", os.O_RDONLY, dir_fd=folder)
        os.close(folder)
        folder = inner
    os.close(folder)


def recursive_cases():
    """-r walks the folders it is given: it packs the MIDI files it finds
    (with -d, -t, -l it takes the containers), passes over everything else
    without a word, does not follow links to folders, writes every output
    beside its input under the usual rules, and goes on after a failure."""
    tree = {"top/a.mid": SONG, "top/B.MID": OTHER, "top/sub/c.midi": SONG, "top/sub/deeper/d.kar": OTHER,
            "top/Μουσική/e.rmi": SONG, "top/notes.txt": b"notes", "top/x.mthc": WORKED, "noext": OTHER}
    packed = ["top/B.mthc", "top/a.mthc", "top/sub/c.mthc", "top/sub/deeper/d.mthc", "top/Μουσική/e.mthc"]
    containers = {"top/a.mthc": WORKED, "top/sub/B.MTHC": WORKED, "top/sub/c.mid": SONG, "top/z.txt": b"z"}
    good = {"top/a.mthc": WORKED, "top/c.mthc": WORKED, "top/sub/d.mthc": WORKED}
    return [
        Case("-r packs the MIDI files of a tree, and files named as they are", ["-r", "top", "noext"], 0,
             files=tree, stdout=re.compile("".join(packed_size_line(a, b).pattern for a, b in [
                 ("top/B.MID", "top/B.mthc"), ("top/a.mid", "top/a.mthc"), ("top/sub/c.midi", "top/sub/c.mthc"),
                 ("top/sub/deeper/d.kar", "top/sub/deeper/d.mthc"), ("top/Μουσική/e.rmi", "top/Μουσική/e.mthc"),
                 ("noext", "noext.mthc")])), stderr="", only_files=list(tree) + packed + ["noext.mthc"],
             check=all_of(converts_back("top/B.mthc", OTHER), converts_back("top/Μουσική/e.mthc", SONG)), **PACK),
        Case("-r passes over links to folders, FIFOs and sockets", ["-r", "-q", "top"], 0,
             files={"top/a.mid": SONG, "outside/f.mid": OTHER}, setup=links_and_nodes, stdout="", stderr="",
             check=all_of(converts_back("top/a.mthc", SONG), converts_back("top/link.mthc", OTHER)),
             absent=["outside/f.mthc", "top/linked.mthc", "top/fifo.mthc", "top/sock.mthc", "top/dangling.mthc"],
             windows=UNIX_NODES, **PACK),
        Case("-r goes on after a failure and ends with status 1", ["-r", "top"], 1,
             files={"top/a.mid": SONG, "top/b.mid": b"RIFX", "top/c.mid": OTHER, "top/sub/d.mid": SONG,
                    "top/sub/d.mthc": b"old", "top/sub/e.mid": OTHER},
             stdout=re.compile(packed_size_line("top/a.mid", "top/a.mthc").pattern
                               + packed_size_line("top/c.mid", "top/c.mthc").pattern
                               + packed_size_line("top/sub/e.mid", "top/sub/e.mthc").pattern),
             stderr="Error: top/b.mid: not a MIDI file (no MThd header)\n"
             "Error: 'top/sub/d.mthc' already exists; use -f to overwrite it\n",
             expect_files={"top/sub/d.mthc": b"old"}, absent=["top/b.mthc"],
             check=converts_back("top/sub/e.mthc", OTHER), **PACK),
        Case("-r goes on past a folder it cannot open", ["-r", "-q", "top"], 1,
             files={"top/a.mid": SONG, "top/z/zz.mid": OTHER}, setup=too_deep, stdout="",
             # A path that long is shown by its start and its end.
             stderr=re.compile(r"Error: cannot open 'top/deep/[x/]{391}\.\.\.[x/]{400}': File name too long\n"),
             check=all_of(converts_back("top/a.mthc", SONG), converts_back("top/z/zz.mthc", OTHER)),
             windows={"skip": "Linux's limit on a path's length"}, **PACK),
        Case("-r -d unpacks the containers of a tree", ["-r", "-d", "top"], 0, files=containers,
             stdout="Unpacked MThc top/a.mthc into MIDI top/a.mid (46 bytes)\n"
             "Unpacked MThc top/sub/B.MTHC into MIDI top/sub/B.mid (46 bytes)\n", stderr="",
             expect_files={"top/a.mid": WORKED_MIDI, "top/sub/B.mid": WORKED_MIDI, "top/sub/c.mid": SONG},
             only_files=list(containers) + ["top/a.mid", "top/sub/B.mid"], **PACK),
        Case("-r -t checks every container and goes on after a damaged one", ["-r", "-t", "top"], 1, files=good,
             setup=cut("top/c.mthc", 20), stdout="top/a.mthc: OK\ntop/sub/d.mthc: OK\n",
             stderr=re.compile(r"Error: top/c\.mthc: .*\n"), only_files=list(good), **PACK),
        Case("-r -l lists the containers of a tree", ["-r", "-l", "top"], 0, files=good,
             stdout=re.compile(r"blocks .*\n(.*  top/a\.mthc\n)(.*  top/c\.mthc\n)(.*  top/sub/d\.mthc\n)"
                               r" +3 .*\(total\)\n"), stderr="", **PACK),
        Case("-r: two files of a folder that would share an output", ["-r", "top"], 1,
             files={"top/s.mid": SONG, "top/s.kar": OTHER, "top/t.mid": SONG},
             stdout=packed_size_line("top/t.mid", "top/t.mthc"),
             stderr="Error: 'top/s.kar' and 'top/s.mid' would both be written to 'top/s.mthc'; neither is "
             "written\n", only_files=["top/s.mid", "top/s.kar", "top/t.mid", "top/t.mthc"], **PACK),
        Case("-r with -o", ["-r", "-o", "x.mthc", "top"], 1, files={"top/a.mid": SONG}, stdout="",
             stderr="Error: -o names the output of one input, but -r walks folders\n", only_files=["top/a.mid"],
             **PACK),
        Case("-r with -c", ["-rc", "top"], 1, files={"top/a.mid": SONG}, stdout="",
             stderr="Error: -c writes the output of one input (a container holds one song), but -r walks "
             "folders\n", only_files=["top/a.mid"], **PACK),
        Case("-r with --as-is and without -d", ["--recursive", "--as-is", "top"], 1, files={"top/a.mthc": WORKED},
             stdout="", stderr="Error: option '--as-is' goes with unpacking, but -r without -d packs MIDI files\n"
             + PACK_USAGE, only_files=["top/a.mthc"], **PACK),
    ]


def cases():
    exists = "Error: '%s' already exists; use -f to overwrite it\n"
    lenient = []
    for label, name, data, packs_as, warning, strict_error in real_world_variants():
        lenient.append(Case("lenient: " + label, [name], 0, files={name: data},
                            stdout=packed_size_line(name, "x.mthc"), stderr="Warning: %s: %s\n" % (name, warning),
                            check=converts_back("x.mthc", packs_as), **PACK))
        lenient.append(Case("--strict: " + label, ["--strict", name], 1, files={name: data}, stdout="",
                            stderr="Error: %s: %s\n" % (name, strict_error), only_files=[name], **PACK))
    for label, data, warning, strict_error in repairs():
        lenient.append(Case("repaired: " + label, ["x.mid"], 0, files={"x.mid": data},
                            stdout=packed_size_line("x.mid", "x.mthc"), stderr="Warning: x.mid: %s\n" % warning,
                            check=repaired_as_players_take("x.mthc", data), **PACK))
        lenient.append(Case("--strict: " + label, ["--strict", "x.mid"], 1, files={"x.mid": data}, stdout="",
                            stderr="Error: x.mid: %s\n" % strict_error, only_files=["x.mid"], **PACK))
    return lenient + [
        Case("--strict: an empty track", ["--strict", "e.mid"], 1, files={"e.mid": WITH_EMPTY}, stdout="",
             stderr="Error: e.mid: track 1 is empty; it would unpack as an end-of-track event (00 ff 2f 00) "
             "(--strict)\n", only_files=["e.mid"], **PACK),
        Case("100000 foreign chunks: one line", ["j.mid"], 0, files={"j.mid": JUNK},
             stdout=packed_size_line("j.mid", "j.mthc"),
             stderr="Warning: j.mid: 100000 chunks other than MTrk are dropped (the first, 'JUNK' at offset %d, "
             "of 0 bytes); only MTrk chunks are packed\n" % len(SONG), check=converts_back("j.mthc", SONG),
             **PACK),
        Case("a port prefix without data reads", ["p.mid"], 0,
             files={"p.mid": midi_file([b"\x00\xff\x21\x00" + TEMPO] + SONG_TRACKS[1:])},
             stdout=packed_size_line("p.mid", "p.mthc"), stderr="",
             check=repaired_as_players_take("p.mthc", SONG), **PACK),
        Case("a header shorter than 6 bytes", ["x.mid"], 1, files={"x.mid": chunk(b"MThd", b"\0\1\0\0")},
             stdout="", stderr="Error: x.mid: the MThd header is 4 bytes long, shorter than the 6 it needs\n",
             only_files=["x.mid"], **PACK),
        Case("more track data than a container holds", ["-1", "big.mid"], 1,
             files={"big.mid": midi_file([b"\0" * 17000000])}, stdout="",
             stderr="Error: big.mid: too much MIDI data: 17000000 bytes of track data do not fit 255 blocks "
                    "(a container holds at most 16709879 bytes of track data, less when it does not compress)\n",
             only_files=["big.mid"], **PACK),
        # Arguments.
        Case("help", ["--help"], 0, stdout=PACK_USAGE, stderr="", **PACK),
        Case("version", ["--version"], 0, stdout="mthc-pack %s\n" % VERSION, stderr="", **PACK),
        Case("unknown option", ["-x", "song.mid"], 1, files=song, stdout="",
             stderr="Error: unknown option '-x'\n" + PACK_USAGE, absent=["song.mthc"], **PACK),
        Case("unknown option in a bundle", ["-fz", "song.mid"], 1, files=song, stdout="",
             stderr="Error: unknown option '-fz'\n" + PACK_USAGE, absent=["song.mthc"], **PACK),
        Case("-o without its path", ["song.mid", "-o"], 1, files=song, stdout="",
             stderr="Error: option '-o' needs a path\n" + PACK_USAGE, **PACK),
        # An empty path is not standard output: that would bypass the refusal
        # to write binary data to a terminal.
        Case("-o with an empty path", ["-o", "", "song.mid"], 1, files=song, stdout="",
             stderr="Error: option '-o' has an empty path; to write to standard output, use -c\n" + PACK_USAGE,
             only_files=["song.mid"], **PACK),
        Case("--output= with an empty path", ["-d", "--output=", "song.mthc"], 1, stdout="",
             stderr="Error: option '-o' has an empty path; to write to standard output, use -c\n" + PACK_USAGE,
             **PACK),
        Case("two modes", ["-d", "--test", "x.mthc"], 1, stdout="",
             stderr="Error: option '--test': give only one of -d, -t and -l\n" + PACK_USAGE, **PACK),
        Case("-o with two inputs", ["-o", "out.mthc", "song.mid", "other.mid"], 1,
             files={"song.mid": SONG, "other.mid": OTHER}, stdout="",
             stderr="Error: -o names the output of one input, but 2 are given\n",
             only_files=["song.mid", "other.mid"], **PACK),
        Case("-o with -t", ["-t", "-o", "x", "song.mid"], 1, files=song, stdout="",
             stderr="Error: -o names an output, but -t and -l write none\n", **PACK),
        Case("--json without -l", ["--json", "song.mid"], 1, files=song, stdout="",
             stderr="Error: option '--json' goes with -l\n" + PACK_USAGE, only_files=["song.mid"], **PACK),
        Case("-v without -l", ["-dv", "song.mid"], 1, files=song, stdout="",
             stderr="Error: option '-v' goes with -l\n" + PACK_USAGE, only_files=["song.mid"], **PACK),
        Case("-c with two inputs", ["-c", "song.mid", "other.mid"], 1, files={"song.mid": SONG, "other.mid": OTHER},
             stdout="", stderr="Error: -c writes the output of one input (a container holds one song), but 2 are "
             "given\n", **PACK),
        Case("two inputs, one output", ["-f", "song.mid", "./song.kar"], 1,
             files={"song.mid": SONG, "song.kar": OTHER}, stdout="",
             stderr="Error: 'song.mid' and './song.kar' would both be written to './song.mthc'; nothing is "
             "written\n", only_files=["song.mid", "song.kar"], **PACK),
        Case("standard input twice", ["-", "-"], 1, stdin=SONG, stdout="",
             stderr="Error: standard input and standard input would both be written to standard output; "
             "nothing is written\n", only_files=[], **PACK),

        # Packing, file by file, beside each input.
        Case("pack one file", ["song.mid"], 0, files=song, stdout=packed_size_line("song.mid", "song.mthc"),
             stderr="", check=converts_back("song.mthc", SONG), only_files=["song.mid", "song.mthc"], **PACK),
        Case("glob of two MIDI files", ["other.mid", "song.mid"], 0, files={"song.mid": SONG, "other.mid": OTHER},
             stdout=re.compile(packed_size_line("other.mid", "other.mthc").pattern
                               + packed_size_line("song.mid", "song.mthc").pattern),
             stderr="", expect_files={"song.mid": SONG, "other.mid": OTHER},
             check=all_of(converts_back("song.mthc", SONG), converts_back("other.mthc", OTHER)), **PACK),
        Case("the old two-path form packs the first and reads the second", ["in.mid", "out.mthc"], 1,
             files={"in.mid": SONG}, stdout=packed_size_line("in.mid", "in.mthc"),
             stderr="Error: cannot open 'out.mthc': No such file or directory\n",
             check=converts_back("in.mthc", SONG), absent=["out.mthc"], **PACK),
        Case("output names", ["-q", "A.MIDI", "b.kar", "c.rmi", "noext", "d.mid.bak", "dir.mid/e"], 0,
             files={n: SONG for n in ["A.MIDI", "b.kar", "c.rmi", "noext", "d.mid.bak", "dir.mid/e"]},
             stdout="", stderr="",
             check=all_of(*[converts_back(n, SONG) for n in
                            ["A.mthc", "b.mthc", "c.mthc", "noext.mthc", "d.mid.bak.mthc", "dir.mid/e.mthc"]]),
             **PACK),
        Case("-o names the output", ["-o", "x/out.bin", "-1", "song.mid"], 0, files={"song.mid": SONG, "x/k": b""},
             stdout=packed_size_line("song.mid", "x/out.bin"), stderr="", check=converts_back("x/out.bin", SONG),
             **PACK),
        Case("an output into a missing directory", ["-o", "no/out.mthc", "song.mid"], 1, files=song, stdout="",
             stderr="Error: cannot create 'no/out.mthc': No such file or directory\n", **PACK),
        Case("one bad file among good ones", ["bad.mid", "song.mid"], 1, files={"bad.mid": b"RIFX", **song},
             stdout=packed_size_line("song.mid", "song.mthc"),
             stderr="Error: bad.mid: not a MIDI file (no MThd header)\n", absent=["bad.mthc"],
             check=converts_back("song.mthc", SONG), **PACK),
        Case("a missing file among good ones", ["none.mid", "song.mid"], 1, files=song,
             stdout=packed_size_line("song.mid", "song.mthc"),
             stderr="Error: cannot open 'none.mid': No such file or directory\n", **PACK),
        Case("a directory as input", ["d"], 1, files={"d/x": b""}, stdout="",
             stderr="Error: cannot open 'd': Is a directory\n", absent=["d.mthc"], **PACK),
        Case("empty tracks: one line", ["e.mid"], 0, files={"e.mid": WITH_EMPTY},
             stdout=packed_size_line("e.mid", "e.mthc"),
             stderr="Warning: e.mid: 2 tracks are empty (1, 3); they will unpack as end-of-track events "
                    "(00 ff 2f 00)\n", check=converts_back("e.mthc", WITH_EMPTY_BACK), **PACK),
        Case("300 empty tracks: one line", ["-q", "e.mid"], 0, files={"e.mid": midi_file([b""] * 300)},
             stdout="", stderr="", check=converts_back("e.mthc", midi_file([END] * 300)), **PACK),
        Case("300 empty tracks, not quiet", ["-1", "e.mid"], 0, files={"e.mid": midi_file([b""] * 300)},
             stdout=packed_size_line("e.mid", "e.mthc"),
             stderr="Warning: e.mid: 300 tracks are empty (0, 1, 2, 3, 4, ...); they will unpack as "
                    "end-of-track events (00 ff 2f 00)\n", **PACK),
        Case("a file too large for any container", ["big.mid"], 1, setup=make_sparse("big.mid", (64 << 20) + 1),
             stdout="", stderr="Error: big.mid: %s\n" % TOO_LARGE, absent=["big.mthc"], **PACK),

        # Never overwriting, never losing a file.
        Case("an existing output is kept", ["song.mid"], 1, files={"song.mid": SONG, "song.mthc": b"old"},
             stdout="", stderr=exists % "song.mthc", expect_files={"song.mthc": b"old"}, **PACK),
        Case("-f replaces it", ["-f", "song.mid"], 0, files={"song.mid": SONG, "song.mthc": b"old"},
             stdout=packed_size_line("song.mid", "song.mthc"), stderr="", check=converts_back("song.mthc", SONG),
             only_files=["song.mid", "song.mthc"], **PACK),
        Case("an input is never an output", ["-f", "-o", "song.mid", "song.mid"], 1, files=song, stdout="",
             stderr="Error: 'song.mid' is an input of this run; it is not overwritten\n",
             expect_files=song, **PACK),
        Case("a MIDI file and its container given together", ["-f", "a.mid", "a.mthc"], 1,
             files={"a.mid": SONG, "o.mid": OTHER}, setup=prepared(["-o", "a.mthc", "o.mid"]), stdout="",
             stderr="Error: 'a.mthc' is an input of this run; it is not overwritten\n"
             "Error: 'a.mid' is an input of this run; it is not overwritten\n",
             expect_files={"a.mid": SONG}, check=converts_back("a.mthc", OTHER), **PACK),
        Case("a MIDI file and the name of its container", ["a.mid", "a.mthc"], 1, files={"a.mid": SONG},
             stdout="", stderr="Error: 'a.mthc' is an input of this run; it is not overwritten\n"
             "Error: cannot open 'a.mthc': No such file or directory\n", only_files=["a.mid"], **PACK),
        Case("a failed write keeps the previous file", ["-f", "song.mid"], 1,
             files={"song.mid": SONG, "song.mthc": b"old"}, file_size_limit=100, stdout="",
             stderr="Error: failed writing 'song.mthc': File too large\n", expect_files={"song.mthc": b"old"},
             only_files=["song.mid", "song.mthc"], windows=LINUX_ONLY, **PACK),
        Case("an interrupted run keeps the previous file", ["-9"], -signal.SIGINT,
             files={"long.mid": BIG, "long.mthc": b"old"}, runner=interrupted, stdout="", stderr="",
             expect_files={"long.mthc": b"old"}, only_files=["long.mid", "long.mthc"], windows=LINUX_ONLY,
             **PACK),
        Case("progress on a terminal", [], 0, files={"big.mid": BIG}, runner=progress_on_a_terminal,
             stdout=packed_size_line("big.mid", "big.mthc", BIG_BLOCKS),
             stderr=re.compile(r"(\rPacking big\.mid: +\d+%)+\r +\r"), check=converts_back("big.mthc", BIG),
             windows=LINUX_ONLY, **PACK),
        Case("a device is written directly", ["-q", "-o", "/dev/null", "song.mid"], 0, files=song, stdout="",
             stderr="", only_files=["song.mid"], windows=LINUX_ONLY, **PACK),

        # Standard input and output.
        Case("a pipe through standard input and output", [], 0, runner=through_a_pipe, stdout=SONG, stderr="",
             only_files=[], **PACK),
        Case("binary data is never written to a terminal", [], 1, files=song, runner=on_a_terminal, stdout="",
             stderr="Error: refusing to write binary data to a terminal; use -o or redirect standard output\n",
             windows=LINUX_ONLY, **PACK),
        Case("standard input to a named output", ["-o", "out.mthc", "-"], 0, stdin=SONG,
             stdout=packed_size_line("standard input", "out.mthc"), stderr="", check=converts_back("out.mthc", SONG),
             **PACK),

        # Unpacking, checking and listing.
        Case("-d unpacks", ["-d", "song.mthc"], 0, files={"orig.mid": SONG},
             setup=prepared(["-o", "song.mthc", "orig.mid"]), stdout="Unpacked MThc song.mthc into MIDI song.mid "
             "(%d bytes)\n" % len(SONG), stderr="", expect_files={"song.mid": SONG}, **PACK),
        Case("a container is unpacked without -d", ["song.mthc"], 0, files={"orig.mid": SONG},
             setup=prepared(["-o", "song.mthc", "orig.mid"]), stdout="Unpacked MThc song.mthc into MIDI song.mid "
             "(%d bytes)\n" % len(SONG), stderr="", expect_files={"song.mid": SONG}, **PACK),
        Case("-d of a MIDI file", ["-d", "song.mid"], 1, files=song, stdout="",
             stderr="Error: song.mid: file does not start with MThc\n", **PACK),
        Case("-t of a sound container", ["-t", "song.mthc"], 0, files={"orig.mid": SONG},
             setup=prepared(["-o", "song.mthc", "orig.mid"]), stdout="song.mthc: OK\n", stderr="",
             only_files=["orig.mid", "song.mthc"], **PACK),
        Case("-t of a container one byte short", ["-t", "long.mthc"], 1, files={"orig.mid": LONG},
             setup=then(prepared(["-1", "-o", "long.mthc", "orig.mid"]), cut("long.mthc", -1)), stdout="",
             stderr=re.compile(r"Error: long\.mthc: the container declares (\d+) blocks but the file ends "
                               r"within block \d+\n"), **PACK),
        Case("-t of a container cut in half", ["-t", "long.mthc"], 1, files={"orig.mid": LONG},
             setup=then(prepared(["-1", "-o", "long.mthc", "orig.mid"]), cut("long.mthc", 40000)), stdout="",
             stderr=re.compile(r"Error: long\.mthc: the container declares \d+ blocks but the file ends "
                               r"within block \d+\n"), **PACK),
        Case("-d refuses a damaged container", ["-d", "long.mthc"], 1, files={"orig.mid": LONG},
             setup=then(prepared(["-1", "-o", "long.mthc", "orig.mid"]), cut("long.mthc", -1)), stdout="",
             stderr=re.compile(r"Error: long\.mthc: the container declares \d+ blocks but the file ends "
                               r"within block \d+\n"), only_files=["orig.mid", "long.mthc"], **PACK),
        Case("-l -v lists the music", ["-l", "-v", "song.mthc", "song.mid"], 0, files=song,
             setup=prepared(["-o", "song.mthc", "song.mid"]),
             stdout=re.compile(song_listing("song.mthc", True) + song_listing("song.mid", False)), stderr="",
             **PACK),
        Case("-l --json", ["-l", "--json", "song.mthc", "song.mid"], 0, files=song,
             setup=prepared(["-o", "song.mthc", "song.mid"]), stdout=song_json, stderr="", **PACK),
        Case("a track that does not read is packed as it is", ["u.mid"], 0, files={"u.mid": UNREADABLE},
             stdout=packed_size_line("u.mid", "u.mthc"),
             stderr="Warning: u.mid: track 1: undefined status byte at offset 4; the track is packed as it is, "
                    "but mthc-pack -t and -d will refuse the container (mthc-pack -d --as-is unpacks it)\n",
             check=converts_back("u.mthc", UNREADABLE), **PACK),
        Case("-t checks the music", ["-t", "u.mthc"], 1, files={"u.mid": UNREADABLE},
             setup=prepared(["u.mid"]), stdout="",
             stderr="Error: u.mthc: track 1: undefined status byte at offset 4\n", **PACK),
        Case("-d refuses a container whose music does not read", ["-d", "u.mthc"], 1,
             files={"u.mid": UNREADABLE}, setup=then(prepared(["u.mid"]), remove("u.mid")), stdout="",
             stderr="Error: u.mthc: track 1: undefined status byte at offset 4; mthc-pack -d --as-is unpacks it "
                    "as it is stored\n", only_files=["u.mthc"], **PACK),
        Case("-d --as-is unpacks it as it is stored", ["-d", "--as-is", "u.mthc"], 0,
             files={"u.mid": UNREADABLE}, setup=then(prepared(["u.mid"]), remove("u.mid")),
             stdout="Unpacked MThc u.mthc into MIDI u.mid (%d bytes)\n" % len(UNREADABLE),
             stderr="Warning: u.mthc: track 1: undefined status byte at offset 4; unpacked as it is stored\n",
             expect_files={"u.mid": UNREADABLE}, **PACK),
        Case("-d of a container made elsewhere, a track without end-of-track", ["-d", "x.mthc"], 1,
             files={"x.mthc": UNCLOSED}, stdout="",
             stderr="Error: x.mthc: track 0: no end-of-track event at offset 8; mthc-pack -d --as-is unpacks it "
                    "as it is stored\n", only_files=["x.mthc"], **PACK),
        Case("--as-is unpacks it as it is stored, without -d", ["--as-is", "-c", "x.mthc"], 0,
             files={"x.mthc": UNCLOSED}, stdout=UNCLOSED_MIDI,
             stderr="Warning: x.mthc: track 0: no end-of-track event at offset 8; unpacked as it is stored\n",
             only_files=["x.mthc"], **PACK),
        Case("--as-is with -t", ["-t", "--as-is", "u.mthc"], 1, stdout="",
             stderr="Error: option '--as-is' goes with unpacking, not with -t or -l\n" + PACK_USAGE, **PACK),
        Case("--strict: a track that does not read", ["--strict", "u.mid"], 1, files={"u.mid": UNREADABLE},
             stdout="", stderr="Error: u.mid: track 1: undefined status byte at offset 4 (--strict)\n",
             only_files=["u.mid"], **PACK),
        Case("a wildcard is expanded as a shell would", ["-q", "*.mid"], 0, files={"a.mid": SONG, "b.mid": OTHER},
             stdout="", stderr="", check=all_of(converts_back("a.mthc", SONG), converts_back("b.mthc", OTHER)),
             skip="the shell expands wildcards on Linux", windows={"skip": None}, **PACK),
        Case("-l of containers and a MIDI file: the total counts the containers",
             ["-l", "song.mthc", "a.mid", "other.mthc"], 0, files={"a.mid": SONG, "b.mid": OTHER},
             setup=then(prepared(["-o", "song.mthc", "a.mid"]), prepared(["-o", "other.mthc", "b.mid"])),
             stdout=re.compile(
                 r"blocks     packed       midi  ratio tracks format division  name\n"
                 r"     1 +(\d+) +%d +\d+\.\d%%      6      1      480  song\.mthc\n"
                 r"  midi          - +%d      -      6      1      480  a\.mid\n"
                 r"     1 +(\d+) +%d +\d+\.\d%%      2      1      480  other\.mthc\n"
                 r"     2 +\d+ +%d +\d+\.\d%%      8      -        -  \(total\)\n"
                 % (len(SONG), len(SONG), len(OTHER), len(SONG) + len(OTHER))), stderr="", **PACK),
        Case("SMPTE time in the listing", ["-l", "-v", "smpte.mid"], 0,
             files={"smpte.mid": midi_file([TEMPO], division=0xE728)},
             stdout="smpte.mid: format 1, 25 frames per second, 40 ticks per frame, 1 track, 0:00.0 (0.0 s)\n"
             "  %d bytes of MIDI\n"
             "  track   notes      bytes  channels         programs         name\n"
             "      0       0         11  -                -                \n" % (14 + 8 + len(TEMPO)),
             stderr="", **PACK),
        Case("SMPTE time in JSON", ["-l", "--json", "smpte.mid"], 0,
             files={"smpte.mid": midi_file([TEMPO], division=0xE728)},
             stdout='{"file":"smpte.mid","type":"midi","midi_bytes":%d,"format":1,"division":59176,'
             '"frames_per_second":25,"ticks_per_frame":40,"track_count":1,"end_tick":0,"duration_seconds":0.000,'
             '"tracks":[{"index":0,"name":"","channels":[],"programs":[],"notes":0,"events":2,"bytes":11,'
             '"end_tick":0,"fault":null}]}\n' % (14 + 8 + len(TEMPO)), stderr="", **PACK),
    ] + [
        # What could not be written to standard output is a failure.
        Case("a failed write to standard output: " + " ".join(args), args, 1, files={"orig.mid": SONG},
             setup=prepared(["-o", "song.mthc", "orig.mid"]), runner=into_a_full_device, stdout="",
             stderr="Error: failed writing to standard output\n", windows=LINUX_ONLY, **PACK)
        for args in (["-l", "song.mthc"], ["-l", "--json", "song.mthc"], ["-t", "song.mthc"], ["--help"],
                     ["-c", "orig.mid"])
    ] + [
        Case("-l lists containers", ["-l", "song.mthc", "other.mthc"], 0, files={"a.mid": SONG, "b.mid": OTHER},
             setup=then(prepared(["-o", "song.mthc", "a.mid"]), prepared(["-o", "other.mthc", "b.mid"])),
             stdout=re.compile(
                 r"blocks     packed       midi  ratio tracks format division  name\n"
                 r"     1 +\d+ +%d +\d+\.\d%%      6      1      480  song\.mthc\n"
                 r"     1 +\d+ +%d +\d+\.\d%%      2      1      480  other\.mthc\n"
                 r"     2 +\d+ +%d +\d+\.\d%%      8      -        -  \(total\)\n"
                 % (len(SONG), len(OTHER), len(SONG) + len(OTHER))), stderr="", **PACK),
    ] + word_cases() + recursive_cases() + output_cases()


# ---- Outputs, for the writer of both programs: what is found at the
# output's name, a race for it, signals while it is written, what the output
# keeps of the input, and a name as long as a name may be.

UNIX_NODES = {"skip": "Unix links, FIFOs, devices and sockets (which wine shows as files)"}
VICTIM = b"someone else's file"
UNPACKED = "Unpacked MThc song.mthc into MIDI song.mid (%d bytes)\n" % len(WORKED_MIDI)
DECOMPRESSED = WORKED_REPORT + "Decompressed MThc to MIDI song.mid (%d bytes)\n" % len(WORKED_MIDI)
EXTRACTED = WORKED_REPORT + "Extracted payload to song.mid\n"
KIND_OF_MODE = {stat.S_IFLNK: "link", stat.S_IFIFO: "FIFO", stat.S_IFCHR: "device", stat.S_IFSOCK: "socket",
                stat.S_IFREG: "file", stat.S_IFBLK: "block device", stat.S_IFDIR: "folder"}


class LoopDevice:
    """A disk for the tests to aim at: a loop device over a file of a known
    pattern, made on first use (as root, where losetup can) and detached when
    the suite ends."""
    PATTERN = bytes(range(256)) * 256

    def __init__(self):
        self.path, self.backing, self.why_not = None, None, None

    def get(self):
        if self.path or self.why_not:
            return self.path
        import atexit
        import tempfile
        if os.geteuid() != 0:
            self.why_not = "making a loop device needs root"
            return None
        handle, self.backing = tempfile.mkstemp(prefix="mthc-loop-")
        with os.fdopen(handle, "wb") as f:
            f.write(self.PATTERN)
        made = subprocess.run(["losetup", "--find", "--show", self.backing], capture_output=True, text=True)
        if made.returncode != 0:
            self.why_not = "losetup cannot make a loop device here: %s" % made.stderr.strip()
            os.remove(self.backing)
            return None
        self.path = made.stdout.strip()
        atexit.register(self.detach)
        return self.path

    def detach(self):
        subprocess.run(["losetup", "--detach", self.path], check=False)
        os.remove(self.backing)

    def untouched(self):
        with open(self.path, "rb") as f:
            return f.read(len(self.PATTERN)) == self.PATTERN


LOOP = LoopDevice()


def plant(kind):
    """A setup step: `kind` at song.mid, and elsewhere/ a file, a FIFO and a
    socket that are not the run's."""
    def setup(directory):
        elsewhere = os.path.join(directory, "elsewhere")
        os.makedirs(elsewhere)
        with open(os.path.join(elsewhere, "victim"), "wb") as f:
            f.write(VICTIM)
        os.mkfifo(os.path.join(elsewhere, "fifo"))
        with socket.socket(socket.AF_UNIX) as s:
            s.bind(os.path.join(elsewhere, "socket"))
        name = os.path.join(directory, "song.mid")
        if kind.startswith("link to "):
            os.symlink({"/dev/null": "/dev/null", "a FIFO": os.path.join(elsewhere, "fifo"),
                        "another file": os.path.join(elsewhere, "victim"), "a disk": LOOP.get(),
                        "a folder": elsewhere, "a socket": os.path.join(elsewhere, "socket")}[kind[8:]], name)
        elif kind == "FIFO":
            os.mkfifo(name)
        elif kind == "device":
            os.mknod(name, stat.S_IFCHR | 0o666, os.makedev(1, 3))  # /dev/null's numbers
        elif kind == "disk":
            os.mknod(name, stat.S_IFBLK | 0o600, os.stat(LOOP.get()).st_rdev)
        elif kind == "folder":
            os.mkdir(name)
        elif kind == "socket":
            with socket.socket(socket.AF_UNIX) as s:
                s.bind(name)
    return setup


def left(kind):
    """A check: song.mid is `kind` afterwards ("file": the MIDI file), and
    elsewhere/victim and the disk untouched."""
    def check(directory, tools):
        problems = []
        with open(os.path.join(directory, "elsewhere", "victim"), "rb") as f:
            if f.read() != VICTIM:
                problems.append("the file elsewhere was written through the link")
        if LOOP.path and not LOOP.untouched():
            problems.append("the disk %s was written" % LOOP.path)
        name = os.path.join(directory, "song.mid")
        found = KIND_OF_MODE.get(stat.S_IFMT(os.lstat(name).st_mode), "something else")
        if found != kind:
            problems.append("song.mid is a %s, expected a %s" % (found, kind))
        elif kind == "file":
            with open(name, "rb") as f:
                if f.read() != WORKED_MIDI:
                    problems.append("song.mid is not the MIDI file")
        return problems
    return check


def attack_cases():
    """What is found at the output's name, planted before the run: a name the
    program chose is only ever a regular file it creates or replaces, a link
    is replaced and never followed, a character device or FIFO is written
    only when the user named it, and a disk, a folder or a socket never is,
    however it is named, with -f too."""
    unpack = ["-d", "song.mthc"]
    exists = "Error: 'song.mid' already exists; use -f to overwrite it\n"
    folder = "Error: cannot create 'song.mid': Is a directory\n"
    rows = []  # (planted, program, arguments, status, stdout, stderr, what song.mid is afterwards)
    for planted in ("link to /dev/null", "link to a FIFO", "link to another file", "link to a disk",
                    "link to a socket"):
        rows.append((planted, "mthc-pack", unpack, 1, "", exists, "link"))
        rows.append((planted, "mthc-pack", ["-f"] + unpack, 0, UNPACKED, "", "file"))
    for planted in ("FIFO", "device", "disk", "socket"):
        what = "block device" if planted == "disk" else planted
        refused = "Error: 'song.mid' is a %s, not a regular file; it is not overwritten\n" % what
        rows.append((planted, "mthc-pack", unpack, 1, "", refused, planted))
        rows.append((planted, "mthc-pack", ["-f"] + unpack, 1, "", refused, planted))
    rows.append(("folder", "mthc-pack", ["-f"] + unpack, 1, "", folder, "folder"))
    # Named by the user: a character device or FIFO, directly or through a
    # link, is written; a disk, a folder or a socket never is.
    named = [("mthc", ["--decompress", "song.mid", "song.mthc"], DECOMPRESSED, WORKED_REPORT),
             ("mthc", ["--extract-payload", "song.mid", "song.mthc"], EXTRACTED, WORKED_REPORT),
             ("mthc-pack", ["-o", "song.mid"] + unpack, UNPACKED, ""),
             ("mthc-pack", ["-f", "-o", "song.mid"] + unpack, UNPACKED, ""),
             ("mthc-pack", ["-o", "song.mid", "in.mid"], re.compile(packed_size_line("in.mid", "song.mid").pattern),
              "")]
    for program, arguments, written, before_error in named:
        rows += [
            ("link to /dev/null", program, arguments, 0, written, "", "link"),
            ("link to a disk", program, arguments, 1, before_error,
             "Error: 'song.mid' is a link to a block device; it is not written through\n", "link"),
            ("link to a socket", program, arguments, 1, before_error,
             "Error: 'song.mid' is a link to a socket; it is not written through\n", "link"),
            ("link to a folder", program, arguments, 1, before_error, folder, "link"),
            ("disk", program, arguments, 1, before_error,
             "Error: 'song.mid' is a block device, not a regular file; it is not overwritten\n", "disk"),
            ("socket", program, arguments, 1, before_error,
             "Error: 'song.mid' is a socket, not a regular file; it is not overwritten\n", "socket"),
            ("folder", program, arguments, 1, before_error, folder, "folder"),
        ]
    rows.append(("link to another file", "mthc", ["--decompress", "song.mid", "song.mthc"], 0, DECOMPRESSED, "",
                 "file"))
    no_mknod = None if os.geteuid() == 0 else "making a device needs root"

    def skip(planted):
        if "disk" in planted:
            LOOP.get()
            return LOOP.why_not and "a disk: " + LOOP.why_not
        return no_mknod if planted == "device" else None
    return [Case("%s with %s at the output: %s" % (" ".join([program] + arguments), planted,
                                                   "exit %d" % status), arguments, status,
                 files={"song.mthc": WORKED, "in.mid": SONG}, setup=plant(planted), stdout=stdout, stderr=stderr,
                 check=left({"disk": "block device"}.get(after, after)), program=program, windows=UNIX_NODES,
                 skip=skip(planted))
            for planted, program, arguments, status, stdout, stderr, after in rows]


FLIPPER = """
import os, sys
name, targets = sys.argv[1], sys.argv[2:]
n = 0
while True:
    if os.path.lexists(name + ".new"):
        os.remove(name + ".new")
    os.symlink(targets[n % 2], name + ".new")
    os.replace(name + ".new", name)
    n += 1
"""


def race(runs):
    """A helper process flips song.mid between a link to /dev/null and a link
    to a file elsewhere, as fast as it can, while both programs write
    song.mid `runs` times each; stops at the first run that wrote the file
    elsewhere."""
    def runner(directory, command):
        victim = os.path.join(directory, "elsewhere", "victim")
        flipper = subprocess.Popen([sys.executable, "-c", FLIPPER, os.path.join(directory, "song.mid"),
                                    "/dev/null", victim])
        try:
            for n in range(runs):
                for label, tool in (("mthc-pack -d -f", command + ["-d", "-f", "song.mthc"]),
                                    ("mthc --decompress", TOOLS["mthc"] + ["--decompress", "song.mid", "song.mthc"])):
                    subprocess.run(tool, cwd=directory, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
                    with open(victim, "rb") as f:
                        if f.read() != VICTIM:
                            return 1, b"", ("run %d of %s wrote through the link\n" % (n + 1, label)).encode()
        finally:
            flipper.kill()
            flipper.wait()
        return 0, b"", b""
    return runner


# Signals from outside that end a run: each removes the temporary file.
ENDING_SIGNALS = ["SIGINT", "SIGTERM", "SIGHUP", "SIGQUIT", "SIGPIPE", "SIGALRM", "SIGUSR1", "SIGUSR2"]
# Windows ends a program with this status when Ctrl-C is pressed; wine
# reports its low byte to Linux. Wine delivers Ctrl-C to a program as a
# terminal does, by SIGINT to its process, which wine passes on to the
# program's console handlers as the console event.
STATUS_CONTROL_C_EXIT = 0xC000013A & 0xFF


def held(signal_number, ignored=None):
    """Runs the case's command held in the middle of writing its output (by
    hold_in_fsync, preloaded), signals it then, and lets it go on. With
    `ignored`, the run starts with that signal ignored, as under nohup."""
    def runner(directory, command):
        marker = os.path.join(directory, "held")
        environment = dict(os.environ, LD_PRELOAD=TOOLS["hold"], MTHC_TEST_HOLD=marker,
                           ASAN_OPTIONS=os.environ.get("ASAN_OPTIONS", "") + ":verify_asan_link_order=0")

        def start():
            resource.setrlimit(resource.RLIMIT_CORE, (0, 0))
            if ignored:
                signal.signal(ignored, signal.SIG_IGN)
        run = subprocess.Popen(command, cwd=directory, env=environment, stdout=subprocess.PIPE,
                               stderr=subprocess.PIPE, stdin=subprocess.DEVNULL, preexec_fn=start)
        deadline = time.monotonic() + 120
        while not os.path.exists(marker) and run.poll() is None and time.monotonic() < deadline:
            time.sleep(0.01)
        note = b"" if os.path.exists(marker) else b"[never held]\n"
        if run.poll() is None:
            os.kill(run.pid, signal_number)
        time.sleep(0.3)
        if ignored and run.poll() is not None:
            note += b"[ended by the ignored signal]\n"
        if os.path.exists(marker):
            os.remove(marker)
        out, err = run.communicate(timeout=60)
        return run.returncode, out, err + note
    return runner


def signal_cases():
    old = {"song.mid": SONG, "song.mthc": b"old"}
    three_old = {"a.mid": SONG, "a.mthc": b"old a", "b.mid": OTHER, "b.mthc": b"old b", "c.mid": SONG,
                 "c.mthc": b"old c"}
    no_hold = None if TOOLS.get("hold") else "needs tests/cli/hold_in_fsync.cpp, built"
    c = [Case("%s while the output is written keeps the previous file" % name, ["-f", "song.mid"],
              -getattr(signal, name), files=old, runner=held(getattr(signal, name)), stdout="", stderr="",
              expect_files=old, only_files=list(old), skip=no_hold, windows=dict(
                  skip=no_hold, status=STATUS_CONTROL_C_EXIT) if name == "SIGINT" else {
                  "skip": "no such signal on Windows"}, **PACK)
         for name in ENDING_SIGNALS]
    c += [
        Case("mthc: SIGINT while the MIDI file is written keeps the previous one",
             ["--decompress", "song.mid", "song.mthc"], -signal.SIGINT, files={"song.mthc": WORKED, "song.mid": b"old"},
             # The report, buffered for a pipe, goes with the process (msvcrt
             # has written it already).
             runner=held(signal.SIGINT), stdout="", stderr="",
             expect_files={"song.mid": b"old"}, only_files=["song.mthc", "song.mid"], skip=no_hold,
             windows=dict(skip=no_hold, status=STATUS_CONTROL_C_EXIT, stdout=WORKED_REPORT)),
        # Several outputs wait for one sync together: a signal then removes
        # every one of them, and every previous file stays.
        Case("SIGTERM while three outputs wait for their sync keeps the three previous files",
             ["-f", "a.mid", "b.mid", "c.mid"], -signal.SIGTERM, files=three_old, runner=held(signal.SIGTERM),
             stdout="", stderr="", expect_files=three_old, only_files=list(three_old), skip=no_hold,
             windows={"skip": "no such signal on Windows"}, **PACK),
        Case("SIGINT while three outputs wait for their sync keeps the three previous files",
             ["-f", "a.mid", "b.mid", "c.mid"], -signal.SIGINT, files=three_old, runner=held(signal.SIGINT),
             stdout="", stderr="", expect_files=three_old, only_files=list(three_old), skip=no_hold,
             windows=dict(skip=no_hold, status=STATUS_CONTROL_C_EXIT), **PACK),
        Case("SIGHUP inherited as ignored is left ignored", ["-f", "song.mid"], 0, files=old,
             runner=held(signal.SIGHUP, ignored=signal.SIGHUP), stdout=packed_size_line("song.mid", "song.mthc"),
             stderr="", check=converts_back("song.mthc", SONG), only_files=list(old), skip=no_hold,
             windows={"skip": "no such signal on Windows"}, **PACK),
    ]
    return c


def same_metadata(output, permissions, times_of=None):
    """A check: `output` has `permissions` (unless None) and the modification
    time of the file `times_of` (when given)."""
    def check(directory, tools):
        problems = []
        got = os.stat(os.path.join(directory, output))
        if permissions is not None and got.st_mode & 0o777 != permissions:
            problems.append("%s has permissions %o, expected %o" % (output, got.st_mode & 0o777, permissions))
        if times_of is not None:
            expected = os.stat(os.path.join(directory, times_of)).st_mtime_ns
            # Windows keeps times in steps of 100 ns.
            if abs(got.st_mtime_ns - expected) >= 100:
                problems.append("%s was modified at %d, expected %d" % (output, got.st_mtime_ns, expected))
        return problems
    return check


def with_metadata(name, permissions, modified=None):
    def setup(directory):
        path = os.path.join(directory, name)
        os.chmod(path, permissions)
        if modified is not None:
            os.utime(path, ns=(modified, modified))
    return setup


def metadata_cases():
    umask = os.umask(0)
    os.umask(umask)
    a_time = 981173106123456700  # 2001-02-03, in a step of 100 ns
    long_name = "a" * 246 + ".mid"  # 250 bytes: with ".mthc", 251
    return [
        Case("a packed file keeps the input's permissions and time", ["song.mid"], 0, files=song,
             setup=with_metadata("song.mid", 0o640, a_time), stdout=packed_size_line("song.mid", "song.mthc"),
             stderr="", check=same_metadata("song.mthc", 0o640, "song.mid"),
             windows={"check": same_metadata("song.mthc", None, "song.mid")}, **PACK),
        Case("an unpacked file keeps the container's", ["-d", "song.mthc"], 0, files={"song.mthc": WORKED},
             setup=with_metadata("song.mthc", 0o600, a_time), stdout=UNPACKED, stderr="",
             check=same_metadata("song.mid", 0o600, "song.mthc"),
             windows={"check": same_metadata("song.mid", None, "song.mthc")}, **PACK),
        Case("mthc: a new file is as private as the container", ["--decompress", "song.mid", "song.mthc"], 0,
             files={"song.mthc": WORKED}, setup=with_metadata("song.mthc", 0o600), stdout=DECOMPRESSED, stderr="",
             check=same_metadata("song.mid", 0o600 & ~umask), windows=LINUX_ONLY),
        Case("mthc: a replaced file keeps its permissions", ["--decompress", "song.mid", "song.mthc"], 0,
             files={"song.mthc": WORKED, "song.mid": b"old"}, setup=with_metadata("song.mid", 0o640),
             stdout=DECOMPRESSED, stderr="", check=same_metadata("song.mid", 0o640), windows=LINUX_ONLY),
        Case("a name of 250 bytes packs beside itself", [long_name], 0, files={long_name: SONG},
             stdout=packed_size_line(long_name, long_name[:-4] + ".mthc"), stderr="",
             check=converts_back(long_name[:-4] + ".mthc", SONG), only_files=[long_name, long_name[:-4] + ".mthc"],
             **PACK),
    ]


def both_streams(arguments):
    """A runner: standard error goes where standard output goes, so that
    the order of all the lines shows."""
    def runner(directory, command):
        done = subprocess.run(command + arguments, cwd=directory, stdout=subprocess.PIPE,
                              stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL)
        return done.returncode, done.stdout, b""
    return runner


def batch_cases():
    """The outputs of a run wait for one sync together, up to 32 of them:
    each file's lines still come in the order of the files, after its output
    is in place, and the outputs of more files than wait at once are all
    written."""
    many = {"s%02d.mid" % i: (SONG, OTHER)[i % 2] for i in range(40)}
    empty_track = "Warning: e.mid: 2 tracks are empty (1, 3); they will unpack as end-of-track events " \
                  "(00 ff 2f 00)\n"
    return [
        Case("lines in the order of the files, with a failure between outputs", [], 1,
             files={"a.mid": SONG, "b.mid": b"RIFX", "e.mid": WITH_EMPTY, "song.mthc": WORKED, "x.mthc": b"old"},
             runner=both_streams(["a.mid", "b.mid", "e.mid", "song.mthc", "x.mid"]),
             stdout=re.compile(packed_size_line("a.mid", "a.mthc").pattern
                               + re.escape("Error: b.mid: not a MIDI file (no MThd header)\n" + empty_track)
                               + packed_size_line("e.mid", "e.mthc").pattern + re.escape(
                                   UNPACKED + "Error: cannot open 'x.mid': No such file or directory\n")),
             expect_files={"song.mid": WORKED_MIDI, "x.mthc": b"old"},
             check=all_of(converts_back("a.mthc", SONG), converts_back("e.mthc", WITH_EMPTY_BACK)), **PACK),
        Case("40 files: more than wait for one sync", ["-1"] + sorted(many), 0, files=many,
             stdout=re.compile("".join(packed_size_line(n, n[:-4] + ".mthc").pattern for n in sorted(many))),
             stderr="", only_files=list(many) + [n[:-4] + ".mthc" for n in many],
             check=all_of(*[converts_back(n[:-4] + ".mthc", data) for n, data in sorted(many.items())[::13]]),
             **PACK),
        Case("40 files unpacked over their previous outputs", ["-f", "-d"] + ["s%02d.mthc" % i for i in range(40)],
             0, files={"s%02d.mthc" % i: WORKED for i in range(40)} | {"s%02d.mid" % i: b"old" for i in range(40)},
             stdout="".join("Unpacked MThc s%02d.mthc into MIDI s%02d.mid (46 bytes)\n" % (i, i) for i in range(40)),
             stderr="", expect_files={"s%02d.mid" % i: WORKED_MIDI for i in range(40)},
             only_files=["s%02d.%s" % (i, e) for i in range(40) for e in ("mid", "mthc")], **PACK),
    ]


def output_cases():
    return attack_cases() + batch_cases() + [
        Case("a race for the output's name never writes through a link", [], 0,
             files={"song.mthc": WORKED, "elsewhere/victim": VICTIM}, runner=race(100), stdout="", stderr="",
             windows=UNIX_NODES, **PACK),
    ] + signal_cases() + metadata_cases()


TOOLS = {}

if __name__ == "__main__":
    known = argparse.ArgumentParser(add_help=False)
    known.add_argument("--mthc")
    known.add_argument("--mthc-pack")
    known.add_argument("--emulator", default="")
    known.add_argument("--hold-library")
    seen, _ = known.parse_known_args()
    emulator = seen.emulator.split() if seen.emulator else []
    TOOLS["mthc-pack"] = emulator + [os.path.abspath(seen.mthc_pack)]
    TOOLS["mthc"] = emulator + [os.path.abspath(seen.mthc)]
    TOOLS["hold"] = seen.hold_library and os.path.abspath(seen.hold_library)
    sys.exit(main(cases()))
