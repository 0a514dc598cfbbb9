"""End-to-end cases of file names in any language and of long paths, for both
programs: opened, created and printed byte for byte as they were given. And
files dropped on mthc-pack, which on Windows starts it in a console window of
its own that it keeps open until Enter is pressed.

On Linux these hold without further ado; the Windows executables need their
manifest (UTF-8 as the process code page, long paths) for every one of them."""

import os
import pty
import re
import subprocess
import sys
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from cli_harness import Case, main  # noqa: E402
from mthc_cli_test import WORKED, WORKED_MIDI, WORKED_REPORT  # noqa: E402
from mthc_pack_cli_test import OTHER, SONG, all_of, converts_back, packed_size_line  # noqa: E402
from midi_builder import midi_file, variable_length  # noqa: E402

PACK = dict(program="mthc-pack")
# Names that hold control characters or bytes that are not UTF-8 are Linux's
# alone: Windows keeps names in UTF-16, without control characters.
LINUX_NAMES = {"skip": "a name that Windows cannot hold"}


def named_track(name):
    return b"\x00\xff\x03" + variable_length(len(name)) + name + b"\x00\xff\x2f\x00"


def lossless(name):
    """A track name as the listing's JSON gives it, worked out here: as it is
    when Python's strict decoder takes it; else each byte that is not part of
    a UTF-8 sequence as \\xHH and each backslash doubled, and marked."""
    try:
        return name.decode("utf-8"), False
    except UnicodeDecodeError:
        return name.replace(b"\\", b"\\\\").decode("utf-8", "backslashreplace"), True


# Every lead byte above ASCII, alone, cut short, and before the continuation
# bytes that make overlong forms, encoded surrogates and code points above
# U+10FFFF; and the name of the page's garbled example.
ENUMERATED = [b"a" + bytes([lead]) + tail for lead in range(0x80, 0x100)
              for tail in (b"", b"\x80", b"\xbf", b"\x80\x80", b"\xa0\x80", b"\x90\x80\x80", b"\x8f\xbf\xbf")]
ENUMERATED.append("Ünïcödé ♪ трек".encode())
# Control characters, a backslash, and both in a name that is not UTF-8.
ENUMERATED += [b"a\x1bb\x00c\x7f\xc2\x85", b"back\\slash", b"a\x1bb\x00c\xc0\xaf\\"]
NAMED = midi_file([named_track(n) for n in ENUMERATED])


def strict_json_names(text):
    """Every line is JSON in well-formed UTF-8, and each track's name is the
    stored bytes, losslessly."""
    import json
    if "\ufffd" in text:
        return ["the output is not well-formed UTF-8"]
    got = [(track["name"], track.get("name_escaped", False)) for track in json.loads(text)["tracks"]]
    expected = [lossless(n) for n in ENUMERATED]
    return [] if got == expected else ["names differ: %s" % [(a, b) for a, b in zip(got, expected) if a != b][:5]]


def json_files(expected, raw_safe=False):
    """The "file" of each line, with "file_escaped" where it has one; with
    `raw_safe`, no control character or character that reorders a line is in
    the text as it is (JSON's escapes stand for them)."""
    def check(text):
        import json
        if raw_safe:
            raw = [c for c in text if ord(c) < 0x20 and c != "\n" or 0x7f <= ord(c) < 0xa0
                   or 0x2028 <= ord(c) <= 0x202e or 0x2066 <= ord(c) <= 0x2069]
            if raw:
                return ["the JSON holds %s as it is" % ascii("".join(raw))]
        got = [{k: v for k, v in json.loads(line).items() if k in ("file", "file_escaped")}
               for line in text.splitlines()]
        return [] if got == expected else ["files %s, expected %s" % (got, expected)]
    return check
PROMPT = "Press Enter to close this window.\n"
# More than the 260 characters of a classic Windows path, in directories of
# 20 characters each (and of 38 bytes in UTF-8).
LONG = "/".join("Μουσική-κατάλογος-%02d" % i for i in range(14))
assert len(LONG) > 260


def directories(*names):
    def setup(directory):
        for name in names:
            os.makedirs(os.path.join(directory, name))
    return setup


def windows_path(path):
    """A path as Windows programs see it under wine: the Linux root is drive Z:."""
    return "Z:" + path.replace("/", "\\")


# A container and a MIDI file, dropped together; each is converted beside itself.
DROPPED = {"Μουσική ♪.mthc": WORKED, "音楽/Музыка.mid": SONG}


def dropped_lines(separator):
    return re.compile(
        re.escape("Unpacked MThc Μουσική ♪.mthc into MIDI Μουσική ♪.mid (%d bytes)\n" % len(WORKED_MIDI))
        + packed_size_line("音楽%sМузыка.mid" % separator, "音楽%sМузыка.mthc" % separator).pattern)


