"""MThc containers (compressed MIDI files) in memory.

    import mthc
    container = mthc.pack(open("song.mid", "rb").read())
    midi = mthc.unpack(container)     # the MIDI file, byte for byte
    mthc.check(container)             # raises mthc.Error if it is damaged
    mthc.summary(container)           # what `mthc-pack -l --json` says of it

    report = mthc.pack_report(data)   # what packing changed, as data
    for change in report.changes:
        print(change.kind, change.track, change.text)

Every function takes any bytes-like object (bytes, bytearray, memoryview,
mmap, array, ...) and reads it where it is, without a copy, with the GIL
released, so that a thread pool packs a folder on every core. While a call
reads a buffer, no other thread may write to it: what the call then reads,
and so what it returns, is not defined (pass bytes(buffer), a copy, for a
bytearray or an mmap that another thread writes). A buffer cannot change
its size meanwhile: Python refuses that itself.

A file that is refused raises mthc.Error (a ValueError) with the text
mthc-pack prints and the fault's name in .kind; what lenient packing
changes, or unpacking lets through, is an mthc.PackWarning or
mthc.UnpackWarning from pack() and unpack(), and data (mthc.Change) from
pack_report() and unpack_report(), which issue no warning and so suit
threads and processes. An argument of the wrong type or value raises a
short TypeError or ValueError that names it; running out of memory raises
MemoryError.
"""

import json
import operator
import warnings
from typing import TYPE_CHECKING, Iterable, Literal, Tuple, Type

from mthc._types import (
    Change,
    Error,
    PackReport,
    PackWarning,
    Summary,
    TrackFault,
    TrackSummary,
    UnpackReport,
    UnpackWarning,
)
from mthc import _mthc

if TYPE_CHECKING:
    from _typeshed import ReadableBuffer

__version__: str = _mthc.__version__
__all__ = [
    "Change",
    "Error",
    "PackReport",
    "PackWarning",
    "Summary",
    "TrackFault",
    "TrackSummary",
    "UnpackReport",
    "UnpackWarning",
    "check",
    "pack",
    "pack_report",
    "summary",
    "unpack",
    "unpack_report",
]

# ---- Arguments ----

# Whether a level is the best one; 9 and 1 as mthc-pack's -9 and -1.
_LEVELS = {"best": True, "fast": False, 9: True, 1: False}
_LEVELS_TEXT = "'best' or 'fast' (or 9 or 1, as mthc-pack's -9 and -1)"


# An argument, named in an error without its value, which may be megabytes
# long: only a short value is shown, and a type by its name.
def _shown(value: object) -> str:
    text = repr(value)
    return text if len(text) <= 40 else text[:36] + " ..."


def _type_name(value: object) -> str:
    return _shown(type(value).__name__).strip("'")


def _is_best(level: object) -> bool:
    if isinstance(level, str):
        key: object = level
    elif isinstance(level, bool):
        raise TypeError(f"level must be {_LEVELS_TEXT}, not bool")
    else:
        try:
            key = operator.index(level)  # type: ignore[arg-type]
        except TypeError:
            raise TypeError(f"level must be {_LEVELS_TEXT}, not {_type_name(level)}") from None
    try:
        return _LEVELS[key]  # type: ignore[index]
    except KeyError:
        raise ValueError(f"level must be {_LEVELS_TEXT}, not {_shown(level)}") from None


def _flag(name: str, value: object) -> bool:
    if isinstance(value, bool):
        return value
    raise TypeError(f"{name} must be True or False, not {_type_name(value)}")


# The changes as the package's objects, and as warnings from the line that
# called pack() or unpack() (stack level 3: this function, then theirs).
def _changes(raw: Iterable[Tuple[str, object, object, int, str]]) -> Tuple[Change, ...]:
    return tuple(Change(*change) for change in raw)  # type: ignore[arg-type]


def _warn(category: Type[Warning], changes: Tuple[Change, ...]) -> None:
    for change in changes:
        warnings.warn(change.text, category, stacklevel=3)


# ---- Packing ----

