"""MThc containers (compressed MIDI files) in memory.

    import mthc
    container = mthc.pack(open("song.mid", "rb").read())
    midi = mthc.unpack(container)     # the MIDI file, byte for byte
    mthc.check(container)             # raises mthc.Error if it is damaged
    mthc.summary(container)           # what `mthc-pack -l --json` says of it

Every function takes any bytes-like object, returns bytes (or a dict), and
releases the GIL while it works, so that a thread pool packs a folder in
parallel. A file it refuses raises mthc.Error (a ValueError) with the text
mthc-pack prints; what packing changes, or unpacking lets through, comes as
an mthc.PackWarning or mthc.UnpackWarning.
"""

from mthc._mthc import (
    Error,
    PackWarning,
    UnpackWarning,
    __version__,
    check,
    pack,
    summary,
    unpack,
)

__all__ = ["Error", "PackWarning", "UnpackWarning", "check", "pack", "summary", "unpack"]
