"""Failing outputs and odd inputs: a full disk, directories where files are
expected, a FIFO, a file that is gone, special files. Each must end the run
with exactly one error line and exit status 1, and a failed conversion must
not claim to have written its file.

Cases that need Linux device files or FIFOs are skipped elsewhere."""

import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from cli_harness import Case, into_a_full_device, main  # noqa: E402
from mthc_cli_test import WORKED, literal_block, report  # noqa: E402

def one_track_container(track):
    # Stream header with one track, then one record area holding the whole track.
    stream = (b"MThp\x00\x00\x00\x06\x00\x00\x00\x01\x00\x60\x00\x00"
              + b"\x00\x00\x01\x00" + len(track).to_bytes(2, "big") + track)
    packed = literal_block(stream)
    return b"MThc\x01" + len(stream).to_bytes(2, "big") + len(packed).to_bytes(2, "big") + packed


# A MIDI file (and a payload) well past the 4096-byte stdio buffer of a
# device file, so the write itself fails rather than the final flush.
BIG_TRACK = b"".join(bytes((0x00, 0x90, 0x3C + i % 24, 0x40)) for i in range(2000))
BIG = one_track_container(BIG_TRACK)
assert len(BIG) > 2 * 4096


# Linux device files and FIFOs: the cases that use them are skipped for the
# Windows executable, and on a host without them.
LINUX_ONLY = {"skip": "needs Linux device files and FIFOs"}
HOST_SKIP = None if sys.platform.startswith("linux") else LINUX_ONLY["skip"]


# Descriptors the FIFO cases keep open while the tool runs; closed at the end.
OPEN_FDS = []


def make_fifo_with_writer(directory):
    # Opening a FIFO for reading blocks until a writer exists. Holding it open
    # read-write here is such a writer, and never blocks; the container is
    # waiting in the pipe should the tool read it.
    path = os.path.join(directory, "in.fifo")
    os.mkfifo(path)
    fd = os.open(path, os.O_RDWR)
    os.write(fd, WORKED)
    OPEN_FDS.append(fd)


def make_then_remove(directory):
    path = os.path.join(directory, "in.mthc")
    with open(path, "wb") as f:
        f.write(WORKED)
    os.remove(path)


def make_directory(name):
    def setup(directory):
        os.makedirs(os.path.join(directory, name))
    return setup


ASSEMBLED = "Decompressed MThc to MIDI"
def cases():
    worked = {"in.mthc": WORKED}
    big = {"big.mthc": BIG}
    c = [
        Case("the report into a full device", ["-v", "in.mthc"], files=worked, runner=into_a_full_device,
             status=1, stdout="", stderr="Error: failed writing to standard output\n", windows=LINUX_ONLY,
             skip=HOST_SKIP),
        Case("extraction into a directory", ["in.mthc", "--extract-payload", "d"], files=worked,
             setup=make_directory("d"), status=1, stdout=report(WORKED),
             stderr="Error: cannot create 'd': Is a directory\n"),
        Case("conversion into a directory", ["in.mthc", "--decompress", "d"], files=worked,
             setup=make_directory("d"), status=1, stdout=report(WORKED),
             stderr="Error: cannot create 'd': Is a directory\n"),
        Case("input removed before the run", ["in.mthc"], setup=make_then_remove, status=1, stdout="",
             stderr="Error: cannot open 'in.mthc': No such file or directory\n"),
        Case("empty input path", [""], status=1, stdout="",
             stderr="Error: cannot open '': No such file or directory\n"),
        Case("empty output path", ["in.mthc", "--decompress", ""], files=worked, status=1,
             stdout=report(WORKED), stderr="Error: cannot create '': No such file or directory\n"),
        Case("extraction into a directory stops before the conversion",
             ["in.mthc", "--extract-payload", "d", "--decompress", "out.mid"], files=worked,
             setup=make_directory("d"), status=1, stdout=report(WORKED),
             stderr="Error: cannot create 'd': Is a directory\n", absent=["out.mid"]),
    ]
    linux = [
        Case("small payload to a full disk fails at close", ["in.mthc", "--extract-payload", "/dev/full"],
             files=worked, status=1, stdout=report(WORKED),
             stderr="Error: failed closing '/dev/full': No space left on device\n"),
        Case("large payload to a full disk fails at write", ["big.mthc", "--extract-payload", "/dev/full"],
             files=big, status=1, stdout=report(BIG), stderr="Error: failed writing '/dev/full'\n"),
        Case("small MIDI file to a full disk fails at close", ["in.mthc", "--decompress", "/dev/full"],
             files=worked, status=1, stdout=report(WORKED),
             stderr="Error: failed closing '/dev/full': No space left on device\n"),
        Case("large MIDI file to a full disk fails at write", ["big.mthc", "--decompress", "/dev/full"],
             files=big, status=1, stdout=report(BIG), stderr="Error: failed writing '/dev/full'\n"),
        Case("full disk for the payload stops before the conversion",
             ["in.mthc", "--extract-payload", "/dev/full", "--decompress", "out.mid"], files=worked,
             status=1, stdout=report(WORKED),
             stderr="Error: failed closing '/dev/full': No space left on device\n", absent=["out.mid"]),
        # Beyond the file-size limit: the temporary file is cut short, the
        # previous file stays as it was, and nothing else is left.
        Case("a failed write keeps the previous MIDI file", ["in.mthc", "--decompress", "out.mid"],
             files={**worked, "out.mid": b"old"}, file_size_limit=40, status=1, stdout=report(WORKED),
             stderr="Error: failed writing 'out.mid'\n", expect_files={"out.mid": b"old"},
             only_files=["in.mthc", "out.mid"]),
        Case("a failed write keeps the previous payload", ["in.mthc", "--extract-payload", "p.bin"],
             files={**worked, "p.bin": b"old"}, file_size_limit=20, status=1, stdout=report(WORKED),
             stderr="Error: failed writing 'p.bin'\n", expect_files={"p.bin": b"old"},
             only_files=["in.mthc", "p.bin"]),
        Case("input is a FIFO", ["in.fifo"], setup=make_fifo_with_writer, status=1, stdout="",
             stderr="Error: cannot seek 'in.fifo': Illegal seek\n"),
        Case("input is /dev/null", ["/dev/null"], status=1, stdout="",
             stderr="Error: file is too small to be an MThc container\n"),
    ]
    for case in linux:
        case.windows = LINUX_ONLY
        case.skip = HOST_SKIP
    return c + linux


if __name__ == "__main__":
    status = main(cases())
    for fd in OPEN_FDS:
        os.close(fd)
    sys.exit(status)