def pack_report(data: "ReadableBuffer", *, level: Literal["best", "fast", 9, 1] = "best",
                strict: bool = False) -> PackReport:
    """Pack a Standard MIDI File into an MThc container, and say what changed.

    Returns a PackReport: .container, the container's bytes, and .changes,
    a tuple of mthc.Change, one per kind of change that will not come back
    as it was, in mthc-pack's order: MIDI files as players take them are
    packed with their RIFF wrapper, chunks other than tracks, bytes after
    the last chunk and cut tracks changed ("riff_unwrapped",
    "chunk_dropped", "end_of_track_added", ...); empty tracks come back as
    an end-of-track event ("empty_track"); a format above 2
    ("unknown_format") or a track that does not read ("track_unreadable")
    is packed as it is. No warning is issued: each call has its own report,
    in any thread or process.

    level is "best" (or 9, as mthc-pack -9: the smallest container, slower)
    or "fast" (or 1, as -1). With strict=True, any such change raises
    mthc.Error instead (as mthc-pack --strict), so that the container
    unpacks to the very same bytes.

    Raises mthc.Error with mthc-pack's text and the fault's .kind for a file
    it does not pack ("not_midi", "too_much_data", "too_large" over 64 MiB,
    ...), MemoryError when memory runs out. The GIL is released while
    packing.
    """
    best = _is_best(level)
    container, changes = _mthc.pack(data, best, _flag("strict", strict))
    return PackReport(container, _changes(changes))


def pack(data: "ReadableBuffer", *, level: Literal["best", "fast", 9, 1] = "best",
         strict: bool = False) -> bytes:
    """Pack a Standard MIDI File into an MThc container and return the container.

    As pack_report(), but each change is issued as an mthc.PackWarning with
    mthc-pack's text, from the caller's line, rather than returned. To
    refuse such files with the rest of your errors, use strict=True or
    warnings.simplefilter("error", mthc.PackWarning).

    level is "best" (or 9, as mthc-pack -9: the smallest container, slower)
    or "fast" (or 1, as -1). Raises mthc.Error with mthc-pack's text for a
    file it does not pack, MemoryError when memory runs out. The GIL is
    released while packing: threads pack in parallel.
    """
    report = pack_report(data, level=level, strict=strict)
    _warn(PackWarning, report.changes)
    return report.container


# ---- Unpacking ----

def unpack_report(data: "ReadableBuffer", *, as_is: bool = False) -> UnpackReport:
    """Unpack an MThc container, and say what of its music does not read.

    Returns an UnpackReport: .midi, the MIDI file, checked as `mthc-pack -d`
    checks it (the container's blocks and records, the MIDI header and every
    track must read to their end), and .changes, empty unless as_is=True let
    a fault through. With as_is=True a MIDI file whose header or a track does
    not read is given back as the container stores it, and .changes holds one
    mthc.Change that says what does not read ("unknown_format",
    "header_length" or "track_unreadable", with its track and offset); a
    container whose blocks are damaged is refused all the same. No warning
    is issued.

    Raises mthc.Error with the text of `mthc-pack -t` and the fault's .kind
    ("missing_blocks", "not_mthc", "track_unreadable", ...) for a container
    refused, MemoryError when memory runs out. The GIL is released while
    unpacking.
    """
    midi, changes = _mthc.unpack(data, _flag("as_is", as_is))
    return UnpackReport(midi, _changes(changes))


def unpack(data: "ReadableBuffer", *, as_is: bool = False) -> bytes:
    """Unpack an MThc container and return its MIDI file.

    As unpack_report(), but what as_is=True lets through is issued as an
    mthc.UnpackWarning with mthc-pack's text rather than returned.

    Raises mthc.Error with the text of `mthc-pack -t` for a container
    refused, MemoryError when memory runs out. The GIL is released while
    unpacking.
    """
    report = unpack_report(data, as_is=as_is)
    _warn(UnpackWarning, report.changes)
    return report.midi


def check(data: "ReadableBuffer") -> None:
    """Check an MThc container as `mthc-pack -t` does, keeping nothing.

    Returns None when it unpacks; raises mthc.Error with the tool's text and
    the fault's .kind when it does not (MemoryError when memory runs out).
    The GIL is released meanwhile.
    """
    _mthc.check(data)


# ---- Listing ----

def summary(data: "ReadableBuffer") -> Summary:
    """What `mthc-pack -l --json` says of a container or a MIDI file.

    Returns a dict with the same keys and values, less "file" (typed as
    mthc.Summary, whose docs give each key): "type" ("container" or
    "midi"), the sizes, the MIDI header's fields, "end_tick",
    "duration_seconds" and "tracks", one dict per track (mthc.TrackSummary)
    with its "index", "name", "channels" and "programs" (counted from 0),
    "notes", "events", "bytes", "end_tick" and "fault" (None, or a dict of
    its "text" and "offset"). The keys are kept from one version to the
    next. A container is listed as it converts: if its blocks are damaged,
    an mthc.UnpackWarning says how.

    Raises mthc.Error with the tool's text and the fault's .kind for a file
    it cannot list, MemoryError when memory runs out. The GIL is released
    while reading.
    """
    text, changes = _mthc.summary(data)
    _warn(UnpackWarning, _changes(changes))
    listed: Summary = json.loads(text)
    return listed