def in_a_console(windows, from_a_prompt=False):
    """Runs mthc-pack on the full paths of DROPPED, as the file manager starts
    a program that files are dropped on, with standard input a terminal: wine
    then gives the program a console of its own, as Windows does after a
    drop. With `from_a_prompt` it is started by a command prompt in its
    console instead. Enter is pressed once the program asks for it, and not
    before; what it prints is returned with the folder's path taken out."""
    def runner(directory, command):
        separator = "\\" if windows else "/"
        folder = (windows_path(directory) if windows else directory) + separator
        if from_a_prompt:
            command = command[:-1] + ["cmd", "/c", windows_path(command[-1])]
        leader, follower = pty.openpty()
        run = subprocess.Popen(command + [folder + n.replace("/", separator) for n in DROPPED],
                               cwd=directory, stdin=follower, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        os.close(follower)
        streams = {run.stdout: bytearray(), run.stderr: bytearray()}

        def collect(stream):
            for piece in iter(lambda: stream.read1(4096), b""):
                streams[stream] += piece
        readers = [threading.Thread(target=collect, args=(s,)) for s in streams]
        for reader in readers:
            reader.start()
        note = b""
        deadline = time.monotonic() + 120
        while run.poll() is None and b"Press Enter" not in streams[run.stderr] and time.monotonic() < deadline:
            time.sleep(0.05)
        if b"Press Enter" in streams[run.stderr]:
            time.sleep(0.5)
            if run.poll() is not None:
                note = b"[closed without waiting for Enter]\n"
            os.write(leader, b"\r")
        try:
            run.wait(timeout=60)
        except subprocess.TimeoutExpired:
            run.kill()
            run.wait()
            note += b"[still open after Enter]\n"
        for reader in readers:
            reader.join()
        os.close(leader)
        out, err = (bytes(streams[s]).replace(folder.encode(), b"") for s in (run.stdout, run.stderr))
        return run.returncode, out, err + note
    return runner


# Names that would pass for others: each with the text both programs show
# for it, and whether Windows can hold it. A backslash is doubled, so that a
# name holding the four characters \x1b differs from one holding an ESC; the
# characters that reorder or break a line are escaped like C1 controls.
SPOOFS = [
    ("\\x1b.mthc", "\\\\x1b.mthc", False),
    ("\x1b.mthc", "\\x1b.mthc", False),
    ("a\\\\b.mthc", "a\\\\\\\\b.mthc", False),
    ("evil\u202egpj.mthc", "evil\\u202egpj.mthc", True),
    ("\u202a\u202b\u202c\u202d.mthc", "\\u202a\\u202b\\u202c\\u202d.mthc", True),
    ("\u2066i\u2067j\u2068k\u2069.mthc", "\\u2066i\\u2067j\\u2068k\\u2069.mthc", True),
    ("line\u2028para\u2029.mthc", "line\\u2028para\\u2029.mthc", True),
    # Not a control: shown as it is.
    ("zero\u200bwidth.mthc", "zero\u200bwidth.mthc", True),
]


def spoof_cases():
    anywhere = [(n, shown) for n, shown, windows in SPOOFS if windows]
    linux = [(n, shown) for n, shown, windows in SPOOFS if not windows]
    c = []
    for label, rows, platforms in (("", anywhere, {}), (" (Linux)", linux, LINUX_NAMES)):
        c.append(Case("mthc-pack -t: names that would pass for others%s" % label, ["-t"] + [n for n, _ in rows], 0,
                      files={n: WORKED for n, _ in rows}, stdout="".join("%s: OK\n" % shown for _, shown in rows),
                      stderr="", windows=platforms, **PACK))
        c.append(Case("mthc-pack -l --json: names that would pass for others%s" % label,
                      ["-l", "--json"] + [n for n, _ in rows], 0, files={n: WORKED for n, _ in rows},
                      stdout=json_files([{"file": n} for n, _ in rows], raw_safe=True), stderr="",
                      windows=platforms, **PACK))
    for name, shown, windows in SPOOFS:
        c.append(Case("mthc: a missing file named %s" % ascii(name), [name], 1, stdout="",
                      stderr="Error: cannot open '%s': No such file or directory\n" % shown,
                      windows={} if windows else LINUX_NAMES))
    c.append(Case("mthc: an output whose name reverses the line", ["--decompress", "a\u202edim.mthc", "in.mthc"], 0,
                  files={"in.mthc": WORKED}, stdout=WORKED_REPORT + "Decompressed MThc to MIDI a\\u202edim.mthc "
                  "(46 bytes)\n", stderr="", expect_files={"a\u202edim.mthc": WORKED_MIDI}))
    # Track names: a backslash doubled, the line's order kept.
    c.append(Case("mthc-pack -l -v: track names that would pass for others", ["-l", "-v", "t.mid"], 0,
                  files={"t.mid": midi_file([named_track(b"\\x1b"), named_track(b"\x1b"),
                                             named_track("a\u202eb\u2028c\u2066".encode())])},
                  stdout=re.compile(r".*\n.*\n.*\n" + "".join(
                      r"  +%d +0 +\d+  - +- +%s\n" % (t, re.escape(n))
                      for t, n in enumerate(["\\\\x1b", "\\x1b", "a\\u202eb\\u2028c\\u2066"]))),
                  stderr="", **PACK))
    return c


def cases():
    report_then = WORKED_REPORT + "Decompressed MThc to MIDI %s (46 bytes)\n"
    return spoof_cases() + [
        # mthc: one container in, its payload and its MIDI file out.
        Case("mthc: names in any language, in and out, in folders so named",
             ["--extract-payload", "音楽/Музыка.bin", "--decompress", "dir ♪/Müsik.mid", "Μουσική ♪.mthc"], 0,
             files={"Μουσική ♪.mthc": WORKED}, setup=directories("音楽", "dir ♪"),
             stdout=WORKED_REPORT + "Extracted payload to 音楽/Музыка.bin\n"
             "Decompressed MThc to MIDI dir ♪/Müsik.mid (46 bytes)\n", stderr="",
             expect_files={"音楽/Музыка.bin": WORKED[16:], "dir ♪/Müsik.mid": WORKED_MIDI}),
        Case("mthc: a missing file named in any language", ["Müsik ♪ Théme.mthc"], 1, stdout="",
             stderr="Error: cannot open 'Müsik ♪ Théme.mthc': No such file or directory\n"),
        Case("mthc: a path longer than 260 characters", ["--decompress", LONG + "/音楽.mid", LONG + "/Μουσική ♪.mthc"],
             0, files={LONG + "/Μουσική ♪.mthc": WORKED}, stdout=report_then % (LONG + "/音楽.mid"), stderr="",
             expect_files={LONG + "/音楽.mid": WORKED_MIDI}),

        # mthc-pack: files beside themselves.
        Case("mthc-pack: packing names in any language, in a folder so named",
             ["Müsik ♪ Théme.mid", "音楽/Музыка.midi"], 0, files={"Müsik ♪ Théme.mid": SONG, "音楽/Музыка.midi": OTHER},
             stdout=re.compile(packed_size_line("Müsik ♪ Théme.mid", "Müsik ♪ Théme.mthc").pattern
                               + packed_size_line("音楽/Музыка.midi", "音楽/Музыка.mthc").pattern), stderr="",
             check=all_of(converts_back("Müsik ♪ Théme.mthc", SONG), converts_back("音楽/Музыка.mthc", OTHER)),
             **PACK),
        Case("mthc-pack: unpacking a name in any language", ["Μουσική ♪.mthc"], 0, files={"Μουσική ♪.mthc": WORKED},
             stdout="Unpacked MThc Μουσική ♪.mthc into MIDI Μουσική ♪.mid (46 bytes)\n", stderr="",
             expect_files={"Μουσική ♪.mid": WORKED_MIDI}, **PACK),
        Case("mthc-pack: a missing file named in any language", ["Музыка ♪.mid"], 1, stdout="",
             stderr="Error: cannot open 'Музыка ♪.mid': No such file or directory\n", **PACK),
        Case("mthc-pack: an existing output named in any language is kept", ["音楽.mid"], 1,
             files={"音楽.mid": SONG, "音楽.mthc": b"old"}, stdout="",
             stderr="Error: '音楽.mthc' already exists; use -f to overwrite it\n",
             only_files=["音楽.mid", "音楽.mthc"], expect_files={"音楽.mthc": b"old"}, **PACK),
        Case("mthc-pack: a path longer than 260 characters", [LONG + "/Müsik.mid", LONG + "/音楽.mthc"], 0,
             files={LONG + "/Müsik.mid": SONG, LONG + "/音楽.mthc": WORKED},
             stdout=re.compile(packed_size_line(LONG + "/Müsik.mid", LONG + "/Müsik.mthc").pattern
                               + re.escape("Unpacked MThc %s/音楽.mthc into MIDI %s/音楽.mid (46 bytes)\n"
                                           % (LONG, LONG))),
             stderr="", expect_files={LONG + "/音楽.mid": WORKED_MIDI}, check=converts_back(LONG + "/Müsik.mthc", SONG),
             **PACK),
        # Only the file's identity tells that the two names are one file.
        Case("mthc-pack: an input named two ways at a long path is not overwritten",
             ["-f", "-o", "./%s/Müsik.mid" % LONG, LONG + "/Müsik.mid"], 1, files={LONG + "/Müsik.mid": SONG},
             stdout="", stderr="Error: './%s/Müsik.mid' is an input of this run; it is not overwritten\n" % LONG,
             only_files=[LONG + "/Müsik.mid"], expect_files={LONG + "/Müsik.mid": SONG}, **PACK),
        Case("mthc-pack: an output that is a folder at a long path", ["-o", LONG + "/d", LONG + "/Müsik.mid"], 1,
             files={LONG + "/Müsik.mid": SONG}, setup=directories(LONG + "/d"), stdout="",
             stderr="Error: cannot create '%s/d': Is a directory\n" % LONG, only_files=[LONG + "/Müsik.mid"],
             **PACK),

        # Names from files never reach a terminal raw: control characters and
        # bytes that are not UTF-8 show as escapes.
        Case("mthc: a missing file whose name would retitle the terminal", ["\x1b]2;owned\x07.mthc"], 1,
             stdout="", stderr="Error: cannot open '\\x1b]2;owned\\x07.mthc': No such file or directory\n",
             windows=LINUX_NAMES),
        Case("mthc: an output named with a control character", ["in.mthc", "--decompress", "out\x07.mid"], 0,
             files={"in.mthc": WORKED}, stdout=WORKED_REPORT + "Decompressed MThc to MIDI out\\x07.mid (46 bytes)\n",
             stderr="", expect_files={"out\x07.mid": WORKED_MIDI}, windows=LINUX_NAMES),
        Case("mthc-pack: names with escapes, C1 controls and bytes that are not UTF-8",
             ["-t", "\x1b[31mred\u0085.mthc", "b\udcffd.mthc"], 0,
             files={"\x1b[31mred\u0085.mthc": WORKED, "b\udcffd.mthc": WORKED},
             stdout="\\x1b[31mred\\u0085.mthc: OK\nb\\xffd.mthc: OK\n", stderr="", windows=LINUX_NAMES, **PACK),
        Case("mthc-pack: track names with escapes", ["-l", "-v", "t.mid"], 0,
             files={"t.mid": midi_file([named_track(b"\x1b]2;x\x07"), named_track(b"caf\xe9"),
                                        named_track(b"\xc2\x85"), named_track("Ünïcödé ♪ трек".encode())])},
             stdout=re.compile(r".*\n.*\n.*\n"
                               + "".join(r"  +%d +0 +\d+  - +- +%s\n" % (t, re.escape(n)) for t, n in enumerate(
                                   ["\\x1b]2;x\\x07", "caf\\xe9", "\\u0085", "Ünïcödé ♪ трек"]))),
             stderr="", **PACK),
        # --json is JSON in well-formed UTF-8, whatever the names hold, and
        # its "file" names the file losslessly.
        Case("mthc-pack: --json of every kind of broken UTF-8", ["-l", "--json", "named.mid"], 0,
             files={"named.mid": NAMED}, stdout=strict_json_names, stderr="", **PACK),
        Case("mthc-pack: --json names files losslessly",
             ["-l", "--json", "a\nb.mthc", "ab.mthc", "caf\udce9.mthc", "x\\y\udcff.mthc"], 0,
             files={n: WORKED for n in ["a\nb.mthc", "ab.mthc", "caf\udce9.mthc", "x\\y\udcff.mthc"]},
             stdout=json_files([{"file": "a\nb.mthc"}, {"file": "ab.mthc"},
                                {"file": "caf\\xe9.mthc", "file_escaped": True},
                                {"file": "x\\\\y\\xff.mthc", "file_escaped": True}]),
             stderr="", windows=LINUX_NAMES, **PACK),

        # Files dropped on mthc-pack.
        Case("mthc-pack: a container and a MIDI file dropped together", [], 0, files=DROPPED,
             runner=in_a_console(False), stdout=dropped_lines("/"), stderr="",
             expect_files={"Μουσική ♪.mid": WORKED_MIDI}, check=converts_back("音楽/Музыка.mthc", SONG),
             windows={"runner": in_a_console(True), "stdout": dropped_lines("\\"), "stderr": PROMPT}, **PACK),
        Case("mthc-pack: started from a command prompt it does not wait", [], 0, files=DROPPED,
             skip="a Windows command prompt",
             windows={"skip": None, "runner": in_a_console(True, from_a_prompt=True),
                      "stdout": dropped_lines("\\"), "stderr": ""}, **PACK),
    ]


if __name__ == "__main__":
    sys.exit(main(cases()))
