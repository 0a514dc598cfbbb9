"""The package's classes: its error and warnings, the reports of pack_report
and unpack_report, and the shape of summary()'s dict. Pure Python, with no
need of the extension, which takes mthc.Error from here."""

import dataclasses
from typing import List, Literal, NamedTuple, Optional, Tuple, TypedDict


class Error(ValueError):
    """A file that mthc cannot pack, unpack, check or list: str(error) is the
    text that mthc-pack prints for it after "Error: <file>: ".

    kind is the fault's name, kept from one version to the next (the same
    names as Change.kind and the web page's): "not_midi", "missing_blocks",
    "track_unreadable", "too_large", ... track (counted from 0) and offset
    (in bytes) say where the fault is when the text names a track or an
    offset, else they are None. An offset counts from the start of the file,
    but for a track that does not read as events ("track_unreadable"), where
    it counts from the start of that track's data.
    """

    kind: str
    track: Optional[int]
    offset: Optional[int]

    def __init__(self, text: str, kind: str, track: Optional[int] = None,
                 offset: Optional[int] = None) -> None:
        super().__init__(text)
        self.kind = kind
        self.track = track
        self.offset = offset

    # Raised in a process pool's worker, it reaches the parent whole.
    def __reduce__(self) -> Tuple[type, Tuple[str, str, Optional[int], Optional[int]]]:
        return (type(self), (str(self), self.kind, self.track, self.offset))


class PackWarning(UserWarning):
    """What pack() changed in a MIDI file that will not come back as it was
    (or a track that does not read): the text is mthc-pack's warning.
    pack(..., strict=True) raises mthc.Error instead; pack_report() gives the
    same as data, without warnings."""


class UnpackWarning(UserWarning):
    """What reading a container let through: the fault of the music that
    unpack(..., as_is=True) keeps, or the damage of a container that summary()
    lists all the same. The text is the one mthc-pack prints for it."""


@dataclasses.dataclass(frozen=True)
class Change:
    """One kind of change that packing made to a MIDI file (or one fault that
    reading let through), as mthc-pack's warning line says it.

    kind: its name, kept from one version to the next: "riff_unwrapped",
        "chunk_dropped", "end_of_track_added", "empty_track",
        "track_unreadable", ...
    track: the track it applies to (the first, when count is above 1),
        counted from 0; None for a change of the whole file.
    offset: where it is in bytes, when the text names an offset, as for
        Error.offset; else None.
    count: how many times the file has it (chunks dropped, tracks repaired,
        empty tracks).
    text: mthc-pack's text for it.
    """

    kind: str
    track: Optional[int]
    offset: Optional[int]
    count: int
    text: str


class PackReport(NamedTuple):
    """What pack_report() returns: the container, and what packing changed in
    the MIDI file (empty when it will come back byte for byte)."""

    container: bytes
    changes: Tuple[Change, ...]


class UnpackReport(NamedTuple):
    """What unpack_report() returns: the MIDI file, and the fault of its music
    that as_is=True let through (empty when there is none)."""

    midi: bytes
    changes: Tuple[Change, ...]


# The dicts of summary(): the objects of `mthc-pack -l --json`, whose keys
# are kept from one version to the next.

class TrackFault(TypedDict):
    """A track's first fault: its words, and its offset in bytes from the
    start of the track's data."""

    text: str
    offset: int


class TrackSummary(TypedDict):
    """One track, as the file stores it.

    index: the track's place in the file, counted from 0.
    name: its first track name event, as readable text ("" when none).
    channels: the channels of its channel messages, counted from 0 (0-15:
        what players call channel 1 is 0).
    programs: the programs it changes to, counted from 0 (0-127: General
        MIDI's program 1 is 0).
    notes: its note-ons with a velocity above 0.
    events: the events read.
    bytes: the size of its data (the MTrk chunk without its 8-byte header).
    end_tick: when its last event read happens, in ticks from the start.
    fault: None, or the first fault, before which the numbers above count.
    """

    index: int
    name: str
    channels: List[int]
    programs: List[int]
    notes: int
    events: int
    bytes: int
    end_tick: int
    fault: Optional[TrackFault]


class _SummaryOfEveryFile(TypedDict):
    type: Literal["container", "midi"]
    midi_bytes: int
    format: int
    division: int
    track_count: int
    end_tick: int
    duration_seconds: float
    tracks: List[TrackSummary]


class Summary(_SummaryOfEveryFile, total=False):
    """A container or a MIDI file.

    type: "container" or "midi".
    blocks, packed_bytes: a container's blocks and size (containers only).
    midi_bytes: the size of the MIDI file (a container's, as it converts).
    format, division, track_count: the MIDI header's fields; division as
        stored (ticks per quarter note below 32768).
    frames_per_second, ticks_per_frame: for SMPTE time only (a division from
        32768 up): 24, 25, 29.97 or 30, and the ticks in a frame.
    end_tick: the end of the music in ticks (for format 2, whose tracks play
        one after another, the sum of the tracks' ends).
    duration_seconds: end_tick in seconds, to the millisecond, following
        the tempo changes.
    tracks: every track, in file order.
    """

    blocks: int
    packed_bytes: int
    frames_per_second: float
    ticks_per_frame: int


# As users see them: mthc.Error, not mthc._types.Error.
for _class in (Error, PackWarning, UnpackWarning, Change, PackReport, UnpackReport, TrackFault,
               TrackSummary, Summary):
    _class.__module__ = "mthc"
del _class
