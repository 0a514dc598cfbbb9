"""The Python module against the tool it mirrors: for the same file, mthc's
functions give the bytes, errors, warnings and listings that mthc-pack gives.

Run by CTest (the python preset), which sets PYTHONPATH to the package in the
build tree, MTHC_PACK to the mthc-pack built beside it, MTHC_TUNE to the
example tune's MIDI file, MTHC_CMAKE, MTHC_BUILD_DIR and
MTHC_PYTHON_INSTALL_DIR for installing the package, and MTHC_SOURCE_DIR for
installing it with pip (test_install.py).
"""

import array
import concurrent.futures
import io
import json
import os
import subprocess
import sys
import threading
import time
import warnings

import mido
import pytest

import mthc
from samples import DAMAGED, MTHC_PACK, ODD_FILES, SMF, TUNE, Tool, long_song, song


def module_run(function, *arguments, **options):
    """(result, error text or None, [(category, text)] of the warnings)."""
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        try:
            result, error = function(*arguments, **options), None
        except mthc.Error as raised:
            result, error = None, str(raised)
    return result, error, [(w.category, str(w.message)) for w in caught]


def assert_same_warnings(module_warnings, category, tool_lines):
    """The module's texts, in order, are the tool's (which may add a pointer to
    what to do next after "; " or ", ")."""
    assert [c for c, _ in module_warnings] == [category] * len(module_warnings)
    texts = [text for _, text in module_warnings]
    assert len(texts) == len(tool_lines), (texts, tool_lines)
    for text, line in zip(texts, tool_lines):
        assert line == text or line.startswith((text + "; ", text + ", ")), (text, line)


# ---- Packing and unpacking ----

@pytest.mark.parametrize("level,option", [("best", "-9"), ("fast", "-1")])
def test_round_trip_through_mido(tmp_path, level, option):
    container = mthc.pack(SMF, level=level)
    assert container == Tool(tmp_path, SMF, "-c", option).stdout
    midi = mthc.unpack(container)
    assert midi == SMF
    original = mido.MidiFile(file=io.BytesIO(SMF))
    back = mido.MidiFile(file=io.BytesIO(midi))
    assert back.ticks_per_beat == original.ticks_per_beat
    assert [list(t) for t in back.tracks] == [list(t) for t in original.tracks]


def test_bytes_like_inputs_are_read_in_place():
    container = mthc.pack(SMF)
    inputs = {
        "bytearray": lambda b: bytearray(b),
        "memoryview of bytearray": lambda b: memoryview(bytearray(b)),
        "slice of a larger buffer": lambda b: memoryview(bytearray(b"xx" + b + b"yy"))[2:-2],
        "array": lambda b: array.array("B", b),
    }
    for make in inputs.values():
        assert mthc.pack(make(SMF)) == container
        assert mthc.unpack(make(container)) == SMF
        assert mthc.check(make(container)) is None
        assert mthc.summary(make(container)) == mthc.summary(container)
    held = bytearray(SMF)
    mthc.pack(held)
    held.extend(b"more")  # a bytearray still held by the module could not grow
    with pytest.raises(TypeError):
        mthc.pack("MThd")
    with pytest.raises(BufferError):
        mthc.pack(memoryview(SMF)[::2])
    with pytest.raises(ValueError, match="level"):
        mthc.pack(SMF, level="medium")


@pytest.mark.parametrize("case", ODD_FILES)
@pytest.mark.parametrize("strict", [False, True])
def test_lenient_packing_says_what_mthc_pack_says(tmp_path, case, strict):
    data = ODD_FILES[case]
    tool = Tool(tmp_path, data, "-c", *(["--strict"] if strict else []))
    container, error, said = module_run(mthc.pack, data, strict=strict)
    if tool.errors:
        assert error == tool.errors[0]
        assert not said
        return
    assert error is None and container == tool.stdout
    assert said, "every file here is changed or warned about"
    assert_same_warnings(said, mthc.PackWarning, tool.warnings)


def test_strict_refuses_a_riff_wrapper():
    with pytest.raises(mthc.Error):
        mthc.pack(ODD_FILES["riff"], strict=True)
    assert issubclass(mthc.Error, ValueError)


@pytest.mark.parametrize("case", DAMAGED)
def test_damaged_containers_are_refused_as_by_test_mode(tmp_path, case):
    data = DAMAGED[case]
    tool = Tool(tmp_path, data, "-t")
    assert tool.errors
    for function in (mthc.unpack, mthc.check):
        with pytest.raises(mthc.Error) as raised:
            function(data)
        assert str(raised.value) == tool.errors[0]


def test_check_passes_what_test_mode_passes(tmp_path):
    container = mthc.pack(SMF)
    assert Tool(tmp_path, container, "-t").stdout == b"song: OK\n"
    assert mthc.check(container) is None


def test_as_is_gives_the_stored_file_with_a_warning(tmp_path):
    container = DAMAGED["a track that does not read"]
    midi, error, said = module_run(mthc.unpack, container, as_is=True)
    assert error is None and midi == ODD_FILES["bad_status"]
    assert_same_warnings(said, mthc.UnpackWarning, Tool(tmp_path, container, "-t").errors)
    # Damaged blocks are refused all the same.
    with pytest.raises(mthc.Error):
        mthc.unpack(DAMAGED["cut short"], as_is=True)


# ---- Listing ----

@pytest.mark.parametrize("case", ["container", "midi", "tune", "a track that does not read",
                                  "block missing", "cut short"])
