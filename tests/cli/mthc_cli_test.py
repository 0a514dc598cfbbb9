"""End-to-end cases of the mthc command line: arguments, loading, validation,
report, preview, extraction and conversion."""

import os
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from block_stream import BitWriter, literal_block, single_block_container  # noqa: E402
from cli_harness import USAGE, Case, main  # noqa: E402


def hexbytes(text):
    return bytes.fromhex(text.replace("\n", " "))


WORKED = hexbytes(
    "4d 54 68 63 01 00 24 00 29 ff 4d 54 68 70 00 00 00 06 ff 00 01 00 02 00 60 00 00 ff 00 00 02"
    " 00 00 0c 00 90 ff 3c 40 60 80 3c 00 00 ff f0 2f 00 00 00")
WORKED_MIDI = hexbytes(
    "4d 54 68 64 00 00 00 06 00 01 00 02 00 60 4d 54 72 6b 00 00 00 0c 00 90 3c 40 60 80 3c 00 00"
    " ff 2f 00 4d 54 72 6b 00 00 00 04 00 ff 2f 00")
WORKED_REPORT = (
    "MThc container\n"
    "  file size      : 50 bytes\n"
    "  outer header   : 01 00 24 00 29 ff\n"
    "  MThp control   : 00 00\n"
    "  payload offset : 16\n"
    "  payload size   : 34 bytes\n")


def container(payload, head=b"MThc\x01\x02\x03\x04\x05\x06", tag=b"MThp", control=b"\xab\x0c"):
    return head + tag + control + payload


def report(data):
    return ("MThc container\n"
            "  file size      : %d bytes\n"
            "  outer header   : %s\n"
            "  MThp control   : %s\n"
            "  payload offset : 16\n"
            "  payload size   : %d bytes\n") % (
                len(data), " ".join("%02x" % b for b in data[4:10]),
                " ".join("%02x" % b for b in data[14:16]), len(data) - 16)


def preview_lines(payload):
    shown = payload[:96]
    text = "  payload preview\n"
    for o in range(0, len(shown), 16):
        text += "%04x:" % o + "".join(" %02x" % b for b in shown[o:o + 16]) + "\n"
    return text


def room_filling_block(first):
    w = BitWriter()
    for b in first:
        w.literal(b)
    w.repeat_match(0xFFFFFF00 - 3)
    return w.bytes()


def blocks_container(blocks):
    out = bytearray(b"MThc" + bytes([len(blocks)]))
    for declared, packed in blocks:
        out += declared.to_bytes(2, "big") + len(packed).to_bytes(2, "big") + packed
    return bytes(out)


# Every block declares 65535 bytes and fills all the room it is given, so the
# decoded stream doubles with every block: 14 blocks would need 128 MiB.
STREAM_BOMB = blocks_container([(0xFFFF, room_filling_block(b"MThp"))] + [(0xFFFF, room_filling_block(b"\0"))] * 13)
# 65535 tracks and a stream of 0xFF after its header: every block start reads
# as 65535 records of 65535 bytes, so each block gathers the 8 MiB stream again.
GATHER_BOMB = blocks_container(
    [(0xFFFF, room_filling_block(b"MThp\0\0\0\x06\0\x01\xff\xff\0\x60\xff\xff\xff"))]
    + [(0xFFFF, room_filling_block(b"\xff"))] * 7 + [(0xFFFF, b"")] * 32)


USAGE_FAIL = dict(status=1, stdout="", stderr=USAGE)
PAYLOAD20 = bytes(range(0xF0, 0xF0 + 16)) + b"\x00\x01\x0a\xff"
PAYLOAD200 = bytes((i * 37) & 0xFF for i in range(200))
SIXTEEN = container(b"")
STREAM18 = b"MThp\x00\x00\x00\x06\x00\x01\x00\x02\x00\x60\x00\x00\x00\x00"
TWO_EMPTY_TRACKS = STREAM18[:0] + b"MThd" + STREAM18[4:14] + (b"MTrk\x00\x00\x00\x04\x00\xff\x2f\x00" * 2)


# Two blocks of literals: a stream header and a record of track 0 in block 0,
# one more record in block 1. Cut and damaged, it still converts, with a warning.
def records(*datas):
    out = b"\0\0" + len(datas).to_bytes(2, "little")
    return out + b"".join(len(d).to_bytes(2, "big") + d for d in datas)


TWO_BLOCK_STREAM = (b"MThp\0\0\0\x06\0\x00\0\x01\0\x60\0\0" + records(b"\x00\x90\x3c\x40"),
                    records(b"\x60\x80\x3c\x00\x00\xff\x2f\x00"))
TWO_BLOCKS = blocks_container([(len(b), literal_block(b)) for b in TWO_BLOCK_STREAM])
TWO_BLOCKS_MIDI = (b"MThd\0\0\0\x06\0\x00\0\x01\0\x60MTrk\0\0\0\x0c"
                   + b"\x00\x90\x3c\x40\x60\x80\x3c\x00\x00\xff\x2f\x00")
