from dataclasses import dataclass
from typing import List, Literal, NamedTuple, Optional, Tuple, TypedDict

from _typeshed import ReadableBuffer

__version__: str
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

class Error(ValueError):
    kind: str
    track: Optional[int]
    offset: Optional[int]
    def __init__(
        self, text: str, kind: str, track: Optional[int] = None, offset: Optional[int] = None
    ) -> None: ...

class PackWarning(UserWarning): ...
class UnpackWarning(UserWarning): ...

@dataclass(frozen=True)
class Change:
    kind: str
    track: Optional[int]
    offset: Optional[int]
    count: int
    text: str

class PackReport(NamedTuple):
    container: bytes
    changes: Tuple[Change, ...]

class UnpackReport(NamedTuple):
    midi: bytes
    changes: Tuple[Change, ...]

# The dicts of summary(): the objects of `mthc-pack -l --json` (less "file"),
# whose keys are kept from one version to the next. Tracks, channels and
# programs count from 0.

class TrackFault(TypedDict):
    text: str
    offset: int  # from the start of the track's data

class TrackSummary(TypedDict):
    index: int
    name: str
    channels: List[int]  # 0-15
    programs: List[int]  # 0-127
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
    blocks: int  # containers only
    packed_bytes: int  # containers only
    frames_per_second: float  # SMPTE time only: 24, 25, 29.97 or 30
    ticks_per_frame: int  # SMPTE time only

def pack_report(
    data: ReadableBuffer, *, level: Literal["best", "fast", 9, 1] = "best", strict: bool = False
) -> PackReport: ...
def pack(
    data: ReadableBuffer, *, level: Literal["best", "fast", 9, 1] = "best", strict: bool = False
) -> bytes: ...
def unpack_report(data: ReadableBuffer, *, as_is: bool = False) -> UnpackReport: ...
def unpack(data: ReadableBuffer, *, as_is: bool = False) -> bytes: ...
def check(data: ReadableBuffer) -> None: ...
def summary(data: ReadableBuffer) -> Summary: ...