def test_summary_is_the_json_listing(tmp_path, case):
    data = {**DAMAGED, "container": mthc.pack(SMF), "midi": SMF, "tune": TUNE.read_bytes()}[case]
    tool = Tool(tmp_path, data, "-l", "--json")
    listed, error, said = module_run(mthc.summary, data)
    if tool.errors:
        assert error == tool.errors[0]
        return
    expected = json.loads(tool.stdout)
    del expected["file"]
    assert error is None and listed == expected
    assert_same_warnings(said, mthc.UnpackWarning, tool.warnings)


# ---- Limits ----

def test_too_large_an_input_is_refused_as_by_the_tool(tmp_path):
    size = (64 << 20) + 1
    with open(tmp_path / "song", "wb") as sparse:
        sparse.truncate(size)
    tool = subprocess.run([MTHC_PACK, "-c", "song"], cwd=tmp_path, capture_output=True,
                          check=False)
    text = tool.stderr.decode().removeprefix("Error: song: ").rstrip("\n")
    large = bytearray(size)
    for function in (mthc.pack, mthc.unpack, mthc.check, mthc.summary):
        with pytest.raises(mthc.Error) as raised:
            function(large)
        assert str(raised.value) == text


# In a process of its own, with little address space left: the library runs
# out of memory, and the module says so with MemoryError.
OUT_OF_MEMORY = """
import resource, sys, mthc
data = open(sys.argv[2], "rb").read()
size = int(open("/proc/self/statm").read().split()[0]) * resource.getpagesize()
resource.setrlimit(resource.RLIMIT_AS, (size + (2 << 20), resource.RLIM_INFINITY))
try:
    getattr(mthc, sys.argv[1])(data)
except MemoryError as error:
    print("MemoryError:", error)
"""


@pytest.mark.parametrize("function", ["pack", "unpack", "check", "summary"])
def test_running_out_of_memory_is_a_memory_error(tmp_path, function):
    smf = long_song(1 << 20)  # 8 MiB of MIDI
    (tmp_path / "input").write_bytes(smf if function == "pack" else mthc.pack(smf, level="fast"))
    run = subprocess.run([sys.executable, "-c", OUT_OF_MEMORY, function, tmp_path / "input"],
                         capture_output=True, check=True, text=True)
    assert run.stdout.startswith("MemoryError: out of memory"), run.stdout + run.stderr


# ---- Threads ----

LONG_CONTAINER = mthc.pack(long_song(1 << 19), level="fast")


@pytest.mark.parametrize("function,data", [
    (mthc.pack, SMF), (mthc.unpack, LONG_CONTAINER), (mthc.check, LONG_CONTAINER),
    (mthc.summary, LONG_CONTAINER)], ids=["pack", "unpack", "check", "summary"])
def test_the_gil_is_released_while_the_library_works(function, data):
    # With a switch interval this long, the worker gives the interpreter up
    # only where it waits or lets go of the GIL. So the main thread runs
    # while the call (some 50 ms) is in progress only if the call let go of
    # it; if it did, the main thread, woken then, is all but sure to run in
    # one of a few tries.
    def runs_meanwhile():
        started, finished = threading.Event(), threading.Event()

        def work():
            started.set()
            function(data)
            finished.set()

        worker = threading.Thread(target=work)
        worker.start()
        started.wait()
        ran = not finished.is_set()
        worker.join()
        return ran

    interval = sys.getswitchinterval()
    sys.setswitchinterval(1000)
    try:
        assert any(runs_meanwhile() for _ in range(10))
    finally:
        sys.setswitchinterval(interval)


def test_a_thread_pool_packs_a_folder(capsys):
    songs = [song(seed, parts=8, notes=500) for seed in range(4)]
    start = time.perf_counter()
    serial = [mthc.pack(s) for s in songs]
    serial_seconds = time.perf_counter() - start
    threads = os.cpu_count()
    with concurrent.futures.ThreadPoolExecutor(max_workers=threads) as pool:
        start = time.perf_counter()
        parallel = list(pool.map(mthc.pack, songs))
        seconds = time.perf_counter() - start
        assert parallel == serial
        assert list(pool.map(mthc.unpack, parallel)) == songs
    # A figure, not a check: the machine may be busy with other work.
    with capsys.disabled():
        print(f"\npacking 4 songs: {serial_seconds:.3f} s in one thread, {seconds:.3f} s in"
              f" {threads} ({serial_seconds / seconds:.2f} times as fast)")


# ---- The package ----

def test_version_is_the_tools():
    tool = subprocess.run([MTHC_PACK, "--version"], capture_output=True, text=True, check=True)
    assert tool.stdout == f"mthc-pack {mthc.__version__}\n"


def test_the_installed_package_imports(tmp_path):
    folder = os.environ["MTHC_PYTHON_INSTALL_DIR"]
    subprocess.run([os.environ["MTHC_CMAKE"], "--install", os.environ["MTHC_BUILD_DIR"],
                    "--component", "python", "--prefix", tmp_path], check=True, capture_output=True)
    package = tmp_path / folder / "mthc"
    assert sorted(p.name for p in package.iterdir() if not p.name.startswith("_mthc.")) == [
        "__init__.py", "__init__.pyi", "_types.py", "py.typed"]
    run = subprocess.run(
        [sys.executable, "-c", "import mthc, sys; sys.stdout.buffer.write(mthc.unpack(mthc.pack("
                               "sys.stdin.buffer.read())) + mthc.__file__.encode())"],
        input=SMF, capture_output=True, check=True, cwd=tmp_path,
        env={"PYTHONPATH": str(tmp_path / folder)})
    assert run.stdout == SMF + str(package / "__init__.py").encode()