FIRST_BLOCK_MIDI = b"MThd\0\0\0\x06\0\x00\0\x01\0\x60MTrk\0\0\0\x04\x00\x90\x3c\x40"
# Block 1 declares two bytes more than it decodes to.
SHORT_BLOCK = blocks_container([(len(TWO_BLOCK_STREAM[0]), literal_block(TWO_BLOCK_STREAM[0])),
                                (len(TWO_BLOCK_STREAM[1]) + 2, literal_block(TWO_BLOCK_STREAM[1]))])


def make_sparse(directory):
    # 2 GiB exactly: one byte more than a signed 32-bit count can hold.
    with open(os.path.join(directory, "big.mthc"), "wb") as f:
        f.truncate(2 ** 31)


def cases():
    worked = {"in.mthc": WORKED}
    incomplete = [
        # A container that is whole converts without a word beyond the success line.
        ("whole", TWO_BLOCKS, TWO_BLOCKS_MIDI, ""),
        ("one byte short", TWO_BLOCKS[:-1], FIRST_BLOCK_MIDI,
         "Warning: the container declares 2 blocks but the file ends within block 1; "
         "the MIDI file is incomplete\n"),
        ("without its last block", TWO_BLOCKS[:9 + len(literal_block(TWO_BLOCK_STREAM[0]))], FIRST_BLOCK_MIDI,
         "Warning: the container declares 2 blocks but the file holds only 1; the MIDI file is incomplete\n"),
        ("a block shorter than declared", SHORT_BLOCK, TWO_BLOCKS_MIDI,
         "Warning: block 1 decodes to 14 bytes but declares 16; the MIDI file is incomplete\n"),
    ]
    c = [
        # Arguments.
        Case("no arguments", [], **USAGE_FAIL),
        Case("verbose alone", ["-v"], **USAGE_FAIL),
        Case("options with values only", ["--extract-payload", "p", "--decompress", "m"], **USAGE_FAIL),
        Case("decompress missing its value", ["in.mthc", "--decompress"], files=worked, **USAGE_FAIL),
        Case("extract-payload missing its value", ["in.mthc", "--extract-payload"], files=worked, **USAGE_FAIL),
        Case("two positional arguments", ["a.mthc", "b.mthc"], status=1, stdout="",
             stderr="Error: unexpected argument 'b.mthc'\n" + USAGE),
        Case("second positional before help", ["a.mthc", "b.mthc", "--help"], status=1, stdout="",
             stderr="Error: unexpected argument 'b.mthc'\n" + USAGE),
        Case("help before positional arguments", ["--help", "a.mthc", "b.mthc"], status=0, stdout="", stderr=USAGE),
        Case("short help after the input", ["in.mthc", "-h"], files=worked, status=0, stdout="", stderr=USAGE),
        Case("unknown option is the input path", ["-x"], status=1, stdout="",
             stderr="Error: cannot open '-x': No such file or directory\n"),
        Case("options before the input", ["-v", "--extract-payload", "p.bin", "in.mthc"], files=worked, status=0,
             stdout=WORKED_REPORT + preview_lines(WORKED[16:]) + "Extracted payload to p.bin\n", stderr="",
             expect_files={"p.bin": WORKED[16:]}),
        Case("options after the input", ["in.mthc", "--extract-payload", "p.bin", "--verbose"], files=worked,
             status=0, stdout=WORKED_REPORT + preview_lines(WORKED[16:]) + "Extracted payload to p.bin\n",
             stderr="", expect_files={"p.bin": WORKED[16:]}),
        Case("extract-payload takes -v as its path", ["--extract-payload", "-v", "in.mthc"], files=worked,
             status=0, stdout=WORKED_REPORT + "Extracted payload to -v\n", stderr="",
             expect_files={"-v": WORKED[16:]}),
        # Loading and validation.
        Case("missing input file", ["none.mthc"], status=1, stdout="",
             stderr="Error: cannot open 'none.mthc': No such file or directory\n"),
        Case("input path is a directory", ["d"], setup=lambda d: os.mkdir(os.path.join(d, "d")), status=1,
             stdout="", stderr="Error: cannot open 'd': Is a directory\n"),
        Case("empty file", ["e.mthc"], files={"e.mthc": b""}, status=1, stdout="",
             stderr="Error: file is too small to be an MThc container\n"),
        Case("15-byte file", ["s.mthc"], files={"s.mthc": SIXTEEN[:15]}, status=1, stdout="",
             stderr="Error: file is too small to be an MThc container\n"),
        Case("wrong first tag", ["w.mthc"], files={"w.mthc": b"MThd" + SIXTEEN[4:]}, status=1, stdout="",
             stderr="Error: file does not start with MThc\n"),
        Case("wrong second tag", ["w.mthc"], files={"w.mthc": container(b"", tag=b"MThd")}, status=1, stdout="",
             stderr="Error: expected MThp tag at offset 10\n"),
        Case("file of 2 GiB", ["big.mthc"], setup=make_sparse, status=1, stdout="",
             stderr="Error: cannot determine size of 'big.mthc': Value too large for defined data type\n",
             # msvcrt.dll has no text for EOVERFLOW; the tool reports EFBIG there.
             windows=dict(stderr="Error: cannot determine size of 'big.mthc': File too large\n")),
        # Report, preview and extraction.
        Case("16-byte container", ["-v", "--extract-payload", "p.bin", "s.mthc"], files={"s.mthc": SIXTEEN},
             status=0, stdout=report(SIXTEEN) + "  payload preview\nExtracted payload to p.bin\n", stderr="",
             expect_files={"p.bin": b""}),
        Case("preview of 20 bytes", ["-v", "c.mthc"], files={"c.mthc": container(PAYLOAD20)}, status=0,
             stdout=report(container(PAYLOAD20)) + "  payload preview\n"
             "0000: f0 f1 f2 f3 f4 f5 f6 f7 f8 f9 fa fb fc fd fe ff\n0010: 00 01 0a ff\n", stderr=""),
        Case("preview of 200 bytes", ["-v", "c.mthc"], files={"c.mthc": container(PAYLOAD200)}, status=0,
             stdout=report(container(PAYLOAD200)) + preview_lines(PAYLOAD200), stderr=""),
        Case("report of the worked example", ["in.mthc"], files=worked, status=0, stdout=WORKED_REPORT, stderr=""),
        Case("extraction into a missing directory", ["in.mthc", "--extract-payload", "no/dir/p.bin"], files=worked,
             status=1, stdout=WORKED_REPORT,
             stderr="Error: cannot create 'no/dir/p.bin': No such file or directory\n"),
        # Conversion.
        Case("decompress the worked example", ["--decompress", "out.mid", "in.mthc"], files=worked, status=0,
             stdout=WORKED_REPORT + "Decompressed MThc to MIDI out.mid (46 bytes)\n", stderr="",
             expect_files={"out.mid": WORKED_MIDI}),
        Case("extract then decompress", ["in.mthc", "--decompress", "out.mid", "--extract-payload", "p.bin"],
             files=worked, status=0, stdout=WORKED_REPORT + "Extracted payload to p.bin\n"
             "Decompressed MThc to MIDI out.mid (46 bytes)\n", stderr="",
             expect_files={"p.bin": WORKED[16:], "out.mid": WORKED_MIDI}),
        Case("failed extraction stops before the conversion",
             ["in.mthc", "--decompress", "out.mid", "--extract-payload", "no/p.bin"], files=worked, status=1,
             stdout=WORKED_REPORT, stderr="Error: cannot create 'no/p.bin': No such file or directory\n",
             absent=["out.mid"]),
        Case("two tracks without records", ["--decompress", "out.mid", "in.mthc"],
             files={"in.mthc": single_block_container(STREAM18)}, status=0,
             stdout=report(single_block_container(STREAM18)) + "Decompressed MThc to MIDI out.mid (38 bytes)\n",
             stderr="", expect_files={"out.mid": TWO_EMPTY_TRACKS}),
        Case("17-byte decoded stream", ["--decompress", "out.mid", "in.mthc"],
             files={"in.mthc": single_block_container(STREAM18[:17])}, status=1,
             stdout=report(single_block_container(STREAM18[:17])),
             stderr="Error: failed to assemble MIDI file from decompressed data\n", absent=["out.mid"]),
        Case("decoded stream beyond its limit", ["--decompress", "out.mid", "in.mthc"],
             files={"in.mthc": STREAM_BOMB}, status=1, stdout=report(STREAM_BOMB),
             stderr="Error: failed to decompress MThc file\n", absent=["out.mid"]),
        Case("gathered track data beyond its limit", ["--decompress", "out.mid", "in.mthc"],
             files={"in.mthc": GATHER_BOMB}, status=1, stdout=report(GATHER_BOMB),
             stderr="Error: failed to assemble MIDI file from decompressed data\n", absent=["out.mid"]),
        Case("MIDI file into a missing directory", ["--decompress", "no/out.mid", "in.mthc"], files=worked,
             status=1, stdout=WORKED_REPORT, stderr="Error: cannot create 'no/out.mid': No such file or directory\n"),
    ]
    for name, data, midi, warning in incomplete:
        c.append(Case("incomplete container: " + name, ["--decompress", "out.mid", "in.mthc"], 0,
                      files={"in.mthc": data}, stdout=report(data) + "Decompressed MThc to MIDI out.mid (%d bytes)\n"
                      % len(midi), stderr=warning, expect_files={"out.mid": midi}))
    return c


if __name__ == "__main__":
    sys.exit(main(cases()))
