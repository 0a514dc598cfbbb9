"""The package's types: summary()'s dicts have exactly the keys its TypedDicts
name, the stubs match the package (mypy's stubtest), and mypy --strict
checks a script against them, catching what they rule out.

The mypy runs read the stubs from the package on PYTHONPATH (given to mypy
as MYPYPATH), and keep their cache in the test's own folder."""

import ast
import os
import pathlib
import subprocess
import sys
import typing

import pytest

import mthc
from samples import ODD_FILES, SMF, TUNE


def smpte_song():
    data = bytearray(SMF)
    data[12:14] = bytes([256 - 25, 40])  # 25 frames per second, 40 ticks a frame
    return bytes(data)


SUMMARIZED = {
    "container": lambda: mthc.pack(SMF),
    "midi": lambda: SMF,
    "tune": lambda: TUNE.read_bytes(),
    "SMPTE time": smpte_song,
    "a track with a fault": lambda: ODD_FILES["bad_status"],
}


def keys_of(typed_dict):
    return typed_dict.__required_keys__, typed_dict.__optional_keys__


@pytest.mark.parametrize("case", SUMMARIZED)
def test_summary_has_the_keys_its_typed_dicts_name(case):
    listed = mthc.summary(SUMMARIZED[case]())
    required, optional = keys_of(mthc.Summary)
    assert required <= listed.keys() <= required | optional
    hints = typing.get_type_hints(mthc.Summary)
    assert listed["type"] in typing.get_args(hints["type"])
    for key in listed.keys() - {"type", "tracks"}:
        assert isinstance(listed[key], (int, float)), key
    if case == "SMPTE time":
        assert (listed["frames_per_second"], listed["ticks_per_frame"]) == (25, 40)
    assert ("blocks" in listed) == (case == "container")
    track_keys, no_keys = keys_of(mthc.TrackSummary)
    assert not no_keys
    faults = []
    for index, track in enumerate(listed["tracks"]):
        assert track.keys() == track_keys and track["index"] == index
        assert all(0 <= c < 16 for c in track["channels"])
        assert all(0 <= p < 128 for p in track["programs"])
        if track["fault"] is not None:
            faults.append(track["fault"])
    assert bool(faults) == (case == "a track with a fault")
    for fault in faults:
        assert fault.keys() == keys_of(mthc.TrackFault)[0]


def mypy(tmp_path, *arguments):
    package_folder = pathlib.Path(mthc.__file__).parent.parent
    env = {**os.environ, "MYPYPATH": str(package_folder)}
    return subprocess.run([sys.executable, "-m", *arguments], cwd=tmp_path, env=env,
                          capture_output=True, text=True, check=False)


def test_the_stubs_are_the_packages(tmp_path):
    allowlist = pathlib.Path(__file__).with_name("stubtest_allowlist.txt")
    run = mypy(tmp_path, "mypy.stubtest", "--allowlist", str(allowlist), "mthc")
    assert run.returncode == 0, run.stdout + run.stderr


def stub_typed_dicts():
    """The TypedDicts of the stub: {name: ({key: annotation}, total)}."""
    stub = ast.parse(pathlib.Path(mthc.__file__).with_name("__init__.pyi").read_text())
    found = {}
    for node in stub.body:
        if isinstance(node, ast.ClassDef) and node.name in TYPED_DICTS:
            keys = {n.target.id: ast.unparse(n.annotation) for n in node.body
                    if isinstance(n, ast.AnnAssign)}
            for base in node.bases:
                if isinstance(base, ast.Name) and base.id in found:
                    keys = {**found[base.id][0], **keys}
            total = all(k.arg != "total" or ast.literal_eval(k.value) for k in node.keywords)
            found[node.name] = (keys, total)
    return found


TYPED_DICTS = ["TrackFault", "TrackSummary", "_SummaryOfEveryFile", "Summary"]


def test_the_stubs_typed_dicts_are_the_packages():
    # What stubtest leaves out: the keys, which are what summary() promises.
    stub = stub_typed_dicts()
    assert list(stub) == TYPED_DICTS
    for name in ("TrackFault", "TrackSummary", "Summary"):
        keys, total = stub[name]
        runtime = getattr(mthc, name)
        required, optional = keys_of(runtime)
        assert set(keys) == required | optional, name
        own = runtime.__dict__.get("__annotations__", {})
        assert total == (not set(own) & optional), name
        hints = typing.get_type_hints(runtime)
        names = {**vars(typing), **vars(mthc)}
        for key, annotation in keys.items():
            assert eval(annotation, names) == hints[key], (name, key, annotation)


TYPED_SCRIPT = '''
import concurrent.futures
import pathlib
from typing import List, Optional, Tuple

import mthc


def changes_of(path: pathlib.Path) -> Tuple[str, List[mthc.Change]]:
    report = mthc.pack_report(path.read_bytes(), level=9, strict=False)
    packed: bytes = report.container
    return path.name + str(len(packed)), list(report.changes)


def first_fault(data: bytes) -> Optional[int]:
    listed: mthc.Summary = mthc.summary(data)
    seconds: float = listed["duration_seconds"]
    for track in listed["tracks"]:
        channels: List[int] = track["channels"]
        if track["fault"] is not None and channels and seconds >= 0:
            return track["fault"]["offset"]
    return listed.get("blocks")


try:
    midi = mthc.unpack(mthc.pack(b"", level="fast"), as_is=True)
except mthc.Error as error:
    kind: str = error.kind
    track: Optional[int] = error.track
with concurrent.futures.ThreadPoolExecutor() as pool:
    for name, changes in pool.map(changes_of, pathlib.Path(".").glob("*.mid")):
        print(name, [(c.kind, c.track, c.offset, c.count, c.text) for c in changes])
mthc.check(memoryview(b""))
print(mthc.__version__, mthc.unpack_report(bytearray()).midi)
'''

# Each line breaks what the stubs promise; mypy must say so on that line.
MISTAKES = [
    'mthc.pack(b"", level="medium")',
    "mthc.pack(b\"\", 9)",
    'mthc.unpack(b"", as_is="yes")',
    'mthc.pack("text")',
    'mthc.summary(b"")["file"]',
    'mthc.summary(b"")["tracks"][0]["channel"]',
    'text: str = mthc.summary(b"")["midi_bytes"]',
    'offset: int = mthc.pack_report(b"").changes[0].offset',
    'data: str = mthc.unpack_report(b"").midi',
]


def test_mypy_strict_checks_a_script_against_the_stubs(tmp_path):
    (tmp_path / "typed.py").write_text(TYPED_SCRIPT)
    run = mypy(tmp_path, "mypy", "--strict", "typed.py")
    assert run.returncode == 0, run.stdout + run.stderr

    (tmp_path / "wrong.py").write_text("import mthc\n" + "\n".join(MISTAKES) + "\n")
    run = mypy(tmp_path, "mypy", "--strict", "wrong.py")
    flagged = {int(line.split(":")[1]) for line in run.stdout.splitlines()
               if line.startswith("wrong.py:") and ": error:" in line}
    assert flagged == set(range(2, 2 + len(MISTAKES))), run.stdout
